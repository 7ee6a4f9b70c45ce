// Hostile moments for the real program, driven from outside: closing or exiting while a child
// floods the log, a second start and repeated requests while a job runs. Each case checks that
// the program did not crash or hang, that the job's log is whole, and that no vqchild process is
// left over once the program has gone.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Driver.h"
#include "support/TestSupport.h"

using testing_support::BesideExe;
using testing_support::ChildCommand;
using testing_support::Gate;

namespace {

const char kPrompt[] = "C:\\> ";

bool WaitUntil(DWORD timeoutMs, bool (*condition)())
{
    DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(50);
    }
    return true;
}

bool NoChildLeft()
{
    return WaitUntil(15000, [] { return CountProcesses("vqchild.exe") == 0; });
}

int CountOf(const std::string& text, const std::string& part)
{
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

struct BoxSearch {
    DWORD processId;
    std::vector<HWND> boxes;
};

BOOL CALLBACK CollectBox(HWND window, LPARAM parameter)
{
    BoxSearch* search = reinterpret_cast<BoxSearch*>(parameter);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    char className[16] = "";
    GetClassNameA(window, className, sizeof className);
    if (pid == search->processId && lstrcmpA(className, "#32770") == 0 && IsWindowVisible(window))
        search->boxes.push_back(window);
    return TRUE;
}

// The program's visible message boxes.
std::vector<HWND> Boxes(const Driver& app)
{
    BoxSearch search{GetProcessId(app.Process()), {}};
    EnumWindows(CollectBox, reinterpret_cast<LPARAM>(&search));
    return search.boxes;
}

bool WaitForBoxes(const Driver& app, size_t count)
{
    DWORD start = GetTickCount();
    while (Boxes(app).size() < count) {
        if (GetTickCount() - start > 10000)
            return false;
        Sleep(20);
    }
    return true;
}

std::string BoxText(HWND box)
{
    char text[256] = "";
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    return text;
}

// Dismisses the boxes one at a time, the newest (innermost) first; answers how many there were.
int DismissAllBoxes(const Driver& app)
{
    int dismissed = 0;
    for (int round = 0; round < 20; ++round) {
        std::vector<HWND> boxes = Boxes(app);
        if (boxes.empty())
            return dismissed;
        // The innermost box is the one whose loop runs: the top of the z-order.
        Driver::Dismiss(boxes.front());
        ++dismissed;
        DWORD start = GetTickCount();
        while (IsWindow(boxes.front()) && IsWindowVisible(boxes.front()) &&
               GetTickCount() - start < 5000)
            Sleep(20);
    }
    return dismissed;
}

class FaultSuiteDriverTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        KillProcesses("vqchild.exe");
        ASSERT_EQ(0, CountProcesses("vqchild.exe"));
    }
    void TearDown() override { KillProcesses("vqchild.exe"); }
};

} // namespace

TEST_F(FaultSuiteDriverTest, CloseDuringAFloodEndsTheProgramAndTheChild)
{
    Driver app("fault-close-flood");
    ASSERT_TRUE(app.Start(ChildCommand("flood 120")));
    ASSERT_TRUE(app.WaitForLog("flood 0000000100"));
    EXPECT_EQ(0u, app.Close(20000));
    EXPECT_TRUE(NoChildLeft()) << CountProcesses("vqchild.exe") << " left";
}

TEST_F(FaultSuiteDriverTest, ExitDuringAFloodLeavesTheChildToEndOnItsOwn)
{
    // File, Exit neither waits for nor ends the job; a flooding child goes as soon as its
    // writes find nobody reading.
    Driver app("fault-exit-flood");
    ASSERT_TRUE(app.Start(ChildCommand("flood 120")));
    ASSERT_TRUE(app.WaitForLog("flood 0000000100"));
    app.Command(105);
    EXPECT_EQ(0u, app.WaitForExit(20000));
    EXPECT_TRUE(NoChildLeft()) << CountProcesses("vqchild.exe") << " left";
}

