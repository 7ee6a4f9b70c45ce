// The real program, seen from outside: what a user sees and does.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include "driver/Driver.h"
#include "res/Commands.h"
#include "res/BuildConstants.h"
#include "support/TestSupport.h"

using testing_support::BesideExe;
using testing_support::ChildCommand;
using testing_support::CountProcesses;
using testing_support::KillProcesses;
using testing_support::PressWithControl;

namespace {

const char kBanner[] = "Velqueth Version   1.0.0.0\t" VELQUETH_WEB_URL "\r\n";

// "ready" as the child prints it; the job header shows the escaped form, so a wait for "ready"
// sees the child's output, not the command line.
const char kReady[] = "out r\\x65ady";

class DriverTest : public ::testing::Test {
protected:
    void TearDown() override { KillProcesses("vqchild.exe"); }
};

TEST_F(DriverTest, StartsWithTitleBannerAndToolbar)
{
    Driver app("drive-startup");
    ASSERT_TRUE(app.Start());
    char text[128] = "";
    GetWindowTextA(app.Window(), text, sizeof text);
    EXPECT_STREQ("Velqueth", text);
    GetClassNameA(app.Window(), text, sizeof text);
    EXPECT_STREQ("VELQUETH", text);
    EXPECT_EQ(WindowsTitledVelqueth().size(), 1u);

    EXPECT_EQ(kBanner, app.LogText());
    bool automatic = true;
    EXPECT_EQ(0x808080u, app.ColourAt(0, &automatic));
    EXPECT_FALSE(automatic);

    HWND toolbar = app.Toolbar();
    EXPECT_EQ(17, SendMessageA(toolbar, TB_BUTTONCOUNT, 0, 0));
    // Each command sits at its place in the row; separators between the groups.
    const struct {
        int command;
        int index;
    } places[] = {{ID_PROPERTIES, 1}, {ID_CUT, 3},          {ID_COPY, 4},          {ID_PASTE, 5},
                  {ID_SELECT_ALL, 6}, {ID_UNDO, 8},         {ID_DELETE, 10},       {ID_CLEAR_SCREEN, 11},
                  {ID_ABOUT, 13},     {ID_USER_GUIDE, 14},  {ID_RUN_DEFAULT, 16}};
    for (const auto& place : places)
        EXPECT_EQ(place.index, SendMessageA(toolbar, TB_COMMANDTOINDEX, place.command, 0))
            << "command " << place.command;

    EXPECT_EQ(0u, app.Close());
}

TEST_F(DriverTest, ClearScreenEmptiesTheLog)
{
    Driver app("drive-clear");
    ASSERT_TRUE(app.Start());
    ASSERT_EQ(kBanner, app.LogText());
    app.Command(ID_CLEAR_SCREEN);
    EXPECT_TRUE(app.WaitForLogEnd("", 2000));
    testing_support::PumpFor(200);
    EXPECT_EQ("", app.LogText());
    EXPECT_EQ(0u, app.Close());
}

TEST_F(DriverTest, SecondStartLeavesTheFirstWindowAlone)
{
    Driver app("drive-second");
    ASSERT_TRUE(app.Start());
    ShowWindow(app.Window(), SW_MINIMIZE);
    // The second copy is handed a program to run: it must run nothing and end with 0.
    EXPECT_EQ(0u, app.RunSecondCopy(ChildCommand("out second-copy")));
    EXPECT_EQ(1u, WindowsTitledVelqueth().size());
    EXPECT_FALSE(IsIconic(app.Window()));  // brought back to its normal state
    testing_support::PumpFor(300);
    EXPECT_EQ(kBanner, app.LogText());
    EXPECT_EQ(0, CountProcesses("vqchild.exe"));
    EXPECT_EQ(0u, app.Close());
}

TEST_F(DriverTest, CloseAndExitEndWithCodeZero)
{
    {
        Driver app("drive-close");
        ASSERT_TRUE(app.Start());
        EXPECT_EQ(0u, app.Close());
    }
    {
        Driver app("drive-exit");
        ASSERT_TRUE(app.Start());
        app.Command(ID_EXIT);
        EXPECT_EQ(0u, app.WaitForExit());
    }
}

TEST_F(DriverTest, StartUpCommandLineRunsAsAJob)
{
    Driver app("drive-cmdline");
    std::string command = ChildCommand("out hello\\r\\nworld");
    ASSERT_TRUE(app.Start(command));
    ASSERT_TRUE(app.WaitForLogEnd("C:\\> "));
    std::string expected = std::string(kBanner) + "\r\nExecuting:- " + command + "\r\n" +
                           "hello\r\nworld" + "C:\\> ";
    EXPECT_EQ(expected, app.LogText());

    size_t header = std::string(kBanner).size() + 2;
    bool automatic = true;
    EXPECT_EQ(0x808080u, app.ColourAt(static_cast<int>(header), &automatic));  // "Executing:- "
    size_t output = expected.rfind("hello");
    app.ColourAt(static_cast<int>(output), &automatic);
    EXPECT_TRUE(automatic);
    EXPECT_EQ(0x00C000u, app.ColourAt(static_cast<int>(expected.size()) - 5, &automatic));
    EXPECT_FALSE(automatic);
    EXPECT_EQ(0u, app.Close());
}

TEST_F(DriverTest, AProgramThatCannotStartGivesTheRedLine)
{
    Driver app("drive-missing");
    std::string command = "\"" + app.Folder() + "no-such-program.exe\"";
    ASSERT_TRUE(app.Start(command));
    std::string failure = "Failure running:- " + command + "\r\n";
    ASSERT_TRUE(app.WaitForLogEnd(failure));
    std::string log = app.LogText();
    EXPECT_EQ(std::string(kBanner) + "\r\nExecuting:- " + command + "\r\n" + failure, log);
    bool automatic = true;
    EXPECT_EQ(0x0000C0u, app.ColourAt(static_cast<int>(log.size() - failure.size()), &automatic));
    EXPECT_FALSE(automatic);
    EXPECT_EQ(0u, app.Close());
}

TEST_F(DriverTest, DefaultRunsTheSecondSlotWhenNoDefaultIsStored)
{
    Driver app("drive-default");
    app.WriteIni("[Setup]\r\nPath1=" + app.Folder() + "nothing.exe\r\nPath2=" +
                 BesideExe("vqchild.exe") + "\r\nArgs2=out slot-two\r\n");
    ASSERT_TRUE(app.Start());
    app.Command(ID_RUN_DEFAULT);
    ASSERT_TRUE(app.WaitForLogEnd("C:\\> "));
    std::string command = "\"" + BesideExe("vqchild.exe") + "\" out slot-two";
    EXPECT_EQ(std::string(kBanner) + "\r\nExecuting:- " + command + "\r\nslot-twoC:\\> ",
              app.LogText());
    EXPECT_EQ(0u, app.Close());
}

TEST_F(DriverTest, ARequestWhileAJobRunsIsRefused)
{
    Driver app("drive-busy");
    ASSERT_TRUE(app.Start(ChildCommand(std::string(kReady) + " sleep 4000 out finished")));
    ASSERT_TRUE(app.WaitForLog("ready"));
    app.Command(ID_RUN_DEFAULT);
    std::string text, caption;
    HWND box = app.FindMessageBox(&text, &caption);
    ASSERT_TRUE(box != nullptr);
    EXPECT_EQ("A file is already being processed, please wait", text);
    Driver::Dismiss(box);
    ASSERT_TRUE(app.WaitForLogEnd("finishedC:\\> ", 15000));
    // Exactly one job ran.
    std::string log = app.LogText();
    EXPECT_EQ(log.find("Executing:- "), log.rfind("Executing:- "));
    EXPECT_EQ(0u, app.Close());
}

TEST_F(DriverTest, ClosingDuringAJobEndsTheWholeProcessTree)
{
    Driver app("drive-close-job");
    ASSERT_TRUE(
        app.Start(ChildCommand(std::string("grandchild 20000 ") + kReady + " sleep 20000")));
    ASSERT_TRUE(app.WaitForLog("ready"));
    ASSERT_EQ(2, CountProcesses("vqchild.exe"));
    EXPECT_EQ(0u, app.Close());
    WaitUntil(5000, [] { return CountProcesses("vqchild.exe") == 0; });
    EXPECT_EQ(0, CountProcesses("vqchild.exe"));
}

TEST_F(DriverTest, ExitDuringAJobLeavesTheChildRunning)
{
    Driver app("drive-exit-job");
    ASSERT_TRUE(app.Start(ChildCommand(std::string(kReady) + " sleep 20000")));
    ASSERT_TRUE(app.WaitForLog("ready"));
    app.Command(ID_EXIT);
    EXPECT_EQ(0u, app.WaitForExit(5000));
    // Neither waited for nor ended: the child is still there (the test's tear-down ends it).
    EXPECT_EQ(1, CountProcesses("vqchild.exe"));
}

} // namespace

