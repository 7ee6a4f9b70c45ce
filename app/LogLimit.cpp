#include "app/LogLimit.h"

#include <richedit.h>

#include <cstring>

#include "app/OutputPane.h"

const char kDroppedNotice[] = "[Earlier output dropped to keep the log within memory]\r\n";

namespace {

const size_t kMostLogChars = 32 * 1024 * 1024;
const size_t kFewestLogChars = 1024 * 1024;
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

void WriteDroppedNotice(HWND pane, bool plainEdit)
{
    SendMessageA(pane, EM_SETSEL, 0, 0);
    if (!plainEdit)
        OutputPane::SetSelectionColour(pane, kColourGrey, false);
    SendMessageA(pane, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(kDroppedNotice));
}
