// ConsoleRunner with real child processes (vqchild.exe beside the tests), real pipes, and its
// output handed to a fed log on real edit controls.
#include <gtest/gtest.h>

#include <windows.h>
#include <richedit.h>

#include <string>
#include <vector>

#include "runner/PaneConsoleRunner.h"
#include "support/App.h"
#include "support/TestSupport.h"
#include "tests/helpers/ChildPattern.h"

using child_pattern::PatternText;
using testing_support::BesideExe;
using testing_support::ChildCommand;
using testing_support::HandleCount;
using testing_support::WindowText;

namespace {

class RecordingRunner : public ConsoleRunner {
public:
    void OnOutput(const char* text) override { chunks.push_back(text); }
    std::string All() const
    {
        std::string all;
        for (const std::string& chunk : chunks)
            all += chunk;
        return all;
    }
    std::vector<std::string> chunks;
};

// Ends the process group as soon as the first output arrives.
class GroupEndingRunner : public RecordingRunner {
public:
    explicit GroupEndingRunner(HANDLE group) : group(group) {}
    void OnOutput(const char* text) override
    {
        RecordingRunner::OnOutput(text);
        TerminateJobObject(group, 1);
    }
    HANDLE group;
};

} // namespace

TEST(ConsoleRunnerTest, ChildThatWritesNothing)
{
    RecordingRunner runner;
    EXPECT_EQ(0u, runner.Execute(ChildCommand("sleep 10").c_str(), false));
    EXPECT_TRUE(runner.chunks.empty());
}

TEST(ConsoleRunnerTest, OutputArrivesWholeAndInOrder)
{
    struct Case {
        const char* script;
        std::string expected;
    };
    std::string alternating;
    for (int i = 0; i < 40; ++i)
        alternating += (i % 2 ? "err " : "out ") + std::to_string(i) + "\r\n";
    const Case cases[] = {
        {"out \"hello\\r\\n\"", "hello\r\n"},
        {"bytes 5000 50", PatternText(5000, 50)},
        {"bytes 70000", PatternText(70000, 0)},
        {"crlf-split", std::string(255, 'x') + "\r\ntail"},
        {"alt 40", alternating},
        {"out one err \" two\" out \" three\"", "one two three"},
        {"lines 5 20", "line 0\r\nline 1\r\nline 2\r\nline 3\r\nline 4\r\n"},
        // NUL bytes are left out; what follows them in the chunk still arrives.
        {"nul", "leadabcdef\r\n"},
        {"out \"\\0\\0\\0\"", ""},
    };
    for (const Case& c : cases) {
        RecordingRunner runner;
        EXPECT_EQ(0u, runner.Execute(ChildCommand(c.script).c_str(), false)) << c.script;
        EXPECT_EQ(c.expected, runner.All()) << c.script;
        for (const std::string& chunk : runner.chunks) {
            EXPECT_LE(chunk.size(), 256u) << c.script;
            EXPECT_FALSE(chunk.empty()) << c.script;
        }
        if (c.expected.size() > 256) {
            EXPECT_GE(runner.chunks.size(), (c.expected.size() + 255) / 256) << c.script;
        }
    }
}

TEST(ConsoleRunnerTest, ExitCodeOfTheChildIsNotAFailure)
{
    for (const char* script : {"exit 0", "exit 7", "out x exit 255", "crash"}) {
        RecordingRunner runner;
        EXPECT_EQ(0u, runner.Execute(ChildCommand(script).c_str(), false)) << script;
    }
}

TEST(ConsoleRunnerTest, MissingProgramFailsAndKeepsNoHandle)
{
    struct Case {
        std::string command;
        bool notFound;  // else any failure will do
    };
    const Case cases[] = {
        {"\"" + BesideExe("no_such_program.exe") + "\"", true},
        {"\"" + BesideExe("no_such_dir\\prog.exe") + "\" arg", true},
        {"no_such_program_anywhere_vq.exe", true},
        {"\"\" ", false},  // a slot without a path
    };
    // One run first, so that whatever the system loads once is loaded before counting.
    { RecordingRunner warm; warm.Execute(cases[0].command.c_str(), false); }
    for (const Case& c : cases) {
        DWORD before = HandleCount();
        RecordingRunner runner;
        DWORD result = runner.Execute(c.command.c_str(), false);
        if (c.notFound) {
            EXPECT_TRUE(result == ERROR_FILE_NOT_FOUND || result == ERROR_PATH_NOT_FOUND)
                << c.command << " gave " << result;
        } else {
            EXPECT_NE(0u, result) << c.command;
        }
        EXPECT_EQ(before, HandleCount()) << c.command;
        EXPECT_TRUE(runner.chunks.empty());
    }
}

