// Handles: every handle is set to INVALID_HANDLE_VALUE (or null, for the process record) once it
// is closed, so that each path out of Execute can release whatever is still open without closing
// anything twice.
#include "runner/ConsoleRunner.h"

#include <cstring>

namespace {

bool IsOpen(HANDLE handle)
{
    return handle != INVALID_HANDLE_VALUE && handle != nullptr;
}

// Closes an open handle and marks it closed. Answers the error of a failing close, else 0.
DWORD CloseAndForget(HANDLE* handle)
{
    if (!IsOpen(*handle))
        return 0;
    DWORD result = CloseHandle(*handle) ? 0 : GetLastError();
    *handle = INVALID_HANDLE_VALUE;
    return result;
}

// Keeps the first failure: an operation reports the call that failed first.
void KeepFirst(DWORD* result, DWORD code)
{
    if (*result == 0)
        *result = code;
}

// A failing call whose last-error value is 0 must still not read as success.
DWORD LastErrorOr(DWORD fallback)
{
    DWORD code = GetLastError();
    return code != 0 ? code : fallback;
}

void CloseProcessRecord(PROCESS_INFORMATION* process)
{
    if (IsOpen(process->hThread))
        CloseHandle(process->hThread);
    process->hThread = nullptr;
    if (IsOpen(process->hProcess))
        CloseHandle(process->hProcess);
    process->hProcess = nullptr;
}

// A child's process handle, duplicated into a slot that another thread may empty at any moment
// (see SetUngroupedChildSlot). Taken back when the holder goes, on every path out of Execute.
class PublishedChild {
public:
    explicit PublishedChild(HANDLE volatile* target) : slot(target), published(false) {}
    ~PublishedChild() { Withdraw(); }

    void Publish(HANDLE process)
    {
        HANDLE self = GetCurrentProcess();
        HANDLE copy = nullptr;
        if (!slot || !DuplicateHandle(self, process, self, &copy, 0, FALSE, DUPLICATE_SAME_ACCESS))
            return;
        HANDLE stale = InterlockedExchangePointer(slot, copy);
        if (stale)
            CloseHandle(stale);
        published = true;
    }

    void Withdraw()
    {
        if (!published)
            return;
        published = false;
        HANDLE copy = InterlockedExchangePointer(slot, nullptr);
        if (copy)  // null when the other thread has taken it
            CloseHandle(copy);
    }

private:
    PublishedChild(const PublishedChild&) = delete;
    PublishedChild& operator=(const PublishedChild&) = delete;

    HANDLE volatile* slot;
    bool published;
};

// CreateProcessA with the handles inherited, on a private copy of the command line (the call may
// write into it).
DWORD StartProcess(const char* commandLine, DWORD flags, STARTUPINFOA* startup,
                   PROCESS_INFORMATION* process)
{
    const char* text = commandLine ? commandLine : "";
    size_t length = std::strlen(text);
    char* privateCopy = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, length + 1));
    if (!privateCopy)
        return LastErrorOr(ERROR_NOT_ENOUGH_MEMORY);
    std::memcpy(privateCopy, text, length + 1);
    BOOL started = CreateProcessA(nullptr, privateCopy, nullptr, nullptr, TRUE, flags, nullptr,
                                  nullptr, startup, process);
    DWORD result = started ? 0 : LastErrorOr(ERROR_INVALID_FUNCTION);
    HeapFree(GetProcessHeap(), 0, privateCopy);
    return result;
}

// The exit code and the child's own time, from its creation to its exit.
void ReadOutcome(HANDLE process, ChildOutcome* outcome)
{
    FILETIME created, exited, kernel, user;
    outcome->ended = GetExitCodeProcess(process, &outcome->exitCode) != 0;
    if (!outcome->ended || !GetProcessTimes(process, &created, &exited, &kernel, &user))
        return;
    ULARGE_INTEGER from, to;
    from.LowPart = created.dwLowDateTime;
    from.HighPart = created.dwHighDateTime;
    to.LowPart = exited.dwLowDateTime;
    to.HighPart = exited.dwHighDateTime;
    outcome->lifetime = to.QuadPart > from.QuadPart ? to.QuadPart - from.QuadPart : 0;
}

