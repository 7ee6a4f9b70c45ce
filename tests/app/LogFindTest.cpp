// Find in the log through real input: the dialog's text, Enter, F3 and Shift+F3, the options and
// a word that stands nowhere.
#include <gtest/gtest.h>

#include <windows.h>
#include <dlgs.h>

#include <cstring>
#include <functional>
#include <string>
#include <utility>

#include "app/LogFind.h"
#include "support/App.h"
#include "support/TestSupport.h"

using testing_support::App;
using testing_support::MessageBoxRecorder;

namespace {

// The message loop's step as the entry point takes it: the Find dialog first.
bool Serve(App& app, const std::function<bool()>& done, DWORD timeoutMs = 5000)
{
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > timeoutMs)
            return done();
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (!app.frame->logFind.TakeDialogMessage(&msg)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
        }
        Sleep(5);
    }
    return true;
}

void Type(const std::string& text)
{
    for (char c : text)
        testing_support::Press(static_cast<WORD>(LOBYTE(VkKeyScanA(c))));
}

std::pair<DWORD, DWORD> Selection(HWND pane)
{
    DWORD start = 0, end = 0;
    SendMessageA(pane, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return {start, end};
}

// Three matches of "beta" without Match case; the second alone with it.
const char kLog[] = "one beta\r\ntwo Beta\r\nthree beta\r\n";
const std::pair<DWORD, DWORD> kFirst(4, 8), kSecond(14, 18), kThird(26, 30);

// The program with kLog in its log, which has the focus in the foreground window.
class LogFindInTheProgram : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(app.created);
        pane = app.Pane();
        app.ClearLog();
        OutputPane::InsertChunk(pane, kLog);
        SetForegroundWindow(app.Main());
        SetFocus(pane);
    }

    MessageBoxRecorder boxes;
    App app;
    HWND pane = nullptr;
};

} // namespace

TEST_F(LogFindInTheProgram, TheDialogFindsAndF3MovesBetweenTheMatchesBothWaysWithWrap)
{
    SendMessageA(pane, EM_SETSEL, 0, 0);
    testing_support::PressWithControl('F');
    ASSERT_TRUE(Serve(app, [&] { return GetFocus() == GetDlgItem(app.frame->logFind.Dialog(), edt1); }));
    EXPECT_EQ(app.Main(), GetWindow(app.frame->logFind.Dialog(), GW_OWNER));
    Type("beta");
    testing_support::Press(VK_RETURN);
    EXPECT_TRUE(Serve(app, [&] { return Selection(pane) == kFirst; }));
    testing_support::Press(VK_ESCAPE);
    ASSERT_TRUE(Serve(app, [&] { return app.frame->logFind.Dialog() == nullptr; }));

    SetFocus(pane);
    const struct {
        bool backward;
        std::pair<DWORD, DWORD> match;
    } steps[] = {{false, kSecond}, {false, kThird}, {false, kFirst}, {true, kThird}, {true, kSecond}};
    for (const auto& step : steps) {
        step.backward ? testing_support::PressWith(VK_SHIFT, VK_F3) : testing_support::Press(VK_F3);
        EXPECT_TRUE(Serve(app, [&] { return Selection(pane) == step.match; }))
            << (step.backward ? "Shift+F3 to " : "F3 to ") << step.match.first;
    }
}

