#include "app/OutputPane.h"

#include <richedit.h>

#include <climits>
#include <cstring>


namespace {

bool IsAscii(const char* text)
{
    for (const char* p = text; *p != '\0'; ++p) {
        if (static_cast<unsigned char>(*p) >= 0x80)
            return false;
    }
    return true;
}

// What a plain edit can show of UTF-8 text: its characters in the ANSI code page, and `?` for
// those that have no ANSI form (no look-alike stands in for them). Null without memory.
char* AnsiFromUtf8(const char* text)
{
    int units = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    if (units <= 0)
        return nullptr;
    HANDLE heap = GetProcessHeap();
    size_t wideSize = static_cast<size_t>(units) * sizeof(WCHAR);
    WCHAR* wide = static_cast<WCHAR*>(HeapAlloc(heap, 0, wideSize));
    if (!wide)
        return nullptr;
    MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, units);
    const DWORD flags = WC_NO_BEST_FIT_CHARS;
    int bytes = WideCharToMultiByte(CP_ACP, flags, wide, units, nullptr, 0, "?", nullptr);
    char* ansi = nullptr;
    if (bytes > 0)
        ansi = static_cast<char*>(HeapAlloc(heap, 0, static_cast<size_t>(bytes)));
    if (ansi)
        WideCharToMultiByte(CP_ACP, flags, wide, units, ansi, bytes, "?", nullptr);
    HeapFree(heap, 0, wide);
    return ansi;
}

// Inserts the pieces of one chunk of UTF-8 at the end of the log. Moving the selection makes a
// rich edit take the format of the text before it (the grey header), so the first piece goes in
// right after the end has been given the automatic colour; later pieces follow text of that
// colour. A plain edit ignores the format.
class EndInserter {
public:
    explicit EndInserter(HWND pane) : pane(pane), atEnd(true), kind(kUnknown)
    {
        OutputPane::SelectEnd(pane);
        OutputPane::SetSelectionColour(pane, 0, true);
    }

    void Insert(const char* piece)
    {
        if (!atEnd)
            OutputPane::SelectEnd(pane);
        atEnd = false;
        if (IsAscii(piece)) {
            Replace(piece);
            return;
        }
        if (kind == kUnknown)
            kind = OutputPane::IsPlainEdit(pane) ? kPlain : kRich;
        if (kind == kRich) {
            InsertUnicode(piece);
        } else if (char* ansi = AnsiFromUtf8(piece)) {
            Replace(ansi);
            HeapFree(GetProcessHeap(), 0, ansi);
        }
    }

private:
    void Replace(const char* text)
    {
        SendMessageA(pane, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
    }

    // The rich edit keeps the characters themselves. Like EM_REPLACESEL with FALSE, the insertion
    // cannot be undone.
    void InsertUnicode(const char* piece)
    {
        // Text that begins like rich text would be read as such: its brace goes in on its own.
        if (piece[0] == '{') {
            Replace("{");
            ++piece;
        }
        SETTEXTEX how = {ST_SELECTION, CP_UTF8};
        SendMessageA(pane, EM_SETTEXTEX, reinterpret_cast<WPARAM>(&how),
                     reinterpret_cast<LPARAM>(piece));
    }

    enum Kind { kUnknown, kRich, kPlain };
    HWND pane;
    bool atEnd;
    Kind kind;
};

// True when every CR and LF of the text stands in a CR LF pair, apart from an LF at the very start
// or a CR at the very end (a pair split between two reads). Such a chunk gives the same log text
// inserted whole as inserted piece by piece, and one insertion costs far less than several.
bool BreaksOnlyInPairs(const char* text)
{
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p == '\r' && p[1] != '\n' && p[1] != '\0')
            return false;
        if (*p == '\n' && p != text && p[-1] != '\r')
            return false;
    }
    return true;
}

} // namespace

OutputPane::OutputPane() : window(nullptr), plainEdit(false)
{
}

OutputPane::~OutputPane()
{
}

void OutputPane::Attach(HWND paneWindow)
{
    window = paneWindow;
    plainEdit = IsPlainEdit(paneWindow);
}

bool OutputPane::IsPlainEdit(HWND paneWindow)
{
    char className[128] = "";
    GetClassNameA(paneWindow, className, sizeof className);
    return lstrcmpiA(className, "RICHEDIT") != 0;
}

void OutputPane::Flush()
{
    HWND target = queue.Target();
    if (!target)
        return;
    if (GetWindowThreadProcessId(target, nullptr) != GetCurrentThreadId()) {
        // A worker waits while the pane inserts the rest piece by piece, as it always does, so
        // that the window stays responsive; its lock also makes the pane's window, renewed
        // meanwhile perhaps, safe to read afterwards.
        queue.WaitUntilInserted();
        return;
    }
    queue.InsertAllHere();
}

