// ConsoleRunner: one run of a console program as a child process whose standard output and
// standard error share one anonymous pipe, read 256 bytes at a time and handed to OnOutput.
//
// Threading: a runner lives on the stack of one job's worker thread and is used by that thread,
// apart from what it shares through its three optional slots below (the group, the published
// child, the stop flag) and what it hands to the feed. Execute blocks until the child, and
// everything that inherited its pipe, are gone.
#ifndef VELQUETH_RUNNER_CONSOLERUNNER_H
#define VELQUETH_RUNNER_CONSOLERUNNER_H

#include <windows.h>


const DWORD kChunkSize = 256;

// How a child that was waited for ended, read before its process handle is closed.
struct ChildOutcome {
    bool ended;          // false: not started, or not waited for
    DWORD exitCode;
    ULONGLONG lifetime;  // from its creation to its exit, in 100-ns units
};

class ConsoleRunner {
public:
    ConsoleRunner();
    virtual ~ConsoleRunner();
    // One chunk as read (NUL bytes left out).
    virtual void OnOutput(const char* text) = 0;

    DWORD Execute(const char* commandLine, bool display);
    DWORD CreatePipes(STARTUPINFOA* startup, bool hide);
    DWORD ReadOutput(PROCESS_INFORMATION* process);
    DWORD CloseChildEnds();
    DWORD CloseParentEnds();

    // Optional: a job object that the child is placed in before it runs, so that its whole
    // process tree can be ended at once. Not owned.
    void SetProcessGroup(HANDLE jobObject);
    // Optional: where the runner publishes, for another thread, a duplicate handle of a child
    // that is not in the group (there is none, or the system refused the child), so that the
    // child can be ended on its own. Not owned. The slot changes only through
    // InterlockedExchangePointer: the runner puts the handle in once the child has started and
    // takes it back when the run is over; whichever thread takes a handle out closes it.
    void SetUngroupedChildSlot(HANDLE volatile* slot);
    // Optional: a flag that another thread sets (interlocked) to stop the run. From then on the
    // runner reads only what the pipe holds already, then ends as at the end of the output; a
    // blocking read is ended by cancelling it (CancelSynchronousIo on the reading thread), which
    // the one who sets the flag does. Not owned.
    void SetStopSignal(LONG volatile* flag);

    HANDLE childErrorWrite;
    HANDLE childInputRead;
    HANDLE inputWrite;
    HANDLE outputRead;
    HANDLE childOutputWrite;
    HANDLE processGroup;
    HANDLE volatile* ungroupedChildSlot;
    LONG volatile* stopSignal;
    // After Execute: how the child ended.
    ChildOutcome outcome;

private:
    bool Stopped() const;
    // After a stop: passes on what the pipe holds at this moment, however much more comes.
    DWORD ReadWhatIsLeft(char* buffer);
    // Hands `read` bytes of `buffer` (room for one more) to OnOutput.
    void PassOn(char* buffer, DWORD read);

    ConsoleRunner(const ConsoleRunner&) = delete;
    ConsoleRunner& operator=(const ConsoleRunner&) = delete;
};

#endif
