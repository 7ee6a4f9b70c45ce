// From message lines to the editor in the real program, through real keys and clicks.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "driver/Driver.h"
#include "support/TestSupport.h"

using testing_support::ChildCommand;
using testing_support::ExeDirectory;
using testing_support::ReadFileText;
using testing_support::WriteFileText;

namespace {

// A line as vqchild's "out" takes it, with its line break.
std::string Printed(const std::string& line)
{
    std::string text;
    for (char c : line)
        text += c == '\\' ? "\\\\" : c == '"' ? "\\x22" : std::string(1, c);
    return text + "\\r\\n";
}

// The job's program runs in the tests' folder; Velqueth itself in its own.
const std::string kSource = ExeDirectory() + "places-src\\";

class PlacesDriverTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CreateDirectoryA(kSource.c_str(), nullptr);
        CreateDirectoryA((kSource + "one dir").c_str(), nullptr);
        for (const char* name : {"gcc.c", "vc.cpp", "tool.py"})
            WriteFileText(kSource + name, "text\r\n");
    }
    void TearDown() override { testing_support::KillProcesses("vqchild.exe"); }

    // Starts the program on a job that prints `lines`, and waits for its end.
    bool StartOn(Driver* app, const std::vector<std::string>& lines)
    {
        std::string text;
        for (const std::string& line : lines)
            text += Printed(line);
        if (!app->Start(ChildCommand("out \"" + text + "\"")) || !app->WaitForLogEnd("C:\\> "))
            return false;
        SetForegroundWindow(app->Window());
        testing_support::PumpFor(200);
        return true;
    }

    // The selected text, once a key or click has changed it.
    static std::string Selected(const Driver& app)
    {
        long start = 0, end = 0;
        std::string text;
        if (!app.Selection(&start, &end) || !app.Read(start, end, &text))
            return "<no selection>";
        return text;
    }

    static void DoubleClick(const Driver& app, long position)
    {
        POINT point = {0, 0};
        ASSERT_TRUE(app.PointOf(position, &point));
        INPUT inputs[5] = {};
        for (INPUT& input : inputs)
            input.type = INPUT_MOUSE;
        inputs[0].mi.dx = (point.x + 3) * 65535 / (GetSystemMetrics(SM_CXSCREEN) - 1);
        inputs[0].mi.dy = (point.y + 4) * 65535 / (GetSystemMetrics(SM_CYSCREEN) - 1);
        inputs[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
        for (int i = 1; i < 5; ++i)
            inputs[i].mi.dwFlags = i % 2 ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
        SendInput(5, inputs, sizeof(INPUT));
    }
};

TEST_F(PlacesDriverTest, KeysAndDoubleClicksOpenEachFormInTheEditor)
{
    Driver app("drive-places");
    const std::string editor = app.Folder() + "recordeditor.exe";
    const std::string record = app.Folder() + "recordeditor.txt";
    ASSERT_TRUE(CopyFileA((ExeDirectory() + "recordeditor.exe").c_str(), editor.c_str(), FALSE));
    DeleteFileA(record.c_str());
    // Enclosed in quotes, which the profile reader would take away.
    ASSERT_TRUE(app.WriteIni("[Setup]\r\nEditor=\"" + editor + "\" -n%l -c%c \"%f\"\r\n"));
    const std::string gcc = "places-src\\one dir\\..\\gcc.c:12:5: error: x";
    const std::string vc = kSource + "vc.cpp(34): warning C4: y";
    const std::string python = "  File \"places-src\\tool.py\", line 7, in <module>";
    const std::string missing = "places-src\\missing.c:3:";
    ASSERT_TRUE(StartOn(&app, {gcc, vc, python, missing}));

    const std::string opened = "\"" + editor + "\" ";
    const std::string gccOpened = opened + "-n12 -c5 \"" + kSource + "gcc.c\"\r\n";
    const std::string vcOpened = opened + "-n34 -c1 \"" + kSource + "vc.cpp\"\r\n";
    const std::string pythonOpened = opened + "-n7 -c1 \"" + kSource + "tool.py\"\r\n";
    const struct {
        bool shift;
        const std::string& line;
        const std::string& opened;
    } steps[] = {{false, gcc, gccOpened}, {false, vc, vcOpened}, {false, python, pythonOpened},
                 {true, vc, vcOpened}};
    std::string expected;
    for (const auto& step : steps) {
        if (step.shift)
            testing_support::PressWith(VK_SHIFT, VK_F4);
        else
            testing_support::Press(VK_F4);
        expected += step.opened;
        EXPECT_TRUE(WaitUntil(5000, [&] { return ReadFileText(record) == expected; }))
            << ReadFileText(record);
        EXPECT_EQ(step.line, Selected(app));
    }

    // A double-click on a message line opens it too; elsewhere it selects a word.
    std::string log = app.LogText();
    DoubleClick(app, static_cast<long>(log.find(python) + 4));
    expected += pythonOpened;
    EXPECT_TRUE(WaitUntil(5000, [&] { return ReadFileText(record) == expected; }));
    EXPECT_EQ(python, Selected(app));
    DoubleClick(app, static_cast<long>(log.find("Executing")));
    EXPECT_TRUE(WaitUntil(3000, [&] { return Selected(app) == "Executing:- "; })) << Selected(app);

    // A missing file: the box, and no editor.
    DoubleClick(app, static_cast<long>(log.find(missing) + 1));
    std::string text;
    HWND box = app.FindMessageBox(&text, nullptr);
    EXPECT_EQ("Cannot find the file \"" + kSource + "missing.c\"", text);
    Driver::Dismiss(box);
    testing_support::PumpFor(500);
    EXPECT_EQ(expected, ReadFileText(record));
    EXPECT_EQ(0u, app.Close());
}

TEST_F(PlacesDriverTest, WithoutAnEditorABatchFileOpensAsTextAndNeverRuns)
{
    Driver app("drive-places-bat");
    const std::string batch = kSource + "run me.bat";
    const std::string ran = kSource + "ran.txt";
    DeleteFileA(ran.c_str());
    ASSERT_TRUE(WriteFileText(batch, "echo ran> \"" + ran + "\"\r\n"));
    ASSERT_TRUE(StartOn(&app, {"places-src\\run me.bat:1: here"}));
    testing_support::Press(VK_F4);
    HWND notepad = nullptr;
    EXPECT_TRUE(WaitUntil(10000, [&] {
        return (notepad = FindWindowA("Notepad", "run me.bat - Notepad")) != nullptr;
    }));
    testing_support::PumpFor(1500);
    EXPECT_FALSE(testing_support::FileExists(ran));
    if (notepad)
        PostMessageA(notepad, WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, app.Close());
}

} // namespace
