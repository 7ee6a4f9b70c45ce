// The help launcher: the real HTML Help control with the compiled guide beside the test program,
// and a scripted control for what Wine's does not do (HH_GET_LAST_ERROR) or what must not happen
// (exceptions).
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "about/HelpLauncher.h"
#include "base/Seams.h"
#include "support/TestSupport.h"

using testing_support::BesideExe;
using testing_support::MessageBoxRecorder;
using testing_support::PumpUntil;

namespace {

// The test program's own path with the extension .chm: where the launcher looks.
std::string OwnHelpPath()
{
    std::string ini = testing_support::OwnIniPath();
    return ini.substr(0, ini.size() - 4) + ".chm";
}

struct HelpCall {
    HWND caller;
    std::string file;  // "<null>" for no file
    UINT command;
    std::string topic; // for HH_DISPLAY_TOPIC
    int lastErrorSize; // for HH_GET_LAST_ERROR
    HH_WINTYPE record; // for HH_SET_WIN_TYPE
};

// What the scripted control answers.
struct Script {
    HWND displayResult = nullptr;
    LONG_PTR getWinTypeResult = 0;
    HWND setWinTypeResult = nullptr;
    bool lastErrorAnswers = true;
    HRESULT hr = E_FAIL;
    const wchar_t* description = nullptr;
    UINT throwOn = 0xFFFF;
    UINT faultOn = 0xFFFF;  // a structured exception, as a fault inside the control raises
    bool fillsRecord = false;
};

Script script;
std::vector<HelpCall> calls;
HH_WINTYPE givenType;

HWND WINAPI ScriptedHelp(HWND caller, LPCSTR file, UINT command, DWORD_PTR data)
{
    HelpCall call;
    std::memset(&call.record, 0, sizeof call.record);
    call.caller = caller;
    call.file = file ? file : "<null>";
    call.command = command;
    call.lastErrorSize = 0;
    if (command == HH_DISPLAY_TOPIC)
        call.topic = data ? reinterpret_cast<const char*>(data) : "<null>";
    if (command == HH_SET_WIN_TYPE)
        call.record = *reinterpret_cast<const HH_WINTYPE*>(data);
    if (command == HH_GET_LAST_ERROR)
        call.lastErrorSize = reinterpret_cast<HH_LAST_ERROR*>(data)->cbStruct;
    calls.push_back(call);

    if (command == script.throwOn)
        throw std::runtime_error("the help control failed");
    if (command == script.faultOn)
        RaiseException(EXCEPTION_ACCESS_VIOLATION, 0, 0, nullptr);
    switch (command) {
    case HH_DISPLAY_TOPIC:
        return script.displayResult;
    case HH_GET_WIN_TYPE:
        if (script.fillsRecord)  // Wine's way: the record itself, where the pointer should go
            *reinterpret_cast<HH_WINTYPE*>(data) = givenType;
        else
            *reinterpret_cast<HH_WINTYPE**>(data) = &givenType;
        return reinterpret_cast<HWND>(script.getWinTypeResult);
    case HH_SET_WIN_TYPE:
        return script.setWinTypeResult;
    case HH_GET_LAST_ERROR: {
        if (!script.lastErrorAnswers)
            return nullptr;
        HH_LAST_ERROR* record = reinterpret_cast<HH_LAST_ERROR*>(data);
        record->hr = script.hr;
        record->description = script.description ? SysAllocString(script.description) : nullptr;
        return reinterpret_cast<HWND>(static_cast<LONG_PTR>(1));
    }
    default:
        return nullptr;
    }
}

class HelpLauncherScripted : public ::testing::Test {
protected:
    void SetUp() override
    {
        script = Script();
        calls.clear();
        std::memset(&givenType, 0, sizeof givenType);
        seams::htmlHelp = ScriptedHelp;
    }
    void TearDown() override { seams::Restore(); }
};

HWND FindHelpWindow()
{
    return FindWindowA("HH Parent", nullptr);
}

} // namespace