TEST(ConsoleRunnerTest, FinishedRunKeepsNoHandle)
{
    { RecordingRunner warm; warm.Execute(ChildCommand("out x").c_str(), false); }
    for (const char* script : {"out x", "sleep 1", "stdin", "exit 3"}) {
        DWORD before = HandleCount();
        {
            RecordingRunner runner;
            EXPECT_EQ(0u, runner.Execute(ChildCommand(script).c_str(), false)) << script;
        }
        EXPECT_EQ(before, HandleCount()) << script;
    }
}

TEST(ConsoleRunnerTest, ChildReadingStandardInputGetsEndOfFile)
{
    RecordingRunner runner;
    EXPECT_EQ(0u, runner.Execute(ChildCommand("stdin out done").c_str(), false));
    EXPECT_EQ("stdin 0 bytes\r\ndone", runner.All());
}

TEST(ConsoleRunnerTest, GrandchildHoldingThePipeKeepsTheRunGoing)
{
    RecordingRunner runner;
    EXPECT_EQ(0u,
              runner.Execute(ChildCommand("grandchild 1500 out \"parent\\r\\n\"").c_str(), false));
    // The grandchild writes only after the parent has gone; its line still arrives.
    EXPECT_EQ("parent\r\ngrandchild\r\n", runner.All());
}

TEST(ConsoleRunnerTest, ProcessGroupEndsTheWholeTree)
{
    HANDLE group = CreateJobObjectA(nullptr, nullptr);
    ASSERT_NE(nullptr, group);
    GroupEndingRunner runner(group);
    runner.SetProcessGroup(group);
    // Without the group both would hold the pipe for a minute.
    EXPECT_EQ(0u, runner.Execute(ChildCommand("grandchild 60000 out \"started\\r\\n\" sleep 60000 "
                                              "out never").c_str(), false));
    EXPECT_EQ("started\r\n", runner.All());
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info = {};
    ASSERT_TRUE(QueryInformationJobObject(group, JobObjectBasicAccountingInformation, &info,
                                          sizeof info, nullptr));
    // The child, the grandchild and whatever serves the child's console.
    EXPECT_GE(info.TotalProcesses, 2u);
    EXPECT_EQ(0u, info.ActiveProcesses);
    CloseHandle(group);
}

TEST(ConsoleRunnerTest, ProcessGroupLeavesAnOrdinaryRunAlone)
{
    HANDLE group = CreateJobObjectA(nullptr, nullptr);
    ASSERT_NE(nullptr, group);
    RecordingRunner runner;
    runner.SetProcessGroup(group);
    EXPECT_EQ(0u, runner.Execute(ChildCommand("out a sleep 50 out b").c_str(), false));
    EXPECT_EQ("ab", runner.All());
    CloseHandle(group);
}

TEST(ConsoleRunnerTest, DisplayedConsoleKeepsTheOutput)
{
    RecordingRunner runner;
    EXPECT_EQ(0u, runner.Execute(ChildCommand("out shown sleep 100").c_str(), true));
    EXPECT_TRUE(runner.chunks.empty());
}

// --- Handed to the log's feed -----------------------------------------------------------------

namespace {

enum class Before { Nothing, CaretAtStart, SelectionAtStart, SelectAll };

using testing_support::FedLog;

void Prepare(HWND window, Before before)
{
    switch (before) {
    case Before::Nothing: break;
    case Before::CaretAtStart: SendMessageA(window, EM_SETSEL, 0, 0); break;
    case Before::SelectionAtStart: SendMessageA(window, EM_SETSEL, 0, 3); break;
    case Before::SelectAll: SendMessageA(window, EM_SETSEL, 0, -1); break;
    }
}

// Runs on the window's own thread: each chunk goes in at once (a flush), after the caret has
// moved or a selection been made, as a user might while a job runs.
class RestlessRunner : public PaneConsoleRunner {
public:
    RestlessRunner(OutputPane* feed, Before before) : before(before) { SetOutput(feed); }
    void OnOutput(const char* text) override
    {
        Prepare(output->window, before);
        PaneConsoleRunner::OnOutput(text);
        output->Flush();
    }
    Before before;
};

// The classes the log window can have.
const char* const kLogClasses[] = {"RichEdit", "Edit"};

} // namespace