TEST_F(FaultSuiteDriverTest, ExitDuringAQuietJobLeavesTheChildToFinish)
{
    Gate gate;
    Driver app("fault-exit-quiet");
    ASSERT_TRUE(app.Start(ChildCommand("out r\\x65ady wait " + gate.name + " out late")));
    ASSERT_TRUE(app.WaitForLog("ready"));
    app.Command(105);
    EXPECT_EQ(0u, app.WaitForExit(20000));
    // Not ended by the program...
    EXPECT_EQ(1, CountProcesses("vqchild.exe"));
    // ...and not stuck once its work is done, although nobody reads its output any more.
    gate.Open();
    EXPECT_TRUE(NoChildLeft()) << CountProcesses("vqchild.exe") << " left";
}

TEST_F(FaultSuiteDriverTest, SecondStartDuringAJobLeavesTheJobAlone)
{
    Gate gate;
    Driver app("fault-second-start");
    const std::string command = ChildCommand("out r\\x65ady wait " + gate.name + " out \" done\"");
    ASSERT_TRUE(app.Start(command));
    ASSERT_TRUE(app.WaitForLog("ready"));

    EXPECT_EQ(0u, app.RunSecondCopy(ChildCommand("out second-copy")));
    EXPECT_EQ(1u, WindowsTitledVelqueth().size());
    EXPECT_EQ(1, CountProcesses("vqchild.exe"));

    gate.Open();
    ASSERT_TRUE(app.WaitForLogEnd(kPrompt));
    std::string log = app.LogText();
    EXPECT_EQ(1, CountOf(log, "Executing:- "));
    EXPECT_NE(std::string::npos, log.find("\r\nExecuting:- " + command + "\r\nready done" + kPrompt));
    EXPECT_EQ(std::string::npos, log.find("second-copy"));
    EXPECT_EQ(0u, app.Close());
    EXPECT_TRUE(NoChildLeft());
}

TEST_F(FaultSuiteDriverTest, RequestsWhileTheBusyBoxIsOpen)
{
    Gate gate;
    Driver app("fault-busy-box");
    app.WriteIni("[Setup]\r\nPath2=" + BesideExe("vqchild.exe") + "\r\nArgs2=out must-not-run\r\n");
    const std::string command = ChildCommand("out r\\x65ady wait " + gate.name + " out \" done\"");
    ASSERT_TRUE(app.Start(command));
    ASSERT_TRUE(app.WaitForLog("ready"));

    app.Command(32778);
    ASSERT_TRUE(WaitForBoxes(app, 1));
    // The box runs its own message loop, which takes the next request too: another refusal.
    app.Command(32778);
    ASSERT_TRUE(WaitForBoxes(app, 2));
    app.Command(0xE000 + 1);
    ASSERT_TRUE(WaitForBoxes(app, 3));
    for (HWND box : Boxes(app))
        EXPECT_EQ("A file is already being processed, please wait", BoxText(box));
    EXPECT_EQ(3, DismissAllBoxes(app));
    EXPECT_TRUE(Boxes(app).empty());

    // The running job went on undisturbed; nothing else ran.
    EXPECT_EQ(1, CountProcesses("vqchild.exe"));
    gate.Open();
    ASSERT_TRUE(app.WaitForLogEnd(kPrompt));
    std::string log = app.LogText();
    EXPECT_EQ(1, CountOf(log, "Executing:- "));
    EXPECT_NE(std::string::npos, log.find("\r\nExecuting:- " + command + "\r\nready done" + kPrompt));
    EXPECT_EQ(std::string::npos, log.find("must-not-run"));
    EXPECT_EQ(0u, app.Close());
    EXPECT_TRUE(NoChildLeft());
}

TEST_F(FaultSuiteDriverTest, CloseWhileTheBusyBoxIsOpen)
{
    Gate gate;
    Driver app("fault-busy-close");
    ASSERT_TRUE(app.Start(ChildCommand("out r\\x65ady wait " + gate.name)));
    ASSERT_TRUE(app.WaitForLog("ready"));
    app.Command(32778);
    ASSERT_TRUE(WaitForBoxes(app, 1));

    // The close comes through the box's own loop: the job is ended and the program exits.
    PostMessageA(app.Window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, app.WaitForExit(20000));
    EXPECT_TRUE(NoChildLeft()) << CountProcesses("vqchild.exe") << " left";
}
