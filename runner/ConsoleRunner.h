// ConsoleRunner: one run of a console program, its standard output and error through one pipe,
// read 256 bytes at a time and handed to OnOutput. It lives on one worker's stack; only its three
// slots below are shared (the contract is beside MainFrame's fields).
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

    // Optional, not owned: the job object the child joins before it runs, so that its tree can
    // be ended at once.
    void SetProcessGroup(HANDLE jobObject);
    // Optional, not owned: where a child outside the group is published, so that it can be ended.
    void SetUngroupedChildSlot(HANDLE volatile* slot);
    // Optional, not owned: once non-zero the runner reads only what the pipe holds; whoever sets it
    // cancels the worker's blocking read.
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
