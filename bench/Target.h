// Target: one running copy of the real Velqueth.exe, driven from the benchmark's process as a
// user's tools would: started in its own folder with its own INI file, commands posted as
// WM_COMMAND, the log read through messages. Reading a range of the log needs memory inside the
// program (EM_GETTEXTRANGE writes through a pointer), so the target keeps one buffer there.
// The program refuses to start while a window with its title is on the desktop, so a second copy
// that runs at the same time is started on a desktop of its own.
#ifndef VELQUETH_BENCH_TARGET_H
#define VELQUETH_BENCH_TARGET_H

#include <windows.h>

#include <string>

// Milliseconds on the system-wide performance counter.
double NowMs();
double CounterToMs(long long ticks);

struct ProcessCounters {
    bool memoryOk;
    SIZE_T privateBytes;
    SIZE_T workingSet;
    long long linuxPrivate;  // under Wine: the Linux process's resident anonymous memory, else -1
    bool handlesOk;
    DWORD handles;
    long tableHandles;  // the same counted in the system's handle table, -1 if not given
    DWORD gdiObjects;
    DWORD userObjects;
    DWORD gdiError;   // GetLastError after GetGuiResources answered 0
    DWORD userError;
    int threads;
    int windows;      // top-level and child windows of the process
};

class Target {
public:
    // folder: a directory with a trailing backslash that holds the copy of Velqueth.exe.
    // desktop: the name of a desktop of this window station to start it on (it must exist), or
    // empty for the benchmark's own.
    explicit Target(const std::string& folder, const std::string& desktop = std::string());
    ~Target();  // ends the program if it still runs

    // Starts the program and waits until the banner is in the log (at most timeoutMs).
    // startupMs: from just before CreateProcess to the first text seen in the log.
    bool Start(double* startupMs, DWORD timeoutMs = 20000);
    // WM_CLOSE, then waits for the end; ends the process after a time-out.
    bool Close(DWORD timeoutMs = 15000);

    HWND Window() const { return window; }
    HWND Pane() const { return CurrentPane(); }
    HWND CurrentPane() const;
    HANDLE Process() const { return process.hProcess; }
    DWORD Pid() const { return process.dwProcessId; }

    void Command(WORD id) const;
    long Length() const;  // characters in the log, -1 when the program does not answer
    // Characters [from, to) of the log, read in pieces through the buffer inside the program.
    bool Read(long from, long to, std::string* text) const;
    bool EndsWith(long length, const std::string& suffix) const;
    // Inserts text at the end of the log as a paste would.
    bool Append(const std::string& text) const;

    ProcessCounters Counters() const;
    int ThreadCount() const;
    long long LinuxPrivateBytes() const;
    // The id of a live child process of the program with the given image name, or 0.
    DWORD ChildPid(const char* imageName) const;
    // A message box of the program that is showing: dismissed, its text answered.
    bool DismissMessageBox(std::string* text) const;

private:
    // Top-level windows of the program's desktop.
    void EnumTopWindows(WNDENUMPROC callback, LPARAM parameter) const;
    HWND FindWindowOf(const char* className) const;

    std::string folder;
    std::string desktopName;
    HDESK desktop;  // open while the target lives; null for the benchmark's own desktop
    PROCESS_INFORMATION process;
    HWND window;
    mutable HWND pane;
    char* remote;  // buffer inside the program
    SIZE_T remoteSize;
    mutable unsigned long linuxPid;
};

#endif
