// Jobs on the real main window, in this process: run requests as the window receives them, the
// worker thread, real child processes (vqchild.exe), the log pane as the user sees it and the
// taskbar button; also awkward program paths and drops, a thousand jobs in a row, and closing
// during a flood.
#include <gtest/gtest.h>

#include <windows.h>
#include <shobjidl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "base/Seams.h"
#include "res/Commands.h"
#include "support/App.h"
#include "support/TestSupport.h"

using testing_support::App;
using testing_support::BesideExe;
using testing_support::ChildCommand;
using testing_support::ColourAt;
using testing_support::CountProcesses;
using testing_support::ExeDirectory;
using testing_support::Failure;
using testing_support::Garbage;
using testing_support::Gate;
using testing_support::Header;
using testing_support::IniFileGuard;
using testing_support::kPrompt;
using testing_support::MessageBoxRecorder;
using testing_support::PumpUntil;
using testing_support::Quoted;
using testing_support::Vqchild;
using testing_support::WindowText;

namespace {

class JobsTest : public testing_support::ChildTest {};

std::string WithoutSlash(std::string directory)
{
    if (directory.size() > 3 && (directory.back() == '\\' || directory.back() == '/'))
        directory.pop_back();
    return directory;
}

std::string CurrentDirectory()
{
    char directory[MAX_PATH] = "";
    GetCurrentDirectoryA(MAX_PATH, directory);
    return directory;
}

bool SameDirectory(const std::string& a, const std::string& b)
{
    return lstrcmpiA(WithoutSlash(a).c_str(), WithoutSlash(b).c_str()) == 0;
}

int CountOf(const std::string& text, const std::string& part)
{
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

std::string SetupIni(const std::vector<std::pair<std::string, std::string>>& keys)
{
    std::string text = "[Setup]\r\n";
    for (const auto& key : keys)
        text += key.first + "=" + key.second + "\r\n";
    return text;
}

struct ColourSpan {
    size_t begin, end;  // positions in the log text, end excluded
    COLORREF colour;
    bool automatic;
};

void ExpectColours(HWND pane, const std::vector<ColourSpan>& spans)
{
    for (const ColourSpan& span : spans) {
        for (size_t pos = span.begin; pos < span.end; ++pos) {
            bool automatic = false;
            COLORREF colour = ColourAt(pane, static_cast<int>(pos), &automatic);
            EXPECT_EQ(span.automatic, automatic) << "at " << pos;
            if (!span.automatic) {
                EXPECT_EQ(span.colour, colour) << "at " << pos;
            }
        }
    }
}

// Keeps the process's current directory as the test found it.
class DirectoryGuard {
public:
    DirectoryGuard() : kept(CurrentDirectory()) {}
    ~DirectoryGuard() { SetCurrentDirectoryA(kept.c_str()); }
    std::string kept;
};

std::string TempDirectory()
{
    char directory[MAX_PATH] = "";
    GetTempPathA(MAX_PATH, directory);
    return WithoutSlash(directory);
}

} // namespace

TEST_F(JobsTest, SuccessfulJobIsFramedByHeaderAndPrompt)
{
    IniFileGuard ini(SetupIni({{"Path1", Vqchild()}, {"Args1", "out \"hello\\r\\n\" err world"}}));
    App app;
    ASSERT_TRUE(app.created);
    app.Command(ID_RUN_SLOT_1);
    ASSERT_TRUE(app.WaitForJob());

    const std::string command = ChildCommand("out \"hello\\r\\n\" err world");
    const std::string header = Header(command);
    const std::string output = "hello\r\nworld";
    ASSERT_EQ(header + output + kPrompt, app.JobLog());
    ASSERT_STREQ(command.c_str(), app.frame->jobCommandLine);

    char className[32] = "";
    GetClassNameA(app.frame->paneWindow, className, sizeof className);
    ASSERT_EQ(0, lstrcmpiA("RichEdit", className)) << className;
    size_t start = app.banner.size();
    ExpectColours(app.frame->paneWindow,
                  {{start, start + header.size(), kColourGrey, false},
                   {start + header.size(), start + header.size() + output.size(), 0, true},
                   {start + header.size() + output.size(), app.Log().size(), kColourGreen, false}});
}

TEST_F(JobsTest, JobThatCannotStartEndsWithTheFailureLine)
{
    struct Case {
        const char* path;
        const char* args;
        std::string command;
    };
    const Case cases[] = {
        {"C:\\no\\such\\place\\tool.exe", "-x", "\"C:\\no\\such\\place\\tool.exe\" -x"},
        // A slot without a path still runs: two quotes and a blank.
        {"", "", "\"\" "},
        {"", "args only", "\"\" args only"},
    };
    for (const Case& c : cases) {
        IniFileGuard ini(SetupIni({{"Path4", c.path}, {"Args4", c.args}}));
        App app;
        ASSERT_TRUE(app.created);
        app.Command(ID_RUN_SLOT_1 + 3);
        ASSERT_TRUE(app.WaitForJob());

        const std::string header = Header(c.command);
        const std::string failure = Failure(c.command);
        ASSERT_EQ(header + failure, app.JobLog()) << c.command;
        size_t start = app.banner.size();
        ExpectColours(app.frame->paneWindow,
                      {{start, start + header.size(), kColourGrey, false},
                       {start + header.size(), app.Log().size(), kColourRed, false}});
    }
}

static HANDLE WINAPI RefuseThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID, DWORD,
                                  LPDWORD)
{
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
}

static LPVOID WINAPI RefuseMemory(HANDLE, DWORD, SIZE_T)
{
    return nullptr;
}

// A request that cannot get its worker, or the memory for its command line, says so as a program
// that cannot start would; the next request runs.
TEST_F(JobsTest, RequestWithoutAWorkerEndsWithTheFailureLine)
{
    IniFileGuard ini;
    App app;
    ASSERT_TRUE(app.created);
    const std::string command = "\"C:\\tools\\t.exe\" -x";
    const std::string header = Header(command);
    for (int refused = 0; refused < 2; ++refused) {
        app.ClearLog();
        if (refused == 0)
            seams::createThread = RefuseThread;
        else
            seams::heapAlloc = RefuseMemory;
        app.frame->StartJob(command.c_str());
        seams::Restore();
        EXPECT_FALSE(app.frame->workerAlive);
        ASSERT_EQ(header + Failure(command), app.Log()) << refused;
        ExpectColours(app.frame->paneWindow, {{0, header.size(), kColourGrey, false},
                                              {header.size(), app.Log().size(), kColourRed, false}});
    }
    ASSERT_TRUE(app.Run(ChildCommand("out ok")));
}

