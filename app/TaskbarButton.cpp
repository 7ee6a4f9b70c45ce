// The taskbar button outside the window: indeterminate progress while a job runs, the error
// state after one that failed, and a flash when one ends while the user is in another program.
// User-interface thread only.
#include "app/MainFrame.h"

#include <shobjidl.h>

#include "base/Seams.h"

UINT MainFrame::TaskbarButtonCreatedMessage()
{
    static const UINT message = RegisterWindowMessageA("TaskbarButtonCreated");
    return message;
}

void MainFrame::ShowJobStarted()
{
    taskbarError = false;
    seams::taskbarProgress(mainWindow, TBPF_INDETERMINATE);
}

void MainFrame::ShowJobEnded(bool failed)
{
    taskbarError = failed;
    seams::taskbarProgress(mainWindow, failed ? TBPF_ERROR : TBPF_NOPROGRESS);
    // Velqueth is in front when its window, or a dialog or box that it owns, is.
    HWND front = GetForegroundWindow();
    if (front && (front == mainWindow || GetAncestor(front, GA_ROOTOWNER) == mainWindow))
        return;
    // Until the user comes back to the window.
    FLASHWINFO flash = {sizeof flash, mainWindow, FLASHW_TRAY | FLASHW_TIMERNOFG, 0, 0};
    seams::flashWindowEx(&flash);
}

void MainFrame::OnTaskbarButtonCreated()
{
    // The button is made (again, after the shell restarted) only now: it starts without progress.
    if (workerAlive)
        ShowJobStarted();
    else if (taskbarError)
        seams::taskbarProgress(mainWindow, TBPF_ERROR);
}

void MainFrame::OnActivate(WPARAM state)
{
    // The user has come back and seen the failure; the button goes back to its usual look.
    if (LOWORD(state) == WA_INACTIVE || !taskbarError)
        return;
    taskbarError = false;
    seams::taskbarProgress(mainWindow, TBPF_NOPROGRESS);
}
