// The read loop: each flood's child run by the bare loop. With the control (Control.cpp) it is the
// physical limit that the program's floods are judged against, round by round.
#include <algorithm>
#include <cstring>
#include <vector>

#include "bench/ReadLoop.h"

BareRun RunBare(const std::string& commandLine)
{
    BareRun run;
    run.start = NowMs();
    SECURITY_ATTRIBUTES security = {sizeof security, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    HANDLE errorEnd = nullptr;
    HANDLE inputRead = nullptr;
    HANDLE inputWrite = nullptr;
    HANDLE self = GetCurrentProcess();
    if (!CreatePipe(&readEnd, &writeEnd, &security, 0))
        return run;
    if (!DuplicateHandle(self, writeEnd, self, &errorEnd, 0, TRUE, DUPLICATE_SAME_ACCESS) ||
        !CreatePipe(&inputRead, &inputWrite, &security, 0)) {
        CloseHandle(readEnd);
        CloseHandle(writeEnd);
        if (errorEnd)
            CloseHandle(errorEnd);
        return run;
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(inputWrite, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    startup.hStdInput = inputRead;
    startup.hStdOutput = writeEnd;
    startup.hStdError = errorEnd;
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');
    PROCESS_INFORMATION process;
    std::memset(&process, 0, sizeof process);
    HANDLE group = CreateJobObjectA(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits;
    std::memset(&limits, 0, sizeof limits);
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_BREAKAWAY_OK;
    if (group)
        SetInformationJobObject(group, JobObjectExtendedLimitInformation, &limits, sizeof limits);

    BOOL started = CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, TRUE,
                                  CREATE_NEW_CONSOLE | IDLE_PRIORITY_CLASS | CREATE_SUSPENDED, nullptr,
                                  nullptr, &startup, &process);
    if (started) {
        SetPriorityClass(process.hProcess, IDLE_PRIORITY_CLASS);
        if (group)
            AssignProcessToJobObject(group, process.hProcess);
        ResumeThread(process.hThread);
        run.created = NowMs();
    }
    CloseHandle(writeEnd);
    CloseHandle(errorEnd);
    CloseHandle(inputRead);
    CloseHandle(inputWrite);
    if (started) {
        CloseHandle(process.hThread);
        char chunk[257];
        DWORD got = 0;
        while (ReadFile(readEnd, chunk, 256, &got, nullptr) && got > 0) {
            if (run.reads++ == 0)
                run.firstByte = NowMs();
            if (run.text.size() < 256)
                run.text.append(chunk, std::min<size_t>(got, 256 - run.text.size()));
            run.bytes += got;
        }
        run.outputEnd = NowMs();
        WaitForSingleObject(process.hProcess, INFINITE);
        run.waited = NowMs();
        CloseHandle(process.hProcess);
        run.ok = true;
    }
    CloseHandle(readEnd);
    if (group)
        CloseHandle(group);
    return run;
}

PhysicalResult DrainPhysical(const Paths& paths, unsigned long bytes, unsigned long lineLength,
                             bool utf8)
{
    BareRun run = RunBare(JobCommandLine(paths.vqchild, FloodArguments(bytes, lineLength, utf8)));
    PhysicalResult result;
    result.ms = run.outputEnd - run.start;
    result.bytes = run.bytes;
    result.reads = run.reads;
    result.ok = run.ok && run.bytes == bytes;
    return result;
}

void ReadLoopRows(Bench& bench)
{
    const FloodFamily& family = Family(bench);
    if (!family.measured)
        return;
    for (const FloodCase& flood : family.floods) {
        const PhysicalResult& physical = flood.physical[MedianRound(flood)];
        std::string rounds = flood.physical.size() > 1 ? "; the rounds' rates " + RatesText(flood, ReadRate) : "";
        bench.Add("read-loop",
                  "256-byte read loop, " + FloodName(flood.bytes, flood.lineLength, flood.utf8) + RoundsNote(flood),
                  physical.ok ? Seconds(physical.ms) + ", " + Rate(physical.bytes, physical.ms) +
                                    Format(", %llu reads", physical.reads) + rounds
                              : "failed");
    }
}