TEST(ConsoleRunnerTest, OutputLandsAtTheEndOfTheLog)
{
    const Before befores[] = {Before::Nothing, Before::CaretAtStart, Before::SelectionAtStart,
                              Before::SelectAll};
    for (const char* className : kLogClasses) {
        for (Before before : befores) {
            FedLog log(className);
            ASSERT_NE(nullptr, log.window) << className;
            log.feed.Append("Header line\r\n", kColourGrey);
            Prepare(log.window, before);

            RestlessRunner runner(&log.feed, before);
            const std::string script =
                "out \"first\\r\\nsecond\" out \" more\\r\\n\" crlf-split nul";
            EXPECT_EQ(0u, runner.Execute(ChildCommand(script).c_str(), false));
            runner.FinishOutput();
            log.feed.Append("C:\\> ", kColourGreen);
            std::string expected = "Header line\nfirst\nsecond more\n" + std::string(255, 'x') +
                                   "\ntailleadabcdef\nC:\\> ";
            EXPECT_EQ(expected, testing_support::Unix(WindowText(log.window)))
                << className << " case " << static_cast<int>(before);
        }
    }
}

TEST(ConsoleRunnerTest, LargeOutputArrivesWhole)
{
    for (const char* className : kLogClasses) {
        FedLog log(className);
        ASSERT_NE(nullptr, log.window) << className;
        PaneConsoleRunner runner;
        runner.SetOutput(&log.feed);
        EXPECT_EQ(0u, runner.Execute(ChildCommand("bytes 20000 40").c_str(), false));
        log.feed.Flush();
        EXPECT_EQ(testing_support::Unix(PatternText(20000, 40)),
                  testing_support::Unix(WindowText(log.window))) << className;
    }
}

TEST(ConsoleRunnerTest, ChildOutputHasTheAutomaticColour)
{
    // Also when the user has clicked into the grey header or selected it before a chunk arrives:
    // the output must not take the colour of the text it lands after.
    const Before befores[] = {Before::Nothing, Before::CaretAtStart, Before::SelectAll};
    for (Before before : befores) {
        FedLog log("RichEdit");
        ASSERT_NE(nullptr, log.window);
        log.feed.Append("\r\nExecuting:- x\r\n", kColourGrey);
        RestlessRunner runner(&log.feed, before);
        EXPECT_EQ(0u, runner.Execute(ChildCommand("out \"child\\r\\ntext\"").c_str(), false));
        log.feed.Append("C:\\> ", kColourGreen);

        // This control counts a line break as two characters, as the text shows it.
        const std::string text = WindowText(log.window);
        ASSERT_EQ("\r\nExecuting:- x\r\nchild\r\ntextC:\\> ", text);
        const size_t child = text.find("child");
        const size_t prompt = text.find("C:");
        for (size_t pos = 0; pos < text.size(); ++pos) {
            bool automatic = false;
            COLORREF colour =
                testing_support::ColourAt(log.window, static_cast<int>(pos), &automatic);
            if (pos < child) {
                EXPECT_EQ(kColourGrey, colour) << pos;
                EXPECT_FALSE(automatic) << pos;
            } else if (pos < prompt) {
                EXPECT_TRUE(automatic) << pos << " case " << static_cast<int>(before);
            } else {
                EXPECT_EQ(kColourGreen, colour) << pos;
                EXPECT_FALSE(automatic) << pos;
            }
        }
    }
}

TEST(ConsoleRunnerTest, NothingHappensWithoutALogOrText)
{
    FedLog log("RichEdit");
    ASSERT_NE(nullptr, log.window);
    log.feed.Append("log", kColourGrey);

    PaneConsoleRunner unbound;
    EXPECT_EQ(0u, unbound.Execute(ChildCommand("out lost").c_str(), false));

    PaneConsoleRunner bound;
    bound.SetOutput(&log.feed);
    bound.OnOutput("");
    log.feed.Flush();
    EXPECT_EQ("log", WindowText(log.window));

    // A log window destroyed before the output arrives makes the insertions fail harmlessly.
    HWND gone = CreateWindowExA(0, "Edit", "", ES_MULTILINE, 0, 0, 10, 10, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(nullptr, gone);
    OutputPane goneFeed;
    goneFeed.Start(gone);
    DestroyWindow(gone);
    PaneConsoleRunner late;
    late.SetOutput(&goneFeed);
    EXPECT_EQ(0u, late.Execute(ChildCommand("out \"after\\r\\n\"").c_str(), false));
}

TEST(ConsoleRunnerTest, APlainLogShowsTheTextWithoutTheSequences)
{
    FedLog log("Edit");
    ASSERT_NE(nullptr, log.window);
    PaneConsoleRunner runner;
    runner.SetOutput(&log.feed);
    const std::string script = "out \"a \\x1B[1;31mred\\x1B[0m b\\x1B]0;t\\x07\\r\\n\\x1B[4mc\"";
    EXPECT_EQ(0u, runner.Execute(ChildCommand(script).c_str(), false));
    runner.FinishOutput();
    log.feed.Flush();
    EXPECT_EQ("a red b\r\nc", WindowText(log.window));
}
