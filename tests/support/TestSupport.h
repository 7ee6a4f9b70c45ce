// Helpers shared by the test programs: paths beside the test executable, message pumping,
// recorders for the seams, INI files, and reading the log pane.
#ifndef VELQUETH_TESTS_SUPPORT_TESTSUPPORT_H
#define VELQUETH_TESTS_SUPPORT_TESTSUPPORT_H

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "driver/Driver.h"

namespace testing_support {

// Directory of the running test program, with a trailing backslash.
std::string ExeDirectory();
// Full path of a file beside the running test program.
std::string BesideExe(const std::string& name);
// The running program's INI file (its path with the extension .ini).
std::string OwnIniPath();

// Dispatches this thread's messages for the given time.
void PumpFor(DWORD milliseconds);
// Dispatches messages until the condition holds or the time is up; answers the condition.
bool PumpUntil(const std::function<bool()>& condition, DWORD timeoutMs = 10000);

std::string ReadFileText(const std::string& path);
bool WriteFileText(const std::string& path, const std::string& text);
bool FileExists(const std::string& path);

// Removes the INI file beside the test program on construction and again on destruction, so each
// test starts from "no file" and leaves nothing behind.
class IniFileGuard {
public:
    IniFileGuard();
    explicit IniFileGuard(const std::string& contents);  // writes the file
    ~IniFileGuard();
    const std::string& Path() const { return path; }
    std::string Text() const { return ReadFileText(path); }

private:
    std::string path;
};

// Records every message box instead of showing it, answering with `answer`.
struct RecordedBox {
    HWND owner;
    std::string text;
    std::string caption;  // "<null>" when no caption was given
    UINT style;
};
class MessageBoxRecorder {
public:
    explicit MessageBoxRecorder(int answer = IDOK);
    ~MessageBoxRecorder();
    const std::vector<RecordedBox>& Boxes() const;
    void Clear();
};

// Records ShellExecuteA calls instead of opening anything.
struct RecordedShellCall {
    HWND owner;
    std::string verb, file, parameters, directory;
    int show;
};
class ShellExecuteRecorder {
public:
    ShellExecuteRecorder();
    ~ShellExecuteRecorder();
    const std::vector<RecordedShellCall>& Calls() const;
};

// Real keyboard input, as the driver sends it.
inline void PressWith(WORD modifier, WORD key) { PressKeyWith(modifier, key); }
inline void PressWithControl(WORD key) { PressKeyWith(VK_CONTROL, key); }
inline void Press(WORD key) { PressKey(key); }

// One item of a menu, read by its position: id, text, state (MFS_ flags) and submenu.
struct MenuItem {
    bool ok = false;
    bool separator = false;
    UINT id = 0;
    UINT state = 0;
    HMENU submenu = nullptr;
    std::string text;
};
MenuItem ReadMenuItem(HMENU menu, UINT position);
std::vector<MenuItem> MenuItems(HMENU menu);

// Whole text of an edit or rich-edit control (WM_GETTEXT).
std::string WindowText(HWND window);
// Whole text of a rich-edit control as UTF-8: the characters themselves, not their ANSI forms.
std::string RichTextUtf8(HWND richEdit);
// Text colour at character position `pos` of a rich-edit control, and whether it is the automatic
// colour (CFE_AUTOCOLOR). Moves the selection.
COLORREF ColourAt(HWND richEdit, int pos, bool* automatic = nullptr);

// The text of a rich-edit control with its style before each run of one style, written as
// {fg=#RRGGBB,bg=#RRGGBB,B,I,U,S}; {} is the automatic colour without any effect.
std::string StyledText(HWND richEdit);

// Number of handles this process holds.
DWORD HandleCount();

// Processes on this system whose image name is `name` (case-insensitive), and ending them all
// (clean-up after a failed test).
int CountProcesses(const char* name);
void KillProcesses(const char* name);

// A helper program run to its end, with what it wrote to its standard output and error.
struct Captured {
    bool ran = false;
    DWORD exitCode = ~0u;
    std::string output;
};
// Runs `commandLine` without a window or input; `application`, when given, names the program
// itself (so that no extension is added to it).
Captured RunAndCapture(const std::string& application, const std::string& commandLine,
                       DWORD timeoutMs = 30000);

// Replaces "\r\n" by "\n" (for readable comparisons of log text).
std::string Unix(const std::string& text);

// Deterministic bytes of every value, NUL included.
std::string Garbage(size_t size, unsigned seed);

// The helper child beside the test program (tests/helpers/vqchild.cpp), a path in quotes as a job
// quotes it, and the child's command line with the given script.
std::string Vqchild();
std::string Quoted(const std::string& path);
std::string ChildCommand(const std::string& script);

// A named event that vqchild's "wait" command waits for: the child goes on once the test opens
// it (at the latest when the gate goes).
class Gate {
public:
    Gate();
    ~Gate();
    void Open();
    const std::string name;

private:
    HANDLE event;
};

} // namespace testing_support

#endif
