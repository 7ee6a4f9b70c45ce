// Styled output streamed into the log as rich text: the same log, text and formats, as one
// insertion per run, whatever the runs hold.
#include <gtest/gtest.h>

#include <windows.h>
#include <richedit.h>

#include <cstdio>
#include <string>

#include "app/LogStyle.h"
#include "app/LogWindow.h"
#include "app/OutputPane.h"
#include "base/Palette.h"
#include "res/Commands.h"
#include "support/App.h"
#include "support/TestSupport.h"

using testing_support::HostedControl;

namespace {

std::string Mark(const TextStyle& style)
{
    std::string mark(kStyleMarkSize, '\0');
    WriteStyleMark(&mark[0], style);
    return mark;
}

DWORD CALLBACK TakeRtf(DWORD_PTR cookie, LPBYTE bytes, LONG count, LONG* taken)
{
    reinterpret_cast<std::string*>(cookie)->append(reinterpret_cast<char*>(bytes), count);
    *taken = count;
    return 0;
}

// The whole log as the control writes it out: its text, paragraphs, fonts and formats.
std::string RtfOf(HWND pane)
{
    std::string rtf;
    EDITSTREAM stream = {reinterpret_cast<DWORD_PTR>(&rtf), 0, TakeRtf};
    SendMessageA(pane, EM_STREAMOUT, SF_RTF, reinterpret_cast<LPARAM>(&stream));
    return rtf;
}

// The chunk as it always went in: the style at the end, each run on its own, and each mark's
// style at the end again.
void InsertRunByRun(HWND pane, const std::string& chunk, TextStyle* style)
{
    SelectEnd(pane);
    SetSelectionStyle(pane, *style);
    size_t start = 0;
    for (size_t mark = chunk.find(kStyleMark);; mark = chunk.find(kStyleMark, start)) {
        std::string run = chunk.substr(start, mark == std::string::npos ? mark : mark - start);
        OutputPane::InsertChunk(pane, run.c_str(), style);
        if (mark == std::string::npos)
            return;
        *style = ReadStyleMark(chunk.c_str() + mark);
        SelectEnd(pane);
        SetSelectionStyle(pane, *style);
        start = mark + kStyleMarkSize;
    }
}

} // namespace

TEST(LogStyle, AStreamedChunkGivesTheLogOfRunByRunInsertion)
{
    const TextStyle automatic = TextStyle::Automatic();
    const TextStyle red = {PaletteColour(1), 0, TextStyle::kBold | TextStyle::kNoBackground};
    const TextStyle green = {PaletteColour(34), 0, TextStyle::kNoBackground};
    const TextStyle marked = {RGB(1, 2, 3), PaletteColour(11),
                              TextStyle::kItalic | TextStyle::kUnderline | TextStyle::kStrike};
    const TextStyle inverse = {0, 0, automatic.effects | TextStyle::kInverse};
    const TextStyle swapped = {PaletteColour(4), PaletteColour(2), TextStyle::kInverse};
    std::string flood, rainbow;
    for (int i = 0; i < 3; ++i)
        flood += Mark(red) + "error" + Mark(automatic) + ": the build of pa" + Mark(green) + "ssed " +
                 Mark(automatic) + "abcdefghijklmnopqrstuvwxyzab\r\n";
    for (int i = 0; i < 150; ++i)  // more colours than one stream's table holds
        rainbow += Mark({RGB(i, 255 - i, i / 2), RGB(255 - i, i, 7), TextStyle::kBold}) + "#";
    struct Case {
        const char* name;
        std::string chunk;
        bool streams;
    };
    const Case cases[] = {
        {"the flood's lines", flood, true},
        {"braces, backslashes, non-ASCII", "a{b}c\\d " + Mark(red) + "{\\rtf1 \xC3\xA9}\\par \xE2\x82\xAC "
             "\xD0\x97\xF0\x9F\x98\x80\t|" + Mark(marked) + "}{\r\n\r\n" + Mark(automatic) + "\\", true},
        {"effects, background, inverse", Mark(marked) + "m" + Mark(inverse) + "i" + Mark(swapped) +
             "s\r\n" + Mark(automatic), true},
        {"a style and no text", Mark(green), true},
        {"in the style left before", "still green\r\n" + Mark(automatic), true},
        {"a rainbow", rainbow + "\r\n", true},
        {"a lone LF", Mark(red) + "a\nb" + Mark(automatic), false},
        {"a split pair", Mark(red) + "a\r", false},
        {"a control character", Mark(red) + "a\x07" + Mark(automatic), false},
        {"not UTF-8", Mark(red) + "a\xC0\xAF" + Mark(automatic), false},
    };
    HostedControl streamed, reference;
    TextStyle streamedStyle = automatic, referenceStyle = automatic;
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        OutputPane lines[2];
        lines[0].window = streamed.Handle();
        lines[1].window = reference.Handle();
        for (OutputPane& pane : lines) {
            pane.Append("a grey line\r\n", RGB(0x80, 0x80, 0x80));
            SendMessageA(pane.window, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>("typed "));
        }
        EXPECT_EQ(test.streams, InsertStyledChunk(streamed.Handle(), test.chunk.c_str(), &streamedStyle));
        if (!test.streams)
            OutputPane::InsertChunk(streamed.Handle(), test.chunk.c_str(), &streamedStyle);
        InsertRunByRun(reference.Handle(), test.chunk, &referenceStyle);
        EXPECT_TRUE(streamedStyle == referenceStyle);
        EXPECT_EQ(SendMessageA(reference.Handle(), EM_CANUNDO, 0, 0),
                  SendMessageA(streamed.Handle(), EM_CANUNDO, 0, 0));
        // What the user types next takes the style the output left at the caret.
        for (HWND pane : {streamed.Handle(), reference.Handle()})
            SendMessageA(pane, WM_CHAR, 'x', 0);
        EXPECT_EQ(RtfOf(reference.Handle()), RtfOf(streamed.Handle()));
        EXPECT_EQ(testing_support::StyledText(reference.Handle()), testing_support::StyledText(streamed.Handle()));
    }
}

// Copy in the program's log gives the selection as rich text too, its colour in the table and on
// the run: what a rich editor pastes.
TEST(LogStyle, ACopiedSelectionKeepsItsColours)
{
    testing_support::IniFileGuard ini;
    testing_support::App app;
    ASSERT_TRUE(app.created);
    const TextStyle red = {PaletteColour(1), 0, TextStyle::kBold | TextStyle::kNoBackground};
    const std::string chunk = "plain " + Mark(red) + "red" + Mark(TextStyle::Automatic()) + " plain\r\n";
    app.ClearLog();
    app.frame->outputPane.AppendOutput(chunk.c_str());
    app.frame->outputPane.Flush();
    SendMessageA(app.Pane(), EM_SETSEL, 4, 13);
    app.Command(ID_COPY);
    std::string rtf;
    ASSERT_TRUE(OpenClipboard(nullptr));
    if (HANDLE data = GetClipboardData(RegisterClipboardFormatA("Rich Text Format"))) {
        rtf = static_cast<const char*>(GlobalLock(data));
        GlobalUnlock(data);
    }
    CloseClipboard();
    char colour[64];
    std::snprintf(colour, sizeof colour, "{\\colortbl;\\red%d\\green%d\\blue%d;", GetRValue(red.text),
                  GetGValue(red.text), GetBValue(red.text));
    EXPECT_NE(std::string::npos, rtf.find(colour)) << rtf;
    EXPECT_NE(std::string::npos, rtf.find("\\cf1 red")) << rtf;
}
