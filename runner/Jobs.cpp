// Jobs: turning run requests into job command lines, admitting one job at a time, and running
// each job on a worker thread of its own.
//
// The threading contract is written beside the frame's fields (app/MainFrame.h).
#include "app/MainFrame.h"

#include <shellapi.h>

#include <cstdio>
#include <cstring>

#include "base/Seams.h"
#include "config/AppPaths.h"
#include "res/Commands.h"
#include "runner/PaneConsoleRunner.h"
#include "runner/ExitLine.h"

namespace {

const int kNameSize = 260;                         // a path: 259 characters and the terminator
const int kDropCommandSize = kNameSize + 4;        // the path in quotes
const int kSlotCommandSize = 2 + 259 + 1 + 259 + 1;  // quoted path, blank, arguments, NUL

void FormatSlotCommand(char* command, const char* path, const char* arguments)
{
    std::snprintf(command, kSlotCommandSize, "\"%s\" %s", path, arguments);
}

// jobStopped: the stop was asked for (the runner reads only what the pipe holds); it ended a
// process that was still running (the job closes with the Stopped line); or, without a stop, the
// program's run is over (a stop then ends nothing of the job's).
const LONG kStopAsked = 1;
const LONG kStopEnded = 2;
const LONG kRunOver = 3;

// A stop that finds the program still running is marked as one that ended it before the ending
// itself: the worker judges the stop as soon as the program's end breaks the pipe, which can be
// before the call that ends it has returned.
void MarkStopEnded(LONG volatile* stopState)
{
    if (stopState)
        InterlockedCompareExchange(stopState, kStopEnded, kStopAsked);
}

// Ends a child that is not in the group, when the worker has published one (see ungroupedChild).
// Whatever that child started lives on.
void EndUngroupedChild(HANDLE volatile* slot, LONG volatile* stopState)
{
    HANDLE child = InterlockedExchangePointer(slot, nullptr);
    if (!child)
        return;
    if (WaitForSingleObject(child, 0) == WAIT_TIMEOUT)
        MarkStopEnded(stopState);
    TerminateProcess(child, 1);
    CloseHandle(child);
}

// `opening`, the command line and a line break, in one colour. From the worker every insertion is
// a round trip to the user-interface thread, so the line goes in whole where memory allows.
void WriteCommandLine(OutputPane* pane, const char* opening, const char* commandLine, COLORREF colour)
{
    size_t openingLength = std::strlen(opening);
    size_t length = std::strlen(commandLine);
    char* line = static_cast<char*>(seams::heapAlloc(GetProcessHeap(), 0, openingLength + length + 3));
    if (!line) {
        pane->Append(opening, colour);
        pane->Append(commandLine, colour);
        pane->Append("\r\n", colour);
        return;
    }
    std::memcpy(line, opening, openingLength);
    std::memcpy(line + openingLength, commandLine, length);
    std::memcpy(line + openingLength + length, "\r\n", 3);
    pane->Append(line, colour);
    HeapFree(GetProcessHeap(), 0, line);
}

// The grey header that opens a job in the log.
void WriteHeader(OutputPane* pane, const char* commandLine)
{
    WriteCommandLine(pane, "\r\nExecuting:- ", commandLine, kColourGrey);
}

// The red line that closes a job that could not run.
void WriteFailureLine(OutputPane* pane, const char* commandLine)
{
    WriteCommandLine(pane, "Failure running:- ", commandLine, kColourRed);
}

bool IsConsoleHost(HANDLE process)
{
    char name[kNameSize];
    DWORD size = kNameSize;
    if (!QueryFullProcessImageNameA(process, 0, name, &size))
        return false;
    const char* file = std::strrchr(name, '\\');
    return lstrcmpiA(file ? file + 1 : name, "conhost.exe") == 0;
}

// Whether a process of the group still runs a program. The console's host, which the system puts
// in the group too, stays a moment after its program has ended. A group that cannot be asked
// counts as running.
bool GroupRunsAProgram(HANDLE group)
{
    struct {
        JOBOBJECT_BASIC_PROCESS_ID_LIST list;
        ULONG_PTR more[63];
    } ids;
    std::memset(&ids, 0, sizeof ids);
    if (!QueryInformationJobObject(group, JobObjectBasicProcessIdList, &ids, sizeof ids, nullptr))
        return true;
    for (DWORD i = 0; i < ids.list.NumberOfProcessIdsInList; ++i) {
        HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                     static_cast<DWORD>(ids.list.ProcessIdList[i]));
        if (!process)
            continue;  // gone meanwhile
        DWORD code = 0;
        bool program = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE &&
                       !IsConsoleHost(process);
        CloseHandle(process);
        if (program)
            return true;
    }
    return false;
}

