#include "app/LogWindow.h"

#include <richedit.h>

#include <climits>
#include <cstring>

#include "base/SystemLibrary.h"
#include "res/Commands.h"

namespace {

// The log grows until the program renews it itself, never stopped by the control.
const WPARAM kNoTextLimit = 0x7FFFFFFE;

// One font for every log window the program makes; it lives as long as the process.
HFONT LogFont()
{
    static HFONT font = nullptr;
    if (!font) {
        LOGFONTA description;
        static_assert(sizeof description == 60, "the narrow logical-font record");
        if (GetObjectA(GetStockObject(SYSTEM_FIXED_FONT), sizeof description, &description))
            font = CreateFontIndirectA(&description);
    }
    return font;
}

// The libraries that register "RichEdit", from the system folder; they stay loaded for the life
// of the process.
void LoadRichEditLibraries()
{
    if (!GetModuleHandleA("RICHED32.DLL"))
        LoadSystemLibrary("RICHED32.DLL");
    if (!GetModuleHandleA("RICHED20.DLL"))
        LoadSystemLibrary("RICHED20.DLL");
}

} // namespace

HWND CreateLogWindow(HWND parent, const RECT& place)
{
    LoadRichEditLibraries();
    const char* const classes[] = {"RichEdit", "Edit"};
    for (const char* className : classes) {
        HWND window = CreateLogWindowOfClass(parent, className, place);
        if (window)
            return window;
    }
    return nullptr;
}

HWND CreateLogWindowOfClass(HWND parent, const char* className, const RECT& place)
{
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(parent, GWLP_HINSTANCE));
    const DWORD style = WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE |
                        ES_AUTOVSCROLL | ES_AUTOHSCROLL;
    HWND window = CreateWindowExA(WS_EX_CONTROLPARENT, className, "", style, place.left, place.top,
                                place.right - place.left, place.bottom - place.top, parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_PANE)), instance,
                                nullptr);
    if (!window)
        return nullptr;
    HFONT font = LogFont();
    if (font)
        SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    SendMessageA(window, EM_LIMITTEXT, kNoTextLimit, 0);
    return window;
}

bool IsPlainEdit(HWND window)
{
    char className[128] = "";
    GetClassNameA(window, className, sizeof className);
    return lstrcmpiA(className, "RICHEDIT") != 0;
}

void SelectEnd(HWND window)
{
    // Both edit controls clamp a position past the end to the end of the text, which spares
    // counting a log that may hold megabytes.
    SendMessageA(window, EM_SETSEL, static_cast<WPARAM>(INT_MAX), static_cast<LPARAM>(INT_MAX));
}

void SetSelectionColour(HWND window, COLORREF colour, bool automatic)
{
    CHARFORMATA format;
    std::memset(&format, 0, sizeof format);
    format.cbSize = sizeof format;
    format.dwMask = CFM_COLOR;
    format.dwEffects = automatic ? CFE_AUTOCOLOR : 0;
    format.crTextColor = colour;
    SendMessageA(window, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
}
