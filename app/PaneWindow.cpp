#include "app/PaneWindow.h"

#include "res/Commands.h"

namespace {

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

} // namespace

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
    return pane;
}