TEST_F(HelpLauncherScripted, MissingFileShowsTheControlsDescriptionAndThePath)
{
    const std::string path = OwnHelpPath();
    struct Case {
        const char* name;
        bool answers;
        HRESULT hr;
        const wchar_t* description;
        bool boxShown;
    };
    const Case cases[] = {
        {"failure with a description", true, static_cast<HRESULT>(0x80030002),
         L"The system cannot find the file specified.", true},
        {"E_FAIL", true, E_FAIL, L"Unable to open the help file.", true},
        {"success status", true, S_OK, L"Nothing went wrong.", false},
        {"no description", true, E_FAIL, nullptr, false},
        {"the control does not answer", false, E_FAIL, L"ignored", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        calls.clear();
        script.lastErrorAnswers = c.answers;
        script.hr = c.hr;
        script.description = c.description;
        MessageBoxRecorder boxes;
        HelpLauncher().Open();

        ASSERT_EQ(calls.size(), 2u);
        EXPECT_EQ(calls[0].caller, nullptr);
        EXPECT_EQ(calls[0].file, path);
        EXPECT_EQ(calls[0].command, static_cast<UINT>(HH_DISPLAY_TOPIC));
        EXPECT_EQ(calls[0].topic, "index.html");
        EXPECT_EQ(calls[1].caller, nullptr);
        EXPECT_EQ(calls[1].file, "<null>");
        EXPECT_EQ(calls[1].command, static_cast<UINT>(HH_GET_LAST_ERROR));
        EXPECT_EQ(calls[1].lastErrorSize, static_cast<int>(sizeof(HH_LAST_ERROR)));

        if (!c.boxShown) {
            EXPECT_TRUE(boxes.Boxes().empty());
            continue;
        }
        ASSERT_EQ(boxes.Boxes().size(), 1u);
        const testing_support::RecordedBox& box = boxes.Boxes()[0];
        std::wstring wide(c.description);
        EXPECT_EQ(box.text, std::string(wide.begin(), wide.end()) + "\n" + path);
        EXPECT_EQ(box.caption, "Help Error");
        EXPECT_EQ(box.style, static_cast<UINT>(MB_ICONERROR | MB_OK));
        EXPECT_EQ(box.owner, nullptr);
    }
}

TEST_F(HelpLauncherScripted, LongDescriptionIsCutToFitTheMessage)
{
    const std::string path = OwnHelpPath();
    const size_t room = 259 - 1 - path.size();  // what is left for the description
    ASSERT_GT(room, 10u) << "test folder path too long for this test";
    const size_t lengths[] = {1, room - 1, room, room + 1, 259, 260, 300, 2000};
    for (size_t length : lengths) {
        SCOPED_TRACE("description of " + std::to_string(length) + " characters");
        std::wstring description;
        for (size_t i = 0; i < length; ++i)
            description += static_cast<wchar_t>(L'a' + i % 26);
        script.description = description.c_str();
        MessageBoxRecorder boxes;
        HelpLauncher().Open();
        ASSERT_EQ(boxes.Boxes().size(), 1u);
        const std::string& text = boxes.Boxes()[0].text;
        size_t kept = length < room ? length : room;
        EXPECT_EQ(text, std::string(description.begin(), description.begin() + kept) + "\n" + path);
        EXPECT_LE(text.size(), 259u);
    }
}

TEST_F(HelpLauncherScripted, OpenedTopicIsShownMaximisedInTheMainWindowType)
{
    const std::string path = OwnHelpPath();
    const std::string typePath = path + ">MainWindow";
    struct Case {
        const char* name;
        LONG_PTR getResult;
        HWND setResult;
        bool fillsRecord;
        std::vector<UINT> commands;
    };
    const HWND someWindow = reinterpret_cast<HWND>(static_cast<LONG_PTR>(0x1234));
    const std::vector<Case> cases = {
        {"type changed", 1, someWindow, false,
         {HH_DISPLAY_TOPIC, HH_GET_WIN_TYPE, HH_SET_WIN_TYPE, HH_DISPLAY_TOPIC}},
        {"no such window type (0)", 0, someWindow, false, {HH_DISPLAY_TOPIC, HH_GET_WIN_TYPE}},
        {"no such window type (-1)", -1, someWindow, false, {HH_DISPLAY_TOPIC, HH_GET_WIN_TYPE}},
        {"change refused", 1, nullptr, false,
         {HH_DISPLAY_TOPIC, HH_GET_WIN_TYPE, HH_SET_WIN_TYPE}},
        {"record copied in place of the pointer, result 0", 0, someWindow, true,
         {HH_DISPLAY_TOPIC, HH_GET_WIN_TYPE}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        calls.clear();
        script.fillsRecord = c.fillsRecord;
        script.displayResult = someWindow;
        script.getWinTypeResult = c.getResult;
        script.setWinTypeResult = c.setResult;
        std::memset(&givenType, 0x5A, sizeof givenType);
        givenType.cbStruct = sizeof givenType;
        givenType.fsValidMembers = 0x0413;
        givenType.nShowState = SW_SHOWNORMAL;
        givenType.fNotExpanded = FALSE;
        givenType.pszType = "MainWindow";
        const HH_WINTYPE original = givenType;

        MessageBoxRecorder boxes;
        HelpLauncher().Open();
        EXPECT_TRUE(boxes.Boxes().empty());
        std::vector<UINT> commands;
        for (const HelpCall& call : calls)
            commands.push_back(call.command);
        EXPECT_EQ(commands, c.commands);
        for (size_t i = 0; i < calls.size(); ++i) {
            EXPECT_EQ(calls[i].caller, nullptr);
            bool typeCall =
                calls[i].command == HH_GET_WIN_TYPE || calls[i].command == HH_SET_WIN_TYPE;
            EXPECT_EQ(calls[i].file, typeCall ? typePath : path) << "call " << i;
            if (calls[i].command == HH_DISPLAY_TOPIC) {
                EXPECT_EQ(calls[i].topic, "index.html");
            }
        }
        EXPECT_EQ(std::memcmp(&givenType, &original, sizeof givenType), 0)
            << "the control's own record is not changed";
        if (calls.size() >= 3) {
            HH_WINTYPE expected = original;
            expected.fNotExpanded = TRUE;
            expected.nShowState = SW_SHOWMAXIMIZED;
            EXPECT_EQ(std::memcmp(&calls[2].record, &expected, sizeof expected), 0)
                << "a whole copy with the navigation pane collapsed and the window maximised";
        }
    }
}

TEST_F(HelpLauncherScripted, ExceptionWhileDrivingTheControlShowsTheFixedMessage)
{
    const UINT failingCommands[] = {HH_DISPLAY_TOPIC, HH_GET_WIN_TYPE, HH_SET_WIN_TYPE,
                                    HH_GET_LAST_ERROR};
    for (UINT command : failingCommands) {
        SCOPED_TRACE("throws on command " + std::to_string(command));
        script = Script();
        script.throwOn = command;
        script.displayResult = command == HH_GET_LAST_ERROR
                                   ? nullptr
                                   : reinterpret_cast<HWND>(static_cast<LONG_PTR>(1));
        script.getWinTypeResult = 1;
        script.setWinTypeResult = reinterpret_cast<HWND>(static_cast<LONG_PTR>(1));
        MessageBoxRecorder boxes;
        HelpLauncher().Open();
        ASSERT_EQ(boxes.Boxes().size(), 1u);
        EXPECT_EQ(boxes.Boxes()[0].text,
                  "Failed to open the Help automatically, please open it manually");
        EXPECT_EQ(boxes.Boxes()[0].caption, "<null>");
        EXPECT_EQ(boxes.Boxes()[0].style, static_cast<UINT>(MB_ICONINFORMATION));
        EXPECT_EQ(boxes.Boxes()[0].owner, nullptr);
    }
}

#ifdef _MSC_VER
// Only the MSVC build guards against structured exceptions (MinGW has no __try).
TEST_F(HelpLauncherScripted, FaultInsideTheControlShowsTheFixedMessage)
{
    script.faultOn = HH_DISPLAY_TOPIC;
    MessageBoxRecorder boxes;
    HelpLauncher().Open();
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, "Failed to open the Help automatically, please open it manually");
}
#endif

// The real HTML Help control with the compiled guide copied beside the test program.
TEST(HelpLauncher, OpensTheGuideInAHelpWindow)
{
    seams::Restore();
    const std::string guide = BesideExe("Velqueth.chm");
    const std::string help = OwnHelpPath();
    ASSERT_TRUE(testing_support::FileExists(guide)) << guide;
    ASSERT_TRUE(CopyFileA(guide.c_str(), help.c_str(), FALSE)) << help;
    ASSERT_EQ(FindHelpWindow(), nullptr);

    MessageBoxRecorder boxes;
    HelpLauncher().Open();
    HWND window = nullptr;
    EXPECT_TRUE(PumpUntil([&] { return (window = FindHelpWindow()) != nullptr; }));
    EXPECT_TRUE(boxes.Boxes().empty());
    if (window) {
        char title[128] = "";
        GetWindowTextA(window, title, sizeof title);
        EXPECT_STREQ(title, "Velqueth User Guide");
        EXPECT_EQ(GetWindowThreadProcessId(window, nullptr), GetCurrentThreadId());

        EXPECT_EQ(FindWindowExA(nullptr, window, "HH Parent", nullptr), nullptr)
            << "only one help window";
        // A second Open is left out here: Wine's control keeps the file open for good when a
        // topic is shown again in an open window, and the copy could not be removed.
    }

    CallHtmlHelp(nullptr, nullptr, HH_CLOSE_ALL, 0);
    if (window && IsWindow(window))
        SendMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(PumpUntil([] { return FindHelpWindow() == nullptr; }));
    DWORD error = 0;
    PumpUntil([&] {
        if (DeleteFileA(help.c_str()))
            return true;
        error = GetLastError();
        return false;
    }, 5000);
    EXPECT_FALSE(testing_support::FileExists(help)) << "error " << error;
}

// Without a guide beside the program the real control shows no window. Wine's control gives no
// last-error description, Windows' does: either way nothing but a "Help Error" box may appear.
TEST(HelpLauncher, MissingGuideOpensNoWindow)
{
    seams::Restore();
    const std::string help = OwnHelpPath();
    DeleteFileA(help.c_str());
    ASSERT_FALSE(testing_support::FileExists(help));

    MessageBoxRecorder boxes;
    HelpLauncher().Open();
    testing_support::PumpFor(200);
    EXPECT_EQ(FindHelpWindow(), nullptr);
    ASSERT_LE(boxes.Boxes().size(), 1u);
    if (!boxes.Boxes().empty()) {
        const testing_support::RecordedBox& box = boxes.Boxes()[0];
        EXPECT_EQ(box.caption, "Help Error");
        EXPECT_EQ(box.style, static_cast<UINT>(MB_ICONERROR | MB_OK));
        const std::string tail = "\n" + help;
        ASSERT_GE(box.text.size(), tail.size());
        EXPECT_EQ(box.text.substr(box.text.size() - tail.size()), tail);
    }
}
