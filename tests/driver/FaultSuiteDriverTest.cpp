// Hostile moments for the real program, driven from outside: closing or exiting while a child
// floods the log, a second start and repeated requests while a job runs. Each case checks that
// the program did not crash or hang, that the job's log is whole, and that no vqchild process is
// left over once the program has gone.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/Driver.h"
#include "res/Commands.h"
#include "support/TestSupport.h"

using testing_support::BesideExe;
using testing_support::ChildCommand;
using testing_support::CountProcesses;
using testing_support::KillProcesses;
using testing_support::Gate;

namespace {

const char kPrompt[] = "C:\\> ";

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

bool WaitForBoxes(const Driver& app, size_t count)
{
    return WaitUntil(10000, [&] { return app.Boxes().size() >= count; });
}

// Dismisses the boxes one at a time, the newest (innermost) first; answers how many there were.
int DismissAllBoxes(const Driver& app)
{
    int dismissed = 0;
    for (int round = 0; round < 20; ++round) {
        std::vector<HWND> boxes = app.Boxes();
        if (boxes.empty())
            return dismissed;
        // The innermost box is the one whose loop runs: the top of the z-order.
        Driver::Dismiss(boxes.front());
        ++dismissed;
        WaitUntil(5000, [&] { return !IsWindow(boxes.front()) || !IsWindowVisible(boxes.front()); });
    }
    return dismissed;
}

// Opens the gate of the job that printed "ready": it ends alone, its own output after its header,
// nothing of `neverRan` in the log, and no child left once the program has closed.
void ExpectTheGatedJobEndsAlone(Driver& app, Gate* gate, const std::string& command, const char* neverRan)
{
    gate->Open();
    ASSERT_TRUE(app.WaitForLogEnd(kPrompt));
    std::string log = app.LogText();
    EXPECT_EQ(1, CountOf(log, "Executing:- "));
    EXPECT_NE(std::string::npos, log.find("\r\nExecuting:- " + command + "\r\nready done" + kPrompt));
    EXPECT_EQ(std::string::npos, log.find(neverRan));
    EXPECT_EQ(0u, app.Close());
    EXPECT_TRUE(NoChildLeft());
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
    Driver app("drive-fault-close-flood");
    ASSERT_TRUE(app.Start(ChildCommand("flood 120")));
    ASSERT_TRUE(app.WaitForLog("flood 0000000100"));
    EXPECT_EQ(0u, app.Close(20000));
    EXPECT_TRUE(NoChildLeft()) << CountProcesses("vqchild.exe") << " left";
}

TEST_F(FaultSuiteDriverTest, AltF4DuringAFloodClosesAtOnce)
{
    // Real input: it must not wait behind the output, however fast the child writes.
    Driver app("fault-alt-f4-flood");
    ASSERT_TRUE(app.Start(ChildCommand("bytes 50000000 80")));
    Sleep(3000);
    SetForegroundWindow(app.Window());
    testing_support::PressWith(VK_MENU, VK_F4);
    DWORD start = GetTickCount();
    EXPECT_EQ(0u, app.WaitForExit(20000));
    EXPECT_LE(GetTickCount() - start, 2000u) << "the close waited behind the flood";
    EXPECT_TRUE(NoChildLeft()) << CountProcesses("vqchild.exe") << " left";
}

TEST_F(FaultSuiteDriverTest, ExitDuringAFloodLeavesTheChildToEndOnItsOwn)
{
    // File, Exit neither waits for nor ends the job; a flooding child goes as soon as its
    // writes find nobody reading.
    Driver app("drive-fault-exit-flood");
    ASSERT_TRUE(app.Start(ChildCommand("flood 120")));
    ASSERT_TRUE(app.WaitForLog("flood 0000000100"));
    app.Command(ID_EXIT);
    EXPECT_EQ(0u, app.WaitForExit(20000));
    EXPECT_TRUE(NoChildLeft()) << CountProcesses("vqchild.exe") << " left";
}

TEST_F(FaultSuiteDriverTest, ExitDuringAQuietJobLeavesTheChildToFinish)
{
    Gate gate;
    Driver app("drive-fault-exit-quiet");
    ASSERT_TRUE(app.Start(ChildCommand("out r\\x65ady wait " + gate.name + " out late")));
    ASSERT_TRUE(app.WaitForLog("ready"));
    app.Command(ID_EXIT);
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
    Driver app("drive-fault-second-start");
    const std::string command = ChildCommand("out r\\x65ady wait " + gate.name + " out \" done\"");
    ASSERT_TRUE(app.Start(command));
    ASSERT_TRUE(app.WaitForLog("ready"));

    EXPECT_EQ(0u, app.RunSecondCopy(ChildCommand("out second-copy")));
    EXPECT_EQ(1u, WindowsTitledVelqueth().size());
    EXPECT_EQ(1, CountProcesses("vqchild.exe"));

    ExpectTheGatedJobEndsAlone(app, &gate, command, "second-copy");
}

TEST_F(FaultSuiteDriverTest, RequestsWhileTheBusyBoxIsOpen)
{
    Gate gate;
    Driver app("drive-fault-busy-box");
    app.WriteIni("[Setup]\r\nPath2=" + BesideExe("vqchild.exe") + "\r\nArgs2=out must-not-run\r\n");
    const std::string command = ChildCommand("out r\\x65ady wait " + gate.name + " out \" done\"");
    ASSERT_TRUE(app.Start(command));
    ASSERT_TRUE(app.WaitForLog("ready"));

    app.Command(ID_RUN_DEFAULT);
    ASSERT_TRUE(WaitForBoxes(app, 1));
    // The box runs its own message loop, which takes the next request too: another refusal.
    app.Command(ID_RUN_DEFAULT);
    ASSERT_TRUE(WaitForBoxes(app, 2));
    app.Command(ID_RUN_SLOT_1 + 1);
    ASSERT_TRUE(WaitForBoxes(app, 3));
    for (HWND box : app.Boxes())
        EXPECT_EQ("A file is already being processed, please wait", Driver::BoxText(box));
    EXPECT_EQ(3, DismissAllBoxes(app));
    EXPECT_TRUE(app.Boxes().empty());

    // The running job went on undisturbed; nothing else ran.
    EXPECT_EQ(1, CountProcesses("vqchild.exe"));
    ExpectTheGatedJobEndsAlone(app, &gate, command, "must-not-run");
}

TEST_F(FaultSuiteDriverTest, CloseWhileTheBusyBoxIsOpen)
{
    Gate gate;
    Driver app("drive-fault-busy-close");
    ASSERT_TRUE(app.Start(ChildCommand("out r\\x65ady wait " + gate.name)));
    ASSERT_TRUE(app.WaitForLog("ready"));
    app.Command(ID_RUN_DEFAULT);
    ASSERT_TRUE(WaitForBoxes(app, 1));

    // The close comes through the box's own loop: the job is ended and the program exits.
    PostMessageA(app.Window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, app.WaitForExit(20000));
    EXPECT_TRUE(NoChildLeft()) << CountProcesses("vqchild.exe") << " left";
}
