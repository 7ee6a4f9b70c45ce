// The renewal of a full log, on real panes fed as the program feeds them: what the new pane
// carries and in which colours, what it says without memory, and that it never destroys a pane
// whose own procedure is still running a loop.
#include <gtest/gtest.h>

#include <windows.h>
#include <richedit.h>

#include <algorithm>
#include <string>

#include "app/LogRenewal.h"
#include "app/OutputPane.h"
#include "base/Palette.h"
#include "base/Seams.h"
#include "base/TextDecoder.h"
#include "support/App.h"
#include "support/TestSupport.h"
#include "tests/helpers/ChildPattern.h"

using testing_support::App;
using testing_support::ChildCommand;
using testing_support::ColourAt;
using testing_support::Header;
using testing_support::IniFileGuard;
using testing_support::kPrompt;
using testing_support::PumpUntil;
using testing_support::WindowText;

namespace {

const size_t kSmallLimit = 32 << 10;  // a quarter of it is carried

// A fed log of the given class with a small limit.
struct FedPane : testing_support::FedLog {
    explicit FedPane(const char* className) : FedLog(className), output(feed)
    {
        feed.SetLogLimit(kSmallLimit);
    }
    // One job as the worker writes it: header, output lines, and a prompt or a failure line.
    std::string Job(int number)
    {
        const std::string header = "\r\nExecuting:- job " + std::to_string(number) + "\r\n";
        std::string lines;
        for (int i = 0; i < 40; ++i)
            lines += "output line " + std::to_string(number * 100 + i) + " of the job\r\n";
        const std::string close = number % 2 ? "Failure running:- job\r\n" : "C:\\> ";
        output.Append(header.c_str(), kColourGrey);
        output.AppendOutput(lines.c_str());
        output.Append(close.c_str(), number % 2 ? kColourRed : kColourGreen);
        return header + lines + close;
    }
    // Writes jobs, with allocations for the renewal made by `allocate`, until the log has been
    // renewed; answers what was written.
    std::string JobsUntilRenewed(seams::HeapAllocFn allocate = HeapAlloc,
                                 seams::SendMessageFn streamOut = SendMessageA)
    {
        seams::heapAlloc = allocate;
        seams::streamOut = streamOut;
        std::string all;
        for (int job = 0; output.window == control.Handle() && job < 100; ++job)
            all += Job(job);
        seams::Restore();
        EXPECT_NE(control.Handle(), output.window);
        return all;
    }
    OutputPane& output;
};

LPVOID WINAPI RefuseAll(HANDLE, DWORD, SIZE_T)
{
    return nullptr;
}

LRESULT WINAPI FailStreamOut(HWND, UINT, WPARAM, LPARAM stream)
{
    reinterpret_cast<EDITSTREAM*>(stream)->dwError = 1;
    return 0;
}

LPVOID WINAPI RefuseTheWholeLog(HANDLE heap, DWORD flags, SIZE_T bytes)
{
    return bytes > kSmallLimit / 4 + 1 ? nullptr : HeapAlloc(heap, flags, bytes);
}

// The log after the notice must be the end of everything written, from a line start.
void ExpectTailOf(const std::string& all, const std::string& log, const std::string& notices)
{
    ASSERT_EQ(0u, log.find(notices));
    const std::string rest = log.substr(notices.size());
    EXPECT_GT(rest.size(), kSmallLimit / 4 - 512) << "the newest text carried";
    ASSERT_LT(rest.size(), all.size());
    const std::string expected = all.substr(all.size() - rest.size());
    EXPECT_TRUE(expected == rest) << "first difference at "
                                  << std::mismatch(rest.begin(), rest.end(), expected.begin()).first - rest.begin()
                                  << " of " << rest.size() << ": " << rest.substr(0, 200);
    EXPECT_EQ('\n', all[all.size() - rest.size() - 1]);
}

} // namespace

