// The read loop: each flood's child started the same way as the program starts it and drained by
// a loop of 256-byte ReadFile calls that keeps nothing. With the control (Control.cpp) it is the
// physical limit that the program's floods are judged against.
#include <cstring>

#include "bench/ReadLoop.h"

PhysicalResult DrainPhysical(const Paths& paths, unsigned long bytes, unsigned long lineLength)
{
    PhysicalResult result;
    SECURITY_ATTRIBUTES security = {sizeof security, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    HANDLE inputRead = nullptr;
    HANDLE inputWrite = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &security, 0))
        return result;
    if (!CreatePipe(&inputRead, &inputWrite, &security, 0)) {
        CloseHandle(readEnd);
        CloseHandle(writeEnd);
        return result;
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
    startup.hStdError = writeEnd;
    std::string commandLine = JobCommandLine(paths.vqchild, FloodArguments(bytes, lineLength));
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');
    PROCESS_INFORMATION process;
    std::memset(&process, 0, sizeof process);

    double start = NowMs();
    BOOL started = CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, TRUE,
                                  CREATE_NEW_CONSOLE | IDLE_PRIORITY_CLASS, nullptr, nullptr,
                                  &startup, &process);
    CloseHandle(writeEnd);
    CloseHandle(inputRead);
    CloseHandle(inputWrite);
    if (!started) {
        CloseHandle(readEnd);
        return result;
    }
    SetPriorityClass(process.hProcess, IDLE_PRIORITY_CLASS);
    CloseHandle(process.hThread);
    char chunk[257];
    DWORD got = 0;
    while (ReadFile(readEnd, chunk, 256, &got, nullptr) && got > 0) {
        result.bytes += got;
        ++result.reads;
    }
    result.ms = NowMs() - start;
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hProcess);
    CloseHandle(readEnd);
    result.ok = result.bytes == bytes;
    return result;
}

void ReadLoopRows(Bench& bench)
{
    const FloodFamily& family = Family(bench);
    if (!family.measured)
        return;
    for (const FloodCase& flood : family.floods) {
        const PhysicalResult& physical = flood.physical[MedianRun(flood)];
        std::string runsNote = flood.program.size() > 1
                                   ? Format(" (median of %d)", static_cast<int>(flood.program.size()))
                                   : "";
        bench.Add("read-loop", "256-byte read loop, " + FloodName(flood.bytes, flood.lineLength),
                  physical.ok ? Seconds(physical.ms) + ", " + Rate(physical.bytes, physical.ms) +
                                    Format(", %llu reads", physical.reads) + runsNote
                              : "failed");
    }
}