TEST_F(JobsTest, SlotCommandLineForms)
{
    const std::string longPath = ExeDirectory() + std::string(259 - ExeDirectory().size() - 4, 'p') +
                                 ".exe";
    const std::string longArgs = "out " + std::string(255, 'a');
    struct Case {
        std::string path, args, command;
    };
    const Case cases[] = {
        // Empty arguments keep the blank after the closing quote.
        {Vqchild(), "", Quoted(Vqchild()) + " "},
        {Vqchild(), "out \"a b\"", Quoted(Vqchild()) + " out \"a b\""},
        // The longest path and argument string fit whole.
        {longPath, longArgs, Quoted(longPath) + " " + longArgs},
    };
    ASSERT_EQ(259u, longPath.size());
    ASSERT_EQ(259u, longArgs.size());
    for (const Case& c : cases) {
        IniFileGuard ini(SetupIni({{"Path8", c.path}, {"Args8", c.args}}));
        App app;
        ASSERT_TRUE(app.created);
        app.Command(ID_RUN_SLOT_8);
        ASSERT_TRUE(app.WaitForJob());
        ASSERT_NE(nullptr, app.frame->jobCommandLine);
        EXPECT_EQ(c.command, app.frame->jobCommandLine);
        EXPECT_EQ(0u, app.JobLog().find(Header(c.command))) << app.JobLog();
    }
}

TEST_F(JobsTest, DefaultRunsTheMarkedSlot)
{
    struct Case {
        const char* defaultLine;
        const char* expectedOutput;
    };
    const Case cases[] = {
        {"1024", "one"}, {"1026", "three"}, {"1031", "eight"},
        // No valid default runs the second slot.
        {"", "two"}, {"7", "two"},
    };
    for (const Case& c : cases) {
        IniFileGuard ini(SetupIni({{"Path1", Vqchild()}, {"Args1", "out one"},
                                   {"Path2", Vqchild()}, {"Args2", "out two"},
                                   {"Path3", Vqchild()}, {"Args3", "out three"},
                                   {"Path8", Vqchild()}, {"Args8", "out eight"},
                                   {"Default", c.defaultLine}}));
        App app;
        ASSERT_TRUE(app.created);
        app.Command(ID_RUN_DEFAULT);
        ASSERT_TRUE(app.WaitForJob());
        const std::string command = ChildCommand(std::string("out ") + c.expectedOutput);
        EXPECT_EQ(Header(command) + c.expectedOutput + kPrompt, app.JobLog()) << c.defaultLine;
    }
}

TEST_F(JobsTest, RequestWhileAJobRunsIsRefused)
{
    Gate gate;
    IniFileGuard ini(SetupIni({{"Path1", Vqchild()}, {"Args1", "out first wait " + gate.name +
                                                                " out \" done\""},
                               {"Path2", Vqchild()}, {"Args2", "out second"}}));
    App app;
    ASSERT_TRUE(app.created);
    MessageBoxRecorder boxes;

    app.Command(ID_RUN_SLOT_1);
    ASSERT_TRUE(app.WaitForLog("first"));
    const std::string firstCommand = app.frame->jobCommandLine;

    app.Command(ID_RUN_SLOT_1 + 1);
    app.Drop({Vqchild()});
    ASSERT_EQ(2u, boxes.Boxes().size());
    for (const auto& box : boxes.Boxes()) {
        EXPECT_EQ(nullptr, box.owner);
        EXPECT_EQ("A file is already being processed, please wait", box.text);
        EXPECT_EQ("<null>", box.caption);
        EXPECT_EQ(static_cast<UINT>(MB_ICONINFORMATION), box.style);
    }
    EXPECT_EQ(firstCommand, app.frame->jobCommandLine);
    EXPECT_FALSE(app.WorkerEnded());

    gate.Open();
    ASSERT_TRUE(app.WaitForJob());
    EXPECT_EQ(Header(firstCommand) + "first done" + kPrompt, app.JobLog());

    // Once it has ended, the next request runs.
    boxes.Clear();
    app.Command(ID_RUN_SLOT_1 + 1);
    ASSERT_TRUE(app.WaitForJob());
    EXPECT_TRUE(boxes.Boxes().empty());
    const std::string second = ChildCommand("out second");
    EXPECT_EQ(Header(firstCommand) + "first done" + kPrompt + Header(second) + "second" + kPrompt,
              app.JobLog());
}

TEST_F(JobsTest, DroppedFileRunsTheFirstFileOnly)
{
    IniFileGuard ini;
    App app;
    ASSERT_TRUE(app.created);
    const std::string other = BesideExe("warmup.exe");
    app.Drop({Vqchild(), other});
    ASSERT_TRUE(app.WaitForJob());
    // vqchild without arguments writes nothing.
    EXPECT_EQ(Header(Quoted(Vqchild())) + kPrompt, app.JobLog());
    EXPECT_EQ(1, CountOf(app.Log(), "Executing:- "));

    // A dropped file that cannot run as a program.
    const std::string text = BesideExe("velqueth_jobs_drop.txt");
    ASSERT_TRUE(testing_support::WriteFileText(text, "not a program\r\n"));
    app.Drop({text});
    bool ended = app.WaitForJob();
    DeleteFileA(text.c_str());
    ASSERT_TRUE(ended);
    EXPECT_NE(std::string::npos, app.JobLog().find(Failure(Quoted(text))));
}

