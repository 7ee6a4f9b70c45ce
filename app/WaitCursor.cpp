// The wait cursor that a user sees while a job runs: set by the user-interface thread from state
// that only it changes (workerAlive), and shown again at once when that state changes.
#include "app/MainFrame.h"

// Also asked by the toolbar and the log pane before they set their own cursors (wParam is then
// theirs). Over the menu bar and the borders the usual cursors stay, job or not.
LRESULT MainFrame::OnSetCursor(HWND window, WPARAM wParam, LPARAM lParam)
{
    if (workerAlive && LOWORD(lParam) == HTCLIENT) {
        SetCursor(LoadCursorA(nullptr, IDC_WAIT));
        return TRUE;
    }
    // A child's request: the child then sets its own cursor (the log its I-beam).
    if (reinterpret_cast<HWND>(wParam) != window)
        return FALSE;
    return DefWindowProcA(window, WM_SETCURSOR, wParam, lParam);
}

void MainFrame::RefreshCursor()
{
    POINT point;
    // Not while a window holds the mouse (the system would not ask then), nor while a modal
    // dialog has disabled this window (its cursor does not depend on the job).
    if (!mainWindow || !IsWindowEnabled(mainWindow) || GetCapture() || !GetCursorPos(&point))
        return;
    HWND target = WindowFromPoint(point);
    if (!target || (target != mainWindow && !IsChild(mainWindow, target)))
        return;
    LRESULT hit = SendMessageA(target, WM_NCHITTEST, 0, MAKELPARAM(point.x, point.y));
    SendMessageA(target, WM_SETCURSOR, reinterpret_cast<WPARAM>(target),
                 MAKELPARAM(static_cast<WORD>(hit), WM_MOUSEMOVE));
}
