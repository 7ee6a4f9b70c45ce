#include "app/OutputQueue.h"

#include <cstring>

OutputQueue::OutputQueue()
    : changed(nullptr), buffer(nullptr), start(0), end(0), open(false), inserting(false), noRoom(false),
      waiters(0), lastPush(0), lastTake(0)
{
    InitializeCriticalSection(&lock);
}

OutputQueue::~OutputQueue()
{
    if (buffer)
        HeapFree(GetProcessHeap(), 0, buffer);
    if (changed)
        CloseHandle(changed);
    DeleteCriticalSection(&lock);
}

bool OutputQueue::Open()
{
    EnterCriticalSection(&lock);
    if (!buffer)
        buffer = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, kLimit));
    if (!changed)
        changed = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    open = buffer && changed;
    start = end = 0;
    inserting = false;
    noRoom = false;
    bool opened = open;
    LeaveCriticalSection(&lock);
    return opened;
}

void OutputQueue::Close()
{
    EnterCriticalSection(&lock);
    open = false;
    inserting = false;
    start = end = 0;
    if (changed)
        SetEvent(changed);
    LeaveCriticalSection(&lock);
}

void OutputQueue::Wait(DWORD waitMs)
{
    ResetEvent(changed);
    LeaveCriticalSection(&lock);
    WaitForSingleObject(changed, waitMs);
    EnterCriticalSection(&lock);
}

OutputQueue::Pushed OutputQueue::Push(const char* text, size_t length, DWORD waitMs)
{
    if (length > kLimit)
        return kClosed;
    EnterCriticalSection(&lock);
    lastPush = GetTickCount();
    if (open && kLimit - (end - start) < length) {
        noRoom = true;
        if (waitMs > 0)
            Wait(waitMs);
    }
    Pushed pushed = !open ? kClosed : kLimit - (end - start) < length ? kFull : kQueued;
    if (pushed == kQueued) {
        if (kLimit - end < length) {
            std::memmove(buffer, buffer + start, end - start);
            end -= start;
            start = 0;
        }
        std::memcpy(buffer + end, text, length);
        end += length;
    }
    LeaveCriticalSection(&lock);
    return pushed;
}

bool OutputQueue::WaitUntilInserted(DWORD waitMs)
{
    EnterCriticalSection(&lock);
    if (open && (start != end || inserting)) {
        ++waiters;
        Wait(waitMs);
        --waiters;
    }
    bool done = !open || (start == end && !inserting);
    LeaveCriticalSection(&lock);
    return done;
}

size_t OutputQueue::Queued()
{
    EnterCriticalSection(&lock);
    size_t queued = end - start;
    LeaveCriticalSection(&lock);
    return queued;
}

bool OutputQueue::Gathers(DWORD pauseMs, DWORD mostMs)
{
    EnterCriticalSection(&lock);
    const DWORD now = GetTickCount();
    bool gathers = open && start != end && !noRoom && waiters == 0 && now - lastPush < pauseMs &&
                   now - lastTake < mostMs && !std::memchr(buffer + start, '\n', end - start);
    LeaveCriticalSection(&lock);
    return gathers;
}

size_t OutputQueue::Take(char* out)
{
    EnterCriticalSection(&lock);
    noRoom = false;
    lastTake = GetTickCount();
    const char* text = buffer + start;
    size_t queued = end - start;
    // Everything that has gathered, when it is no more than one piece: a line still being
    // written shows at once. Otherwise cut after the last line feed of the span; a span without
    // one is part of a long line, which goes on to its end or as far as it has gathered.
    size_t cut = queued;
    if (queued > kLinePiece) {
        cut = kLinePiece;
        while (cut > 0 && text[cut - 1] != '\n')
            --cut;
        if (cut == 0) {
            const void* feed = std::memchr(text + kLinePiece, '\n', queued - kLinePiece);
            cut = feed ? static_cast<size_t>(static_cast<const char*>(feed) - text) + 1 : queued;
        }
    }
    if (cut > 0) {
        std::memcpy(out, text, cut);
        start += cut;
        if (start == end)
            start = end = 0;
        inserting = true;
        SetEvent(changed);
    }
    LeaveCriticalSection(&lock);
    return cut;
}

void OutputQueue::PieceDone()
{
    EnterCriticalSection(&lock);
    inserting = false;
    if (changed)
        SetEvent(changed);
    LeaveCriticalSection(&lock);
}
