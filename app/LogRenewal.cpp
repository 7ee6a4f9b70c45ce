#include "app/LogRenewal.h"

#include <richedit.h>

#include <cstring>

#include "app/PaneWindow.h"

const char kDroppedNotice[] = "[Earlier output dropped to keep the log within memory]\r\n";

namespace {

const size_t kMostLogChars = 32 * 1024 * 1024;
const size_t kFewestLogChars = 1024 * 1024;
// What the rich edit keeps per character, generously.
const unsigned long long kBytesPerChar = 100;
// Address space that must stay free for everything else the program does; under Wine an
// allocation that failed inside the control ended the process.
const unsigned long long kReservedAddressSpace = 512ull * 1024 * 1024;

bool ReadMemoryStatus(MEMORYSTATUSEX* status)
{
    std::memset(status, 0, sizeof *status);
    status->dwLength = sizeof *status;
    return GlobalMemoryStatusEx(status) != FALSE;
}

bool LogIsFull(HWND pane, size_t incoming, size_t limit)
{
    LRESULT length = SendMessageA(pane, WM_GETTEXTLENGTH, 0, 0);
    if (length <= 0)
        return false;
    size_t present = static_cast<size_t>(length);
    if (present + incoming > limit)
        return true;
    MEMORYSTATUSEX status;
    return present > kFewestLogChars && ReadMemoryStatus(&status) &&
           status.ullAvailVirtual < kReservedAddressSpace / 2;
}

// Copies the newest text of the pane, from a line start, into `out` (room for `capacity` bytes
// and a terminator). Answers the length.
size_t CopyLogTail(HWND pane, bool plainEdit, char* out, size_t capacity)
{
    out[0] = '\0';
    LRESULT length = SendMessageA(pane, WM_GETTEXTLENGTH, 0, 0);
    if (length <= 0 || capacity == 0)
        return 0;
    size_t total = static_cast<size_t>(length);
    size_t want = total < capacity ? total : capacity;
    size_t got = 0;
    if (plainEdit) {
        // A plain edit keeps about a byte per character, so a whole copy is affordable.
        char* all = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, total + 1));
        if (!all)
            return 0;
        size_t read = static_cast<size_t>(GetWindowTextA(pane, all, static_cast<int>(total + 1)));
        got = read < want ? read : want;
        std::memcpy(out, all + read - got, got);
        HeapFree(GetProcessHeap(), 0, all);
    } else {
        TEXTRANGEA range;
        range.chrg.cpMin = static_cast<LONG>(total - want);
        range.chrg.cpMax = static_cast<LONG>(total);
        range.lpstrText = out;
        LRESULT read = SendMessageA(pane, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range));
        got = read > 0 ? static_cast<size_t>(read) : 0;
    }
    out[got] = '\0';
    // Carried from a line start, unless the tail is one long line.
    const char* feed = static_cast<const char*>(std::memchr(out, '\n', got));
    if (want < total && feed && feed + 1 < out + got) {
        size_t skip = static_cast<size_t>(feed + 1 - out);
        std::memmove(out, out + skip, got - skip + 1);
        got -= skip;
    }
    return got;
}

// Writes the notice at the top of the pane, in grey where the pane has colours.
void WriteDroppedNotice(HWND pane, bool plainEdit)
{
    SendMessageA(pane, EM_SETSEL, 0, 0);
    if (!plainEdit)
        OutputPane::SetSelectionColour(pane, kColourGrey, false);
    SendMessageA(pane, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(kDroppedNotice));
}

// Gives `fresh` the window procedure and user data that feed `pane`, and `pane` its class's own
// procedure back, so that its going does not close the queue. Both are of one class, so the
// feed's record of the control's own procedure holds for `fresh` too.
bool MoveFeed(HWND pane, HWND fresh)
{
    LONG_PTR own = GetWindowLongPtrA(fresh, GWLP_WNDPROC);
    LONG_PTR feed = GetWindowLongPtrA(pane, GWLP_WNDPROC);
    LONG_PTR state = GetWindowLongPtrA(pane, GWLP_USERDATA);
    if (!own || !feed)
        return false;
    SetWindowLongPtrA(fresh, GWLP_USERDATA, state);
    if (!SetWindowLongPtrA(fresh, GWLP_WNDPROC, feed)) {
        SetWindowLongPtrA(fresh, GWLP_USERDATA, 0);
        return false;
    }
    SetWindowLongPtrA(pane, GWLP_WNDPROC, own);
    SetWindowLongPtrA(pane, GWLP_USERDATA, 0);
    return true;
}

HWND Renew(HWND pane, OutputPane* output, size_t limit)
{
    // Never so much that the new pane would soon be full again.
    size_t carry = limit / 4 < kCarriedText ? limit / 4 : kCarriedText;
    char* carried = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, carry + 1));
    if (!carried)
        return pane;
    char className[32] = "";
    GetClassNameA(pane, className, sizeof className);
    HWND parent = GetParent(pane);
    RECT place;
    GetWindowRect(pane, &place);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&place), 2);
    HWND fresh = CreatePaneWindow(parent, className, place);
    if (!fresh || !MoveFeed(pane, fresh)) {
        if (fresh)
            DestroyWindow(fresh);
        HeapFree(GetProcessHeap(), 0, carried);
        return pane;  // the log goes on growing where it is
    }
    output->Attach(fresh);
    output->queue.Retarget(fresh);
    CopyLogTail(pane, output->plainEdit, carried, carry);
    SetWindowPos(fresh, pane, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    bool focused = GetFocus() == pane;
    SendMessageA(parent, RenewedMessage(), reinterpret_cast<WPARAM>(fresh),
                 reinterpret_cast<LPARAM>(pane));
    DestroyWindow(pane);
    if (focused)
        SetFocus(fresh);
    // Its text goes in with drawing off, as every piece does; the feed's next redraw shows it.
    SendMessageA(fresh, WM_SETREDRAW, FALSE, 0);
    WriteDroppedNotice(fresh, output->plainEdit);
    OutputPane::InsertChunk(fresh, carried);
    SendMessageA(fresh, WM_SETREDRAW, TRUE, 0);
    HeapFree(GetProcessHeap(), 0, carried);
    return fresh;
}

} // namespace

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

HWND RenewIfFull(HWND pane, OutputPane* output, size_t incoming, size_t limit)
{
    return LogIsFull(pane, incoming, limit) ? Renew(pane, output, limit) : pane;
}
