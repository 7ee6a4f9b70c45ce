// Hostile inputs against the real main window in this process: broken settings files, awkward
// paths and drops, unusual child output, and long runs of jobs. Every case checks that nothing
// crashed or hung, that the child's output reached the log whole, and that no vqchild process is
// left over.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <richedit.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "res/Commands.h"
#include "app/MainFrame.h"
#include "config/Settings.h"
#include "runner/PaneConsoleRunner.h"
#include "support/TestSupport.h"

using testing_support::BesideExe;
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

using testing_support::CountProcesses;

int LiveChildren()
{
    return CountProcesses("vqchild.exe");
}

void KillChildren()
{
    testing_support::KillProcesses("vqchild.exe");
}

// The main window as the entry point makes it, torn down as the entry point does.
class App {
public:
    App() : frame(new MainFrame)
    {
        created = frame->Create(GetModuleHandleA(nullptr), SW_SHOW);
        if (created)
            banner = Log();
    }
    ~App()
    {
        if (frame->mainWindow && IsWindow(frame->mainWindow))
            DestroyWindow(frame->mainWindow);
        testing_support::PumpFor(20);
        if (frame->ReleaseWorker(30000))
            delete frame;
        else
            ADD_FAILURE() << "the worker is still alive; the frame is left behind";
    }

    std::string Log() const { return WindowText(frame->paneWindow); }
    std::string JobLog() const
    {
        std::string log = Log();
        return log.compare(0, banner.size(), banner) == 0 ? log.substr(banner.size()) : log;
    }
    bool WorkerEnded() const
    {
        return !frame->workerThread || WaitForSingleObject(frame->workerThread, 0) == WAIT_OBJECT_0;
    }
    bool WaitForJob(DWORD timeoutMs = 30000) const
    {
        return PumpUntil([this] { return WorkerEnded(); }, timeoutMs);
    }
    void Command(UINT id) const { SendMessageA(frame->mainWindow, WM_COMMAND, id, 0); }
    // Runs one job to its end; answers false when it did not end in time.
    bool Run(const std::string& commandLine, DWORD timeoutMs = 30000)
    {
        frame->StartJob(commandLine.c_str());
        return WaitForJob(timeoutMs);
    }
    void Drop(const std::vector<std::string>& files);

    MainFrame* frame;
    bool created;
    std::string banner;
};

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

void App::Drop(const std::vector<std::string>& files)
{
    HDROP drop = MakeDrop(files);
    ASSERT_NE(nullptr, drop);
    EXPECT_EQ(0, SendMessageA(frame->mainWindow, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0));
}

std::string Header(const std::string& commandLine)
{
    return "\r\nExecuting:- " + commandLine + "\r\n";
}

std::string Failure(const std::string& commandLine)
{
    return "Failure running:- " + commandLine + "\r\n";
}

// Every test starts and ends without a vqchild process; a stray one is reported by the test
// itself before the tear-down ends it.
class FaultSuiteTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        KillChildren();
        ASSERT_EQ(0, LiveChildren());
    }
    void TearDown() override { KillChildren(); }

    // The check that every case ends with: nothing of the job is still running.
    static void ExpectNoChildLeft()
    {
        EXPECT_TRUE(PumpUntil([] { return LiveChildren() == 0; }, 10000))
            << LiveChildren() << " vqchild process(es) left";
    }
};

} // namespace

// --- Settings files ------------------------------------------------------------------------------

namespace {

// Deterministic bytes of every value, NUL included.
std::string Garbage(size_t size, unsigned seed)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        seed = seed * 1103515245u + 12345u;
        bytes[i] = static_cast<char>(seed >> 16);
    }
    return bytes;
}

// Runs `script` on the Properties dialog once it shows inside the main window's Properties
// command; answers whether the dialog showed and closed again.
std::function<void(HWND)> dialogScript;
HWND dialogOwner = nullptr;
bool dialogSeen = false;

HWND FindPropertiesDialog()
{
    HWND dialog = FindWindowA("#32770", "Properties");
    return dialog && GetWindow(dialog, GW_OWNER) == dialogOwner ? dialog : nullptr;
}