TEST_F(DriverTest, KeyboardShortcutsReachTheCommands)
{
    Driver app("drive-keys");
    std::string child = BesideExe("vqchild.exe");
    app.WriteIni("[Setup]\r\nPath3=" + child + "\r\nArgs3=out slot-three\r\nPath5=" + child +
                 "\r\nArgs5=out slot-five\r\nDefault=1028\r\n");
    ASSERT_TRUE(app.Start());
    SetForegroundWindow(app.Window());
    testing_support::PumpFor(200);

    // Ctrl+L clears the log, also while the pane has the focus.
    PressWithControl('L');
    ASSERT_TRUE(app.WaitForLogEnd("", 3000));
    WaitUntil(3000, [&] { return app.LogText().empty(); });
    EXPECT_EQ("", app.LogText());

    // Ctrl+3 runs slot 3; Ctrl+D runs the default, slot 5 (1028).
    PressWithControl('3');
    ASSERT_TRUE(app.WaitForLogEnd("slot-threeC:\\> "));
    PressWithControl('D');
    ASSERT_TRUE(app.WaitForLogEnd("slot-fiveC:\\> "));

    // The keypad digits are not shortcuts.
    std::string before = app.LogText();
    PressWithControl(VK_NUMPAD3);
    testing_support::PumpFor(500);
    EXPECT_EQ(before, app.LogText());
    EXPECT_EQ(0u, app.Close());
}
