// vqlaunch: starts the program named as its one argument with the command line held in the
// environment variable VELQUETH_COMMAND_LINE, byte for byte. `make run` needs it: Wine rebuilds a
// program's command line from the words it is given, quoting and escaping them, so a command line
// with quotes or runs of blanks cannot pass through its arguments unchanged. Answers the program's
// exit code.
#include <windows.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: vqlaunch PROGRAM (command line in VELQUETH_COMMAND_LINE)\n");
        return 2;
    }
    const char kName[] = "VELQUETH_COMMAND_LINE";
    static char line[32768];
    DWORD length = GetEnvironmentVariableA(kName, line, sizeof line);
    if (length >= sizeof line) {
        std::fprintf(stderr, "vqlaunch: the command line is too long\n");
        return 2;
    }
    line[length] = '\0';
    SetEnvironmentVariableA(kName, nullptr);  // the program's environment as without the launcher
    static char command[sizeof line + MAX_PATH + 4];
    std::snprintf(command, sizeof command, length ? "\"%s\" %s" : "\"%s\"", argv[1], line);
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(argv[1], command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        std::fprintf(stderr, "vqlaunch: cannot start %s (error %lu)\n", argv[1],
                     static_cast<unsigned long>(GetLastError()));
        return 2;
    }
    CloseHandle(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}
