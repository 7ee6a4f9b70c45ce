#include "app/OutputQueue.h"

#include <cstring>

namespace {

// A waiting worker looks again this often, so that a wake-up that could not be posted (a full
// message queue) is posted again instead of leaving both threads waiting for each other.
const DWORD kRecheckMs = 50;

} // namespace

OutputQueue::OutputQueue()
    : spaceEvent(nullptr), buffer(nullptr), start(0), end(0), open(false), wakePending(false),
      inserting(false), pane(nullptr), wakeMessage(0)
{
    InitializeCriticalSection(&lock);
}

OutputQueue::~OutputQueue()
{
    if (buffer)
        HeapFree(GetProcessHeap(), 0, buffer);
    if (spaceEvent)
        CloseHandle(spaceEvent);
    DeleteCriticalSection(&lock);
}

bool OutputQueue::Open(HWND paneWindow, UINT message)
{
    EnterCriticalSection(&lock);
    if (!buffer)
        buffer = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, kLimit));
    if (!spaceEvent)
        spaceEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    open = buffer && spaceEvent;
    start = end = 0;
    wakePending = false;
    pane = paneWindow;
    wakeMessage = message;
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
    if (spaceEvent)
        SetEvent(spaceEvent);
    LeaveCriticalSection(&lock);
}

void OutputQueue::Retarget(HWND paneWindow)
{
    EnterCriticalSection(&lock);
    pane = paneWindow;
    wakePending = false;
    PostWake();
    LeaveCriticalSection(&lock);
}

HWND OutputQueue::Target()
{
    EnterCriticalSection(&lock);
    HWND target = open ? pane : nullptr;
    LeaveCriticalSection(&lock);
    return target;
}

void OutputQueue::WaitForThePane()
{
    PostWake();
    ResetEvent(spaceEvent);
    LeaveCriticalSection(&lock);
    WaitForSingleObject(spaceEvent, kRecheckMs);
    EnterCriticalSection(&lock);
}

void OutputQueue::PostWake()
{
    if (wakePending || start == end)
        return;
    wakePending = PostMessageA(pane, wakeMessage, 0, 0) != FALSE;
}

bool OutputQueue::Push(const char* text, size_t length)
{
    if (length > kLimit)
        return false;
    EnterCriticalSection(&lock);
    while (open && kLimit - (end - start) < length) {
        WaitForThePane();
    }
    if (!open) {
        LeaveCriticalSection(&lock);
        return false;
    }
    if (kLimit - end < length) {
        std::memmove(buffer, buffer + start, end - start);
        end -= start;
        start = 0;
    }
    std::memcpy(buffer + end, text, length);
    end += length;
    PostWake();
    // A wake-up that the system refused (its queue of posted messages is full) is asked for
    // again until it is taken or the pane has taken the text: the pane may get no other.
    while (open && !wakePending && start != end) {
        WaitForThePane();
    }
    LeaveCriticalSection(&lock);
    return true;
}

void OutputQueue::WakeHandled()
{
    EnterCriticalSection(&lock);
    wakePending = false;
    LeaveCriticalSection(&lock);
}

bool OutputQueue::WakeDone(bool post)
{
    EnterCriticalSection(&lock);
    bool posted = true;
    if (start == end) {
        wakePending = false;
    } else {
        wakePending = true;
        posted = post && PostMessageA(pane, wakeMessage, 0, 0) != FALSE;
    }
    LeaveCriticalSection(&lock);
    return posted;
}

size_t OutputQueue::Queued()
{
    EnterCriticalSection(&lock);
    size_t queued = end - start;
    LeaveCriticalSection(&lock);
    return queued;
}

size_t OutputQueue::Take(char* out)
{
    EnterCriticalSection(&lock);
    if (!buffer) {
        LeaveCriticalSection(&lock);
        return 0;
    }
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
    if (cut > 0)
        std::memcpy(out, text, cut);
    start += cut;
    if (start == end)
        start = end = 0;
    inserting = cut > 0;
    if (spaceEvent)
        SetEvent(spaceEvent);
    LeaveCriticalSection(&lock);
    return cut;
}

void OutputQueue::PieceDone()
{
    EnterCriticalSection(&lock);
    inserting = false;
    if (spaceEvent)
        SetEvent(spaceEvent);
    LeaveCriticalSection(&lock);
}

void OutputQueue::WaitUntilInserted()
{
    EnterCriticalSection(&lock);
    while (open && (start != end || inserting)) {
        WaitForThePane();
    }
    LeaveCriticalSection(&lock);
}

void OutputQueue::InsertAllHere()
{
    for (;;) {
        EnterCriticalSection(&lock);
        HWND target = open && start != end ? pane : nullptr;
        UINT message = wakeMessage;
        LeaveCriticalSection(&lock);
        if (!target)
            return;
        // A renewal during the wake-up retargets the queue: the next one goes to the new pane.
        SendMessageA(target, message, 1, 0);
    }
}
