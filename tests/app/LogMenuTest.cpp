// The log's context menu, opened with a real right click: its items and grey states read while
// it is open, and Copy chosen from it.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "support/App.h"
#include "support/TestSupport.h"

using testing_support::App;

namespace {

std::vector<std::string> shownItems;

// Runs inside the menu's own loop: reads the open menu, then chooses Copy with its key.
void CALLBACK ReadOpenMenu(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND popup = FindWindowA("#32768", nullptr);
    HMENU menu = popup ? reinterpret_cast<HMENU>(SendMessageA(popup, 0x01E1, 0, 0)) : nullptr;
    if (!menu)
        return;
    KillTimer(nullptr, timer);
    for (const testing_support::MenuItem& item : testing_support::MenuItems(menu))
        shownItems.push_back(item.separator ? "-" : item.text + (item.state & MFS_GRAYED ? " (grey)" : ""));
    testing_support::Press('C');
}

void RightClick(HWND window, int x, int y)
{
    POINT at = {x, y};
    ClientToScreen(window, &at);
    SetCursorPos(at.x, at.y);
    INPUT clicks[2] = {};
    clicks[0].type = clicks[1].type = INPUT_MOUSE;
    clicks[0].mi.dwFlags = MOUSEEVENTF_RIGHTDOWN;
    clicks[1].mi.dwFlags = MOUSEEVENTF_RIGHTUP;
    SendInput(2, clicks, sizeof(INPUT));
}

} // namespace

bool ClipboardHolds(const std::string& text)
{
    if (!OpenClipboard(nullptr))
        return false;
    HANDLE data = GetClipboardData(CF_TEXT);
    bool holds = data && std::string(static_cast<const char*>(GlobalLock(data))) == text;
    if (data)
        GlobalUnlock(data);
    CloseClipboard();
    return holds;
}

TEST(LogMenu, ARightClickOrAKeyShowsTheItemsGreyWhereTheyCannotActAndCopyCopies)
{
    App app;
    ASSERT_TRUE(app.created);
    HWND pane = app.Pane();
    app.ClearLog();
    OutputPane::InsertChunk(app.Pane(), "copy me\r\n");
    const std::vector<std::string> expected = {
        "&Undo (grey)", "-", "Cu&t", "&Copy", "&Paste (grey)", "&Delete", "-", "Select &All", "-",
        "&Find...\tCtrl+F", "Find &Next\tF3 (grey)", "Sa&ve Log As...\tCtrl+S", "-",
        "&Stop the running program\tCtrl+Break (grey)", "C&lear Screen\tCtrl+L"};
    for (const char* opener : {"right click", "Shift+F10", "menu key"}) {
        SCOPED_TRACE(opener);
        if (OpenClipboard(nullptr)) {
            EmptyClipboard();
            CloseClipboard();
        }
        SetForegroundWindow(app.Main());
        SetFocus(pane);
        SendMessageA(pane, EM_SETSEL, 0, 4);
        shownItems.clear();
        SetTimer(nullptr, 0, 50, ReadOpenMenu);
        if (opener[0] == 'r')
            RightClick(pane, 10, 5);
        else if (opener[0] == 'S')
            testing_support::PressWith(VK_SHIFT, VK_F10);
        else
            testing_support::Press(VK_APPS);
        ASSERT_TRUE(testing_support::PumpUntil([] { return !shownItems.empty(); }, 5000));
        EXPECT_EQ(expected, shownItems);
        EXPECT_TRUE(testing_support::PumpUntil([] { return ClipboardHolds("copy"); }, 5000));
    }
}
