#include "app/LogInput.h"

#include "app/MessageJump.h"

namespace {

// A key of the main window, pressed in the log: passed on. A Ctrl key also makes a control
// character (^C for Ctrl+Break), which the log would act on (a plain edit copies on ^C): it goes.
LRESULT PassToWindow(HWND pane, WPARAM key, LPARAM lParam)
{
    MSG next;
    if (GetKeyState(VK_CONTROL) < 0 && PeekMessageA(&next, pane, WM_CHAR, WM_CHAR, PM_NOREMOVE) &&
        next.wParam < 0x20)
        PeekMessageA(&next, pane, WM_CHAR, WM_CHAR, PM_REMOVE);
    SendMessageA(GetParent(pane), WM_KEYDOWN, key, lParam);
    return 0;
}

} // namespace

bool IsWindowKey(WPARAM key)
{
    // Ctrl+F, Ctrl+S: Find and Save Log As; F3 and Shift+F3: Find Next and Previous.
    if ((key == 'F' || key == 'S') && GetKeyState(VK_CONTROL) < 0 && GetKeyState(VK_MENU) >= 0)
        return true;
    return key == VK_CANCEL || key == VK_F3 || key == VK_F4;
}

bool HandleLogInput(HWND pane, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    switch (message) {
    case WM_KEYDOWN:
        if (IsWindowKey(wParam)) {
            *result = PassToWindow(pane, wParam, lParam);
            return true;
        }
        return false;
    case WM_CONTEXTMENU:
        // The log's own menu, the main window's to show; a plain edit would show Windows' one.
        *result = SendMessageA(GetParent(pane), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(pane), lParam);
        return true;
    case WM_LBUTTONDBLCLK:
        // The control selects a word as always; on a message line the parent then selects the
        // line and opens it. The line is the click's own: Wine's rich edit may place a word's
        // selection elsewhere.
        PostMessageA(GetParent(pane), OpenMessageAtPointMessage(), 0, lParam);
        return false;
    case WM_SETCURSOR:
        // The rich edit sets its own cursor at once: ask the parent first, as DefWindowProc does,
        // so that the log shows the wait cursor while a job runs.
        if (SendMessageA(GetParent(pane), WM_SETCURSOR, wParam, lParam)) {
            *result = TRUE;
            return true;
        }
        return false;
    }
    return false;
}