TEST_F(JobsTest, StartupCommandLineRunsOnceTheWindowIsUp)
{
    IniFileGuard ini;
    std::string text = ChildCommand("out started");
    std::vector<char> commandLine(text.begin(), text.end());
    commandLine.push_back('\0');

    App app(commandLine.data());
    ASSERT_TRUE(app.created);
    EXPECT_TRUE(IsWindowVisible(app.frame->mainWindow));
    // Nothing runs before the message loop takes the posted request.
    EXPECT_EQ(nullptr, app.frame->workerThread);
    EXPECT_EQ(0, CountOf(app.Log(), "Executing:- "));

    ASSERT_TRUE(app.WaitForLog(kPrompt));
    ASSERT_TRUE(app.WaitForJob());
    EXPECT_EQ(Header(text) + "started" + kPrompt, app.JobLog());
    EXPECT_NE(std::string::npos, app.banner.find("Velqueth Version"));
}

TEST_F(JobsTest, JobRunsInTheProgramDirectoryAndPutsTheDirectoryBack)
{
    DirectoryGuard restore;
    const std::string temp = TempDirectory();
    ASSERT_TRUE(SetCurrentDirectoryA(temp.c_str()));
    const std::string bin = ExeDirectory();
    struct Case {
        std::string command;
        std::string expectedDirectory;
    };
    const Case cases[] = {
        {Quoted(Vqchild()) + " pwd", bin},
        // Unquoted: the whole text is the path; its directory part does not exist.
        {Vqchild() + " pwd out x\\y", temp},
        // Unquoted without a backslash in the arguments: the program's directory after all.
        {Vqchild() + " pwd", bin},
        // Found through the search path: no directory part at all.
        {"vqchild.exe pwd", temp},
    };
    for (const Case& c : cases) {
        IniFileGuard ini;
        App app;
        ASSERT_TRUE(app.created);
        app.frame->StartJob(c.command.c_str());
        ASSERT_TRUE(app.WaitForJob());
        std::string log = app.JobLog();
        const std::string header = Header(c.command);
        ASSERT_EQ(0u, log.find(header)) << log;
        std::string printed = log.substr(header.size());
        size_t lineEnd = printed.find("\r\n");
        if (lineEnd == std::string::npos) {
            ADD_FAILURE() << c.command << ": " << log;
            continue;
        }
        EXPECT_TRUE(SameDirectory(c.expectedDirectory, printed.substr(0, lineEnd)))
            << c.command << " ran in " << printed.substr(0, lineEnd);
        EXPECT_TRUE(SameDirectory(temp, CurrentDirectory())) << c.command;
    }
}

TEST_F(JobsTest, DisplayProgramIsReadAtEveryJob)
{
    IniFileGuard ini(SetupIni({{"Path1", Vqchild()}, {"Args1", "out captured"},
                               {"DisplayProgram", "0"}}));
    App app;
    ASSERT_TRUE(app.created);
    const std::string header = Header(ChildCommand("out captured"));

    app.Command(ID_RUN_SLOT_1);
    ASSERT_TRUE(app.WaitForJob());
    EXPECT_EQ(0, app.frame->settings.displayProgram);

    // Changed in the file (as the Properties dialog does) between two jobs.
    WritePrivateProfileStringA("Setup", "DisplayProgram", "1", ini.Path().c_str());
    app.Command(ID_RUN_SLOT_1);
    ASSERT_TRUE(app.WaitForJob());
    EXPECT_EQ(1, app.frame->settings.displayProgram);
    EXPECT_EQ(header + "captured" + kPrompt + header + kPrompt, app.JobLog());
}

TEST_F(JobsTest, AProgramMayStartAChildOutsideTheGroup)
{
    IniFileGuard ini;
    App app;
    ASSERT_TRUE(app.created);
    const std::string command = ChildCommand("breakaway 0");
    ASSERT_TRUE(app.Run(command));
    EXPECT_EQ(Header(command) + "grandchild\r\n" + kPrompt, app.JobLog());
}