// The running job's child and everything in its group; a stop in `stopState` (if given) is marked
// as one that ended a program when a program among them was still running.
void EndJobProcesses(HANDLE group, HANDLE volatile* ungroupedChild, LONG volatile* stopState)
{
    if (group) {
        if (GroupRunsAProgram(group))
            MarkStopEnded(stopState);
        TerminateJobObject(group, 1);
    }
    EndUngroupedChild(ungroupedChild, stopState);
}

// After a stop the stopped job's processes are ended again, and the worker's read cancelled
// again, this often until the worker is gone.
const UINT kStopRetryMs = 100;

} // namespace

void MainFrame::StartJob(const char* commandLine, UINT codePage, ColourMode colours, int slot)
{
    if (workerThread) {
        if (WorkerRunning()) {
            seams::messageBox(nullptr, "A file is already being processed, please wait", nullptr,
                              MB_ICONINFORMATION);
            return;
        }
        CloseHandle(workerThread);
        workerThread = nullptr;
    }

    const char* text = commandLine ? commandLine : "";
    size_t length = std::strlen(text);
    char* copy = static_cast<char*>(seams::heapAlloc(GetProcessHeap(), 0, length + 1));
    if (!copy) {
        // No worker runs: this thread may write to the log.
        WriteHeader(&outputPane, text);
        WriteFailureLine(&outputPane, text);
        ShowJobEnded(true);
        return;
    }
    std::memcpy(copy, text, length + 1);
    if (jobCommandLine)
        HeapFree(GetProcessHeap(), 0, jobCommandLine);
    jobCommandLine = copy;
    jobCodePage = codePage;
    jobColours = colours;

    settings.Load();
    jobPlaces.Remember(jobCommandLine, slot, settings);

    // The previous job is over: its stop, if any, is done with.
    KillTimer(mainWindow, kStopTimer);
    InterlockedExchange(&jobStopped, 0);

    // A fresh group per job, so that ending the running job ends its processes and nothing that
    // an earlier job left behind. Without the kill-on-close limit, closing the handle ends nobody.
    HANDLE group = CreateJobGroup();
    if (group) {
        if (jobGroup)
            CloseHandle(jobGroup);
        jobGroup = group;
    }

    ++jobNumber;
    workerThread = seams::createThread(nullptr, 0, JobThread, this, 0, nullptr);
    workerAlive = workerThread != nullptr;
    if (!workerThread) {
        WriteHeader(&outputPane, jobCommandLine);
        WriteFailureLine(&outputPane, jobCommandLine);
    }
    RefreshCursor();
    EnableStopItem();
    if (workerAlive)
        ShowJobStarted();
    else
        ShowJobEnded(true);
}

LRESULT MainFrame::OnJobEnded(WPARAM number, LPARAM failed)
{
    // The end of an earlier job may come after the next one has started: that one still runs.
    if (number == jobNumber) {
        workerAlive = false;
        KillTimer(mainWindow, kStopTimer);
        RefreshCursor();
        EnableStopItem();
        ShowJobEnded(failed != 0);
    }
    return 0;
}

bool MainFrame::StopRunningJob()
{
    if (!workerAlive || !WorkerRunning())
        return false;
    // Asked first, so that the read that the cancel ends is taken as the stop.
    LONG before = InterlockedCompareExchange(&jobStopped, kStopAsked, 0);
    EndJobProcesses(jobGroup, &ungroupedChild, &jobStopped);
    // After the run, whatever the group still held was no longer the job's program.
    if (before == kRunOver)
        return false;
    // The worker may be waiting in a read that a process outside the group keeps open.
    CancelSynchronousIo(workerThread);
    // The worker may have been just about to read, or to start the child: again until it is gone.
    SetTimer(mainWindow, kStopTimer, kStopRetryMs, nullptr);
    return true;
}

