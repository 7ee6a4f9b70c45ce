// Driver: one running copy of the real Velqueth.exe, driven from another process as a user's tools
// would drive it. The tests (tests/driver/) and the benchmark (bench/) both use it: a private copy
// of the program in a folder of its own (its own INI file), started, its window found, commands
// posted as WM_COMMAND, the log read, message boxes found and dismissed, the program ended. A
// driver always ends the program it started, so that no copy keeps a test runner's pipe open.
//
// Reading a range of the log or a character's colour needs memory inside the program (those
// messages write through a pointer), so the driver keeps one buffer there. The program refuses
// to start while a window with its title is on the desktop, so a second copy that runs at the
// same time is started on a desktop of its own.
#ifndef VELQUETH_DRIVER_DRIVER_H
#define VELQUETH_DRIVER_DRIVER_H

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// Milliseconds on the system-wide performance counter.
double NowMs();
double CounterToMs(long long ticks);
// Asks `condition` every `stepMs` until it holds (true) or `timeoutMs` has passed (false).
bool WaitUntil(DWORD timeoutMs, const std::function<bool()>& condition, DWORD stepMs = 20);
// Real keyboard input (SendInput): the key pressed and released, alone or with a modifier held
// (VK_CONTROL, VK_MENU for Alt).
void PressKey(WORD key);
void PressKeyWith(WORD modifier, WORD key);

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

class Driver {
public:
    // Copies Velqueth.exe (and its .chm) from beside the running program into the folder of this
    // name beside it, without an INI file. desktop: the name of a desktop of this window station
    // to start the program on (it must exist), or empty for the caller's own.
    explicit Driver(const std::string& folderName, const std::string& desktop = std::string());
    ~Driver();  // ends the program if it still runs
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;

    const std::string& Folder() const { return folder; }  // with a trailing backslash
    std::string ExePath() const { return folder + "Velqueth.exe"; }
    std::string IniPath() const { return folder + "Velqueth.ini"; }
    bool WriteIni(const std::string& text) const;

    // Starts the program with the given command-line text after its own name and waits until its
    // main window is visible with its toolbar and its log shows the banner. startupMs: from just
    // before CreateProcess to then.
    bool Start(const std::string& arguments = "", double* startupMs = nullptr, DWORD timeoutMs = 20000);
    // Starts another copy and waits for it to end; answers its exit code (or ~0u).
    DWORD RunSecondCopy(const std::string& arguments, DWORD timeoutMs = 10000) const;
    // Ends the program politely (WM_CLOSE) and answers its exit code, or ~0u after the time-out.
    DWORD Close(DWORD timeoutMs = 15000);
    DWORD WaitForExit(DWORD timeoutMs = 10000) const;

    HWND Window() const { return window; }
    HWND Pane() const;  // a full log goes on in a new pane with the same id
    HWND Toolbar() const;
    HANDLE Process() const { return process.hProcess; }
    DWORD Pid() const { return process.dwProcessId; }

    void Command(WORD id) const;  // posted, so that a modal box it opens does not block the driver

    // The log: its whole text (WM_GETTEXT), its length in characters (-1 when the program does
    // not answer), characters [from, to) read in pieces through the buffer inside the program.
    std::string LogText() const;
    long Length() const;
    bool Read(long from, long to, std::string* text) const;
    bool EndsWith(long length, const std::string& suffix) const;
    bool WaitForLog(const std::string& needle, DWORD timeoutMs = 15000) const;
    bool WaitForLogEnd(const std::string& suffix, DWORD timeoutMs = 15000) const;
    // The text colour at a character position of the log.
    COLORREF ColourAt(int position, bool* automatic = nullptr) const;
    // The log's selection (EM_EXGETSEL); false when the program does not answer.
    bool Selection(long* start, long* end) const;
    // The screen point of a character's top left corner.
    bool PointOf(long position, POINT* screen) const;
    // Inserts text at the end of the log as a paste would.
    bool Append(const std::string& text) const;

    // The program's visible message boxes (#32770), the top of the z-order first.
    std::vector<HWND> Boxes() const;
    // The first box that shows within the time-out, with its text and caption; or null.
    HWND FindMessageBox(std::string* text, std::string* caption, DWORD timeoutMs = 5000) const;
    static std::string BoxText(HWND box);
    static void Dismiss(HWND box);

    // Counts of the program's objects (ProcessCounters.cpp).
    ProcessCounters Counters() const;
    int ThreadCount() const;
    long long LinuxPrivateBytes() const;
    // The id of a live child process of the program with the given image name, or 0.
    DWORD ChildPid(const char* imageName) const;

private:
    bool Launch(const std::string& arguments, PROCESS_INFORMATION* launched) const;
    // Top-level windows of the program's desktop.
    void EnumTopWindows(WNDENUMPROC callback, LPARAM parameter) const;
    HWND FindWindowOf(const char* className) const;

    std::string folder;
    std::string desktopName;
    HDESK desktop;  // open while the driver lives; null for the caller's own desktop
    PROCESS_INFORMATION process;
    HWND window;
    mutable HWND pane;
    char* remote;  // buffer inside the program
    SIZE_T remoteSize;
    mutable unsigned long linuxPid;
};

// Windows of the desktop whose title is exactly "Velqueth".
std::vector<HWND> WindowsTitledVelqueth();

#endif
