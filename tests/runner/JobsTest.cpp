// Jobs on the real main window, in this process: run requests as the window receives them, the
// worker thread, real child processes (vqchild.exe) and the log pane as the user sees it.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "res/Commands.h"
#include "app/MainFrame.h"
#include "support/TestSupport.h"

using testing_support::BesideExe;
using testing_support::ColourAt;
using testing_support::ExeDirectory;
using testing_support::IniFileGuard;
using testing_support::MessageBoxRecorder;
using testing_support::PumpUntil;
using testing_support::WindowText;

namespace {

const char kPrompt[] = "C:\\> ";

std::string Vqchild()
{
    return BesideExe("vqchild.exe");
}

std::string Quoted(const std::string& path)
{
    return "\"" + path + "\"";
}

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

// vqchild processes alive anywhere on this system.
int LiveChildren()
{
    return testing_support::CountProcesses("vqchild.exe");
}

// A named event that vqchild's "wait" command waits for.
class Gate {
public:
    Gate() : name("VelquethJobsTestGate" + std::to_string(GetCurrentProcessId()))
    {
        event = CreateEventA(nullptr, TRUE, FALSE, name.c_str());
    }
    ~Gate()
    {
        Open();
        CloseHandle(event);
    }
    void Open() { SetEvent(event); }
    std::string name;
    HANDLE event;
};

// The application's main window, made in this process as the entry point makes it, and torn down
// as the entry point does after the message loop.
class App {
public:
    explicit App(char* startCommandLine = nullptr) : frame(new MainFrame)
    {
        frame->commandLine = startCommandLine;
        created = frame->Create(GetModuleHandleA(nullptr), SW_SHOW);
        if (created)
            banner = Log();
    }
    ~App()
    {
        if (frame->mainWindow && IsWindow(frame->mainWindow))
            DestroyWindow(frame->mainWindow);
        testing_support::PumpFor(20);
        if (frame->ReleaseWorker(10000))
            delete frame;
        else
            ADD_FAILURE() << "the worker is still alive; the frame is left behind";
    }

    std::string Log() const { return WindowText(frame->paneWindow); }
    // The log without the banner line written at creation.
    std::string JobLog() const
    {
        std::string log = Log();
        return log.compare(0, banner.size(), banner) == 0 ? log.substr(banner.size()) : log;
    }
    bool WorkerEnded() const
    {
        return !frame->workerThread || WaitForSingleObject(frame->workerThread, 0) == WAIT_OBJECT_0;
    }
    // Pumps messages until the current job's worker has finished.
    bool WaitForJob(DWORD timeoutMs = 30000) const
    {
        return PumpUntil([this] { return WorkerEnded(); }, timeoutMs);
    }
    bool WaitForLog(const std::string& part, DWORD timeoutMs = 30000) const
    {
        return PumpUntil([this, &part] { return Log().find(part) != std::string::npos; }, timeoutMs);
    }
    void Command(UINT id) const { SendMessageA(frame->mainWindow, WM_COMMAND, id, 0); }

    MainFrame* frame;
    bool created;
    std::string banner;
};

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

HDROP MakeDrop(const std::vector<std::string>& files)
{
    size_t chars = 1;
    for (const std::string& file : files)
        chars += file.size() + 1;
    HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + chars);
    if (!memory)
        return nullptr;
    DROPFILES* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = FALSE;
    char* names = reinterpret_cast<char*>(drop) + sizeof(DROPFILES);
    for (const std::string& file : files) {
        std::memcpy(names, file.c_str(), file.size() + 1);
        names += file.size() + 1;
    }
    *names = '\0';
    GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
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

TEST(JobsTest, SuccessfulJobIsFramedByHeaderAndPrompt)
{
    IniFileGuard ini(SetupIni({{"Path1", Vqchild()}, {"Args1", "out \"hello\\r\\n\" err world"}}));
    App app;
    ASSERT_TRUE(app.created);
    app.Command(ID_RUN_SLOT_1);
    ASSERT_TRUE(app.WaitForJob());

    const std::string command = Quoted(Vqchild()) + " out \"hello\\r\\n\" err world";
    const std::string header = "\r\nExecuting:- " + command + "\r\n";
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

TEST(JobsTest, JobThatCannotStartEndsWithTheFailureLine)
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

        const std::string header = "\r\nExecuting:- " + c.command + "\r\n";
        const std::string failure = "Failure running:- " + c.command + "\r\n";
        ASSERT_EQ(header + failure, app.JobLog()) << c.command;
        size_t start = app.banner.size();
        ExpectColours(app.frame->paneWindow,
                      {{start, start + header.size(), kColourGrey, false},
                       {start + header.size(), app.Log().size(), kColourRed, false}});
    }
}

TEST(JobsTest, SlotCommandLineForms)
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
        EXPECT_EQ(0u, app.JobLog().find("\r\nExecuting:- " + c.command + "\r\n")) << app.JobLog();
    }
}

