// The in-process harness: the application's main window made and torn down as the entry point
// does, a control hosted as the program hosts its log (fed or not), the shape of a job in the log, and a
// fixture for the tests whose jobs start the helper child.
#ifndef VELQUETH_TESTS_SUPPORT_APP_H
#define VELQUETH_TESTS_SUPPORT_APP_H

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "app/MainFrame.h"
#include "res/Commands.h"

namespace testing_support {

// The prompt that ends a job which ran, the grey header that starts every job, and the red line
// that ends one which could not start.
extern const char kPrompt[];
std::string Header(const std::string& commandLine);
std::string Failure(const std::string& commandLine);

// Drops a quit message that the main window posted when it was destroyed, so that it does not end
// the next message loop; answers whether there was one, and its exit code.
bool TakeQuit(WPARAM* code = nullptr);

// The main window with its frame, made in this process as the entry point makes it (with the
// start-up command line given, if any). At the end the window is closed as the user closes it and
// the frame released as the entry point releases it (MainFrame::Release); a frame that cannot be
// released is a failure of the test. The settings file is the test's business.
class App {
public:
    explicit App(char* commandLine = nullptr);
    ~App();

    HWND Main() const { return frame->mainWindow; }
    HWND Pane() const { return GetDlgItem(frame->mainWindow, IDC_PANE); }
    HWND Toolbar() const { return GetDlgItem(frame->mainWindow, IDC_TOOLBAR); }
    LRESULT Command(WPARAM wParam) const { return SendMessageA(Main(), WM_COMMAND, wParam, 0); }
    // Drops the files on the window, as the shell does.
    void Drop(const std::vector<std::string>& files) const;

    std::string Log() const;
    // Empties the log, banner and all, so that it shows the next jobs alone.
    void ClearLog();
    // The log without the banner line written at creation.
    std::string JobLog() const;
    bool WorkerEnded() const;
    // Pumps messages until the current job's worker has finished, or the log holds `part`.
    bool WaitForJob(DWORD timeoutMs = 30000) const;
    bool WaitForLog(const std::string& part, DWORD timeoutMs = 30000) const;
    // Waits without serving messages, so that the log stalls, until the worker waits on a full
    // queue; answers whether it did in time.
    bool StallUntilQueueFull(DWORD timeoutMs = 10000) const;
    // Runs one job to its end; answers false when it did not end in time.
    bool Run(const std::string& commandLine, DWORD timeoutMs = 30000) const;
    // The entry point's teardown, before the end of the test; answers whether the frame was
    // deleted (if not, the fixture tries again at the end).
    bool Release();

    MainFrame* frame;
    bool created;
    std::string banner;

private:
    App(const App&) = delete;
    App& operator=(const App&) = delete;
};

// A hidden top-level window of the tests' own class that does nothing of its own, with the given
// menu (destroyed with the window).
HWND CreateHostWindow(const char* title, HMENU menu = nullptr);

// A control of the given class in a hidden top-level window, made as the program makes its pane.
class HostedControl {
public:
    explicit HostedControl(const char* className = "RichEdit");
    ~HostedControl();
    HWND Handle() const { return window; }

private:
    HWND host;
    HWND window;
    HostedControl(const HostedControl&) = delete;
    HostedControl& operator=(const HostedControl&) = delete;
};

// A visible top-level window with an edit control that holds the keyboard focus, as the main
// window's log does: the owner of a dialog under test.
class OwnerWindow {
public:
    OwnerWindow();
    ~OwnerWindow();
    HWND Handle() const { return window; }
    HWND Edit() const { return edit; }

private:
    HWND window;
    HWND edit;
    OwnerWindow(const OwnerWindow&) = delete;
    OwnerWindow& operator=(const OwnerWindow&) = delete;
};

// A log window made as the program makes it, hosted so, and fed as the program feeds it. The feed
// outlives the window, whose going closes its queue; after a renewal the feed's window is another.
struct FedLog {
    explicit FedLog(const char* className = "RichEdit");
    OutputPane feed;
    HostedControl control;
    HWND window;
};

// For tests whose jobs start vqchild: none may be alive when the test starts, and a stray one is
// reported by the test itself (ExpectNoChildLeft) before the tear-down ends it.
class ChildTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    static int LiveChildren();
    static void KillChildren();
    static void ExpectNoChildLeft();
};

} // namespace testing_support

#endif
