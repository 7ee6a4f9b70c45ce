#include "app/LogRenewal.h"

#include <richedit.h>

#include <cstring>

#include "app/LogWindow.h"
#include "app/ReadingPlace.h"
#include "base/Seams.h"

const char kDroppedNotice[] = "[Earlier output dropped to keep the log within memory]\r\n";
const char kNoMemoryNotice[] = "[The newest output was dropped too: no memory to carry it]\r\n";

namespace {

const size_t kMostLogChars = 32 * 1024 * 1024;
const size_t kFewestLogChars = 1024 * 1024;
// What the rich edit keeps per character, generously.
const unsigned long long kBytesPerChar = 100;
// Address space that must stay free for everything else the program does; under Wine an
// allocation that failed inside the control ended the process.
const unsigned long long kReservedAddressSpace = 512ull * 1024 * 1024;
// Rich text of the carried tail: room for an escape or a double-byte pair per character, and for
// the font and colour tables.
const size_t kRichBytesPerChar = 8;
const size_t kRichFrameBytes = 64 * 1024;

bool ReadMemoryStatus(MEMORYSTATUSEX* status)
{
    std::memset(status, 0, sizeof *status);
    status->dwLength = sizeof *status;
    return GlobalMemoryStatusEx(status) != FALSE;
}

using Carried = LogRenewal::Carried;

bool AllocateCarried(Carried* carried, size_t size)
{
    carried->bytes = static_cast<char*>(seams::heapAlloc(GetProcessHeap(), 0, size));
    carried->size = carried->bytes ? size : 0;
    carried->used = carried->read = carried->parts = 0;
    return carried->bytes != nullptr;
}

void FreeCarried(Carried* carried)
{
    if (carried->bytes)
        HeapFree(GetProcessHeap(), 0, carried->bytes);
    carried->bytes = nullptr;
}

// The rich edit's stream-out callback: takes bytes while there is room, else stops the stream.
DWORD CALLBACK TakeStreamedOut(DWORD_PTR cookie, LPBYTE bytes, LONG count, LONG* written)
{
    Carried* carried = reinterpret_cast<Carried*>(cookie);
    *written = 0;
    if (count < 0 || static_cast<size_t>(count) > carried->size - carried->used)
        return 1;
    std::memcpy(carried->bytes + carried->used, bytes, static_cast<size_t>(count));
    carried->used += static_cast<size_t>(count);
    *written = count;
    return 0;
}

// Gives the carried text up to the end of the part being read.
DWORD CALLBACK GiveStreamedIn(DWORD_PTR cookie, LPBYTE bytes, LONG count, LONG* read)
{
    Carried* carried = reinterpret_cast<Carried*>(cookie);
    size_t left = carried->partEnds[carried->partsRead] - carried->read;
    size_t give = count < 0 ? 0 : static_cast<size_t>(count) < left ? static_cast<size_t>(count) : left;
    std::memcpy(bytes, carried->bytes + carried->read, give);
    carried->read += give;
    *read = static_cast<LONG>(give);
    return 0;
}

// Where the newest `want` characters of a rich edit of `total` begin: at the start of the first
// whole line among them, unless they are one long line.
LONG TailStart(HWND window, size_t total, size_t want)
{
    LONG start = static_cast<LONG>(total - want);
    if (start == 0)
        return 0;
    LRESULT line = SendMessageA(window, EM_EXLINEFROMCHAR, 0, start);
    LRESULT next = SendMessageA(window, EM_LINEINDEX, static_cast<WPARAM>(line + 1), 0);
    return next > start && static_cast<size_t>(next) < total ? static_cast<LONG>(next) : start;
}

// The rich edit's tail as rich text, colours and all, in parts: the control takes a long stream
// far more slowly than the same text in a few short ones. Rich text takes several bytes for some
// characters (escapes, double-byte pairs, line and colour marks): where the block is still too
// small, a shorter tail is carried. False when none could be had.
bool CarryRichTail(HWND window, size_t total, size_t carry, Carried* carried)
{
    if (!AllocateCarried(carried, carry * kRichBytesPerChar + kRichFrameBytes))
        return false;
    const size_t parts = LogRenewal::kCarriedParts;
    const LRESULT lastLine = SendMessageA(window, EM_GETLINECOUNT, 0, 0) - 1;
    for (size_t want = carry < total ? carry : total; want > 0; want /= 2) {
        // The parts begin at line starts, found by line number: a walk through the log each.
        const LONG start = TailStart(window, total, want);
        const LRESULT firstLine = SendMessageA(window, EM_EXLINEFROMCHAR, 0, start);
        const LRESULT lines = lastLine > firstLine ? lastLine - firstLine : 0;
        carried->used = carried->parts = 0;
        bool whole = true;
        LONG from = start;
        for (size_t part = 1; whole && from < static_cast<LONG>(total); ++part) {
            LRESULT to = part < parts ? SendMessageA(window, EM_LINEINDEX, firstLine + lines * part / parts, 0)
                                      : static_cast<LRESULT>(total);
            if (to <= from || to > static_cast<LRESULT>(total))
                continue;  // no line of its own: the next part takes its text
            CHARRANGE range = {from, static_cast<LONG>(to)};
            SendMessageA(window, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
            EDITSTREAM stream = {reinterpret_cast<DWORD_PTR>(carried), 0, TakeStreamedOut};
            seams::streamOut(window, EM_STREAMOUT, SF_RTF | SFF_SELECTION, reinterpret_cast<LPARAM>(&stream));
            whole = stream.dwError == 0;
            carried->partEnds[carried->parts++] = carried->used;
            from = static_cast<LONG>(to);
        }
        if (whole)
            return true;
    }
    FreeCarried(carried);
    return false;
}

// Where the tail of `text` (`total` units) begins when it is to hold at most `most`: at a line
// start, or else after a unit that is no part of a longer character (a double-byte pair, a
// surrogate pair).
template <typename Unit>
size_t PlainTailStart(const Unit* text, size_t total, size_t most)
{
    size_t from = total > most ? total - most : 0;
    if (from == 0)
        return 0;
    size_t safe = from;
    while (safe < total && text[safe - 1] != '\n')
        ++safe;
    if (safe == total) {  // one long line
        safe = from;
        while (safe < total && static_cast<unsigned>(text[safe - 1]) >= 0x40)
            ++safe;
    }
    return safe < total ? safe : from;
}

// The plain edit's tail, read in the control's own text (no copy of the whole log of ours). The
// control keeps narrow text, or UTF-16 where its class is a Unicode one (the common controls'
// under the manifest): then as many characters as surely fit, however many bytes each takes.
bool CarryPlainTail(HWND window, bool wide, size_t carry, Carried* carried)
{
    if (!AllocateCarried(carried, carry + 1))
        return false;
    HLOCAL handle = reinterpret_cast<HLOCAL>(SendMessageA(window, EM_GETHANDLE, 0, 0));
    const void* text = handle ? LocalLock(handle) : nullptr;
    if (!text) {
        FreeCarried(carried);
        return false;
    }
    size_t room = LocalSize(handle);
    if (wide) {
        const wchar_t* units = static_cast<const wchar_t*>(text);
        size_t total = wcsnlen(units, room / sizeof(wchar_t));
        CPINFO info;
        size_t perChar = GetCPInfo(CP_ACP, &info) && info.MaxCharSize > 1 ? info.MaxCharSize : 1;
        size_t from = PlainTailStart(units, total, carry / perChar);
        int made = total > from ? WideCharToMultiByte(CP_ACP, 0, units + from, static_cast<int>(total - from),
                                                      carried->bytes, static_cast<int>(carry), nullptr, nullptr)
                                : 0;
        carried->used = made > 0 ? static_cast<size_t>(made) : 0;
    } else {
        const char* bytes = static_cast<const char*>(text);
        size_t total = strnlen(bytes, room);
        size_t from = PlainTailStart(bytes, total, carry);
        carried->used = total - from;
        std::memcpy(carried->bytes, bytes + from, carried->used);
    }
    carried->bytes[carried->used] = '\0';
    LocalUnlock(handle);
    return true;
}

// The new window's text: the notice, then the carried tail, with drawing off; the feed's next redraw
// shows it. Without memory for the tail, a grey line says that it is gone too. Answers where the
// tail begins.
DWORD FillRenewedWindow(HWND fresh, bool plainEdit, Carried* carried, bool haveTail)
{
    SendMessageA(fresh, WM_SETREDRAW, FALSE, 0);
    if (!plainEdit)
        SetSelectionColour(fresh, kColourGrey, false);
    SendMessageA(fresh, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(kDroppedNotice));
    DWORD tail = 0;
    SendMessageA(fresh, EM_GETSEL, 0, reinterpret_cast<LPARAM>(&tail));
    if (!haveTail) {
        if (!plainEdit)
            SetSelectionColour(fresh, kColourGrey, false);
        SendMessageA(fresh, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(kNoMemoryNotice));
    } else if (plainEdit) {
        // The plain edit's own text, in the ANSI code page as it showed it (not the UTF-8 of a
        // child's output): it goes back in unchanged.
        SendMessageA(fresh, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(carried->bytes));
    } else {
        for (carried->partsRead = 0; carried->partsRead < carried->parts; ++carried->partsRead) {
            SelectEnd(fresh);
            EDITSTREAM stream = {reinterpret_cast<DWORD_PTR>(carried), 0, GiveStreamedIn};
            SendMessageA(fresh, EM_STREAMIN, SF_RTF | SFF_SELECTION, reinterpret_cast<LPARAM>(&stream));
        }
    }
    SendMessageA(fresh, WM_SETREDRAW, TRUE, 0);
    return tail;
}

// The top of the character's line below the top of the first line.
LONG TopOf(HWND window, bool plainEdit, DWORD character)
{
    if (plainEdit)
        return static_cast<LONG>(SendMessageA(window, EM_LINEFROMCHAR, character, 0));
    POINTL at = {0, 0}, first = {0, 0};
    SendMessageA(window, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&at), character);
    SendMessageA(window, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&first), 0);
    return at.y - first.y;
}

} // namespace

