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

    // After the message loop: deletes the frame unless a job's worker is still alive, which would
    // read it after it is freed (the frame is then left to the process exit). After the close box
    // ended a job the worker finishes at once, so it is given a moment; after File, Exit it is not
    // waited for at all. Answers whether the frame was deleted.
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

    // Has the window under the pointer, if it is this window or one of its children, set its
    // cursor again, as a mouse move would: a change of workerAlive shows at once.
    void RefreshCursor();

    // The taskbar button (app/TaskbarButton.cpp): indeterminate progress from the start of a job
    // to its end, then a flash if another program is in front. A job that failed (it could not
    // start, or its exit code is not 0) leaves the error state until the window is next
    // activated or the next job starts.
    static UINT TaskbarButtonCreatedMessage();
    void ShowJobStarted();
    void ShowJobEnded(bool failed);
    void OnTaskbarButtonCreated();
    void OnActivate(WPARAM state);

    // The log: its window, fed, opened by the banner line; null when no control could be made.
    HWND CreatePane(HWND window);

    // Run menu.
    void RebuildRunMenu(HWND window);

    // The log's context menu, shown for the log's WM_CONTEXTMENU (app/LogMenu.h).
    void ShowLogMenu(LPARAM where);

    // Jobs (runner/Jobs.cpp).
    // `codePage`: how the job's output is read (a slot's CodePage key; TextDecoder::kAutomatic);
    // `colours`: how its escape sequences are shown (a slot's Colours key); `slot`: the slot
    // whose Messages key reads the job's message lines.
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

    // Ends the running job's child and every process it started, with exit code 1; a child
    // outside the group is ended alone. Answers whether a job was running.
    bool EndRunningJob();

    // Ctrl+Break and the system menu's stop item: ends the running job's processes as the close
    // does, and has its worker stop reading even while a process that left the group still holds
    // the pipe; the log then says the job was stopped, if the stop ended a process that still ran
    // (a program that had ended, or could not start, keeps its own closing line). Nothing happens
    // without a running job. Answers whether a job was stopped.
    bool StopRunningJob();
    // While a stopped job's worker is alive: ends the processes again (one may have joined the
    // group just after the stop) and cancels the worker's blocking read.
    void OnStopTimer();
    // The stop item of the system menu: added once at creation, enabled while a job runs.
    void AddStopItem(HWND window);
    void EnableStopItem();

    // Called after the message loop: waits up to waitMs for a worker that is still alive and
    // closes its handle. Answers true when no worker is alive any more, so the frame may be deleted.
    bool ReleaseWorker(DWORD waitMs);

    // A job's worker thread exists and has not ended (the user-interface thread asks).
    bool WorkerRunning() const;

    // Threading: who may touch what, the one description of it. Two threads use the frame: the
    // user-interface thread (the message loop, every window and dialog, every run request) and at
    // most one job's worker (JobThread), from StartJob until it has posted kJobEndedMessage. The
    // frame is deleted only when no worker is alive any more (Release).

    // Written by the user-interface thread at creation, or by StartJob once WorkerRunning() has
    // said no; while a worker runs, it only reads them.
    Settings settings;     // the worker reads displayProgram
    HWND mainWindow;       // the worker posts kJobEndedMessage to it
    char* jobCommandLine;
    UINT jobCodePage;      // how the job's output is read
    ColourMode jobColours; // how its escape sequences are shown
    JobPlaces jobPlaces;   // the jobs' directories and message patterns; the worker reads its notice
    // Job object that holds every child a job starts, so that closing the window can end the
    // whole tree. Created with the frame and anew for each job; null when the system refused one.
    HANDLE jobGroup;
    DWORD jobNumber;       // counts the jobs, so that an earlier job's end message is told apart
    // The log's window. A full log moves to a new one (the renewal tells the main window), which
    // happens only while queued output goes in: the worker reads it only before its child runs.
    HWND paneWindow;

    // Shared while a worker runs, each by its own rule.
    // The log: the worker hands it the output and its lines, under the feed's own rules
    // (app/OutputPane.h: the queue's lock, an interlocked wake-up flag).
    OutputPane outputPane;
    // Non-zero once the user has stopped the running job (2 once the stop ended a program that
    // still ran) or, set by the worker, once its run is over (3; states in runner/Jobs.cpp): set by
    // the user-interface thread (StopRunningJob, OnStopTimer, ReleaseWorker after a close), cleared
    // by StartJob; the worker's runner reads it as its stop signal. Read and written only through
    // interlocked operations.
    LONG volatile jobStopped;
    // A running child that is not in jobGroup (there is none, or the system refused the child, as
    // Windows 7 does when Velqueth itself runs in a job): a duplicate of its process handle, so
    // that the close can end it. The worker's runner puts it in once the child has started and
    // takes it back when the run is over; EndRunningJob and ReleaseWorker take it to end the
    // child. Every change is an InterlockedExchangePointer, and whoever takes it out closes it.
    HANDLE volatile ungroupedChild;

    // The worker's alone, during its job.
    HCURSOR savedCursor;

    // The user-interface thread's alone.
    HANDLE workerThread;
    // Set while a job's worker is alive, as far as the user-interface thread knows: from StartJob
    // until the worker's kJobEndedMessage or a teardown that finds it ended. The windows show the
    // wait cursor meanwhile; the worker's own thread cannot set the cursor that the user sees.
    bool workerAlive;
    // Set by OnClose when it had to end a running job: the teardown then waits a little for the
    // worker to notice, instead of not at all.
    bool jobEndedByClose;
    HWND toolbarWindow;
    char* commandLine;
    char windowTitle[128];
    char windowClassName[128];
    // Set while the taskbar button shows that the last job failed.
    bool taskbarError;
    // Find in the log and Save Log As.
    LogFind logFind;
    LogSave logSave;

private:
    MainFrame(const MainFrame&) = delete;
    MainFrame& operator=(const MainFrame&) = delete;
};

#endif