TEST_F(JobsTest, ClosingTheWindowEndsTheRunningJobAndItsChildren)
{
    Gate gate;
    IniFileGuard ini(SetupIni({{"Path1", Vqchild()},
                               {"Args1", "grandchild 60000 out \"started\\r\\n\" wait " +
                                             gate.name}}));
    App app;
    ASSERT_TRUE(app.created);
    HWND pane = app.frame->paneWindow;
    app.Command(ID_RUN_SLOT_1);
    ASSERT_TRUE(app.WaitForLog("\r\nstarted"));
    EXPECT_EQ(2, LiveChildren());

    // The close box; the worker, whose job it ended, then goes at once and clears its handle.
    SendMessageA(app.Main(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(pane));
    EXPECT_TRUE(app.frame->jobEndedByClose);
    ASSERT_TRUE(app.frame->ReleaseWorker(3000));
    EXPECT_EQ(nullptr, app.frame->workerThread);

    EXPECT_TRUE(PumpUntil([] { return LiveChildren() == 0; }, 10000));
}

TEST_F(JobsTest, ClosingEndsAChildOutsideTheGroupItself)
{
    // A job without a group, as when none could be made or the child could not join it (Velqueth
    // itself inside a job on Windows 7): the worker is started as StartJob would start it.
    Gate gate;
    MainFrame* frame = new MainFrame;
    ASSERT_TRUE(frame->Create(GetModuleHandleA(nullptr), SW_SHOW));
    CloseHandle(frame->jobGroup);
    frame->jobGroup = nullptr;
    const std::string command = Quoted(Vqchild()) + " out \"started\\r\\n\" wait " + gate.name;
    frame->jobCommandLine = static_cast<char*>(std::malloc(command.size() + 1));
    std::memcpy(frame->jobCommandLine, command.c_str(), command.size() + 1);
    frame->workerThread = CreateThread(nullptr, 0, MainFrame::JobThread, frame, 0, nullptr);
    HWND pane = frame->paneWindow;
    ASSERT_TRUE(PumpUntil([pane] { return WindowText(pane).find("\r\nstarted") != std::string::npos; },
                          30000));
    EXPECT_EQ(1, LiveChildren());

    SendMessageA(frame->mainWindow, WM_CLOSE, 0, 0);
    ASSERT_TRUE(MainFrame::Release(frame));
    EXPECT_TRUE(PumpUntil([] { return LiveChildren() == 0; }, 10000));
}

TEST_F(JobsTest, ClosingRightAfterTheRequestEndsTheChildToo)
{
    // The close comes while the worker is still on its way to starting the child.
    IniFileGuard ini(SetupIni({{"Path1", Vqchild()}, {"Args1", "out \"started\\r\\n\" sleep 60000"}}));
    for (int round = 0; round < 3; ++round) {
        App app;
        ASSERT_TRUE(app.created);
        app.Command(ID_RUN_SLOT_1);
        SendMessageA(app.Main(), WM_CLOSE, 0, 0);
        ASSERT_TRUE(app.Release()) << round;
        EXPECT_TRUE(PumpUntil([] { return LiveChildren() == 0; }, 10000)) << round;
    }
}

TEST_F(JobsTest, ClosingWithoutAJobDestroysTheWindowAtOnce)
{
    IniFileGuard ini(SetupIni({{"Path1", Vqchild()}, {"Args1", "out quick"}}));
    App app;
    ASSERT_TRUE(app.created);
    app.Command(ID_RUN_SLOT_1);
    ASSERT_NE(nullptr, app.frame->workerThread);
    ASSERT_TRUE(app.WaitForJob());

    SendMessageA(app.Main(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(app.frame->jobEndedByClose);
    EXPECT_TRUE(app.Release());
}

TEST_F(JobsTest, ExitLeavesTheRunningJobAlone)
{
    Gate gate;
    IniFileGuard ini(SetupIni({{"Path1", Vqchild()},
                               {"Args1", "out \"started\\r\\n\" wait " + gate.name}}));
    App app;
    ASSERT_TRUE(app.created);
    HWND pane = app.frame->paneWindow;
    app.Command(ID_RUN_SLOT_1);
    ASSERT_TRUE(app.WaitForLog("\r\nstarted"));

    app.Command(ID_EXIT);
    EXPECT_FALSE(IsWindow(pane));
    EXPECT_FALSE(app.frame->jobEndedByClose);
    // The teardown does not wait: the worker is alive, so the frame must stay.
    ASSERT_FALSE(app.Release());
    EXPECT_EQ(1, LiveChildren());

    // Let the child finish, as it would on its own; the worker then ends against a dead pane.
    gate.Open();
    EXPECT_TRUE(app.frame->ReleaseWorker(30000));
    EXPECT_TRUE(PumpUntil([] { return LiveChildren() == 0; }, 10000));
}

TEST_F(JobsTest, WaitCursorWhileTheJobRuns)
{
    Gate gate;
    IniFileGuard ini(SetupIni({{"Path1", Vqchild()}, {"Args1", "out started wait " + gate.name}}));
    App app;
    ASSERT_TRUE(app.created);
    HWND pane = app.frame->paneWindow;
    RECT rect;
    GetWindowRect(pane, &rect);
    ASSERT_TRUE(SetCursorPos((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2));
    const HCURSOR wait = LoadCursorA(nullptr, IDC_WAIT), beam = LoadCursorA(nullptr, IDC_IBEAM);
    // The pointer does not move: the start and the end of the job alone change the cursor.
    app.Command(ID_RUN_SLOT_1);
    EXPECT_EQ(wait, GetCursor());
    ASSERT_TRUE(app.WaitForLog("started"));
    EXPECT_EQ(wait, GetCursor());
    for (HWND window : {pane, app.frame->mainWindow}) {
        SetCursor(nullptr);
        SendMessageA(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window),
                     MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        EXPECT_EQ(wait, GetCursor()) << (window == pane ? "pane" : "frame");
    }
    gate.Open();
    ASSERT_TRUE(app.WaitForJob());
    EXPECT_TRUE(PumpUntil([beam] { return GetCursor() == beam; }, 5000));
}

// The taskbar button, seen through its seam: indeterminate progress from the start of a job to its
// end, then a flash when the job ends while another window is in front.
namespace {
std::vector<std::pair<HWND, int>> progress;
std::vector<FLASHWINFO> flashes;
BOOL WINAPI RecordFlash(PFLASHWINFO flash)
{
    flashes.push_back(*flash);
    return TRUE;
}
} // namespace

TEST_F(JobsTest, TaskbarButtonShowsTheJobAndFlashesWhenItEndsBehindAnotherWindow)
{
    seams::taskbarProgress = [](HWND window, int state) { progress.push_back({window, state}); };
    seams::flashWindowEx = RecordFlash;
    struct Restore {
        ~Restore() { seams::Restore(); }
    } restore;
    HWND other = testing_support::CreateHostWindow("another program");
    for (bool velquethInFront : {true, false}) {
        SCOPED_TRACE(velquethInFront ? "Velqueth in front" : "another window in front");
        progress.clear();
        flashes.clear();
        Gate gate;
        App app;
        ASSERT_TRUE(app.created);
        app.frame->StartJob(ChildCommand("out started wait " + gate.name).c_str());
        ASSERT_TRUE(app.WaitForLog("started"));
        EXPECT_EQ((std::vector<std::pair<HWND, int>>{{app.Main(), TBPF_INDETERMINATE}}), progress);
        ShowWindow(other, velquethInFront ? SW_HIDE : SW_SHOW);
        SetForegroundWindow(velquethInFront ? app.Main() : other);
        ASSERT_EQ(velquethInFront ? app.Main() : other, GetForegroundWindow());
        gate.Open();
        ASSERT_TRUE(PumpUntil([&app] { return !app.frame->workerAlive; }));
        EXPECT_EQ((std::vector<std::pair<HWND, int>>{{app.Main(), TBPF_INDETERMINATE},
                                                     {app.Main(), TBPF_NOPROGRESS}}),
                  progress);
        ASSERT_EQ(velquethInFront ? 0u : 1u, flashes.size());
        for (const FLASHWINFO& f : flashes)  // until the user comes back
            EXPECT_TRUE(f.cbSize == sizeof f && f.hwnd == app.Main() && f.uCount == 0 &&
                        f.dwFlags == (FLASHW_TRAY | FLASHW_TIMERNOFG));
    }
    DestroyWindow(other);
}

// With ShowExitCode set, a job that ran ends with its exit code and its child's own time; without
// it the log is as ever. A failed job, with or without the key, leaves the taskbar button in the
// error state until the window is activated.
TEST_F(JobsTest, OutcomeInTheLogAndOnTheTaskbarButton)
{
    seams::taskbarProgress = [](HWND window, int state) { progress.push_back({window, state}); };
    struct Restore {
        ~Restore() { seams::Restore(); }
    } restore;
    struct Case {
        const char *key, *script, *output, *line;  // no script: a missing program; line up to its time
        COLORREF colour;
        int state;  // the button's at the end
    };
    const Case cases[] = {
        {"1", "exit 0", "", "Exit code 0 after ", kColourGrey, TBPF_NOPROGRESS},
        {"1", "out x sleep 300 exit 3", "x", "\r\nExit code 3 after ", kColourRed, TBPF_ERROR},
        {"1", "out \"y\\r\\n\" crash", "y\r\n", "Exit code 0xC0000005 (access violation) after ",
         kColourRed, TBPF_ERROR},
        {nullptr, "out x exit 3", "x", "", 0, TBPF_ERROR},
        {"0", "exit 0", "", "", 0, TBPF_NOPROGRESS},
        {"1", nullptr, "", "", 0, TBPF_ERROR},
        {"1", "out \"begun\\r\\n\" sleep 60000", "begun\r\n", "", 0, TBPF_NOPROGRESS},  // stopped
    };
    for (const Case& c : cases) {
        const std::string path = c.script ? Vqchild() : "C:\\no\\such\\tool.exe";
        const std::string command = Quoted(path) + " " + (c.script ? c.script : "");
        IniFileGuard ini(SetupIni({{"Path1", path}, {"Args1", c.script ? c.script : ""}}) +
                         (c.key ? "ShowExitCode=" + std::string(c.key) + "\r\n" : ""));
        App app;
        ASSERT_TRUE(app.created);
        progress.clear();
        app.Command(ID_RUN_SLOT_1);
        const bool stop = command.find("60000") != std::string::npos;
        ASSERT_TRUE(!stop || (app.WaitForLog("begun\r\n") && app.frame->StopRunningJob()));
        ASSERT_TRUE(app.WaitForJob() && PumpUntil([&app] { return !app.frame->workerAlive; }));
        const std::string before = Header(command) + c.output + c.line, log = app.JobLog();
        const std::string ending = !c.script ? Failure(command)
                                   : stop ? "Stopped:- " + command + "\r\n" + kPrompt : kPrompt;
        ASSERT_EQ(before, log.substr(0, before.size())) << command;
        ASSERT_GE(log.size(), before.size() + ending.size()) << command;
        const std::string time = log.substr(before.size(), log.size() - before.size() - ending.size());
        EXPECT_EQ(ending, log.substr(before.size() + time.size())) << command;
        // The child's own time: the sleep is in it.
        const double seconds = std::atof(time.c_str()), least = c.output[0] == 'x' ? 0.3 : 0;
        EXPECT_TRUE(*c.line ? seconds >= least && seconds < 30 && time.size() > 4 &&
                                  time.substr(time.size() - 4) == " s\r\n"
                            : time.empty()) << command << ": " << time;
        const size_t at = app.banner.size() + before.size() - std::strlen(c.line);
        ExpectColours(app.Pane(), {{at + (*c.line == '\r' ? 2 : 0), at + std::strlen(c.line), c.colour, false}});
        EXPECT_EQ((std::vector<std::pair<HWND, int>>{{app.Main(), TBPF_INDETERMINATE},
                                                     {app.Main(), c.state}}), progress) << command;
        SendMessageA(app.Main(), WM_ACTIVATE, WA_ACTIVE, 0);
        EXPECT_EQ(TBPF_NOPROGRESS, progress.back().second) << command;
    }
}

// --- Awkward program paths and drops --------------------------------------------------------

namespace {

// Files and folders made for one test beside the test program, removed again at its end.
class Scratch {
public:
    ~Scratch()
    {
        for (auto it = files.rbegin(); it != files.rend(); ++it)
            DeleteFileA(it->c_str());
        for (auto it = folders.rbegin(); it != folders.rend(); ++it)
            RemoveDirectoryA(it->c_str());
    }
    std::string Folder(const std::string& name)
    {
        std::string path = ExeDirectory() + name;
        CreateDirectoryA(path.c_str(), nullptr);
        folders.push_back(path);
        return path;
    }
    std::string CopyOfChild(const std::string& path)
    {
        files.push_back(path);
        return CopyFileA(Vqchild().c_str(), path.c_str(), FALSE) ? path : std::string();
    }
    std::string File(const std::string& path, const std::string& contents)
    {
        files.push_back(path);
        return testing_support::WriteFileText(path, contents) ? path : std::string();
    }

private:
    std::vector<std::string> files;
    std::vector<std::string> folders;
};

// A program path of exactly 259 characters: a folder of about 150 characters beside the test
// program and a long file name.
std::string LongProgramPath(Scratch* scratch)
{
    std::string folder = ExeDirectory() + "fault-long-";
    folder += std::string(150 - folder.size(), 'd');
    scratch->Folder(folder.substr(ExeDirectory().size()));
    std::string name = "\\" + std::string(259 - folder.size() - 1 - 4, 'v') + ".exe";
    return folder + name;
}

std::string WithoutLastSlash(const std::string& path)
{
    return path.substr(0, path.find_last_of('\\'));
}

} // namespace

TEST_F(JobsTest, AwkwardProgramPathsInSlots)
{
    Scratch scratch;
    const std::string longPath = scratch.CopyOfChild(LongProgramPath(&scratch));
    ASSERT_EQ(259u, longPath.size());
    const std::string spaced =
        scratch.CopyOfChild(scratch.Folder("fault dir with spaces") + "\\vq child.exe");
    ASSERT_FALSE(spaced.empty());
    const std::string longArguments = "out " + std::string(255, 'z');
    struct Case {
        const char* name;
        std::string path, arguments;
        std::string output;  // empty: the start fails
    };
    const Case cases[] = {
        {"259-character path", longPath, "pwd out ok", WithoutLastSlash(longPath) + "\r\nok"},
        // Both fields at their longest: 521 characters of command line.
        {"259-character path and arguments", longPath, longArguments, std::string(255, 'z')},
        {"spaces", spaced, "pwd", WithoutLastSlash(spaced) + "\r\n"},
        // Nothing inside the quotes is escaped: a quote ends the program name early.
        {"a quote", ExeDirectory() + "fault\"quote\\vqchild.exe", "out x", ""},
        {"spaces and a quote", ExeDirectory() + "fault dir with spaces\\vq\"child.exe", "pwd", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        IniFileGuard ini("[Setup]\r\nPath1=" + c.path + "\r\nArgs1=" + c.arguments + "\r\n");
        App app;
        ASSERT_TRUE(app.created);
        app.Command(ID_RUN_SLOT_1);
        ASSERT_TRUE(app.WaitForJob());
        const std::string command = Quoted(c.path) + " " + c.arguments;
        std::string ending = c.output.empty() ? Failure(command) : c.output + kPrompt;
        EXPECT_EQ(Header(command) + ending, app.JobLog());
        ExpectNoChildLeft();
    }
}

TEST_F(JobsTest, LongStartUpCommandLines)
{
    // A command line given at start-up has no length limit of its own: the header, the run and
    // the failure line take it whole; only the program's directory comes from its first 259
    // characters.
    const std::string text(8000, 'L');
    struct Case {
        const char* name;
        std::string command;
        std::string output;  // empty: the start fails
    };
    const Case cases[] = {
        {"quoted, 8,000 characters of arguments", Quoted(Vqchild()) + " out " + text, text},
        {"unquoted", Vqchild() + " out " + text, text},
        {"a missing program", Quoted(ExeDirectory() + text.substr(0, 200) + ".exe") + " " + text,
         ""},
    };
    IniFileGuard ini;
    App app;
    ASSERT_TRUE(app.created);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        app.ClearLog();
        ASSERT_TRUE(app.Run(c.command));
        std::string ending = c.output.empty() ? Failure(c.command) : c.output + kPrompt;
        EXPECT_TRUE(Header(c.command) + ending == app.Log()) << app.Log().substr(0, 400);
        ExpectNoChildLeft();
    }
}

TEST_F(JobsTest, AwkwardDrops)
{
    IniFileGuard ini;
    Scratch scratch;
    const std::string folder = scratch.Folder("fault dir with spaces");
    const std::string spaced = scratch.CopyOfChild(folder + "\\vq child.exe");
    ASSERT_FALSE(spaced.empty());
    const std::string veryLong = ExeDirectory() + "fault-drop-" +
                                 std::string(300 - ExeDirectory().size() - 11 - 4, 'n') + ".exe";
    ASSERT_EQ(300u, veryLong.size());
    struct Case {
        const char* name;
        std::string file;
        bool runs;
    };
    const Case cases[] = {
        {"a program in a folder with spaces", spaced, true},
        {"a 300-character name", veryLong, false},
        {"a folder", folder, false},
        {"a text file", scratch.File(folder + "\\notes.txt", "not a program\r\n"), false},
        {"an empty .exe", scratch.File(folder + "\\empty.exe", ""), false},
        {"garbage named .exe", scratch.File(folder + "\\garbage.exe", Garbage(8192, 7)), false},
        {"a name with a quote", folder + "\\vq\"child.exe", false},
    };
    App app;
    ASSERT_TRUE(app.created);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        app.ClearLog();
        app.Drop({c.file});
        ASSERT_TRUE(app.WaitForJob());
        // The name is read into 260 characters: a longer one is cut to its first 259.
        const std::string command = Quoted(c.file.substr(0, 259));
        std::string ending = c.runs ? std::string(kPrompt) : Failure(command);
        EXPECT_EQ(Header(command) + ending, app.Log());
        ExpectNoChildLeft();
    }
}

// --- Many jobs, and a close during a flood -----------------------------------------------

namespace {

// GDI objects of this process. GetGuiResources answers 0 under Wine, whose handle table also
// takes a bare index (no generation in the high word) for the object in that slot: the slots
// in use are counted instead there.
DWORD GdiObjects()
{
    DWORD reported = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (reported != 0)
        return reported;
    DWORD count = 0;
    for (UINT_PTR index = 1; index < 0x10000; ++index) {
        if (GetObjectType(reinterpret_cast<HGDIOBJ>(index)) != 0)
            ++count;
    }
    return count;
}

BOOL CALLBACK CountWindow(HWND window, LPARAM count)
{
    ++*reinterpret_cast<DWORD*>(count);
    EnumChildWindows(window, CountWindow, count);
    return TRUE;
}

// USER objects; under Wine (which answers 0) the windows of this thread and their children.
DWORD UserObjects()
{
    DWORD reported = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    if (reported != 0)
        return reported;
    DWORD count = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountWindow, reinterpret_cast<LPARAM>(&count));
    return count;
}

struct Resources {
    DWORD handles, gdi, user;
    int consoles;  // console hosts that Wine starts for each new console
};

Resources Measure()
{
    return {testing_support::HandleCount(), GdiObjects(), UserObjects(),
            CountProcesses("conhost.exe")};
}

// The complete "flood" lines at the start of `text` are numbered 0, 1, 2, ... without a gap;
// answers how many there are, or -1 at the first line that is out of place.
long CheckFloodLines(const std::string& text)
{
    long count = 0;
    size_t at = 0;
    for (;;) {
        size_t end = text.find("\r\n", at);
        if (end == std::string::npos)
            return count;
        char expected[65];
        std::snprintf(expected, sizeof expected, "flood %010ld %-45s", count, "x");
        if (text.compare(at, end - at, expected) != 0)
            return -1;
        ++count;
        at = end + 2;
    }
}

} // namespace

TEST_F(JobsTest, ManyShortJobsLeaveNothingBehind)
{
    // Counted after the first batch and again 30 jobs later: a leak of one object per job shows
    // as 30, ten times the room left for the system's caches (make bench counts over 1,000 jobs).
    const int kJobs = 40;
    const int kBatch = 10;
    IniFileGuard ini("[Setup]\r\nPath3=" + Vqchild() + "\r\nArgs3=out x\r\n");
    App app;
    ASSERT_TRUE(app.created);
    const std::string command = ChildCommand("out x");
    const std::string ran = Header(command) + "x" + kPrompt;
    const std::string refused = Header(command) + Failure(command);

    Resources afterFirstBatch = {0, 0, 0, 0};
    int notStarted = 0;
    DWORD start = GetTickCount();
    for (int job = 1; job <= kJobs; ++job) {
        app.Command(ID_RUN_SLOT_1 + 2);
        ASSERT_TRUE(app.WaitForJob()) << "job " << job;
        if (job % kBatch == 0) {
            // Each batch of jobs left exactly its own lines; the log starts afresh for the next.
            std::string log = app.JobLog();
            int jobs = 0;
            for (size_t at = 0; at < log.size(); ++jobs) {
                if (log.compare(at, ran.size(), ran) == 0) {
                    at += ran.size();
                } else if (log.compare(at, refused.size(), refused) == 0) {
                    at += refused.size();
                    ++notStarted;
                } else {
                    FAIL() << "job " << job - kBatch + jobs + 1 << " left: " << log.substr(at, 300);
                }
            }
            ASSERT_EQ(kBatch, jobs) << "after job " << job;
            app.ClearLog();
            if (job == kBatch)
                afterFirstBatch = Measure();
        }
    }
    std::printf("%d jobs: %lu ms, %d of them not started\n", kJobs, GetTickCount() - start,
                notStarted);
    // Now and then (about once in 1,500 starts here) Wine's CreateProcessA fails with
    // ERROR_INTERNAL_ERROR, the child having died while it was being set up; the job then shows
    // the failure line, as any job that cannot start. More than that is a fault.
    EXPECT_LE(notStarted, 2);
    ExpectNoChildLeft();

    // A little room for the system's own caches.
    Resources afterAll = Measure();
    std::printf("after %d jobs: %lu handles, %lu GDI, %lu USER, %d console hosts; after %d: %lu, "
                "%lu, %lu, %d\n", kBatch, afterFirstBatch.handles, afterFirstBatch.gdi,
                afterFirstBatch.user, afterFirstBatch.consoles, kJobs, afterAll.handles,
                afterAll.gdi, afterAll.user, afterAll.consoles);
    EXPECT_LE(afterAll.handles, afterFirstBatch.handles + 3);
    EXPECT_LE(afterAll.gdi, afterFirstBatch.gdi + 3);
    EXPECT_LE(afterAll.user, afterFirstBatch.user + 3);
    EXPECT_TRUE(PumpUntil([&afterFirstBatch] {
        return CountProcesses("conhost.exe") <= afterFirstBatch.consoles;
    }, 10000)) << CountProcesses("conhost.exe") << " console hosts";
}

TEST_F(JobsTest, CloseDuringAFlood)
{
    IniFileGuard ini;
    App app;
    ASSERT_TRUE(app.created);
    HWND pane = app.frame->paneWindow;
    const std::string command = ChildCommand("flood 120");
    app.frame->StartJob(command.c_str());
    const std::string start = app.banner + Header(command);
    auto lines = [&] {
        std::string log = WindowText(pane);
        return log.compare(0, start.size(), start) == 0 ? CheckFloodLines(log.substr(start.size()))
                                                        : 0;
    };
    ASSERT_TRUE(PumpUntil([&] { return lines() >= 100; }, 60000)) << WindowText(pane);
    // Nothing lost or out of order so far.
    EXPECT_GE(lines(), 100);
    // The log stalls until the worker waits on a full queue (the child may be slow to fill it).
    EXPECT_TRUE(app.StallUntilQueueFull());

    // The close box, then the entry point's teardown.
    SendMessageA(app.Main(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(pane));
    EXPECT_TRUE(app.frame->jobEndedByClose);
    EXPECT_TRUE(app.Release()) << "the worker did not end after the close";
    ExpectNoChildLeft();
}

// --- Stopping the running program --------------------------------------------------------

namespace {

// The last item of the window's system menu (the stop item, or not), and whether it is enabled.
std::string LastSystemMenuItem(HWND window, bool* enabled = nullptr)
{
    HMENU menu = GetSystemMenu(window, FALSE);
    const testing_support::MenuItem item =
        testing_support::ReadMenuItem(menu, static_cast<UINT>(GetMenuItemCount(menu) - 1));
    bool on = (item.state & MFS_GRAYED) == 0;
    if (enabled)
        *enabled = on;
    return item.id == IDM_STOP_PROGRAM ? item.text + (on ? "" : " (off)") : "";
}

// Ctrl+Break pressed for real, with the keyboard focus in `target`.
void PressCtrlBreakIn(HWND main, HWND target)
{
    SetForegroundWindow(main);
    SetFocus(target);
    testing_support::PumpFor(100);
    testing_support::PressWithControl(VK_CANCEL);
}

} // namespace

TEST_F(JobsTest, CtrlBreakInTheLogStopsTheWholeTreeAndTheNextJobRuns)
{
    // The child's own child stays in the group; the other left it and holds the pipe open.
    Gate gate;
    const std::string script =
        "grandchild 60000 breakaway 60000 out \"started\\r\\npartial\" wait " + gate.name;
    IniFileGuard ini(SetupIni({{"Path1", Vqchild()}, {"Args1", script}, {"Path2", Vqchild()},
                               {"Args2", "out next"}}));
    App app;
    ASSERT_TRUE(app.created);
    app.Command(ID_RUN_SLOT_1);
    ASSERT_TRUE(app.WaitForLog("started\r\npartial"));
    EXPECT_EQ(3, LiveChildren());
    EXPECT_EQ("Stop the running program\tCtrl+Break", LastSystemMenuItem(app.Main()));

    PressCtrlBreakIn(app.Main(), app.Pane());
    ASSERT_TRUE(app.WaitForJob(10000)) << "the worker still reads the pipe after the stop";
    const std::string command = ChildCommand(script);
    const std::string before = app.banner + Header(command) + "started\r\npartial";
    const std::string stopped = "\r\nStopped:- " + command + "\r\n";
    ASSERT_EQ(before + stopped + kPrompt, app.Log());
    // The line break before the line shows no colour (a rich edit reports the one before it).
    const size_t prompt = before.size() + stopped.size();
    ExpectColours(app.Pane(), {{before.size() + 2, prompt, kColourRed, false},
                               {prompt, app.Log().size(), kColourGreen, false}});
    // Only the process that left the group lives on.
    EXPECT_TRUE(PumpUntil([] { return LiveChildren() == 1; }, 5000)) << LiveChildren();
    EXPECT_TRUE(PumpUntil([&app] { bool on = true; LastSystemMenuItem(app.Main(), &on); return !on; }, 5000));

    app.ClearLog();
    app.Command(ID_RUN_SLOT_1 + 1);
    ASSERT_TRUE(app.WaitForJob());
    EXPECT_EQ(Header(ChildCommand("out next")) + "next" + kPrompt, app.Log());
}

TEST_F(JobsTest, StopFromTheWindowDuringAFloodAndFromTheSystemMenu)
{
    const std::string flood = ChildCommand("flood 120"), sleeper = ChildCommand("sleep 60000");
    IniFileGuard ini(SetupIni({{"Path1", Vqchild()}, {"Args1", "flood 120"},
                               {"Path2", Vqchild()}, {"Args2", "sleep 60000"}}));
    App app;
    ASSERT_TRUE(app.created);
    EXPECT_EQ("Stop the running program\tCtrl+Break (off)", LastSystemMenuItem(app.Main()));
    // Without a job the key does nothing.
    PressCtrlBreakIn(app.Main(), app.Main());
    testing_support::PumpFor(300);
    EXPECT_EQ(app.banner, app.Log());

    // The key in the window itself during a flood: every line so far, then the stop.
    app.Command(ID_RUN_SLOT_1);
    ASSERT_TRUE(app.WaitForLog("flood 0000000100"));
    PressCtrlBreakIn(app.Main(), app.Main());
    ASSERT_TRUE(app.WaitForJob(10000));
    const std::string log = app.JobLog(), end = "Stopped:- " + flood + "\r\n" + kPrompt;
    const size_t head = Header(flood).size();
    ASSERT_GT(log.size(), head + end.size());
    EXPECT_EQ(end, log.substr(log.size() - end.size()));
    EXPECT_GE(CheckFloodLines(log.substr(head, log.size() - head - end.size())), 100);
    ExpectNoChildLeft();

    // The system menu's item, even while the worker is still starting the child.
    app.ClearLog();
    app.Command(ID_RUN_SLOT_1 + 1);
    PostMessageA(app.Main(), WM_SYSCOMMAND, IDM_STOP_PROGRAM, 0);
    ASSERT_TRUE(app.WaitForJob(10000));
    const std::string header = Header(sleeper), stopped = "Stopped:- " + sleeper + "\r\n";
    EXPECT_EQ(header + stopped + kPrompt, app.Log());
    ExpectColours(app.frame->paneWindow,
                  {{0, header.size(), kColourGrey, false},
                   {header.size(), header.size() + stopped.size(), kColourRed, false},
                   {header.size() + stopped.size(), app.Log().size(), kColourGreen, false}});
    ExpectNoChildLeft();
}

namespace {

// Waits without serving messages until `condition` holds or the time is up.
template <typename Condition>
bool WaitUnpumped(Condition condition, DWORD timeoutMs = 10000)
{
    for (DWORD start = GetTickCount(); !condition(); Sleep(10)) {
        if (GetTickCount() - start > timeoutMs)
            return false;
    }
    return true;
}

} // namespace

// A stop that ends nothing: after the program's natural end (the worker still waits for this thread
// to write its prompt), or while a program that cannot start is being started.
TEST_F(JobsTest, AStopThatEndsNothingLeavesTheJobsOwnClosingLine)
{
    IniFileGuard ini;
    App app;
    ASSERT_TRUE(app.created);
    const std::string done = ChildCommand("out done"), missing = Quoted(BesideExe("missing.exe"));
    app.frame->StartJob(done.c_str());
    ASSERT_TRUE(app.WaitForLog(Header(done) + "done"));
    ASSERT_TRUE(WaitUnpumped([] { return LiveChildren() == 0; }));
    ASSERT_FALSE(app.WorkerEnded());
    app.frame->StopRunningJob();
    ASSERT_TRUE(app.WaitForJob());
    EXPECT_EQ(Header(done) + "done" + kPrompt, app.JobLog());

    app.ClearLog();
    app.frame->StartJob(missing.c_str());
    EXPECT_TRUE(app.frame->StopRunningJob());
    ASSERT_TRUE(app.WaitForJob());
    EXPECT_EQ(Header(missing) + Failure(missing), app.Log());
}

// The stop itself ends the group, before any message is served, and the read that follows takes
// what a process outside the group left in the pipe, without the retry.
TEST_F(JobsTest, TheStopEndsTheGroupAtOnceAndKeepsWhatThePipeHeld)
{
    Gate gate;
    const std::string command =
        ChildCommand("wait " + gate.name + " bytes " + std::to_string(OutputQueue::kLimit + 1024) +
                     " holder 60000 held sleep 60000");
    IniFileGuard ini;
    App app;
    ASSERT_TRUE(app.created);
    app.frame->StartJob(command.c_str());
    ASSERT_TRUE(app.WaitForLog(Header(command)));
    // From here the log takes nothing: the child's output fills the queue and the pipe.
    gate.Open();
    ASSERT_TRUE(app.StallUntilQueueFull(30000));
    // The holder has written its text into the pipe, which the stalled worker has not read.
    ASSERT_TRUE(WaitUnpumped([] { return LiveChildren() == 2; })) << LiveChildren();
    Sleep(300);
    ASSERT_TRUE(app.frame->StopRunningJob());
    KillTimer(app.Main(), kStopTimer);
    EXPECT_TRUE(WaitUnpumped([] { return LiveChildren() == 1; }, 5000)) << "the group still runs";
    ASSERT_TRUE(app.WaitForJob(10000)) << "the worker still reads the pipe after the stop";
    const std::string log = app.Log(), end = "held\r\nStopped:- " + command + "\r\n" + kPrompt;
    ASSERT_GT(log.size(), end.size());
    EXPECT_EQ(end, log.substr(log.size() - end.size()));
}