bool LogIsFull(HWND window, size_t incoming, size_t limit)
{
    LRESULT length = SendMessageA(window, WM_GETTEXTLENGTH, 0, 0);
    if (length <= 0)
        return false;
    size_t present = static_cast<size_t>(length);
    if (present + incoming > limit)
        return true;
    MEMORYSTATUSEX status;
    return present > kFewestLogChars && ReadMemoryStatus(&status) &&
           status.ullAvailVirtual < kReservedAddressSpace / 2;
}

LogRenewal::LogRenewal() : full(nullptr), fresh(nullptr), plainEdit(false), haveTail(false)
{
    carried = {nullptr, 0, 0, 0, {}, 0, 0};
    moved = {false, 0, 0, 0, 0};
}

LogRenewal::~LogRenewal()
{
    FreeCarried(&carried);
}

bool LogRenewal::Begin(HWND fullWindow, bool plain, size_t limit)
{
    full = fullWindow;
    plainEdit = plain;
    char className[32] = "";
    GetClassNameA(full, className, sizeof className);
    HWND parent = GetParent(full);
    RECT place;
    GetWindowRect(full, &place);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&place), 2);
    fresh = CreateLogWindowOfClass(parent, className, place);
    if (!fresh)
        return false;
    // Never so much that the new window would soon be full again.
    size_t carry = limit / 4 < kCarriedText ? limit / 4 : kCarriedText;
    LRESULT length = SendMessageA(full, WM_GETTEXTLENGTH, 0, 0);
    size_t total = length > 0 ? static_cast<size_t>(length) : 0;
    // The class's own answer: the feed's narrow procedure stands in front of the full window's.
    haveTail = plainEdit ? CarryPlainTail(full, IsWindowUnicode(fresh) != FALSE, carry, &carried)
                         : CarryRichTail(full, total, carry, &carried);
    return true;
}

