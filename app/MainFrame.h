// MainFrame: the one application object.
#ifndef VELQUETH_APP_MAINFRAME_H
#define VELQUETH_APP_MAINFRAME_H

#include <windows.h>

#include "app/JobPlaces.h"
#include "app/OutputPane.h"
#include "app/LogFind.h"
#include "app/LogSave.h"
#include "base/TextDecoder.h"
#include "config/Settings.h"

// Posted by a job's worker to the main window as it finishes; wParam is the job's jobNumber.
const UINT kJobEndedMessage = WM_APP + 1;
// The main window's timer while a stopped job's worker is still alive (MainFrame::OnStopTimer).
const UINT_PTR kStopTimer = 0x5653;

class MainFrame {
public:
    MainFrame();
    virtual ~MainFrame();

    // Start-up and message loop.
    bool Create(HINSTANCE instance, int showCommand);
    void RegisterWindowClass(HINSTANCE instance);

    // After the message loop: deletes the frame unless a worker still alive would read it after
    // it is freed. Answers whether the frame was deleted.
    static bool Release(MainFrame* frame);

    // Main window.
    static LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void OnCreate(HWND window);
    LRESULT OnClose();
    LRESULT OnNotify(HWND window, NMHDR* header);
    void OnSize(int width, int height);
    LRESULT OnCommand(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnSetCursor(HWND window, WPARAM wParam, LPARAM lParam);
    // A key of the window (IsWindowKey), pressed here or in the log.
    void OnWindowKey(WPARAM key);
    bool CreateToolbar(HWND window);

    // Sets the cursor of the window under the pointer again, so that workerAlive shows at once.
    void RefreshCursor();

    // The taskbar button (app/TaskbarButton.cpp): progress during a job, then a flash, and the
    // error state after a failed job until the window is activated.
    static UINT TaskbarButtonCreatedMessage();
    void ShowJobStarted();
    void ShowJobEnded(bool failed);
    void OnTaskbarButtonCreated();
    void OnActivate(WPARAM state);

    // The log: its window, fed, opened by the banner line; null when no control could be made.
    HWND CreatePane(HWND window);

    // Run menu.
    void RebuildRunMenu(HWND window);

    // The log's context menu (app/LogMenu.h).
    void ShowLogMenu(LPARAM where);

    // Jobs (runner/Jobs.cpp). The slot's CodePage, Colours and Messages keys come with the job.
    void StartJob(const char* commandLine, UINT codePage = TextDecoder::kAutomatic,
                  ColourMode colours = kColoursOn, int slot = kNoSlot);
    LRESULT OnDropFiles(HDROP drop);
    void RunSlot(UINT commandId);
    void RunDefault();
    static DWORD WINAPI JobThread(LPVOID parameter);
    // A job object for a job's processes, or null when the system refuses one.
    static HANDLE CreateJobGroup();
    // lParam of kJobEndedMessage: non-zero when the job failed.
    LRESULT OnJobEnded(WPARAM number, LPARAM failed);

    // The close: ends the running job's processes. Answers whether a job was running.
    bool EndRunningJob();

    // Ctrl+Break and the system menu's item: ends the job's processes and the worker's read, even
    // where a process that left the group holds the pipe. Answers whether a job was stopped.
    bool StopRunningJob();
    // Again while the stopped worker lives: a process may join the group just after the stop.
    void OnStopTimer();
    void AddStopItem(HWND window);
    void EnableStopItem();

    // After the message loop: waits up to waitMs for the worker. Answers whether none is alive.
    bool ReleaseWorker(DWORD waitMs);

    // The one answer to "is a worker alive" (the user-interface thread asks).
    bool WorkerRunning() const;

    // Threading, written here only: the user-interface thread and at most one job's worker
    // (JobThread, from StartJob until it posts kJobEndedMessage) use the frame.

    // Written by the user-interface thread while no worker runs; the worker only reads them.
    Settings settings;     // the worker reads displayProgram
    HWND mainWindow;       // the worker posts kJobEndedMessage to it
    char* jobCommandLine;
    UINT jobCodePage;      // how the job's output is read
    ColourMode jobColours; // how its escape sequences are shown
    JobPlaces jobPlaces;   // the jobs' directories and patterns; the worker reads its notice
    HANDLE jobGroup;       // every process of the job, so that a stop ends the tree; may be null
    DWORD jobNumber;       // counts the jobs, so that an earlier job's end message is told apart
    // The log's window: a renewal replaces it (on this thread); the worker reads it before the
    // child runs.
    HWND paneWindow;

    // Shared while a worker runs, each by its own rule.
    // The worker hands the log its output under the feed's rules (a locked queue, an
    // interlocked wake-up flag: app/OutputPane.h).
    OutputPane outputPane;
    // The stop's state (runner/Jobs.cpp): the user-interface thread asks and marks the stop
    // (StopRunningJob, OnStopTimer, ReleaseWorker), StartJob clears it, the worker marks its run
    // over and reads it as its stop signal. Only interlocked operations touch it.
    LONG volatile jobStopped;
    // A running child outside jobGroup, so that it can still be ended: the worker puts it in and
    // takes it back, the stop and the close take it; only InterlockedExchangePointer changes it,
    // and whoever takes it out closes it.
    HANDLE volatile ungroupedChild;

    // The worker's alone, during its job.
    HCURSOR savedCursor;

    // The user-interface thread's alone.
    HANDLE workerThread;
    // From StartJob to kJobEndedMessage: the windows show the wait cursor, which the worker's
    // own thread cannot set.
    bool workerAlive;
    bool jobEndedByClose;  // the teardown then waits a little for the worker
    HWND toolbarWindow;
    char* commandLine;
    char windowTitle[128];
    char windowClassName[128];
    bool taskbarError;     // the taskbar button shows that the last job failed
    LogFind logFind;
    LogSave logSave;

private:
    MainFrame(const MainFrame&) = delete;
    MainFrame& operator=(const MainFrame&) = delete;
};

#endif
