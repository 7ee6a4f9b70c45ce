#include "app/PaneWindow.h"

#include "base/SystemLibrary.h"
#include "res/Commands.h"

namespace {

// The log grows until the program renews it itself, never stopped by the control.
const WPARAM kNoTextLimit = 0x7FFFFFFE;

// One font for every pane the program makes; it lives as long as the process.
HFONT PaneFont()
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
        HWND pane = CreatePaneWindow(parent, className, place);
        if (pane)
            return pane;
    }
    return nullptr;
}

HWND CreatePaneWindow(HWND parent, const char* className, const RECT& place)
{
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(parent, GWLP_HINSTANCE));
    const DWORD style = WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE |
                        ES_AUTOVSCROLL | ES_AUTOHSCROLL;
    HWND pane = CreateWindowExA(WS_EX_CONTROLPARENT, className, "", style, place.left, place.top,
                                place.right - place.left, place.bottom - place.top, parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_PANE)), instance,
                                nullptr);
    if (!pane)
        return nullptr;
    HFONT font = PaneFont();
    if (font)
        SendMessageA(pane, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    SendMessageA(pane, EM_LIMITTEXT, kNoTextLimit, 0);
    return pane;
}
