// Message lines of real jobs in the program: a slot's own pattern, one that does not compile, a
// header the user deleted, and an editor that cannot start.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/MessageJump.h"
#include "base/Seams.h"
#include "support/App.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

std::vector<std::string> editors;

BOOL WINAPI RecordEditor(LPCSTR, LPSTR commandLine, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES,
                         BOOL, DWORD, LPVOID, LPCSTR, LPSTARTUPINFOA, LPPROCESS_INFORMATION started)
{
    editors.push_back(commandLine);
    started->hProcess = started->hThread = nullptr;
    return TRUE;
}

struct EditorRecorder {
    EditorRecorder() { editors.clear(); seams::createEditor = RecordEditor; }
    ~EditorRecorder() { seams::createEditor = CreateProcessA; }
};

} // namespace

TEST(MessageJumpTest, ASlotsPatternComesFirstAndABadOneIsSaidInRed)
{
    const std::string folder = BesideExe("places-in\\");
    CreateDirectoryA(folder.c_str(), nullptr);
    WriteFileText(folder + "x.pas", "x");
    WriteFileText(folder + "a.c", "a");
    IniFileGuard ini("[Setup]\r\nPath1=" + Vqchild() + "\r\nArgs1=out \"ERR places-in\\\\x.pas @4.2\\r\\n\"\r\n"
                     "Messages1=^ERR ([^ ]+) @(\\d+)\\.(\\d+)\r\nPath2=" + Vqchild() +
                     "\r\nArgs2=out \"places-in\\\\a.c:3:\\r\\n\"\r\nMessages2=(unclosed\r\n"
                     "Editor=ed \"%f\" %l %c\r\n");
    App app;
    ASSERT_TRUE(app.created);
    std::unique_ptr<EditorRecorder> recorder(new EditorRecorder);
    app.Command(ID_RUN_SLOT_1);
    ASSERT_TRUE(app.WaitForJob());
    ASSERT_TRUE(GoToMessage(app.frame->paneWindow, app.frame->jobPlaces, true));
    const std::string opened = "ed \"" + folder + "x.pas\" 4 2";
    EXPECT_EQ(std::vector<std::string>{opened}, editors);

    // Without its header the output still belongs to its job.
    std::string log = app.Log();
    SendMessageA(app.Pane(), EM_SETSEL, log.find("Executing"), log.find("ERR"));
    SendMessageA(app.Pane(), WM_CLEAR, 0, 0);
    ASSERT_TRUE(GoToMessage(app.frame->paneWindow, app.frame->jobPlaces, false));
    EXPECT_EQ((std::vector<std::string>{opened, opened}), editors);

    app.Command(ID_RUN_SLOT_1 + 1);
    ASSERT_TRUE(app.WaitForJob());
    const std::string notice = "Messages2 is not a regular expression: unbalanced ( )\r\n";
    log = app.Log();
    ASSERT_NE(std::string::npos, log.find(notice)) << log;
    EXPECT_EQ(0x0000C0u, ColourAt(app.Pane(), static_cast<int>(log.find(notice))));

    // The built-in forms still read this slot's lines; an editor that cannot start says why.
    recorder.reset();
    WritePrivateProfileStringA("Setup", "Editor", "Z:\\nowhere\\ed.exe \"%f\"", ini.Path().c_str());
    MessageBoxRecorder boxes;
    ASSERT_TRUE(GoToMessage(app.frame->paneWindow, app.frame->jobPlaces, true));
    ASSERT_EQ(1u, boxes.Boxes().size());
    const std::string text = boxes.Boxes()[0].text,
                      opening = "Could not start the editor:\r\nZ:\\nowhere\\ed.exe \"" + folder + "a.c\"\r\n";
    ASSERT_EQ(0u, text.find(opening)) << text;
    EXPECT_GT(text.size(), opening.size() + 8) << "no reason given";
    EXPECT_EQ(std::string::npos, text.find('\n', opening.size())) << "the system's line break kept";
}
