// MainFrame: the one application object.
//
// Threading contract. The user-interface thread owns every field. A job's worker thread (see
// runner/Jobs.cpp) receives the frame and, while it runs, reads jobCommandLine, paneWindow,
// settings.displayProgram and jobGroup, uses outputPane, and alone writes savedCursor. The
// user-interface thread writes none of those while workerThread is alive: StartJob refuses a
// request then, so the one-job rule is the whole synchronisation. The one field both threads
// write, ungroupedChild, changes only through interlocked exchanges (see there). The frame is
// deleted only when no worker is alive (see ReleaseWorker).
#ifndef VELQUETH_APP_MAINFRAME_H
#define VELQUETH_APP_MAINFRAME_H

#include <windows.h>

#include "../config/Settings.h"
#include "OutputPane.h"

class MainFrame {
public:
    MainFrame();
    virtual ~MainFrame();

    // Start-up and message loop.
    bool Create(HINSTANCE instance, int showCommand);
    void RegisterWindowClass(HINSTANCE instance);

    // Main window.
    static LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void OnCreate(HWND window);
    LRESULT OnClose();
    LRESULT OnNotify(HWND window, NMHDR* header);
    void OnSize(int width, int height);
    void OnCommand(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    bool CreateToolbar(HWND window);

    // Output pane.
    HWND CreatePane(HWND window);

    // Run menu.
    void RebuildRunMenu(HWND window);

    // Jobs (runner/Jobs.cpp).
    void StartJob(const char* commandLine);
    LRESULT OnDropFiles(HDROP drop);
    void RunSlot(UINT commandId);
    void RunDefault();
    static DWORD WINAPI JobThread(LPVOID parameter);
    // A job object for a job's processes, or null when the system refuses one.
    static HANDLE CreateJobGroup();

    // Ends the running job's child and every process it started, with exit code 1; a child
    // outside the group is ended alone. Answers whether a job was running.
    bool EndRunningJob();

    // Called after the message loop: waits up to waitMs for a worker that is still alive and
    // closes its handle. Answers true when no worker is alive any more, so the frame may be deleted.
    bool ReleaseWorker(DWORD waitMs);

    Settings settings;
    OutputPane outputPane;
    HANDLE workerThread;
    HCURSOR savedCursor;
    HWND mainWindow;
    HWND paneWindow;
    HWND toolbarWindow;
    char* commandLine;
    char windowTitle[128];
    char windowClassName[128];
    char* jobCommandLine;

    // Job object that holds every child a job starts, so that closing the window can end the
    // whole tree. Created with the frame; null when the system refused one.
    HANDLE jobGroup;
    // A running child that is not in jobGroup (there is none, or the system refused the child, as
    // Windows 7 does when Velqueth itself runs in a job): a duplicate of its process handle, so
    // that the close can end it. The worker's runner puts it in once the child has started and
    // takes it back when the run is over; EndRunningJob and ReleaseWorker take it to end the
    // child. Every change is an InterlockedExchangePointer, and whoever takes it out closes it.
    HANDLE volatile ungroupedChild;
    // Set by OnClose when it had to end a running job: the teardown then waits a little for the
    // worker to notice, instead of not at all.
    bool jobEndedByClose;

private:
    MainFrame(const MainFrame&) = delete;
    MainFrame& operator=(const MainFrame&) = delete;
};

#endif
