// The main window procedure: one named handler per message, and the command table.
#include "app/MainFrame.h"

#include <commctrl.h>
#include <shellapi.h>
#include <windowsx.h>

#include "about/AboutBox.h"
#include "about/HelpLauncher.h"
#include "app/LogInput.h"
#include "app/LogMenu.h"
#include "app/LogRenewal.h"
#include "app/MessageJump.h"
#include "config/PropertiesDialog.h"
#include "res/Commands.h"
#include "res/resource.h"

LRESULT CALLBACK MainFrame::MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    MainFrame* frame = reinterpret_cast<MainFrame*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (message == WM_CREATE) {
        // Stored before anything else runs, so every later message finds its frame.
        frame = static_cast<MainFrame*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(frame));
    }
    // The few messages that come before WM_CREATE find no frame yet.
    if (!frame)
        return DefWindowProcA(window, message, wParam, lParam);
    return frame->WindowProc(window, message, wParam, lParam);
}

LRESULT MainFrame::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == RenewedMessage()) {
        // A full log went on in a new pane window: commands and layout act on that one now.
        paneWindow = reinterpret_cast<HWND>(wParam);
        return 0;
    }
    if (message == LogFind::Message())
        return logFind.OnMessage(paneWindow, lParam);
    if (message == OpenMessageAtPointMessage()) {
        POINT point = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        OpenMessageAtPoint(paneWindow, jobPlaces, point);
        return 0;
    }
    if (message == TaskbarButtonCreatedMessage()) {
        OnTaskbarButtonCreated();
        return 0;
    }
    switch (message) {
    case WM_CREATE:
        OnCreate(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_SIZE:
        OnSize(LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_CLOSE:
        return OnClose();
    case WM_NOTIFY:
        return OnNotify(window, reinterpret_cast<NMHDR*>(lParam));
    case WM_COMMAND:
        return OnCommand(window, message, wParam, lParam);
    case WM_CTLCOLOREDIT:
        // Only a plain edit pane asks; a rich-edit pane draws itself.
        SetTextColor(reinterpret_cast<HDC>(wParam), RGB(0, 0, 0));
        return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
    case WM_DROPFILES:
        return OnDropFiles(reinterpret_cast<HDROP>(wParam));
    case WM_SETCURSOR:
        return OnSetCursor(window, wParam, lParam);
    case WM_CONTEXTMENU:
        if (reinterpret_cast<HWND>(wParam) == paneWindow) {
            ShowLogMenu(lParam);
            return 0;
        }
        break;
    case kJobEndedMessage:
        return OnJobEnded(wParam, lParam);
    case WM_ACTIVATE:
        OnActivate(wParam);
        break;
    case WM_KEYDOWN:
        // Keys of the window, here or passed on by the log; not accelerators.
        if (IsWindowKey(wParam)) {
            OnWindowKey(wParam);
            return 0;
        }
        break;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == IDM_STOP_PROGRAM) {
            StopRunningJob();
            return 0;
        }
        break;
    case WM_TIMER:
        if (wParam == kStopTimer) {
            OnStopTimer();
            return 0;
        }
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void MainFrame::OnWindowKey(WPARAM key)
{
    switch (key) {
    case VK_CANCEL:
        StopRunningJob();
        break;
    case 'F':
        SendMessageA(mainWindow, WM_COMMAND, ID_FIND, 0);
        break;
    case 'S':
        SendMessageA(mainWindow, WM_COMMAND, ID_SAVE_LOG_AS, 0);
        break;
    case VK_F3:
        SendMessageA(mainWindow, WM_COMMAND,
                     GetKeyState(VK_SHIFT) < 0 ? ID_FIND_PREVIOUS : ID_FIND_NEXT, 0);
        break;
    case VK_F4:  // the next message line, with Shift the previous one
        if (GetKeyState(VK_CONTROL) >= 0)
            GoToMessage(paneWindow, jobPlaces, GetKeyState(VK_SHIFT) >= 0);
        break;
    }
}

void MainFrame::OnCreate(HWND window)
{
    paneWindow = CreatePane(window);
    settings.Load();
    RebuildRunMenu(window);
    CreateToolbar(window);
    AddStopItem(window);
    if (commandLine)
        PostMessageA(window, WM_COMMAND, ID_RUN_COMMAND_LINE, 0);
}

void MainFrame::OnSize(int width, int height)
{
    int toolbarHeight = 0;  // no toolbar: the pane takes the whole client area
    if (toolbarWindow) {
        RECT rect;
        GetWindowRect(toolbarWindow, &rect);
        toolbarHeight = rect.bottom - rect.top;
        MoveWindow(toolbarWindow, 0, 0, width, toolbarHeight, TRUE);
    }
    if (paneWindow)
        MoveWindow(paneWindow, 0, toolbarHeight, width, height - toolbarHeight, TRUE);
}

LRESULT MainFrame::OnClose()
{
    if (workerThread) {
        if (WorkerRunning()) {
            // The worker keeps its handle until the teardown, which must know whether the worker
            // is gone before it may delete the frame.
            EndRunningJob();
        } else {
            CloseHandle(workerThread);
            workerThread = nullptr;
            workerAlive = false;
        }
    }
    DestroyWindow(mainWindow);
    return 0;
}

LRESULT MainFrame::OnNotify(HWND window, NMHDR* header)
{
    switch (header->code) {
    case TTN_NEEDTEXTA: {  // the tooltip loads the string whose id is the command id
        NMTTDISPINFOA* info = reinterpret_cast<NMTTDISPINFOA*>(header);
        info->lpszText = MAKEINTRESOURCEA(LOWORD(header->idFrom));
        info->hinst = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(window, GWLP_HINSTANCE));
        return 0;
    }
    case TBN_QUERYDELETE:
        return 1;
    }
    return 0;
}

LRESULT MainFrame::OnCommand(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    UINT id = LOWORD(wParam);
    switch (id) {
    case ID_ABOUT: {
        AboutBox about;
        about.Show(window, ICON_APPLICATION_NAME, "Velqueth", IDC_HAND_CURSOR, "Hestrel Ltd");
        return 0;
    }
    case ID_EXIT:
        // No close handling: a running job is neither waited for nor ended.
        DestroyWindow(window);
        return 0;
    case ID_RUN_COMMAND_LINE:
        StartJob(commandLine);
        return 0;
    case ID_CUT:
        SendMessageA(paneWindow, WM_CUT, 0, 0);
        return 0;
    case ID_COPY:
        SendMessageA(paneWindow, WM_COPY, 0, 0);
        return 0;
    case ID_PASTE:
        SendMessageA(paneWindow, WM_PASTE, 0, 0);
        return 0;
    case ID_DELETE:
        SendMessageA(paneWindow, WM_CLEAR, 0, 0);
        return 0;
    case ID_SELECT_ALL:
        SetFocus(paneWindow);
        SendMessageA(paneWindow, EM_SETSEL, 0, -1);
        return 0;
    case ID_UNDO:
        SendMessageA(paneWindow, EM_UNDO, 0, 0);
        return 0;
    case ID_RUN_DEFAULT:
        RunDefault();
        return 0;
    case ID_PROPERTIES: {
        PropertiesDialog dialog;
        dialog.Run(window);
        // OK or Cancel alike: the menu follows the file.
        RebuildRunMenu(window);
        return 0;
    }
    case ID_USER_GUIDE: {
        HelpLauncher launcher;
        launcher.Open();
        return 0;
    }
    case ID_CLEAR_SCREEN:
        SendMessageA(paneWindow, EM_SETSEL, 0, -1);
        SendMessageA(paneWindow, WM_CLEAR, 0, 0);
        return 0;
    case ID_FIND:
        logFind.Open(window, paneWindow);
        return 0;
    case ID_FIND_NEXT:
    case ID_FIND_PREVIOUS:
        logFind.Repeat(window, paneWindow, id == ID_FIND_PREVIOUS);
        return 0;
    case ID_SAVE_LOG_AS:
        logSave.Run(window, &paneWindow);
        return 0;
    case ID_STOP_PROGRAM:
        StopRunningJob();
        return 0;
    }
    if (id >= ID_RUN_SLOT_1 && id <= ID_RUN_SLOT_8) {
        RunSlot(id);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void MainFrame::ShowLogMenu(LPARAM where)
{
    LogMenu::Show(mainWindow, paneWindow, where, logFind.HasSearched(), workerAlive);
}
