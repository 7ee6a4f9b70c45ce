// Save Log As: the text byte for byte, the rich text with its colour read back, and a refused
// write that leaves the earlier file as it was.
#include <gtest/gtest.h>

#include <windows.h>
#include <richedit.h>

#include <string>

#include "app/LogSave.h"
#include "base/Seams.h"
#include "support/App.h"
#include "support/TestSupport.h"

using testing_support::App;
using testing_support::BesideExe;
using testing_support::ReadFileText;

namespace {

std::string answeredPath;
DWORD answeredType;
std::string askedName;
HWND askedOwner;

BOOL WINAPI AnswerSaveDialog(LPOPENFILENAMEA dialog)
{
    askedName = dialog->lpstrFile;
    askedOwner = dialog->hwndOwner;
    lstrcpynA(dialog->lpstrFile, answeredPath.c_str(), dialog->nMaxFile);
    dialog->nFileOffset = static_cast<WORD>(answeredPath.rfind('\\') + 1);
    dialog->nFilterIndex = answeredType;
    return TRUE;
}

// A log of a plain line, a UTF-8 line and a red line, saved through Ctrl+S as `type`.
class SavedLog {
public:
    SavedLog(const std::string& path, DWORD type)
    {
        answeredPath = path;
        answeredType = type;
        seams::getSaveFileName = AnswerSaveDialog;
        app.ClearLog();
        OutputPane::InsertChunk(app.Pane(), "plain\r\nr\xC3\xA9sum\xC3\xA9 \xD0\x97\xD0\xB4\r\n");
        app.frame->outputPane.Append("red\r\n", kColourRed);
        SetForegroundWindow(app.Main());
        SetFocus(app.Pane());
        testing_support::PressWithControl('S');
        testing_support::PumpFor(300);
    }
    ~SavedLog() { seams::Restore(); }
    App app;
};

const char kText[] = "plain\r\nr\xC3\xA9sum\xC3\xA9 \xD0\x97\xD0\xB4\r\nred\r\n";

} // namespace

TEST(LogSave, TextIsTheLogInUtf8AndRichTextKeepsItsColours)
{
    const std::string text = BesideExe("saved log.txt"), rich = BesideExe("saved log.rtf");
    {
        SavedLog saved(text, LogSave::kTextType);
        EXPECT_EQ("Velqueth log.txt", askedName);
        EXPECT_EQ(saved.app.Main(), askedOwner);
    }
    EXPECT_EQ(kText, ReadFileText(text));
    { SavedLog saved(rich, LogSave::kRichTextType); }
    testing_support::HostedControl reader;
    const std::string rtf = ReadFileText(rich);
    SETTEXTEX how = {ST_DEFAULT, CP_ACP};
    SendMessageA(reader.Handle(), EM_SETTEXTEX, reinterpret_cast<WPARAM>(&how),
                 reinterpret_cast<LPARAM>(rtf.c_str()));
    EXPECT_EQ(kText, testing_support::RichTextUtf8(reader.Handle()));
    bool automatic = false;
    EXPECT_EQ(kColourRed, testing_support::ColourAt(reader.Handle(), 20, &automatic));
    EXPECT_EQ(0u, testing_support::ColourAt(reader.Handle(), 0, &automatic));
    EXPECT_TRUE(automatic);
    DeleteFileA(text.c_str());
    DeleteFileA(rich.c_str());
}

TEST(LogSave, ATargetHeldOpenGivesTheBoxAndStaysAsItWas)
{
    const std::string path = BesideExe("held log.txt");
    ASSERT_TRUE(testing_support::WriteFileText(path, "earlier"));
    HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    testing_support::MessageBoxRecorder boxes;
    { SavedLog saved(path, LogSave::kTextType); }
    CloseHandle(held);
    ASSERT_EQ(1u, boxes.Boxes().size());
    EXPECT_EQ(0u, boxes.Boxes()[0].text.find("Could not save the log to " + path + "\n"));
    EXPECT_GT(boxes.Boxes()[0].text.size(), path.size() + 27);
    EXPECT_EQ("earlier", ReadFileText(path));
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(BesideExe("vql*.tmp").c_str(), &found);
    EXPECT_EQ(INVALID_HANDLE_VALUE, search) << found.cFileName << " left behind";
    if (search != INVALID_HANDLE_VALUE)
        FindClose(search);
    DeleteFileA(path.c_str());
}

TEST(LogSave, APlainEditSavesItsTextAsUtf8AndAsRichText)
{
    testing_support::HostedControl plain("Edit");
    SetWindowTextA(plain.Handle(), "plain {\\}\r\nr\xE9sum\xE9\r\n");  // the ANSI code page's é
    const std::string path = BesideExe("plain log");
    ASSERT_EQ(0u, LogSave::Write(plain.Handle(), path.c_str(), false));
    EXPECT_EQ("plain {\\}\r\nr\xC3\xA9sum\xC3\xA9\r\n", ReadFileText(path));
    ASSERT_EQ(0u, LogSave::Write(plain.Handle(), path.c_str(), true));
    testing_support::HostedControl reader;
    SETTEXTEX how = {ST_DEFAULT, CP_ACP};
    SendMessageA(reader.Handle(), EM_SETTEXTEX, reinterpret_cast<WPARAM>(&how),
                 reinterpret_cast<LPARAM>(ReadFileText(path).c_str()));
    EXPECT_EQ("plain {\\}\r\nr\xC3\xA9sum\xC3\xA9\r\n", testing_support::RichTextUtf8(reader.Handle()));
    DeleteFileA(path.c_str());
}
