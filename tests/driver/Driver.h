// Drives the real Velqueth.exe from another process, as a user would: starts a private copy of
// the program (its own folder, its own INI file), finds its window, sends commands, reads the log
// and message boxes, and ends it. A driver always ends the program it started, even when a test
// fails half-way, so that no copy keeps CTest's pipe open.
#ifndef VELQUETH_TESTS_DRIVER_DRIVER_H
#define VELQUETH_TESTS_DRIVER_DRIVER_H

#include <windows.h>

#include <string>
#include <vector>

#include "support/TestSupport.h"

class Driver {
public:
    // Copies Velqueth.exe (and the .chm) into a fresh folder named after the test.
    explicit Driver(const std::string& folderName);
    ~Driver();

    const std::string& Folder() const { return folder; }
    std::string ExePath() const { return folder + "Velqueth.exe"; }
    std::string IniPath() const { return folder + "Velqueth.ini"; }
    void WriteIni(const std::string& text) const;

    // Starts the program with the given command-line text after its own name; waits until its
    // main window is visible with its pane. Answers false when it did not come up.
    bool Start(const std::string& arguments = "");
    // Starts another copy and waits for it to end; answers its exit code (or ~0u).
    DWORD RunSecondCopy(const std::string& arguments, DWORD timeoutMs = 10000);

    HWND Window() const { return window; }
    HWND Pane() const;
    HWND Toolbar() const;
    HANDLE Process() const { return process.hProcess; }

    std::string LogText() const;
    bool WaitForLog(const std::string& needle, DWORD timeoutMs = 15000) const;
    bool WaitForLogEnd(const std::string& suffix, DWORD timeoutMs = 15000) const;
    // The text colour at a character position of the log, read through the program's memory.
    COLORREF ColourAt(int position, bool* automatic = nullptr) const;

    void Command(WORD id) const;  // posted, so modal boxes it opens do not block the driver

    // Finds a message box (#32770) of the program; answers its window and fills its text.
    HWND FindMessageBox(std::string* text, std::string* caption, DWORD timeoutMs = 5000) const;
    static void Dismiss(HWND box);

    // Ends the program politely (WM_CLOSE) and answers its exit code, or ~0u after a time-out.
    DWORD Close(DWORD timeoutMs = 10000);
    DWORD WaitForExit(DWORD timeoutMs = 10000);

private:
    bool Launch(const std::string& arguments, PROCESS_INFORMATION* launched) const;

    std::string folder;
    PROCESS_INFORMATION process;
    HWND window;
};

// Windows of the desktop whose title is exactly "Velqueth".
std::vector<HWND> WindowsTitledVelqueth();
using testing_support::CountProcesses;
using testing_support::KillProcesses;

#endif