void CALLBACK PollForDialog(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND dialog = FindPropertiesDialog();
    if (!dialog || !IsWindowVisible(dialog) || dialogSeen)
        return;
    KillTimer(nullptr, timer);
    dialogSeen = true;
    dialogScript(dialog);
}

void CALLBACK DialogWatchdog(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    if (HWND dialog = FindPropertiesDialog())
        EndDialog(dialog, 0);
}

bool RunProperties(const App& app, const std::function<void(HWND)>& script)
{
    dialogScript = script;
    dialogOwner = app.frame->mainWindow;
    dialogSeen = false;
    UINT_PTR poll = SetTimer(nullptr, 0, 10, PollForDialog);
    UINT_PTR watchdog = SetTimer(nullptr, 0, 15000, DialogWatchdog);
    app.Command(ID_PROPERTIES);
    KillTimer(nullptr, poll);
    KillTimer(nullptr, watchdog);
    dialogScript = nullptr;
    return dialogSeen && !FindPropertiesDialog();
}

void Click(HWND dialog, int id)
{
    SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

bool Terminated(const char* text)
{
    return std::memchr(text, '\0', kValueSize) != nullptr;
}

} // namespace

TEST_F(FaultSuiteTest, BrokenSettingsFilesLoadRunAndOpenInTheDialog)
{
    const std::string vq = Vqchild();
    const std::string emptySlot = "\"\" ";
    struct Case {
        const char* name;
        std::string contents;
        std::string command;  // the default job's command line
        std::string output;   // what it prints; empty: the start fails
    };
    const Case cases[] = {
        {"binary garbage", Garbage(4096, 1), emptySlot, ""},
        {"a UTF-16 mark before garbage", std::string("\xFF\xFE", 2) + Garbage(4096, 3), emptySlot,
         ""},
        // Lines of garbage do not hide a section that follows them.
        {"garbage, then the section", Garbage(4096, 2) + "\r\n[Setup]\r\nPath2=" + vq +
                                          "\r\nArgs2=out ok\r\n",
         Quoted(vq) + " out ok", "ok"},
        {"a 1 MB path line", "[Setup]\r\nPath1=" + std::string(1 << 20, 'a') + "\r\nPath2=" + vq +
                                 "\r\nArgs2=out after\r\n",
         Quoted(vq) + " out after", "after"},
        // A 1 MB argument string arrives cut to 259 characters.
        {"a 1 MB argument line",
         "[Setup]\r\nPath2=" + vq + "\r\nArgs2=out " + std::string(1 << 20, 'b') + "\r\n",
         Quoted(vq) + " out " + std::string(255, 'b'), std::string(255, 'b')},
        {"no Setup section", "[Other]\r\nPath2=" + vq + "\r\nArgs2=out other\r\n", emptySlot, ""},
        // The first of two equal keys counts, and so does the first of two equal sections.
        {"duplicate keys",
         "[Setup]\r\nPath2=" + vq + "\r\nArgs2=out first\r\nArgs2=out second\r\nPath2=x.exe\r\n",
         Quoted(vq) + " out first", "first"},
        {"duplicate sections",
         "[Setup]\r\nPath2=" + vq + "\r\nArgs2=out first\r\n[Setup]\r\nArgs2=out second\r\n",
         Quoted(vq) + " out first", "first"},
        {"Default of 99999999999",
         "[Setup]\r\nPath1=" + vq + "\r\nArgs1=out one\r\nPath2=" + vq +
             "\r\nArgs2=out two\r\nDefault=99999999999\r\n",
         Quoted(vq) + " out two", "two"},
        {"Default of -99999999999",
         "[Setup]\r\nPath1=" + vq + "\r\nArgs1=out one\r\nPath2=" + vq +
             "\r\nArgs2=out two\r\nDefault=-99999999999\r\n",
         Quoted(vq) + " out two", "two"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        IniFileGuard ini(c.contents);
        App app;
        ASSERT_TRUE(app.created);
        const Settings& loaded = app.frame->settings;
        for (int k = 0; k < kSlotCount; ++k) {
            EXPECT_TRUE(Terminated(loaded.paths[k]) && Terminated(loaded.args[k])) << k;
        }

        app.Command(ID_RUN_DEFAULT);
        ASSERT_TRUE(app.WaitForJob());
        std::string ending = c.output.empty() ? Failure(c.command) : c.output + kPrompt;
        EXPECT_EQ(Header(c.command) + ending, app.JobLog());

        // The dialog shows whatever was read and, cancelled, leaves the file as it was.
        EXPECT_TRUE(RunProperties(app, [](HWND dialog) { Click(dialog, IDCANCEL); }));
        EXPECT_TRUE(c.contents == ini.Text());
        EXPECT_TRUE(IsWindow(app.frame->mainWindow));
        ExpectNoChildLeft();
    }
}

TEST_F(FaultSuiteTest, ReadOnlySettingsFileOnOk)
{
    const std::string contents = "[Setup]\r\nPath2=" + Vqchild() + "\r\nArgs2=out kept\r\n";
    IniFileGuard ini(contents);
    ASSERT_TRUE(SetFileAttributesA(ini.Path().c_str(), FILE_ATTRIBUTE_READONLY));
    // Wine run by root writes a read-only file all the same, so the file is also held open
    // without write sharing, as an editor that locks it would: every write is then refused, here
    // as on Windows, while reading still works.
    HANDLE lock = CreateFileA(ini.Path().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, lock);
    MessageBoxRecorder boxes;
    std::string slotTwoArguments;
    {
        App app;
        ASSERT_TRUE(app.created);
        bool shown = RunProperties(app, [&slotTwoArguments](HWND dialog) {
            char text[kValueSize] = "";
            GetDlgItemTextA(dialog, 1002 + 3, text, sizeof text);
            slotTwoArguments = text;
            SetDlgItemTextA(dialog, 1002 + 3, "out changed");
            SetDlgItemTextA(dialog, 1000 + 3 * 7, "C:\\new\\tool.exe");
            Click(dialog, 1024 + 4);
            Click(dialog, 1032);
            Click(dialog, IDOK);
        });
        EXPECT_TRUE(shown) << "the dialog did not show or did not close";
        EXPECT_EQ("out kept", slotTwoArguments);
        EXPECT_TRUE(IsWindow(app.frame->mainWindow));
        // Nothing reached the file, and nothing was reported.
        EXPECT_EQ(contents, ini.Text());
        EXPECT_TRUE(boxes.Boxes().empty());

        app.Command(ID_RUN_SLOT_1 + 1);
        ASSERT_TRUE(app.WaitForJob());
        // The slot runs what the file holds.
        const std::string command = Quoted(Vqchild()) + " out kept";
        EXPECT_EQ(Header(command) + "kept" + kPrompt, app.JobLog());
    }
    CloseHandle(lock);
    ASSERT_TRUE(SetFileAttributesA(ini.Path().c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(contents, ini.Text());
    ExpectNoChildLeft();
}

// --- Paths -------------------------------------------------------------------------------------

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

TEST_F(FaultSuiteTest, AwkwardProgramPathsInSlots)
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

TEST_F(FaultSuiteTest, LongStartUpCommandLines)
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
        SendMessageA(app.frame->paneWindow, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
        ASSERT_TRUE(app.Run(c.command));
        std::string ending = c.output.empty() ? Failure(c.command) : c.output + kPrompt;
        EXPECT_TRUE(Header(c.command) + ending == app.Log()) << app.Log().substr(0, 400);
        ExpectNoChildLeft();
    }
}

TEST_F(FaultSuiteTest, AwkwardDrops)
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
        SendMessageA(app.frame->paneWindow, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
        app.Drop({c.file});
        ASSERT_TRUE(app.WaitForJob());
        // The name is read into 260 characters: a longer one is cut to its first 259.
        const std::string command = Quoted(c.file.substr(0, 259));
        std::string ending = c.runs ? std::string(kPrompt) : Failure(command);
        EXPECT_EQ(Header(command) + ending, app.Log());
        ExpectNoChildLeft();
    }
}

// --- Output ------------------------------------------------------------------------------------

namespace {

// vqchild's MixedPattern.
char MixedPattern(unsigned long i)
{
    switch (i % 61) {
    case 0: return '\0';
    case 17: return '\r';
    case 29: return '\n';
    case 41: return '\r';
    case 42: return '\n';
    default: return static_cast<char>('a' + i % 26);
    }
}

// vqchild's Pattern() without line breaks.
char Letter(unsigned long i)
{
    return static_cast<char>('a' + i % 26);
}

std::string WithoutNul(const std::string& text)
{
    std::string out;
    for (char c : text)
        if (c != '\0')
            out += c;
    return out;
}

// The log of one job that ended with the prompt: the child's part between header and prompt.
// Answers false (with a failure) when the log does not have that shape.
bool ChildPart(const std::string& jobLog, const std::string& command, std::string* part)
{
    const std::string header = Header(command);
    const std::string prompt = kPrompt;
    if (jobLog.compare(0, header.size(), header) != 0 || jobLog.size() < header.size() + prompt.size() ||
        jobLog.compare(jobLog.size() - prompt.size(), prompt.size(), prompt) != 0) {
        ADD_FAILURE() << "not one job ending with the prompt: "
                      << jobLog.substr(0, 300) << " ... " << jobLog.substr(jobLog.size() > 300 ? jobLog.size() - 300 : 0);
        return false;
    }
    *part = jobLog.substr(header.size(), jobLog.size() - header.size() - prompt.size());
    return true;
}

} // namespace

TEST_F(FaultSuiteTest, UnusualOutputReachesTheLogWhole)
{
    std::string everyByte;
    std::string everyByteEscaped;
    for (int c = 1; c < 256; ++c) {
        everyByte += static_cast<char>(c);
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\x%02X", c);
        everyByteEscaped += escape;
    }
    std::string mixed;
    for (unsigned long i = 0; i < 20000; ++i)
        mixed += MixedPattern(i);
    struct Case {
        const char* name;
        std::string arguments;
        std::string output;
    };
    const Case cases[] = {
        // NUL bytes go; everything around them stays.
        {"NUL bytes", "nul", "leadabcdef\r\n"},
        {"only NUL bytes", "out \\0\\0\\0 out x\\0", "x"},
        // The log keeps a lone CR or LF as it came, and a CR LF split between two writes too.
        {"lone CR and LF", "out \"a\\rb\\nc\\r\\r\\nd\\n\\re\\r\"", "a\rb\nc\r\r\nd\n\re\r"},
        {"CR LF across two writes", "out \"x\\r\" out \"\\ny\"", "x\r\ny"},
        {"CR LF across two chunks", "crlf-split", std::string(255, 'x') + "\r\ntail"},
        // 78 chunks: the pattern's breaks and NULs fall at every place of a chunk.
        {"20,000 bytes of NULs and line breaks", "mixed 20000", WithoutNul(mixed)},
        // Bytes that code page 1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) come back
        // as they were, like every other byte.
        {"every byte but NUL", "out \"" + everyByteEscaped + "\"", everyByte},
    };
    IniFileGuard ini;
    App app;
    ASSERT_TRUE(app.created);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SendMessageA(app.frame->paneWindow, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
        const std::string command = Quoted(Vqchild()) + " " + c.arguments;
        ASSERT_TRUE(app.Run(command, 120000));
        std::string part;
        if (ChildPart(app.Log(), command, &part)) {
            EXPECT_TRUE(c.output == part) << "expected " << c.output.size() << " bytes, got "
                                          << part.size();
        }
        ExpectNoChildLeft();
    }
}

namespace {

// A stand-in for the log window that keeps what the runner inserts at its end, so that large
// outputs can be checked without the rich edit's own cost (under Wine it measures a whole line
// again at every insertion).
const char kRecordingPaneClass[] = "VelquethFaultRecordingPane";
std::string recordedText;
bool selectionAtEnd = true;

LRESULT CALLBACK RecordingPaneProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case EM_SETSEL:
        selectionAtEnd = static_cast<int>(wParam) == -1 ||
                         static_cast<size_t>(wParam) >= recordedText.size();
        return 0;
    case EM_REPLACESEL:
        if (!selectionAtEnd)
            ADD_FAILURE() << "an insertion that is not at the end";
        recordedText += reinterpret_cast<const char*>(lParam);
        return 0;
    case EM_SETCHARFORMAT:
        return 1;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND CreateRecordingPane()
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = RecordingPaneProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kRecordingPaneClass;
    RegisterClassA(&windowClass);
    recordedText.clear();
    selectionAtEnd = true;
    return CreateWindowExA(0, kRecordingPaneClass, "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

struct RunnerJob {
    HWND pane;
    std::string commandLine;
    DWORD result;
};

DWORD WINAPI RunOnWorker(LPVOID parameter)
{
    RunnerJob* job = static_cast<RunnerJob*>(parameter);
    PaneConsoleRunner runner;
    runner.SetPane(job->pane);
    job->result = runner.Execute(job->commandLine.c_str(), false);
    return 0;
}

void ExpectLetters(const std::string& part, unsigned long size)
{
    ASSERT_EQ(size, part.size());
    unsigned long wrong = 0;
    for (unsigned long i = 0; i < size; ++i) {
        if (part[i] != Letter(i) && wrong++ == 0)
            ADD_FAILURE() << "first difference at byte " << i;
    }
    EXPECT_EQ(0ul, wrong);
}

} // namespace

TEST_F(FaultSuiteTest, TenMegabytesWithoutALineBreakThroughTheRunner)
{
    // The job's own runner on a worker thread, inserting into a window of this thread, as in a
    // job; only the window is a recorder instead of the rich edit.
    const unsigned long size = 10ul << 20;
    HWND pane = CreateRecordingPane();
    ASSERT_NE(nullptr, pane);
    RunnerJob job{pane, Quoted(Vqchild()) + " bytes " + std::to_string(size), ~0u};
    DWORD start = GetTickCount();
    HANDLE worker = CreateThread(nullptr, 0, RunOnWorker, &job, 0, nullptr);
    ASSERT_NE(nullptr, worker);
    bool ended = PumpUntil([worker] { return WaitForSingleObject(worker, 0) == WAIT_OBJECT_0; },
                           300000);
    std::printf("10 MB through the runner: %lu ms\n", GetTickCount() - start);
    if (!ended) {
        KillChildren();
        PumpUntil([worker] { return WaitForSingleObject(worker, 0) == WAIT_OBJECT_0; }, 30000);
    }
    CloseHandle(worker);
    DestroyWindow(pane);
    ASSERT_TRUE(ended) << "still running after 5 minutes";
    EXPECT_EQ(0u, job.result);
    ExpectLetters(recordedText, size);
    recordedText.clear();
    ExpectNoChildLeft();
}

TEST_F(FaultSuiteTest, LongLineWithoutABreakInTheLog)
{
    // The real log; a line of 64 KB, since the rich edit's cost grows with the line.
    const unsigned long size = 64ul << 10;
    IniFileGuard ini;
    App app;
    ASSERT_TRUE(app.created);
    const std::string command = Quoted(Vqchild()) + " bytes " + std::to_string(size);
    ASSERT_TRUE(app.Run(command, 300000));
    std::string part;
    ASSERT_TRUE(ChildPart(app.JobLog(), command, &part));
    ExpectLetters(part, size);
    ExpectNoChildLeft();
}

TEST_F(FaultSuiteTest, TenMegabytesWithoutALineBreakInTheLog)
{
    // Under Wine the rich edit measures the whole line again at every 256-byte insertion (about
    // 0.25 ms per KB of line), so 10 MB in one line would take many hours: run on request only.
    if (!GetEnvironmentVariableA("VELQUETH_FULL_FLOOD", nullptr, 0))
        GTEST_SKIP() << "set VELQUETH_FULL_FLOOD=1 to run 10 MB through the real log";
    const unsigned long size = 10ul << 20;
    IniFileGuard ini;
    App app;
    ASSERT_TRUE(app.created);
    const std::string command = Quoted(Vqchild()) + " bytes " + std::to_string(size);
    DWORD start = GetTickCount();
    ASSERT_TRUE(app.Run(command, INFINITE - 1));
    std::printf("10 MB job: %lu ms\n", GetTickCount() - start);
    std::string part;
    ASSERT_TRUE(ChildPart(app.JobLog(), command, &part));
    ExpectLetters(part, size);
    ExpectNoChildLeft();
}

TEST_F(FaultSuiteTest, ChildrenThatCrashReadInputOrLeaveAGrandchild)
{
    struct Case {
        const char* name;
        std::string arguments;
        std::string output;
    };
    const Case cases[] = {
        // A crash is the child's own business: its output stays and the job ends normally.
        {"crash after output", "out \"before\\r\\n\" crash out after", "before\r\n"},
        {"crash at once", "crash", ""},
        {"non-zero exit code", "out done exit 3 out never", "done"},
        // Standard input is at its end at once: the child does not wait for ever.
        {"reads standard input", "stdin out \"after\\r\\n\"", "stdin 0 bytes\r\nafter\r\n"},
        // The job lasts until the grandchild, which holds the pipe, has gone; its output is kept.
        {"a grandchild outlives its parent", "grandchild 2000 out parent-done",
         "parent-donegrandchild\r\n"},
    };
    IniFileGuard ini;
    App app;
    ASSERT_TRUE(app.created);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SendMessageA(app.frame->paneWindow, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
        const std::string command = Quoted(Vqchild()) + " " + c.arguments;
        ASSERT_TRUE(app.Run(command));
        EXPECT_EQ(Header(command) + c.output + kPrompt, app.Log());
        ExpectNoChildLeft();
    }
}

// --- Lifecycle ---------------------------------------------------------------------------------

namespace {

// Kernel handles of this process (counted one by one under Wine, which answers 0 to
// GetProcessHandleCount).
DWORD KernelHandles()
{
    return testing_support::HandleCount();
}

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
    return {KernelHandles(), GdiObjects(), UserObjects(), CountProcesses("conhost.exe")};
}

} // namespace

TEST_F(FaultSuiteTest, AThousandShortJobsLeaveNothingBehind)
{
    const int kJobs = 1000;
    const int kBatch = 100;
    IniFileGuard ini("[Setup]\r\nPath3=" + Vqchild() + "\r\nArgs3=out x\r\n");
    App app;
    ASSERT_TRUE(app.created);
    const std::string command = Quoted(Vqchild()) + " out x";
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
            SendMessageA(app.frame->paneWindow, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
            app.banner.clear();
            if (job == kBatch)
                afterFirstBatch = Measure();
        }
    }
    std::printf("%d jobs: %lu ms, %d of them not started\n", kJobs, GetTickCount() - start,
                notStarted);
    // Now and then (about once in 1,500 starts here) Wine's CreateProcessA fails with
    // ERROR_INTERNAL_ERROR, the child having died while it was being set up; the job then shows
    // the failure line, as any job that cannot start. More than that is a fault.
    EXPECT_LE(notStarted, 10);
    ExpectNoChildLeft();

    // A little room for the system's own caches; a leak of one object per job would show as
    // hundreds.
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

namespace {

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

TEST_F(FaultSuiteTest, CloseDuringAFlood)
{
    IniFileGuard ini;
    MainFrame* frame = new MainFrame;
    ASSERT_TRUE(frame->Create(GetModuleHandleA(nullptr), SW_SHOW));
    HWND pane = frame->paneWindow;
    const std::string banner = WindowText(pane);
    const std::string command = Quoted(Vqchild()) + " flood 120";
    frame->StartJob(command.c_str());
    const std::string header = Header(command);
    auto lines = [&] {
        std::string log = WindowText(pane);
        return log.compare(0, banner.size() + header.size(), banner + header) == 0
                   ? CheckFloodLines(log.substr(banner.size() + header.size()))
                   : 0;
    };
    ASSERT_TRUE(PumpUntil([&] { return lines() >= 100; }, 60000)) << WindowText(pane);
    // Nothing lost or out of order so far.
    EXPECT_GE(lines(), 100);

    // The close box, then the entry point's teardown.
    SendMessageA(frame->mainWindow, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(pane));
    EXPECT_TRUE(frame->jobEndedByClose);
    bool released = frame->ReleaseWorker(frame->jobEndedByClose ? 3000 : 0);
    EXPECT_TRUE(released) << "the worker did not end after the close";
    if (released)
        delete frame;
    ExpectNoChildLeft();
}
