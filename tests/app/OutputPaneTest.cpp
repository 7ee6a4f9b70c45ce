// OutputPane on real controls: a rich-edit control, which takes colours, and a plain edit control,
// which does not. The controls live in a hidden top-level window of the test's own.
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

using testing_support::ColourAt;
using testing_support::HostedControl;
using testing_support::WindowText;

namespace {

// An output pane attached to a control made as the program makes its log.
struct AttachedPane {
    explicit AttachedPane(const char* className) : control(className), window(control.Handle())
    {
        EXPECT_NE(nullptr, window) << "no " << className << " control";
        pane.Attach(window);
    }
    HostedControl control;
    HWND window;
    OutputPane pane;
};

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

TEST(OutputPane, AttachTellsARichEditFromAPlainControl)
{
    struct Case {
        const char* className;  // as asked for at creation
        bool plainEdit;
    };
    const Case cases[] = {
        {"RichEdit", false},
        {"RICHEDIT", false},
        {"richedit", false},
        {"Edit", true},
        {"RichEdit20A", true},
        {"Static", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.className);
        HostedControl control(c.className);
        ASSERT_NE(nullptr, control.Handle());
        OutputPane pane;
        pane.plainEdit = !c.plainEdit;
        pane.Attach(control.Handle());
        EXPECT_EQ(control.Handle(), pane.window);
        EXPECT_EQ(c.plainEdit, pane.plainEdit);
    }
}

TEST(OutputPane, UnboundPaneDoesNothingAndAnswersZero)
{
    HostedControl control("RichEdit");
    ASSERT_NE(nullptr, control.Handle());
    SetWindowTextA(control.Handle(), "kept");
    OutputPane pane;
    EXPECT_EQ(nullptr, pane.window);
    EXPECT_EQ(0, pane.Append("lost\r\n", kColourRed));
    EXPECT_EQ(0, pane.AppendPlain("lost\r\n"));
    EXPECT_EQ("kept", Text(control.Handle()));
    OutputPane::SelectEnd(nullptr);  // no window: nothing to do, nothing to break
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
        AttachedPane attached("RichEdit");
        OutputPane& pane = attached.pane;
        HWND window = pane.window;
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
    EXPECT_EQ(0x808080u, kColourGrey);
    EXPECT_EQ(0x0000C0u, kColourRed);
    EXPECT_EQ(0x00C000u, kColourGreen);
    const COLORREF colours[] = {kColourGrey, kColourRed, kColourGreen, RGB(0x12, 0x34, 0x56),
                                RGB(255, 255, 255), 0};
    const int count = sizeof colours / sizeof colours[0];
    AttachedPane attached("RichEdit");
    HWND window = attached.window;
    OutputPane& pane = attached.pane;
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
    AttachedPane attached("RichEdit");
    HWND window = attached.window;
    OutputPane& pane = attached.pane;
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
        {"appended plainly", [](HWND w) {
             OutputPane plain;
             plain.Attach(w);
             plain.AppendPlain("plain");
         }, "plain"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        AttachedPane attached("RichEdit");
        HWND window = attached.window;
        OutputPane& pane = attached.pane;
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
        AttachedPane attached(className);
        HWND window = attached.window;
        OutputPane& pane = attached.pane;
        std::string line(78, 'x');
        line += "\r\n";
        std::string block;
        for (int i = 0; i < 500; ++i)
            block += line;  // 40,000 characters
        for (int i = 0; i < 8; ++i)
            pane.AppendPlain(block.c_str());
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
    AttachedPane attached("Edit");
    HWND window = attached.window;
    OutputPane& pane = attached.pane;
    ASSERT_TRUE(pane.plainEdit);
    pane.Append("first\r\n", kColourGrey);
    SendMessageA(window, EM_SETSEL, 0, 3);
    pane.Append("second\r\n", kColourRed);
    pane.Append("", kColourGreen);
    pane.AppendPlain("third");
    EXPECT_EQ("first\r\nsecond\r\nthird", WindowText(window));
    EXPECT_FALSE(SendMessageA(window, EM_CANUNDO, 0, 0));
    DWORD start = 0, end = 0;
    SendMessageA(window, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(static_cast<DWORD>(TextLength(window)), start);
    EXPECT_EQ(start, end);
}

// The child's output arrives as UTF-8. The rich edit keeps its characters, also in a piece that
// begins like rich text; the plain edit shows what the ANSI code page can (1252 under Wine).
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
    // No look-alike stands in for a character without an ANSI form (A for A with macron).
    EXPECT_EQ("ASCII\r\nr\xE9sum\xE9 ??? ?\r\n{\\rtf1 \xE9}" + dots + "\xE9",
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

// SelectEnd leaves an empty selection at the end of either control, even on a long text.
TEST(OutputPane, SelectEndPutsTheCaretAfterTheLastCharacter)
{
    const char* const classes[] = {"RichEdit", "Edit"};
    for (const char* className : classes) {
        SCOPED_TRACE(className);
        HostedControl control(className);
        HWND window = control.Handle();
        ASSERT_NE(nullptr, window);
        std::string text;
        for (int i = 0; i < 2000; ++i)
            text += "some line of text\r\n";
        SetWindowTextA(window, text.c_str());
        SendMessageA(window, EM_SETSEL, 5, 10);
        OutputPane::SelectEnd(window);
        DWORD start = 0, end = 0;
        SendMessageA(window, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        EXPECT_EQ(static_cast<DWORD>(TextLength(window)), start);
        EXPECT_EQ(start, end);
    }
}
