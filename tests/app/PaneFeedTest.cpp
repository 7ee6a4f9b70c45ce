// A chunk of the child's output reaches the log with the same text whichever way it goes in: piece
// by piece into a plain rich edit (each CR LF pair on its own, as the runner always did), whole
// when its breaks allow, or through the queue of the program's own log pane, which inserts it on
// its own thread with drawing held back. Through real jobs: long lines, and a log that stalls.
#include <gtest/gtest.h>

#include <windows.h>
#include <richedit.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/OutputPane.h"
#include "runner/PaneConsoleRunner.h"
#include "support/App.h"
#include "support/TestSupport.h"
#include "tests/helpers/ChildPattern.h"

using testing_support::App;
using testing_support::ChildCommand;
using testing_support::Header;
using testing_support::kPrompt;
using testing_support::IniFileGuard;
using testing_support::PumpUntil;
using testing_support::WindowText;

namespace {

// A rich edit made as the program makes its pane, in a hidden window of the test's own.
using BareRichEdit = testing_support::HostedControl;

// The runner's insertion as it always was: each CR LF pair as a piece of its own.
void InsertPieceByPiece(HWND pane, const std::string& chunk)
{
    std::string text = chunk.substr(0, std::strlen(chunk.c_str()));
    size_t start = 0;
    auto insert = [pane](const std::string& piece) {
        OutputPane::SelectEnd(pane);
        SendMessageA(pane, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(piece.c_str()));
    };
    for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", start)) {
        if (at > start)
            insert(text.substr(start, at - start));
        insert("\r\n");
        start = at + 2;
    }
    if (start < text.size())
        insert(text.substr(start));
}

std::string LogOf(HWND pane)
{
    return WindowText(pane);
}

struct Chunk {
    const char* name;
    std::string text;
};

std::vector<Chunk> Chunks()
{
    return {
        {"letters", "abcdef"},
        {"lines", "line 1\r\nline 2\r\nline 3\r\n"},
        {"pairs in a row", "a\r\n\r\n\r\nb"},
        {"second half of a split pair", "\nafter"},
        {"first half of a split pair", "before\r"},
        {"lone CR inside", "a\rb\r\nc"},
        {"lone LF inside", "a\nb\r\nc"},
        {"CR CR LF", "a\r\r\nb"},
        {"LF CR", "a\n\rb"},
        {"NUL inside", std::string("shown\r\n\0hidden", 15)},
        {"a full read", std::string(254, 'x') + "\r\n"},
    };
}

// Counts the pane's WM_PAINT messages, in front of the pane's own procedure.
WNDPROC paneProcedure = nullptr;
int paints = 0;

LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_PAINT)
        ++paints;
    return CallWindowProcA(paneProcedure, window, message, wParam, lParam);
}

} // namespace

TEST(ChunkInsertionTest, EveryWayGivesThePieceByPieceText)
{
    IniFileGuard ini;
    App app;
    ASSERT_TRUE(app.created);
    for (const Chunk& chunk : Chunks()) {
        SCOPED_TRACE(chunk.name);
        BareRichEdit reference;
        InsertPieceByPiece(reference.Handle(), chunk.text);
        std::string expected = LogOf(reference.Handle());

        // A window that does not take whole chunks gets them message by message.
        BareRichEdit bare;
        PaneConsoleRunner runner;
        runner.SetPane(bare.Handle());
        runner.OnOutput(chunk.text.c_str());
        EXPECT_EQ(expected, LogOf(bare.Handle()));

        // The program's own pane takes the chunk through its queue.
        SendMessageA(app.Pane(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
        app.banner.clear();
        PaneConsoleRunner queued;
        queued.SetPane(app.Pane());
        queued.SetOutput(&app.frame->outputPane);
        queued.OnOutput(chunk.text.c_str());
        EXPECT_GT(app.frame->outputPane.queue.Queued(), 0u) << "the chunk waits for the pane";
        app.frame->outputPane.Flush();
        EXPECT_EQ(expected, app.JobLog());
    }
}

TEST(ChunkInsertionTest, ThePaneIsDrawnAgainAfterABurst)
{
    IniFileGuard ini;
    App app;
    ASSERT_TRUE(app.created);
    HWND pane = app.Pane();
    PaneConsoleRunner runner;
    runner.SetPane(pane);
    runner.SetOutput(&app.frame->outputPane);
    paneProcedure = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(pane, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountingProc)));
    testing_support::PumpFor(200);
    const char line[] = "a line of the burst\r\n";
    for (int i = 0; i < 200; ++i)
        runner.OnOutput(line);
    paints = 0;
    // Drawing is held back only while a chunk goes in: the pane stays visible to the user.
    EXPECT_TRUE(IsWindowVisible(pane));
    EXPECT_NE(0, GetWindowLongPtrA(pane, GWL_STYLE) & WS_VISIBLE);
    // The burst ends on screen: the pane paints after its last chunk, and nothing is left over.
    EXPECT_TRUE(PumpUntil([pane] { return paints > 0 && !GetUpdateRect(pane, nullptr, FALSE); },
                          5000));
    SetWindowLongPtrA(pane, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(paneProcedure));
    EXPECT_EQ(200u * std::strlen(line), app.JobLog().size());
}

namespace {

class PaneFeedJob : public testing_support::ChildTest {};

} // namespace

TEST_F(PaneFeedJob, LongLinesWithoutABreakInTheLog)
{
    // The real log. The control measures a line again whole at every insertion, so the log takes
    // a long line in as few, large pieces as have gathered: one piece when it fits in one, else
    // pieces past the queue's limit, the worker waiting for the pane inside the line.
    for (unsigned long size : {64ul << 10, 2ul << 20}) {
        SCOPED_TRACE(size);
        IniFileGuard ini;
        App app;
        ASSERT_TRUE(app.created);
        const std::string command = ChildCommand("bytes " + std::to_string(size));
        ASSERT_TRUE(app.Run(command, 120000));
        EXPECT_TRUE(app.JobLog() == Header(command) + child_pattern::PatternText(size, 0) + kPrompt);
        ExpectNoChildLeft();
    }
}

TEST_F(PaneFeedJob, AStalledLogLosesNothing)
{
    // The user-interface thread stalls during a flood: the worker fills the queue to its limit
    // and waits; meanwhile the user selects text at the top of the log.
    const unsigned long size = 3ul << 20;
    IniFileGuard ini;
    App app;
    ASSERT_TRUE(app.created);
    const std::string command = ChildCommand("bytes " + std::to_string(size) + " 80");
    app.frame->StartJob(command.c_str());
    ASSERT_TRUE(app.WaitForLog(Header(command)));
    EXPECT_TRUE(app.StallUntilQueueFull());
    SendMessageA(app.Pane(), EM_SETSEL, 0, 10);
    ASSERT_TRUE(app.WaitForJob(120000));
    EXPECT_TRUE(app.JobLog() == Header(command) + child_pattern::PatternText(size, 80) + kPrompt);
    ExpectNoChildLeft();
}