void LogRenewal::Finish(bool findCarried)
{
    HWND parent = GetParent(full);
    SetWindowPos(fresh, full, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    bool focused = GetFocus() == full;
    SendMessageA(parent, RenewedMessage(), reinterpret_cast<WPARAM>(fresh),
                 reinterpret_cast<LPARAM>(full));
    ShowWindow(full, SW_HIDE);
    if (focused)
        SetFocus(fresh);
    // The full window stays until the carried text has been found in both (a walk through a long
    // log, spared when nobody reads there).
    DWORD fullLength = PaneCharacters(full, plainEdit);
    DWORD tail = FillRenewedWindow(fresh, plainEdit, &carried, haveTail);
    FreeCarried(&carried);
    DWORD carriedLength = PaneCharacters(fresh, plainEdit) - tail;
    moved.carried = findCarried && haveTail && carriedLength > 0 && carriedLength <= fullLength;
    if (moved.carried) {
        moved.from = fullLength - carriedLength;
        moved.to = tail;
        moved.fromTop = TopOf(full, plainEdit, moved.from);
        moved.toTop = TopOf(fresh, plainEdit, moved.to);
    }
    // Freeing a full rich edit is the longest step of all: it goes with a message of its own,
    // the window out of the parent's sight meanwhile.
    SetWindowLongPtrA(full, GWLP_ID, 0);
    SetParent(full, HWND_MESSAGE);
    if (!PostMessageA(full, WM_CLOSE, 0, 0))
        DestroyWindow(full);
}

size_t LogLimitForThisProcess()
{
    MEMORYSTATUSEX status;
    if (!ReadMemoryStatus(&status) || status.ullTotalVirtual <= kReservedAddressSpace)
        return kFewestLogChars;
    unsigned long long chars = (status.ullTotalVirtual - kReservedAddressSpace) / kBytesPerChar;
    if (chars > kMostLogChars)
        return kMostLogChars;
    return chars < kFewestLogChars ? kFewestLogChars : static_cast<size_t>(chars);
}

UINT RenewedMessage()
{
    static const UINT message = RegisterWindowMessageA("Velqueth.PaneRenewed");
    return message;
}
