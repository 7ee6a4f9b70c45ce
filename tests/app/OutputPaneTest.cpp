// The log's feed on real controls, a rich edit (which takes colours) and a plain edit (which does
// not): lines written in colour, chunks of output whichever way they go in, and real jobs.
#include <gtest/gtest.h>

#include <windows.h>
#include <richedit.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "app/OutputPane.h"
#include "support/App.h"
#include "support/TestSupport.h"
#include "tests/helpers/ChildPattern.h"

using testing_support::App;
using testing_support::ChildCommand;
using testing_support::ColourAt;
using testing_support::Header;
using testing_support::IniFileGuard;
using testing_support::kPrompt;
using testing_support::FedLog;
using testing_support::HostedControl;
using testing_support::PumpUntil;
using testing_support::WindowText;

namespace {

std::string Text(HWND window)
{
    return testing_support::Unix(WindowText(window));
}

LRESULT TextLength(HWND window)
{
    return SendMessageA(window, WM_GETTEXTLENGTH, 0, 0);
}

// Colour of the empty insertion point at the very end, and whether it is automatic.
COLORREF EndColour(HWND richEdit, bool* automatic)
{
    SendMessageA(richEdit, EM_SETSEL, 0x7FFFFFFF, 0x7FFFFFFF);
    CHARFORMATA format = {};
    format.cbSize = sizeof format;
    format.dwMask = CFM_COLOR;
    SendMessageA(richEdit, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    *automatic = (format.dwEffects & CFE_AUTOCOLOR) != 0;
    return format.crTextColor;
}

// Character position (in the control's own counting) where `needle` starts.
int FindText(HWND window, const char* needle)
{
    FINDTEXTA find = {};
    find.chrg.cpMin = 0;
    find.chrg.cpMax = -1;
    find.lpstrText = needle;
    return static_cast<int>(SendMessageA(window, EM_FINDTEXT, FR_DOWN, reinterpret_cast<LPARAM>(&find)));
}

} // namespace

TEST(OutputPane, WithoutAWindowDoesNothingAndAnswersZero)
{
    HostedControl control("RichEdit");
    ASSERT_NE(nullptr, control.Handle());
    SetWindowTextA(control.Handle(), "kept");
    OutputPane pane;
    EXPECT_EQ(nullptr, pane.window);
    EXPECT_EQ(0, pane.Append("lost\r\n", kColourRed));
    pane.AppendOutput("lost\r\n");
    EXPECT_EQ("kept", Text(control.Handle()));
    SelectEnd(nullptr);  // no window: nothing to do, nothing to break
}

// Whatever the user selected or wherever the caret is, Append adds at the end, takes its colour,
// and leaves the earlier text and its colours alone. The insertion is not undoable.
TEST(OutputPane, AppendGoesToTheEndWhateverTheUserSelected)
{
    struct Case {
        const char* what;
        int selStart, selEnd;  // the user's selection before the append
    };
    const Case cases[] = {
        {"caret at the start", 0, 0},
        {"caret in the middle", 9, 9},
        {"earlier text selected", 2, 7},
        {"everything selected", 0, -1},
        {"selection up to the end", 8, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FedLog attached("RichEdit");
        OutputPane& pane = attached.feed;
        HWND window = attached.window;
        pane.Append("grey head\r\n", kColourGrey);
        pane.Append("child line\r\n", 0);
        SendMessageA(window, EM_SETSEL, c.selStart, c.selEnd);

        pane.Append("red tail\r\n", kColourRed);

        EXPECT_EQ("grey head\nchild line\nred tail\n", Text(window));
        EXPECT_FALSE(SendMessageA(window, EM_CANUNDO, 0, 0));
        bool automatic = true;
        EXPECT_EQ(kColourGrey, ColourAt(window, FindText(window, "grey head"), &automatic));
        EXPECT_FALSE(automatic);
        EXPECT_EQ(kColourGrey, ColourAt(window, FindText(window, "head"), &automatic));
        EXPECT_EQ(0u, ColourAt(window, FindText(window, "child"), &automatic));
        EXPECT_FALSE(automatic);
        int tail = FindText(window, "red tail");
        ASSERT_GE(tail, 0);
        for (int i = 0; i < 8; ++i)
            EXPECT_EQ(kColourRed, ColourAt(window, tail + i, &automatic)) << i;
        EXPECT_FALSE(automatic);
        EndColour(window, &automatic);
        EXPECT_TRUE(automatic);
    }
}

TEST(OutputPane, ColoursAreWrittenExactly)
{
    const COLORREF colours[] = {kColourGrey, kColourRed, kColourGreen, RGB(0x12, 0x34, 0x56),
                                RGB(255, 255, 255), 0};
    const int count = sizeof colours / sizeof colours[0];
    FedLog attached("RichEdit");
    HWND window = attached.window;
    OutputPane& pane = attached.feed;
    for (int i = 0; i < count; ++i)
        pane.Append(("line" + std::to_string(i) + "\r\n").c_str(), colours[i]);
    for (int i = 0; i < count; ++i) {
        SCOPED_TRACE(i);
        int at = FindText(window, ("line" + std::to_string(i)).c_str());
        ASSERT_GE(at, 0);
        for (int k = 0; k < 5; ++k) {
            bool automatic = true;
            EXPECT_EQ(colours[i], ColourAt(window, at + k, &automatic)) << k;
            EXPECT_FALSE(automatic);
        }
    }
}

TEST(OutputPane, EmptyAppendInsertsNothingAndLeavesTheAutomaticColour)
{
    FedLog attached("RichEdit");
    HWND window = attached.window;
    OutputPane& pane = attached.feed;
    pane.Append("line\r\n", kColourGreen);
    const std::string before = Text(window);
    const COLORREF colours[] = {kColourRed, kColourGrey};
    for (COLORREF colour : colours) {
        pane.Append("", colour);
        EXPECT_EQ(before, Text(window));
        bool automatic = false;
        EndColour(window, &automatic);
        EXPECT_TRUE(automatic);
    }
}

// After an append the insertion point is back to the automatic colour: what the user types there,
// and what is added later without a colour (the child's output), shows in the normal colour.
TEST(OutputPane, TextAddedAfterAnAppendHasTheAutomaticColour)
{
    struct Case {
        const char* what;
        void (*add)(HWND window);
        const char* added;
    };
    const Case cases[] = {
        {"typed", [](HWND w) {
             for (char ch : std::string("typed"))
                 SendMessageA(w, WM_CHAR, static_cast<WPARAM>(ch), 1);
         }, "typed"},
        {"inserted without a format",
         [](HWND w) { SendMessageA(w, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>("output")); },
         "output"},
        {"a chunk of output", [](HWND w) { OutputPane::InsertChunk(w, "chunk"); }, "chunk"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FedLog attached("RichEdit");
        HWND window = attached.window;
        OutputPane& pane = attached.feed;
        pane.Append("C:\\> ", kColourGreen);
        c.add(window);
        EXPECT_EQ(std::string("C:\\> ") + c.added, Text(window));
        bool automatic = false;
        int at = FindText(window, c.added);
        ASSERT_GE(at, 0);
        ColourAt(window, at, &automatic);
        EXPECT_TRUE(automatic);
        ColourAt(window, at + 3, &automatic);
        EXPECT_TRUE(automatic);
        EXPECT_EQ(kColourGreen, ColourAt(window, 0, &automatic));
        EXPECT_EQ(kColourGreen, ColourAt(window, 4, &automatic));
    }
}

// A log of hundreds of thousands of characters still takes the new text at its very end.
TEST(OutputPane, LongLogStillAppendsAtTheVeryEnd)
{
    const char* const classes[] = {"RichEdit", "Edit"};
    for (const char* className : classes) {
        SCOPED_TRACE(className);
        FedLog attached(className);
        HWND window = attached.window;
        OutputPane& pane = attached.feed;
        std::string line(78, 'x');
        line += "\r\n";
        std::string block;
        for (int i = 0; i < 500; ++i)
            block += line;  // 40,000 characters
        for (int i = 0; i < 8; ++i)
            OutputPane::InsertChunk(window, block.c_str());
        const LRESULT before = TextLength(window);
        ASSERT_GE(before, 8 * 40000 - 8 * 500);  // the control may count a break as one
        SendMessageA(window, EM_SETSEL, 0, 0);
        pane.Append("THE END\r\n", kColourGreen);
        const std::string text = testing_support::Unix(WindowText(window));
        EXPECT_GT(TextLength(window), before);
        ASSERT_GT(text.size(), 8 * 39500u);
        EXPECT_EQ(std::string(78, 'x') + "\nTHE END\n", text.substr(text.size() - 87));
        EXPECT_EQ(text.size() - 8, text.find("THE END"));
        EXPECT_EQ(8 * 500u, static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) - 1);
        if (!pane.plainEdit) {
            bool automatic = true;
            EXPECT_EQ(kColourGreen, ColourAt(window, FindText(window, "THE END"), &automatic));
            EXPECT_FALSE(automatic);
        }
    }
}

// A plain edit control takes the text at its end, without colour and outside the undo history.
TEST(OutputPane, PlainEditAppendsWithoutColour)
{
    FedLog attached("Edit");
    HWND window = attached.window;
    OutputPane& pane = attached.feed;
    ASSERT_TRUE(pane.plainEdit);
    pane.Append("first\r\n", kColourGrey);
    SendMessageA(window, EM_SETSEL, 0, 3);
    pane.Append("second\r\n", kColourRed);
    pane.Append("", kColourGreen);
    OutputPane::InsertChunk(window, "third");
    EXPECT_EQ("first\r\nsecond\r\nthird", WindowText(window));
    EXPECT_FALSE(SendMessageA(window, EM_CANUNDO, 0, 0));
    DWORD start = 0, end = 0;
    SendMessageA(window, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(static_cast<DWORD>(TextLength(window)), start);
    EXPECT_EQ(start, end);
}

// The child's output arrives as UTF-8. The rich edit keeps its characters, also in a piece that
// begins like rich text; the plain edit shows what the ANSI code page can (1252 under Wine, or
// UTF-8).
TEST(OutputPane, OutputKeepsItsCharactersAsFarAsThePaneCan)
{
    // The last chunk goes in in parts of 1023 bytes, which would end inside its é.
    const std::string dots(1022, '.'), longChunk = dots + "\xC3\xA9";
    const char* const chunks[] = {"ASCII\r\n",
                                  "r\xC3\xA9sum\xC3\xA9 \xD0\x97\xD0\xB4\xD1\x80 \xC4\x80\r\n",
                                  "{\\rtf1 \xC3\xA9}", longChunk.c_str()};
    HostedControl rich("RichEdit"), plain("Edit");
    for (const char* chunk : chunks) {
        OutputPane::InsertChunk(rich.Handle(), chunk);
        OutputPane::InsertChunk(plain.Handle(), chunk);
    }
    const std::string all = std::string(chunks[0]) + chunks[1] + chunks[2] + chunks[3];
    EXPECT_EQ(all, testing_support::RichTextUtf8(rich.Handle()));
    // No look-alike stands in for a character without an ANSI form (A for A with macron). Where
    // the ANSI code page is UTF-8 (run so too), every character has one.
    EXPECT_EQ(GetACP() == CP_UTF8 ? all
                                  : "ASCII\r\nr\xE9sum\xE9 ??? ?\r\n{\\rtf1 \xE9}" + dots + "\xE9",
              WindowText(plain.Handle()));
    EXPECT_FALSE(SendMessageA(rich.Handle(), EM_CANUNDO, 0, 0));
    // Copying from the log gives the characters themselves.
    SendMessageA(rich.Handle(), EM_SETSEL, 0, -1);
    SendMessageA(rich.Handle(), WM_COPY, 0, 0);
    ASSERT_TRUE(OpenClipboard(nullptr));
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    char copied[2048] = "";
    if (data) {
        const WCHAR* wide = static_cast<const WCHAR*>(GlobalLock(data));
        WideCharToMultiByte(CP_UTF8, 0, wide, -1, copied, sizeof copied, nullptr, nullptr);
        GlobalUnlock(data);
    }
    CloseClipboard();
    EXPECT_EQ(all, copied);
}

namespace {

using BareRichEdit = testing_support::HostedControl;

// The runner's insertion as it always was: each CR LF pair as a piece of its own.
void InsertPieceByPiece(HWND pane, const std::string& chunk)
{
    std::string text = chunk.substr(0, std::strlen(chunk.c_str()));
    size_t start = 0;
    auto insert = [pane](const std::string& piece) {
        SelectEnd(pane);
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

// Counts the pane's WM_PAINT messages and its insertions into a log past two pieces, in front of
// the pane's own procedure.
WNDPROC paneProcedure = nullptr;
int paints = 0;
int laterInsertions = 0;

LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_PAINT)
        ++paints;
    if (message == EM_REPLACESEL &&
        CallWindowProcA(paneProcedure, window, WM_GETTEXTLENGTH, 0, 0) > 2 * LRESULT{OutputQueue::kLinePiece})
        ++laterInsertions;
    return CallWindowProcA(paneProcedure, window, message, wParam, lParam);
}

const unsigned long kLongLineStart = 300 * 1024;
const unsigned long kLongLine = kLongLineStart + 50 * 256;

// A worker's long line: its first part as fast as it goes, then a read every 20 ms for a second.
DWORD WINAPI WriteALongLine(LPVOID parameter)
{
    OutputPane* pane = static_cast<OutputPane*>(parameter);
    const std::string text = child_pattern::PatternText(kLongLine, 0);
    for (unsigned long at = 0; at < kLongLine; at += 256) {
        pane->AppendOutput(text.substr(at, 256).c_str());
        if (at >= kLongLineStart)
            Sleep(20);
    }
    return 0;
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

        // A window without a feed gets the chunk message by message.
        BareRichEdit bare;
        OutputPane unfed;
        unfed.window = bare.Handle();
        unfed.AppendOutput(chunk.text.c_str());
        EXPECT_EQ(expected, LogOf(bare.Handle()));

        // The program's own log takes the chunk through its queue.
        SendMessageA(app.Pane(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
        app.banner.clear();
        app.frame->outputPane.AppendOutput(chunk.text.c_str());
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
    paneProcedure = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(pane, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountingProc)));
    testing_support::PumpFor(200);
    const char line[] = "a line of the burst\r\n";
    for (int i = 0; i < 200; ++i)
        app.frame->outputPane.AppendOutput(line);
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

TEST(ChunkInsertionTest, ALongLineGathersWhileMoreOfItKeepsComing)
{
    // Each insertion into a long line costs the control about as much as the line so far: while
    // the child goes on writing it, its reads go in together, not one by one.
    IniFileGuard ini;
    App app;
    ASSERT_TRUE(app.created);
    HWND pane = app.Pane();
    SendMessageA(pane, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
    app.banner.clear();
    paneProcedure = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(pane, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountingProc)));
    laterInsertions = 0;
    HANDLE writer = CreateThread(nullptr, 0, WriteALongLine, &app.frame->outputPane, 0, nullptr);
    ASSERT_TRUE(writer != nullptr);
    EXPECT_TRUE(PumpUntil([writer] { return WaitForSingleObject(writer, 0) == WAIT_OBJECT_0; }, 30000));
    CloseHandle(writer);
    app.frame->outputPane.Flush();
    SetWindowLongPtrA(pane, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(paneProcedure));
    // About one insertion in half a second (taken as they come, ten or more).
    EXPECT_LE(laterInsertions, 5);
    EXPECT_TRUE(app.JobLog() == child_pattern::PatternText(kLongLine, 0));
}

namespace {

class OutputPaneJob : public testing_support::ChildTest {};

} // namespace

TEST_F(OutputPaneJob, LongLinesWithoutABreakInTheLog)
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

TEST_F(OutputPaneJob, AStalledLogLosesNothing)
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

namespace {

// Serves this thread's messages for a second with PageDown held down: whenever the thread looks
// for its next message, a key-down waits, as a held key repeats in a log slower than its repeat.
void ServeWithPageDownHeld(INPUT* key)
{
    for (DWORD start = GetTickCount(); GetTickCount() - start < 1000;) {
        if (!(HIWORD(GetQueueStatus(QS_KEY)) & QS_KEY))
            SendInput(1, key, sizeof *key);
        MSG message;
        if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
}

} // namespace

// A key held in the log during a flood, so that input always waits: the output still goes in,
// second after second.
TEST_F(OutputPaneJob, OutputGoesOnWhileAKeyIsHeld)
{
    IniFileGuard ini;
    App app;
    ASSERT_TRUE(app.created);
    HWND pane = app.Pane();
    app.frame->StartJob(ChildCommand("flood 60").c_str());
    ASSERT_TRUE(app.WaitForLog("flood 0000000100"));
    SetForegroundWindow(app.Main());
    SetFocus(pane);
    INPUT key = {};
    key.type = INPUT_KEYBOARD;
    key.ki.wVk = VK_NEXT;
    LRESULT length = TextLength(pane);
    for (int second = 1; second <= 4; ++second) {
        ServeWithPageDownHeld(&key);
        const LRESULT now = TextLength(pane);
        EXPECT_GT(now, length) << "second " << second;
        length = now;
    }
    key.ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(1, &key, sizeof key);
    app.frame->StopRunningJob();
    EXPECT_TRUE(app.WaitForJob(30000));
    ExpectNoChildLeft();
}