// What one run holds, closed on every path out of Execute in this order: the child's process
// record, the child's pipe ends, the runner's own ends. Whatever is closed already is skipped.
class RunHandles {
public:
    RunHandles(ConsoleRunner* owner, PROCESS_INFORMATION* record) : runner(owner), process(record) {}
    ~RunHandles() noexcept
    {
        CloseProcessRecord(process);
        runner->CloseChildEnds();
        runner->CloseParentEnds();
    }

private:
    RunHandles(const RunHandles&) = delete;
    RunHandles& operator=(const RunHandles&) = delete;

    ConsoleRunner* runner;
    PROCESS_INFORMATION* process;
};

} // namespace

ConsoleRunner::ConsoleRunner()
    : childErrorWrite(INVALID_HANDLE_VALUE),
      childInputRead(INVALID_HANDLE_VALUE),
      inputWrite(INVALID_HANDLE_VALUE),
      outputRead(INVALID_HANDLE_VALUE),
      childOutputWrite(INVALID_HANDLE_VALUE),
      processGroup(nullptr),
      ungroupedChildSlot(nullptr),
      stopSignal(nullptr)
{
    outcome.ended = false;
    outcome.exitCode = 0;
    outcome.lifetime = 0;
}

ConsoleRunner::~ConsoleRunner()
{
}

void ConsoleRunner::SetProcessGroup(HANDLE jobObject)
{
    processGroup = jobObject;
}

void ConsoleRunner::SetUngroupedChildSlot(HANDLE volatile* slot)
{
    ungroupedChildSlot = slot;
}

void ConsoleRunner::SetStopSignal(LONG volatile* flag)
{
    stopSignal = flag;
}

bool ConsoleRunner::Stopped() const
{
    return stopSignal && InterlockedCompareExchange(stopSignal, 0, 0) != 0;
}

DWORD ConsoleRunner::CreatePipes(STARTUPINFOA* startup, bool hide)
{
    std::memset(startup, 0, sizeof *startup);
    startup->cb = sizeof *startup;

    SECURITY_ATTRIBUTES security;
    std::memset(&security, 0, sizeof security);
    security.nLength = sizeof security;
    security.lpSecurityDescriptor = nullptr;
    security.bInheritHandle = TRUE;

    // The inheritable originals of the runner's own ends; replaced by non-inheritable copies so
    // that the child does not hold them.
    HANDLE outputReadTemp = INVALID_HANDLE_VALUE;
    HANDLE inputWriteTemp = INVALID_HANDLE_VALUE;
    HANDLE self = GetCurrentProcess();
    DWORD result = 0;

    if (!CreatePipe(&outputReadTemp, &childOutputWrite, &security, 0))
        result = LastErrorOr(ERROR_INVALID_HANDLE);
    else if (!DuplicateHandle(self, childOutputWrite, self, &childErrorWrite, 0, TRUE,
                              DUPLICATE_SAME_ACCESS))
        result = LastErrorOr(ERROR_INVALID_HANDLE);
    else if (!CreatePipe(&childInputRead, &inputWriteTemp, &security, 0))
        result = LastErrorOr(ERROR_INVALID_HANDLE);
    else if (!DuplicateHandle(self, outputReadTemp, self, &outputRead, 0, FALSE,
                              DUPLICATE_SAME_ACCESS))
        result = LastErrorOr(ERROR_INVALID_HANDLE);
    else if (!DuplicateHandle(self, inputWriteTemp, self, &inputWrite, 0, FALSE,
                              DUPLICATE_SAME_ACCESS))
        result = LastErrorOr(ERROR_INVALID_HANDLE);

    KeepFirst(&result, CloseAndForget(&outputReadTemp));
    KeepFirst(&result, CloseAndForget(&inputWriteTemp));
    if (result != 0)
        return result;

    startup->dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup->hStdInput = childInputRead;
    startup->hStdOutput = childOutputWrite;
    startup->hStdError = childErrorWrite;
    startup->wShowWindow = hide ? SW_HIDE : SW_SHOWNORMAL;
    return 0;
}