void MainFrame::OnStopTimer()
{
    LONG stop = InterlockedCompareExchange(&jobStopped, 0, 0);
    if (stop == 0 || stop == kRunOver || !WorkerRunning()) {
        KillTimer(mainWindow, kStopTimer);
        return;
    }
    EndJobProcesses(jobGroup, &ungroupedChild, &jobStopped);
    CancelSynchronousIo(workerThread);
}

void MainFrame::AddStopItem(HWND window)
{
    HMENU menu = GetSystemMenu(window, FALSE);
    if (!menu)
        return;
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, MF_STRING | MF_GRAYED, IDM_STOP_PROGRAM,
                "Stop the running program\tCtrl+Break");
}

void MainFrame::EnableStopItem()
{
    HMENU menu = mainWindow ? GetSystemMenu(mainWindow, FALSE) : nullptr;
    if (menu)
        EnableMenuItem(menu, IDM_STOP_PROGRAM, MF_BYCOMMAND | (workerAlive ? MF_ENABLED : MF_GRAYED));
}

HANDLE MainFrame::CreateJobGroup()
{
    HANDLE group = CreateJobObjectA(nullptr, nullptr);
    if (!group)
        return nullptr;
    // A program run alone may start a child outside its own job (CREATE_BREAKAWAY_FROM_JOB); a
    // group that forbade it would make that start fail with access denied under Velqueth only.
    // Should the limit be refused, the group still serves to end the tree.
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits;
    std::memset(&limits, 0, sizeof limits);
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_BREAKAWAY_OK;
    SetInformationJobObject(group, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    return group;
}

LRESULT MainFrame::OnDropFiles(HDROP drop)
{
    char name[kNameSize];
    name[0] = '\0';
    if (DragQueryFileA(drop, 0, name, kNameSize) == 0)
        name[0] = '\0';
    DragFinish(drop);

    char command[kDropCommandSize];
    std::snprintf(command, sizeof command, "\"%s\"", name);
    StartJob(command);
    return 0;
}

void MainFrame::RunSlot(UINT commandId)
{
    int index = static_cast<int>(LOWORD(commandId)) - ID_RUN_SLOT_1;

    // Kept from the first request to the end of the program: a load that cannot find the file's
    // path leaves the values of the previous load.
    static Settings slotSettings;
    slotSettings.Load();

    const char* path = "";
    const char* arguments = "";
    slotSettings.GetSlot(index, &path, &arguments);

    char command[kSlotCommandSize];
    FormatSlotCommand(command, path, arguments);
    StartJob(command, slotSettings.SlotCodePage(index), slotSettings.SlotColours(index), index);
}

void MainFrame::RunDefault()
{
    Settings defaults;
    defaults.Load();
    const char* path = "";
    const char* arguments = "";
    int index = defaults.DefaultSlotIndex();
    defaults.GetSlot(index, &path, &arguments);

    char command[kSlotCommandSize];
    FormatSlotCommand(command, path, arguments);
    StartJob(command, defaults.SlotCodePage(index), defaults.SlotColours(index), index);
}

DWORD WINAPI MainFrame::JobThread(LPVOID parameter)
{
    MainFrame* frame = static_cast<MainFrame*>(parameter);
    if (!frame)
        return 0;

    PaneConsoleRunner runner;
    runner.SetProcessGroup(frame->jobGroup);
    runner.SetUngroupedChildSlot(&frame->ungroupedChild);
    runner.SetStopSignal(&frame->jobStopped);

    // These act on this thread's own input state, which has no window: the user sees nothing of
    // them (the windows show the wait cursor while workerAlive is set). No WM_SETCURSOR goes to
    // the pane either: its wParam must name a window, and a rich edit may answer with its I-beam.
    SetCapture(frame->paneWindow);
    frame->savedCursor = SetCursor(LoadCursorA(nullptr, IDC_WAIT));

    char directory[kPathSize];
    ProgramDirectory(frame->jobCommandLine, directory);

    // The whole process runs in the program's directory while the job lasts; a directory that
    // cannot be entered leaves the current one.
    char keptDirectory[kPathSize];
    DWORD kept = GetCurrentDirectoryA(kPathSize, keptDirectory);
    bool haveKept = kept > 0 && kept < static_cast<DWORD>(kPathSize);
    SetCurrentDirectoryA(directory);

    runner.SetPane(frame->paneWindow);
    runner.SetOutput(&frame->outputPane);
    runner.SetCodePage(frame->jobCodePage);
    runner.SetColours(frame->jobColours);

    WriteHeader(&frame->outputPane, frame->jobCommandLine);
    if (frame->jobPlaces.Notice()[0])
        frame->outputPane.Append(frame->jobPlaces.Notice(), kColourRed);

    DWORD result = runner.Execute(frame->jobCommandLine, frame->settings.displayProgram != 0);
    InterlockedCompareExchange(&frame->jobStopped, kRunOver, 0);
    runner.FinishOutput();
    // A stop is the user's doing, not a failure of the job.
    LPARAM failed = 0;

    // A stop that ended nothing (the program had ended, or never started) leaves the job's own line.
    if (InterlockedCompareExchange(&frame->jobStopped, 0, 0) == kStopEnded) {
        // On a line of its own after what the program wrote, then the prompt as after any job.
        const char* opening = frame->outputPane.EndsWithLineBreak() ? "Stopped:- " : "\r\nStopped:- ";
        WriteCommandLine(&frame->outputPane, opening, frame->jobCommandLine, kColourRed);
        frame->outputPane.Append("C:\\> ", kColourGreen);
    } else if (result != 0) {
        WriteFailureLine(&frame->outputPane, frame->jobCommandLine);
        failed = 1;
    } else {
        if (frame->settings.showExitCode)
            WriteExitLine(&frame->outputPane, runner.outcome);
        frame->outputPane.Append("C:\\> ", kColourGreen);
        failed = runner.outcome.ended && runner.outcome.exitCode != 0;
    }

    SetCursor(frame->savedCursor);
    ReleaseCapture();
    if (haveKept)
        SetCurrentDirectoryA(keptDirectory);
    // Last: the user-interface thread puts the usual cursors back.
    PostMessageA(frame->mainWindow, kJobEndedMessage, frame->jobNumber, failed);
    return 1;
}

bool MainFrame::WorkerRunning() const
{
    return workerThread && WaitForSingleObject(workerThread, 0) == WAIT_TIMEOUT;
}

bool MainFrame::EndRunningJob()
{
    if (!WorkerRunning())
        return false;
    // The child and all it started die; the output pipe then breaks and the worker finishes.
    EndJobProcesses(jobGroup, &ungroupedChild, nullptr);
    // The teardown goes on ending them until the worker is gone (see ReleaseWorker).
    jobEndedByClose = true;
    return true;
}

bool MainFrame::ReleaseWorker(DWORD waitMs)
{
    if (!workerThread)
        return true;
    const DWORD kSlice = 50;
    DWORD start = GetTickCount();
    for (;;) {
        // The close may have come while the worker was still starting its child, which then
        // joined the group (or was published outside it) after the close: end both again until
        // the worker is gone.
        if (jobEndedByClose) {
            EndJobProcesses(jobGroup, &ungroupedChild, nullptr);
            // Nor may a process that left the group keep the worker reading.
            InterlockedCompareExchange(&jobStopped, kStopAsked, 0);
            CancelSynchronousIo(workerThread);
        }
        // A worker may be inside a SendMessage to the (destroyed) pane: serve sent messages while
        // waiting, or it could never finish.
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        DWORD elapsed = GetTickCount() - start;
        DWORD remaining = elapsed < waitMs ? waitMs - elapsed : 0;
        DWORD wait = MsgWaitForMultipleObjects(1, &workerThread, FALSE,
                                               remaining < kSlice ? remaining : kSlice,
                                               QS_SENDMESSAGE);
        if (wait == WAIT_OBJECT_0 || wait == WAIT_FAILED)
            break;
        if (wait == WAIT_TIMEOUT && remaining <= kSlice)
            return false;
    }
    CloseHandle(workerThread);
    workerThread = nullptr;
    workerAlive = false;
    return true;
}