bool OutputPane::EndsWithLineBreak()
{
    Flush();  // first: till then a renewal may replace the window
    if (!window)
        return true;
    LRESULT length = SendMessageA(window, WM_GETTEXTLENGTH, 0, 0);
    if (length <= 0)
        return true;
    if (plainEdit) {
        // A plain edit breaks lines at CR LF only: the log ends with one when its last line is
        // empty.
        LRESULT last = SendMessageA(window, EM_GETLINECOUNT, 0, 0) - 1;
        LRESULT start = SendMessageA(window, EM_LINEINDEX, static_cast<WPARAM>(last), 0);
        return last > 0 && start >= 0 && SendMessageA(window, EM_LINELENGTH, start, 0) == 0;
    }
    char tail[8] = "";  // two characters, double-byte ones included
    TEXTRANGEA range;
    range.chrg.cpMin = length >= 2 ? static_cast<LONG>(length - 2) : 0;
    range.chrg.cpMax = static_cast<LONG>(length);
    range.lpstrText = tail;
    SendMessageA(window, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range));
    return std::strcmp(tail, "\r\n") == 0;
}

void OutputPane::AppendOutput(const char* text)
{
    if (!text || text[0] == '\0')
        return;
    // Without an open queue the pane is never renewed, so `window` is safe to read here.
    if (!queue.Push(text, std::strlen(text)))
        InsertChunk(window, text);
}

void OutputPane::SelectEnd(HWND paneWindow)
{
    // Both edit controls clamp a position past the end to the end of the text, which spares
    // counting a log that may hold megabytes.
    SendMessageA(paneWindow, EM_SETSEL, static_cast<WPARAM>(INT_MAX), static_cast<LPARAM>(INT_MAX));
}

void OutputPane::SetSelectionColour(HWND paneWindow, COLORREF colour, bool automatic)
{
    CHARFORMATA format;
    std::memset(&format, 0, sizeof format);
    format.cbSize = sizeof format;
    format.dwMask = CFM_COLOR;
    format.dwEffects = automatic ? CFE_AUTOCOLOR : 0;
    format.crTextColor = colour;
    SendMessageA(paneWindow, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
}

LRESULT OutputPane::AppendPlain(const char* text)
{
    // The pane's window is read only after the flush: till then a renewal may replace it.
    Flush();
    HWND pane = window;
    if (!pane)
        return 0;
    SelectEnd(pane);
    return SendMessageA(pane, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
}

LRESULT OutputPane::Append(const char* text, COLORREF colour)
{
    Flush();
    HWND pane = window;
    if (!pane)
        return 0;
    // A fed pane writes on its own thread, keeping the reader's place.
    if (SendMessageA(pane, WriteMessage(), colour, reinterpret_cast<LPARAM>(text)))
        return TRUE;
    return WriteAtEnd(pane, plainEdit, text, colour);
}

UINT OutputPane::WriteMessage()
{
    static const UINT message = RegisterWindowMessageA("Velqueth.WriteAtEnd");
    return message;
}

LRESULT OutputPane::WriteAtEnd(HWND pane, bool plainEdit, const char* text, COLORREF colour)
{
    SelectEnd(pane);
    if (plainEdit)
        return SendMessageA(pane, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));

    CHARFORMATA format;
    std::memset(&format, 0, sizeof format);
    format.cbSize = sizeof format;
    format.dwMask = CFM_COLOR;
    SendMessageA(pane, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));

    COLORREF previous = format.crTextColor;
    format.crTextColor = colour;
    format.dwEffects &= ~CFE_AUTOCOLOR;
    SendMessageA(pane, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));

    SendMessageA(pane, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));

    // Back to the automatic colour at the insertion point, so that the child's output, which is
    // inserted without a format of its own, shows in the normal text colour.
    format.crTextColor = previous;
    format.dwEffects |= CFE_AUTOCOLOR;
    return SendMessageA(pane, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
}

void OutputPane::InsertChunk(HWND paneWindow, char* text)
{
    if (!paneWindow || !text || text[0] == '\0')
        return;
    EndInserter inserter(paneWindow);
    if (BreaksOnlyInPairs(text)) {
        inserter.Insert(text);
        return;
    }

    // Otherwise line breaks go in as pieces of their own, so that lone CRs and LFs next to them
    // stay as the child wrote them.
    char* piece = text;
    for (char* scan = text; *scan != '\0';) {
        if (scan[0] == '\r' && scan[1] == '\n') {
            *scan = '\0';
            if (*piece != '\0')
                inserter.Insert(piece);
            *scan = '\r';
            inserter.Insert("\r\n");
            scan += 2;
            piece = scan;
        } else {
            ++scan;
        }
    }
    if (*piece != '\0')
        inserter.Insert(piece);
}

void OutputPane::InsertChunk(HWND paneWindow, const char* text)
{
    if (!text)
        return;
    // More than the runner reads at once, so that its chunks go in whole.
    char part[1024];
    for (size_t length = std::strlen(text); length > 0;) {
        size_t take = length < sizeof part - 1 ? length : sizeof part - 1;
        // Each part ends between two characters of the UTF-8.
        while (take < length && take > 1 && (static_cast<unsigned char>(text[take]) & 0xC0) == 0x80)
            --take;
        std::memcpy(part, text, take);
        part[take] = '\0';
        InsertChunk(paneWindow, part);
        text += take;
        length -= take;
    }
}