DWORD ConsoleRunner::Execute(const char* commandLine, bool display)
{
    PROCESS_INFORMATION process;
    std::memset(&process, 0, sizeof process);
    RunHandles held(this, &process);

    STARTUPINFOA startup;
    DWORD result = CreatePipes(&startup, true);
    if (result != 0)
        return result;
    if (display) {
        // The child writes into its own console window; the standard handles are not used.
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_SHOWDEFAULT;
    }

    PublishedChild ungrouped(ungroupedChildSlot);
    DWORD flags = CREATE_NEW_CONSOLE | IDLE_PRIORITY_CLASS;
    if (processGroup)
        flags |= CREATE_SUSPENDED;  // placed in the group before it can start anything itself
    result = StartProcess(commandLine, flags, &startup, &process);
    if (result != 0)
        return result;

    // Some systems ignore the priority given at creation.
    SetPriorityClass(process.hProcess, IDLE_PRIORITY_CLASS);
    // Outside the group (on Windows 7 a process in a job cannot join a second one) the child
    // still runs, and is published so that it can at least be ended on its own.
    if (!processGroup || !AssignProcessToJobObject(processGroup, process.hProcess))
        ungrouped.Publish(process.hProcess);
    if (processGroup && ResumeThread(process.hThread) == static_cast<DWORD>(-1)) {
        result = LastErrorOr(ERROR_INVALID_HANDLE);
        TerminateProcess(process.hProcess, 1);
        return result;
    }

    // From here the runner holds no write end of the output pipe: it breaks when the child and
    // everything that inherited its ends have gone. Nothing is ever written to the child's
    // standard input, so closing that end now gives a reading child end-of-file at once.
    result = CloseChildEnds();
    KeepFirst(&result, CloseAndForget(&inputWrite));
    if (result == 0)
        result = ReadOutput(&process);
    if (result != 0)
        return result;

    WaitForSingleObject(process.hProcess, INFINITE);
    ReadOutcome(process.hProcess, &outcome);
    CloseProcessRecord(&process);
    return CloseParentEnds();
}

DWORD ConsoleRunner::ReadOutput(PROCESS_INFORMATION* process)
{
    if (IsOpen(process->hThread))
        CloseHandle(process->hThread);
    process->hThread = nullptr;

    char buffer[kChunkSize + 1];
    for (;;) {
        // A process that left the group may hold the pipe open for ever: after a stop the run
        // ends with what has come so far.
        if (Stopped())
            return ReadWhatIsLeft(buffer);
        DWORD read = 0;
        if (!ReadFile(outputRead, buffer, kChunkSize, &read, nullptr)) {
            DWORD code = GetLastError();
            // Every write end closed: the normal end of the output.
            if (code == ERROR_BROKEN_PIPE)
                return 0;
            // A read cancelled by the stop.
            if (Stopped())
                return ReadWhatIsLeft(buffer);
            return code != 0 ? code : ERROR_READ_FAULT;
        }
        if (read == 0)
            return 0;
        PassOn(buffer, read);
    }
}

DWORD ConsoleRunner::ReadWhatIsLeft(char* buffer)
{
    DWORD left = 0;
    if (!PeekNamedPipe(outputRead, nullptr, 0, nullptr, &left, nullptr))
        return 0;
    while (left > 0) {
        DWORD read = 0;
        if (!ReadFile(outputRead, buffer, left < kChunkSize ? left : kChunkSize, &read, nullptr) ||
            read == 0)
            return 0;
        PassOn(buffer, read);
        left -= read < left ? read : left;
    }
    return 0;
}

void ConsoleRunner::PassOn(char* buffer, DWORD read)
{
    // OnOutput takes NUL-terminated text: NUL bytes the child wrote are left out, so that
    // nothing after them is lost.
    DWORD kept = 0;
    for (DWORD i = 0; i < read; ++i) {
        if (buffer[i] != '\0')
            buffer[kept++] = buffer[i];
    }
    buffer[kept] = '\0';
    if (kept > 0)
        OnOutput(buffer);
}

DWORD ConsoleRunner::CloseChildEnds()
{
    // Every end is closed even when an earlier close fails; the first failure is the result.
    DWORD result = CloseAndForget(&childOutputWrite);
    KeepFirst(&result, CloseAndForget(&childInputRead));
    KeepFirst(&result, CloseAndForget(&childErrorWrite));
    return result;
}

DWORD ConsoleRunner::CloseParentEnds()
{
    DWORD result = CloseAndForget(&outputRead);
    KeepFirst(&result, CloseAndForget(&inputWrite));
    return result;
}