TEST(LogRenewal, CarriedLinesKeepTheirColours)
{
    FedPane pane("RichEdit");
    const std::string all = pane.JobsUntilRenewed();
    HWND renewed = pane.output.window;
    const std::string log = WindowText(renewed);
    ExpectTailOf(all, log, kDroppedNotice);
    EXPECT_EQ(kColourGrey, ColourAt(renewed, 0));
    struct Mark {
        const char* text;
        COLORREF colour;
        bool automatic;
    };
    const Mark marks[] = {{"Executing:- ", kColourGrey, false}, {"Failure running:- ", kColourRed, false},
                          {"C:\\> ", kColourGreen, false}, {"output line", 0, true}};
    for (const Mark& mark : marks) {
        int seen = 0;
        for (size_t at = log.find(mark.text, 1); at != std::string::npos; at = log.find(mark.text, at + 1), ++seen) {
            bool automatic = false;
            COLORREF colour = ColourAt(renewed, static_cast<int>(at), &automatic);
            EXPECT_EQ(mark.automatic, automatic) << mark.text << " at " << at;
            if (!mark.automatic) {
                EXPECT_EQ(mark.colour, colour) << mark.text << " at " << at;
            }
        }
        EXPECT_GT(seen, 2) << mark.text;
    }
}

TEST(LogRenewal, ACarriedRunKeepsItsStyle)
{
    FedPane pane("RichEdit");
    const TextStyle red = {PaletteColour(1), PaletteColour(11), TextStyle::kBold | TextStyle::kUnderline};
    std::string marks(2 * kStyleMarkSize, '\0');
    WriteStyleMark(&marks[0], red);
    WriteStyleMark(&marks[kStyleMarkSize], TextStyle::Automatic());
    const std::string line =
        "plain " + marks.substr(0, kStyleMarkSize) + "red" + marks.substr(kStyleMarkSize) + " plain\r\n";
    for (int i = 0; pane.output.window == pane.control.Handle() && i < 10000; ++i) {
        pane.output.AppendOutput(line.c_str());
        pane.output.Flush();
    }
    HWND renewed = pane.output.window;
    ASSERT_NE(pane.control.Handle(), renewed);
    // Every red word, carried and new, in its style, and nothing else in one.
    const std::string styled = testing_support::StyledText(renewed);
    const std::string redRun = "{fg=#B00000,bg=#9C8400,B,U}red{} plain\r\nplain ";
    size_t lines = 0, runs = 0;
    for (size_t at = styled.find("red"); at != std::string::npos; at = styled.find("red", at + 1))
        ++lines;
    for (size_t at = styled.find(redRun); at != std::string::npos; at = styled.find(redRun, at + 1))
        ++runs;
    EXPECT_GT(runs, 100u);
    EXPECT_EQ(lines, runs + 1) << "the last line ends the log";
}

TEST(LogRenewal, APlainPaneCarriesItsTailWithoutACopyOfTheWholeLog)
{
    FedPane pane("Edit");
    const std::string all = pane.JobsUntilRenewed(RefuseTheWholeLog);
    ExpectTailOf(all, WindowText(pane.output.window), kDroppedNotice);
}

// No memory for the tail, or no stream-out of it that succeeds, however short.
TEST(LogRenewal, WithoutMemoryForTheTailAGreyLineSaysSo)
{
    for (bool streamFails : {false, true}) {
        SCOPED_TRACE(streamFails ? "every stream-out fails" : "no memory");
        FedPane pane("RichEdit");
        const std::string all = streamFails ? pane.JobsUntilRenewed(HeapAlloc, FailStreamOut)
                                            : pane.JobsUntilRenewed(RefuseAll);
        HWND renewed = pane.output.window;
        const std::string log = WindowText(renewed), notices = std::string(kDroppedNotice) + kNoMemoryNotice;
        ASSERT_EQ(0u, log.find(notices));
        EXPECT_EQ(kColourGrey, ColourAt(renewed, static_cast<int>(notices.size()) - 3));
        EXPECT_TRUE(all.substr(all.size() - (log.size() - notices.size())) == log.substr(notices.size()));
    }
}