TEST_F(LogFindInTheProgram, MatchCaseUpAndAnAbsentWordThroughTheDialog)
{
    SendMessageA(pane, EM_SETSEL, kThird.first, kThird.second);  // one line: the dialog's text
    testing_support::PressWithControl('F');
    HWND dialog = nullptr;
    ASSERT_TRUE(Serve(app, [&] { return (dialog = app.frame->logFind.Dialog()) != nullptr; }));
    char text[64] = "";
    GetDlgItemTextA(dialog, edt1, text, sizeof text);
    EXPECT_STREQ("beta", text);

    // Match case: from the third match forward, past the end, to "Beta" alone.
    testing_support::PressWith(VK_MENU, 'C');
    ASSERT_TRUE(Serve(app, [&] { return IsDlgButtonChecked(dialog, chx2) == BST_CHECKED; }));
    SetFocus(GetDlgItem(dialog, edt1));
    SetDlgItemTextA(dialog, edt1, "Beta");
    testing_support::Press(VK_RETURN);
    EXPECT_TRUE(Serve(app, [&] { return Selection(pane) == kSecond; }));
    // Up, without Match case: the first match, before the second.
    testing_support::PressWith(VK_MENU, 'C');
    testing_support::PressWith(VK_MENU, 'U');
    ASSERT_TRUE(Serve(app, [&] { return IsDlgButtonChecked(dialog, rad1) == BST_CHECKED; }));
    SetFocus(GetDlgItem(dialog, edt1));
    testing_support::Press(VK_RETURN);
    EXPECT_TRUE(Serve(app, [&] { return Selection(pane) == kFirst; }));

    SetDlgItemTextA(dialog, edt1, "zeta");
    testing_support::Press(VK_RETURN);
    ASSERT_TRUE(Serve(app, [&] { return !boxes.Boxes().empty(); }));
    EXPECT_EQ("Cannot find \"zeta\"", boxes.Boxes()[0].text);
    EXPECT_EQ(dialog, boxes.Boxes()[0].owner);
    EXPECT_EQ(kFirst, Selection(pane));
}

TEST(LogFind, BothLogControlsFindWholeWordsAndCaseAcrossTheirLines)
{
    const struct {
        const char* what;
        DWORD flags;
        DWORD from;
        long at;  // -1: not found, the selection stays
    } cases[] = {
        {"beta", FR_DOWN, 0, 4},           {"BETA", FR_DOWN, 9, 14},
        {"Beta", FR_DOWN | FR_MATCHCASE, 20, 14}, {"eta", FR_DOWN | FR_WHOLEWORD, 0, -1},
        {"a\r\ntwo", FR_DOWN, 0, 7},       {"beta", 0, 4, 26},
        {"three beta\r\n", 0, 0, 20},      {"zeta", FR_DOWN, 3, -1},
    };
    for (const char* className : {"RichEdit", "Edit"}) {
        testing_support::HostedControl log(className);
        SetWindowTextA(log.Handle(), kLog);
        for (const auto& c : cases) {
            SendMessageA(log.Handle(), EM_SETSEL, c.from, c.from);
            EXPECT_EQ(c.at >= 0, LogFind::FindNext(log.Handle(), c.what, c.flags)) << c.what;
            const DWORD start = c.at >= 0 ? static_cast<DWORD>(c.at) : c.from;
            EXPECT_EQ(std::make_pair(start, c.at >= 0 ? start + DWORD(strlen(c.what)) : c.from),
                      Selection(log.Handle())) << className << " " << c.what;
        }
    }
}

TEST(LogFind, AMatchAcrossThePiecesOfALongLogIsFoundAtItsPlace)
{
    testing_support::HostedControl log;
    for (int at : {100, 16378, 16379, 16380, 32758}) {
        const std::string text = std::string(at - 1, 'x') + " beta beta\r\n";
        SetWindowTextA(log.Handle(), text.c_str());
        SendMessageA(log.Handle(), EM_SETSEL, 0, 0);
        EXPECT_TRUE(LogFind::FindNext(log.Handle(), "beta", FR_DOWN | FR_WHOLEWORD));
        EXPECT_EQ(std::make_pair(DWORD(at), DWORD(at + 4)), Selection(log.Handle())) << at;
        SendMessageA(log.Handle(), EM_SETSEL, 0, 0);
        EXPECT_TRUE(LogFind::FindNext(log.Handle(), "beta", 0));
        EXPECT_EQ(std::make_pair(DWORD(at + 5), DWORD(at + 9)), Selection(log.Handle())) << at;
    }
}
