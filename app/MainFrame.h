// MainFrame: the one application object.
#ifndef VELQUETH_APP_MAINFRAME_H
#define VELQUETH_APP_MAINFRAME_H

#include <windows.h>

#include "app/LogFeed.h"
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
    // to its end, then a flash if another program is in front.
    static UINT TaskbarButtonCreatedMessage();
    void ShowJobStarted();
    void ShowJobEnded();
    void OnTaskbarButtonCreated();

    // The log: its window, fed, opened by the banner line; null when no control could be made.
    HWND CreateLog(HWND window);

    // Run menu.
    void RebuildRunMenu(HWND window);

    // Jobs (runner/Jobs.cpp).
    // `codePage`: how the job's output is read (a slot's CodePage key; TextDecoder::kAutomatic).
    void StartJob(const char* commandLine, UINT codePage = TextDecoder::kAutomatic);
    LRESULT OnDropFiles(HDROP drop);
    void RunSlot(UINT commandId);
    void RunDefault();
    static DWORD WINAPI JobThread(LPVOID parameter);
    // A job object for a job's processes, or null when the system refuses one.
    static HANDLE CreateJobGroup();
    LRESULT OnJobEnded(WPARAM number);

    // Ends the running job's child and every process it started, with exit code 1; a child
    // outside the group is ended alone. Answers whether a job was running.
    bool EndRunningJob();

    // Ctrl+Break and the system menu's stop item: ends the running job's processes as the close
    // does, and has its worker stop reading even while a process that left the group still holds
    // the pipe; the log then says the job was stopped. Nothing happens without a running job.
    // Answers whether a job was stopped.
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

    // Threading contract, the one description of it. Two threads use the frame: the
    // user-interface thread (the message loop, every window and dialog, every run request) and at
    // most one job's worker thread (JobThread). One lock exists: the output queue's
    // (logFeed.queue, app/OutputQueue.h), with its event, which hands the child's output from
    // the worker to the pane; everything else rests on the one-job rule.
    //
    // Written by the user-interface thread only while no worker is alive (StartJob writes them
    // after its busy check has found none; the worker only reads them):
    //   settings (the worker reads displayProgram), jobCommandLine, jobCodePage, jobGroup,
    //   jobNumber.
    // Written while the main window is created, before any job; read by both threads:
    //   logFeed (the worker appends through it: its lines are messages that the user-interface
    //   thread carries out, the child's output goes through its queue), mainWindow, logWindow.
    //   Exception: when the log is full, the user-interface thread moves it to a new pane window
    //   (logFeed.window, logFeed.plainEdit and logWindow change). That happens only while
    //   it inserts queued output, and only the worker queues output; so the worker reads these
    //   fields only when the queue is empty and nothing is being inserted: before it runs its
    //   child, and after a flush (LogFeed::Flush, whose wait on the queue's lock orders the
    //   renewal's writes before the worker's reads).
    // Written and read by the worker alone, during its job: savedCursor.
    // Set by the user-interface thread (StopRunningJob) while the worker runs, cleared by StartJob
    // while none is alive; the worker reads it: jobStopped, only through interlocked operations.
    // Written by both, only through interlocked exchanges: ungroupedChild (see there).
    // Written and read by the user-interface thread alone: workerThread, jobEndedByClose,
    //   workerAlive (the worker's end reaches it as kJobEndedMessage), toolbarWindow, commandLine,
    //   windowTitle, windowClassName.
    // The frame is deleted only when no worker is alive any more (Release).
    Settings settings;
    LogFeed logFeed;
    HANDLE workerThread;
    HCURSOR savedCursor;
    HWND mainWindow;
    HWND logWindow;
    HWND toolbarWindow;
    char* commandLine;
    char windowTitle[128];
    char windowClassName[128];
    char* jobCommandLine;
    // The code page in which the current job's output is read.
    UINT jobCodePage;

    // Job object that holds every child a job starts, so that closing the window can end the
    // whole tree. Created with the frame and anew for each job; null when the system refused one.
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
    // Set while a job's worker is alive, as far as the user-interface thread knows: from StartJob
    // until the worker's kJobEndedMessage or a teardown that finds it ended. The windows show the
    // wait cursor meanwhile; the worker's own thread cannot set the cursor that the user sees.
    bool workerAlive;
    // Counts the jobs started, so that the end message of an earlier job is told apart.
    DWORD jobNumber;
    // Non-zero once the user has stopped the running job (see StopRunningJob).
    LONG volatile jobStopped;

private:
    MainFrame(const MainFrame&) = delete;
    MainFrame& operator=(const MainFrame&) = delete;
};

#endif