// The line at the top of the view and the selected text (within one line).
std::string ReadersPlace(HWND log)
{
    auto line = [log](LRESULT number) {
        char text[256] = "";
        *reinterpret_cast<WORD*>(text) = sizeof text - 1;
        text[SendMessageA(log, EM_GETLINE, number, reinterpret_cast<LPARAM>(text))] = '\0';
        return std::string(text);
    };
    DWORD start = 0, end = 0;
    SendMessageA(log, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    const LRESULT selected = SendMessageA(log, EM_LINEFROMCHAR, start, 0);
    const size_t column = start - SendMessageA(log, EM_LINEINDEX, selected, 0);
    return line(SendMessageA(log, EM_GETFIRSTVISIBLELINE, 0, 0)) + "|" + line(selected).substr(column, end - start);
}

// A selection and a view on text that a renewal carries stay on that text.
TEST(LogRenewal, TheReadersPlaceStaysOnCarriedText)
{
    for (const char* className : {"RichEdit", "Edit"}) {
        SCOPED_TRACE(className);
        FedPane pane(className);
        HWND full = pane.control.Handle();
        pane.output.SetLogLimit(1 << 20);
        for (int job = 0; job < 10; ++job)
            pane.Job(job);
        const LRESULT line = SendMessageA(full, EM_GETLINECOUNT, 0, 0) - 20;
        const LRESULT at = SendMessageA(full, EM_LINEINDEX, line, 0);
        SendMessageA(full, EM_SETSEL, at + 7, at + 15);
        SendMessageA(full, EM_LINESCROLL, 0, line - 2 - SendMessageA(full, EM_GETFIRSTVISIBLELINE, 0, 0));
        const std::string before = ReadersPlace(full);
        ASSERT_NE(std::string::npos, before.find("|line 9")) << before;
        // A quarter of the limit, the newest few jobs, is carried.
        pane.output.SetLogLimit(SendMessageA(full, WM_GETTEXTLENGTH, 0, 0) + 10);
        pane.Job(10);
        ASSERT_NE(full, pane.output.window);
        EXPECT_EQ(before, ReadersPlace(pane.output.window));
    }
}

// The plain edit's context menu runs a loop inside the pane's procedure that dispatches
// wake-ups: a piece that fills the log meanwhile goes into the old pane, which is renewed after.
HWND menuPane;
OutputPane* menuOutput;
bool paneLivedThroughTheMenu;

void CALLBACK EndTheMenu(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    paneLivedThroughTheMenu = IsWindow(menuPane) && menuOutput->window == menuPane &&
                              WindowText(menuPane).find("filled") != std::string::npos;
    EndMenu();
}

TEST(LogRenewal, NeverWhileThePanesOwnLoopRuns)
{
    FedPane pane("Edit");
    menuPane = pane.control.Handle();
    menuOutput = &pane.output;
    pane.Job(1);
    pane.output.SetLogLimit(SendMessageA(menuPane, WM_GETTEXTLENGTH, 0, 0) + 10);
    const std::string filled = "the line that filled the log\r\n";
    pane.output.AppendOutput(filled.c_str());
    paneLivedThroughTheMenu = false;
    SetTimer(nullptr, 0, 500, EndTheMenu);
    SendMessageA(menuPane, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(menuPane), MAKELPARAM(20, 20));
    EXPECT_TRUE(paneLivedThroughTheMenu);
    pane.output.AppendOutput("after\r\n");
    pane.output.Flush();
    // The full window goes with a message of its own.
    EXPECT_TRUE(PumpUntil([] { return !IsWindow(menuPane); }));
    EXPECT_EQ(0u, WindowText(pane.output.window).find(kDroppedNotice));
}

// Double-byte text takes up to twice as many bytes as characters: the carried tail stays within
// its block and whole. It needs a double-byte code page, which Wine takes from the locale: CTest
// runs it again as LogRenewalUnderCodePage932.
TEST(LogRenewal, DoubleByteTailsStayWhole)
{
    CPINFO info;
    if (!GetCPInfo(CP_ACP, &info) || info.MaxCharSize < 2)
        GTEST_SKIP() << "a single-byte code page";
    for (const char* className : {"Edit", "RichEdit"}) {
        SCOPED_TRACE(className);
        FedPane pane(className);
        std::string all;
        for (int line = 0; pane.output.window == pane.control.Handle() && line < 5000; ++line) {
            // "output line N" and three kana in Shift-JIS.
            const std::string text = "output line " + std::to_string(line) + " \x82\xa0\x82\xa2\x82\xa4\r\n";
            // The log takes the child's output as UTF-8, decoded as a job decodes it.
            pane.output.AppendOutput(TextDecoder(GetACP()).Decode(text.data(), text.size()));
            pane.output.Flush();
            all += text;
        }
        // The rich edit counts characters, not bytes.
        std::string log(4 * SendMessageA(pane.output.window, WM_GETTEXTLENGTH, 0, 0) + 1, '\0');
        log.resize(SendMessageA(pane.output.window, WM_GETTEXT, log.size(), reinterpret_cast<LPARAM>(&log[0])));
        const std::string notice = kDroppedNotice;
        ASSERT_EQ(0u, log.find(notice)) << log.substr(0, 200);
        const std::string rest = log.substr(notice.size());
        EXPECT_GT(rest.size(), 2u << 10);
        EXPECT_TRUE(rest.size() < all.size() && all.compare(all.size() - rest.size(), rest.size(), rest) == 0 &&
                    all[all.size() - rest.size() - 1] == '\n')
            << rest.substr(0, 100);
    }
}

// The child's output goes in as UTF-8: the rich edit carries its characters, the plain edit the
// ANSI forms it showed (1252 under Wine).
TEST(LogRenewal, CarriedTextKeepsItsCharacters)
{
    const std::string line = "r\xC3\xA9sum\xC3\xA9 \xD0\x97\xD0\xB4\xD1\x80 of a long job\r\n";
    for (const char* className : {"RichEdit", "Edit"}) {
        SCOPED_TRACE(className);
        FedPane pane(className);
        for (int i = 0; pane.output.window == pane.control.Handle() && i < 10000; ++i)
            pane.output.AppendOutput(line.c_str());
        pane.output.Flush();
        ASSERT_NE(pane.control.Handle(), pane.output.window);
        const bool rich = std::string(className) == "RichEdit";
        const std::string log = rich ? testing_support::RichTextUtf8(pane.output.window)
                                     : WindowText(pane.output.window);
        const std::string shown = rich ? line : "r\xE9sum\xE9 ??? of a long job\r\n";
        ASSERT_EQ(0u, log.find(kDroppedNotice));
        EXPECT_GT(log.size(), kSmallLimit / 8);
        for (size_t at = std::string(kDroppedNotice).size(); at < log.size(); at += shown.size())
            ASSERT_EQ(shown, log.substr(at, shown.size())) << "at " << at;
    }
}

namespace {

class LogRenewalJob : public testing_support::ChildTest {};

} // namespace

// Through a real job: the full log goes on in a new pane with one notice and the newest text.
TEST_F(LogRenewalJob, AFullLogGoesOnInANewPaneWithTheNewestText)
{
    IniFileGuard ini;
    App app;
    ASSERT_TRUE(app.created);
    HWND first = app.Pane();
    const size_t limit = 256 << 10;
    app.frame->outputPane.SetLogLimit(limit);
    const std::string command = ChildCommand("bytes 1048576 80");
    ASSERT_TRUE(app.Run(command, 120000));
    HWND pane = app.Pane();
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ(pane, app.frame->paneWindow);
    EXPECT_EQ(pane, app.frame->outputPane.window);
    // One notice at the top, in grey; then the newest text, whole lines to the prompt.
    const std::string log = app.Log(), notice = kDroppedNotice;
    ASSERT_EQ(0u, log.find(notice));
    EXPECT_EQ(std::string::npos, log.find(notice, 1));
    EXPECT_EQ(kColourGrey, ColourAt(pane, 0));
    const std::string all = Header(command) + child_pattern::PatternText(1048576, 80) + kPrompt;
    const std::string rest = log.substr(notice.size());
    EXPECT_LE(log.size(), limit + OutputQueue::kLinePiece);
    EXPECT_GT(rest.size(), 32u << 10);
    EXPECT_TRUE(all.compare(all.size() - rest.size(), rest.size(), rest) == 0);
    EXPECT_EQ(0u, (all.size() - rest.size() - Header(command).size()) % 80) << "from a line start";
    ExpectNoChildLeft();
}
