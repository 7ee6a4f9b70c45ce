// The main window procedure: one named handler per message, and the command table.
#include "MainFrame.h"

#include <commctrl.h>
#include <shellapi.h>

#include "../about/AboutBox.h"
#include "../about/HelpLauncher.h"
#include "../config/PropertiesDialog.h"
#include "../res/resource.h"
#include "Commands.h"

LRESULT CALLBACK MainFrame::MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    MainFrame* frame = reinterpret_cast<MainFrame*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    switch (message) {
    case WM_CREATE: {
        // Stored before anything else runs, so every later message finds its frame.
        CREATESTRUCTA* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        frame = static_cast<MainFrame*>(create->lpCreateParams);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(frame));
        frame->OnCreate(window);
        return 0;
    }
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_SIZE:
        if (frame)
            frame->OnSize(LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_CLOSE:
        return frame ? frame->OnClose() : DefWindowProcA(window, message, wParam, lParam);
    case WM_NOTIFY:
        return frame ? frame->OnNotify(window, reinterpret_cast<NMHDR*>(lParam)) : 0;
    case WM_COMMAND: {
        if (!frame)
            break;
        LRESULT result = 0;
        frame->OnCommand(window, message, wParam, lParam, &result);
        return result;
    }
    case WM_CTLCOLOREDIT:
        // Only a plain edit pane asks; a rich-edit pane draws itself.
        SetTextColor(reinterpret_cast<HDC>(wParam), RGB(0, 0, 0));
        return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
    case WM_DROPFILES:
        if (frame)
            return frame->OnDropFiles(reinterpret_cast<HDROP>(wParam));
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void MainFrame::OnCreate(HWND window)
{
    paneWindow = CreatePane(window);
    SendMessageA(paneWindow, EM_LIMITTEXT, 0x7FFFFFFE, 0);
    settings.Load();
    RebuildRunMenu(window);
    CreateToolbar(window);
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
        if (WaitForSingleObject(workerThread, 1) == WAIT_TIMEOUT) {
            // The worker keeps its handle until the teardown, which must know whether the worker
            // is gone before it may delete the frame.
            EndRunningJob();
        } else {
            CloseHandle(workerThread);
            workerThread = nullptr;
        }
    }
    DestroyWindow(mainWindow);
    return 0;
}

LRESULT MainFrame::OnNotify(HWND window, NMHDR* header)
{
    switch (static_cast<int>(header->code)) {
    case -520: {  // TTN_NEEDTEXTA: the tooltip loads the string whose id is the command id
        NMTTDISPINFOA* info = reinterpret_cast<NMTTDISPINFOA*>(header);
        info->lpszText = MAKEINTRESOURCEA(LOWORD(header->idFrom));
        info->hinst = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(window, GWLP_HINSTANCE));
        return 0;
    }
    case -707:  // TBN_QUERYDELETE
        return 1;
    }
    return 0;
}

void MainFrame::OnCommand(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    *result = 0;
    UINT id = LOWORD(wParam);
    switch (id) {
    case ID_ABOUT: {
        AboutBox about;
        about.Show(window, ICON_APPLICATION_NAME, "Velqueth", IDC_HAND_CURSOR, "Hestrel Ltd");
        return;
    }
    case ID_EXIT:
        // No close handling: a running job is neither waited for nor ended.
        DestroyWindow(window);
        return;
    case ID_RUN_COMMAND_LINE:
        StartJob(commandLine);
        return;
    case ID_CUT:
        SendMessageA(paneWindow, WM_CUT, 0, 0);
        return;
    case ID_COPY:
        SendMessageA(paneWindow, WM_COPY, 0, 0);
        return;
    case ID_PASTE:
        SendMessageA(paneWindow, WM_PASTE, 0, 0);
        return;
    case ID_DELETE:
        SendMessageA(paneWindow, WM_CLEAR, 0, 0);
        return;
    case ID_SELECT_ALL:
        SetFocus(paneWindow);
        SendMessageA(paneWindow, EM_SETSEL, 0, -1);
        return;
    case ID_UNDO:
        SendMessageA(paneWindow, EM_UNDO, 0, 0);
        return;
    case ID_RUN_DEFAULT:
        RunDefault();
        return;
    case ID_PROPERTIES: {
        PropertiesDialog dialog;
        dialog.Run(window);
        // OK or Cancel alike: the menu follows the file.
        RebuildRunMenu(window);
        return;
    }
    case ID_USER_GUIDE: {
        HelpLauncher launcher;
        launcher.Open();
        return;
    }
    case ID_CLEAR_SCREEN:
        SendMessageA(paneWindow, EM_SETSEL, 0, -1);
        SendMessageA(paneWindow, WM_CLEAR, 0, 0);
        return;
    }
    if (id >= ID_RUN_SLOT_1 && id <= ID_RUN_SLOT_8) {
        RunSlot(id);
        return;
    }
    *result = DefWindowProcA(window, message, wParam, lParam);
}