TEST(JobsTest, DefaultRunsTheMarkedSlot)
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
        std::string command = Quoted(Vqchild()) + " out " + c.expectedOutput;
        EXPECT_EQ("\r\nExecuting:- " + command + "\r\n" + c.expectedOutput + kPrompt, app.JobLog())
            << c.defaultLine;
    }
}

TEST(JobsTest, RequestWhileAJobRunsIsRefused)
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
    HDROP drop = MakeDrop({Vqchild()});
    SendMessageA(app.frame->mainWindow, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
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
    EXPECT_EQ("\r\nExecuting:- " + firstCommand + "\r\nfirst done" + kPrompt, app.JobLog());

    // Once it has ended, the next request runs.
    boxes.Clear();
    app.Command(ID_RUN_SLOT_1 + 1);
    ASSERT_TRUE(app.WaitForJob());
    EXPECT_TRUE(boxes.Boxes().empty());
    const std::string second = Quoted(Vqchild()) + " out second";
    EXPECT_EQ("\r\nExecuting:- " + firstCommand + "\r\nfirst done" + kPrompt +
              "\r\nExecuting:- " + second + "\r\nsecond" + kPrompt, app.JobLog());
}

TEST(JobsTest, DroppedFileRunsTheFirstFileOnly)
{
    IniFileGuard ini;
    App app;
    ASSERT_TRUE(app.created);
    const std::string other = BesideExe("warmup.exe");
    HDROP drop = MakeDrop({Vqchild(), other});
    ASSERT_NE(nullptr, drop);
    LRESULT result = SendMessageA(app.frame->mainWindow, WM_DROPFILES,
                                  reinterpret_cast<WPARAM>(drop), 0);
    EXPECT_EQ(0, result);
    ASSERT_TRUE(app.WaitForJob());
    // vqchild without arguments writes nothing.
    EXPECT_EQ("\r\nExecuting:- " + Quoted(Vqchild()) + "\r\n" + kPrompt, app.JobLog());
    EXPECT_EQ(1, CountOf(app.Log(), "Executing:- "));

    // A dropped file that cannot run as a program.
    const std::string text = BesideExe("velqueth_jobs_drop.txt");
    ASSERT_TRUE(testing_support::WriteFileText(text, "not a program\r\n"));
    drop = MakeDrop({text});
    SendMessageA(app.frame->mainWindow, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
    bool ended = app.WaitForJob();
    DeleteFileA(text.c_str());
    ASSERT_TRUE(ended);
    EXPECT_NE(std::string::npos, app.JobLog().find("Failure running:- " + Quoted(text) + "\r\n"));
}

TEST(JobsTest, StartupCommandLineRunsOnceTheWindowIsUp)
{
    IniFileGuard ini;
    std::string text = Quoted(Vqchild()) + " out started";
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
    EXPECT_EQ("\r\nExecuting:- " + text + "\r\nstarted" + kPrompt, app.JobLog());
    EXPECT_NE(std::string::npos, app.banner.find("Velqueth Version"));
}

TEST(JobsTest, JobRunsInTheProgramDirectoryAndPutsTheDirectoryBack)
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
        const std::string header = "\r\nExecuting:- " + c.command + "\r\n";
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

TEST(JobsTest, DisplayProgramIsReadAtEveryJob)
{
    IniFileGuard ini(SetupIni({{"Path1", Vqchild()}, {"Args1", "out captured"},
                               {"DisplayProgram", "0"}}));
    App app;
    ASSERT_TRUE(app.created);
    const std::string header = "\r\nExecuting:- " + Quoted(Vqchild()) + " out captured\r\n";

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

TEST(JobsTest, AProgramMayStartAChildOutsideTheGroup)
{
    IniFileGuard ini(SetupIni({{"Path1", Vqchild()}, {"Args1", "breakaway 0"}}));
    App app;
    ASSERT_TRUE(app.created);
    app.Command(ID_RUN_SLOT_1);
    ASSERT_TRUE(app.WaitForJob());
    EXPECT_EQ("\r\nExecuting:- " + Quoted(Vqchild()) + " breakaway 0\r\ngrandchild\r\n" + kPrompt,
              app.JobLog());
}

TEST(JobsTest, ClosingTheWindowEndsTheRunningJobAndItsChildren)
{
    Gate gate;
    IniFileGuard ini(SetupIni({{"Path1", Vqchild()},
                               {"Args1", "grandchild 60000 out \"started\\r\\n\" wait " +
                                             gate.name}}));
    ASSERT_EQ(0, LiveChildren());
    MainFrame* frame = new MainFrame;
    ASSERT_TRUE(frame->Create(GetModuleHandleA(nullptr), SW_SHOW));
    HWND pane = frame->paneWindow;
    SendMessageA(frame->mainWindow, WM_COMMAND, ID_RUN_SLOT_1, 0);
    ASSERT_TRUE(PumpUntil([pane] { return WindowText(pane).find("\r\nstarted") != std::string::npos; },
                          30000));
    EXPECT_EQ(2, LiveChildren());

    // The close box, then the entry point's teardown.
    SendMessageA(frame->mainWindow, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(pane));
    EXPECT_TRUE(frame->jobEndedByClose);
    ASSERT_TRUE(frame->ReleaseWorker(frame->jobEndedByClose ? 3000 : 0));
    EXPECT_EQ(nullptr, frame->workerThread);
    delete frame;

    EXPECT_TRUE(PumpUntil([] { return LiveChildren() == 0; }, 10000));
}

TEST(JobsTest, ClosingEndsAChildOutsideTheGroupItself)
{
    // A job without a group, as when none could be made or the child could not join it (Velqueth
    // itself inside a job on Windows 7): the worker is started as StartJob would start it.
    Gate gate;
    ASSERT_EQ(0, LiveChildren());
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
    ASSERT_TRUE(frame->ReleaseWorker(frame->jobEndedByClose ? 3000 : 0));
    delete frame;
    EXPECT_TRUE(PumpUntil([] { return LiveChildren() == 0; }, 10000));
}

TEST(JobsTest, ClosingRightAfterTheRequestEndsTheChildToo)
{
    // The close comes while the worker is still on its way to starting the child.
    IniFileGuard ini(SetupIni({{"Path1", Vqchild()}, {"Args1", "out \"started\\r\\n\" sleep 60000"}}));
    ASSERT_EQ(0, LiveChildren());
    for (int round = 0; round < 3; ++round) {
        MainFrame* frame = new MainFrame;
        ASSERT_TRUE(frame->Create(GetModuleHandleA(nullptr), SW_SHOW));
        SendMessageA(frame->mainWindow, WM_COMMAND, ID_RUN_SLOT_1, 0);
        SendMessageA(frame->mainWindow, WM_CLOSE, 0, 0);
        ASSERT_TRUE(frame->ReleaseWorker(frame->jobEndedByClose ? 3000 : 0)) << round;
        delete frame;
        EXPECT_TRUE(PumpUntil([] { return LiveChildren() == 0; }, 10000)) << round;
    }
}

TEST(JobsTest, ClosingWithoutAJobDestroysTheWindowAtOnce)
{
    IniFileGuard ini(SetupIni({{"Path1", Vqchild()}, {"Args1", "out quick"}}));
    MainFrame* frame = new MainFrame;
    ASSERT_TRUE(frame->Create(GetModuleHandleA(nullptr), SW_SHOW));
    SendMessageA(frame->mainWindow, WM_COMMAND, ID_RUN_SLOT_1, 0);
    HANDLE worker = frame->workerThread;
    ASSERT_NE(nullptr, worker);
    HANDLE copy = nullptr;
    DuplicateHandle(GetCurrentProcess(), worker, GetCurrentProcess(), &copy, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    ASSERT_TRUE(PumpUntil([copy] { return WaitForSingleObject(copy, 0) == WAIT_OBJECT_0; }, 30000));
    CloseHandle(copy);

    SendMessageA(frame->mainWindow, WM_CLOSE, 0, 0);
    EXPECT_FALSE(frame->jobEndedByClose);
    EXPECT_TRUE(frame->ReleaseWorker(0));
    delete frame;
}

TEST(JobsTest, ExitLeavesTheRunningJobAlone)
{
    Gate gate;
    IniFileGuard ini(SetupIni({{"Path1", Vqchild()},
                               {"Args1", "out \"started\\r\\n\" wait " + gate.name}}));
    ASSERT_EQ(0, LiveChildren());
    MainFrame* frame = new MainFrame;
    ASSERT_TRUE(frame->Create(GetModuleHandleA(nullptr), SW_SHOW));
    HWND pane = frame->paneWindow;
    SendMessageA(frame->mainWindow, WM_COMMAND, ID_RUN_SLOT_1, 0);
    ASSERT_TRUE(PumpUntil([pane] { return WindowText(pane).find("\r\nstarted") != std::string::npos; },
                          30000));

    SendMessageA(frame->mainWindow, WM_COMMAND, ID_EXIT, 0);
    EXPECT_FALSE(IsWindow(pane));
    EXPECT_FALSE(frame->jobEndedByClose);
    // The teardown does not wait: the worker is alive, so the frame must stay.
    EXPECT_FALSE(frame->ReleaseWorker(frame->jobEndedByClose ? 3000 : 0));
    EXPECT_EQ(1, LiveChildren());

    // Let the child finish, as it would on its own; the worker then ends against a dead pane.
    gate.Open();
    EXPECT_TRUE(frame->ReleaseWorker(30000));
    delete frame;
    EXPECT_TRUE(PumpUntil([] { return LiveChildren() == 0; }, 10000));
}

TEST(JobsTest, WaitCursorWhileTheJobRuns)
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
