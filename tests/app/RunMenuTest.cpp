// The Run popup built from the INI file beside the test program, on a real window that carries the
// application's own menu resource.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "res/Commands.h"
#include "app/MainFrame.h"
#include "res/resource.h"
#include "support/App.h"
#include "support/TestSupport.h"

using testing_support::IniFileGuard;
using testing_support::MenuItem;
using testing_support::MenuItems;

namespace {

class MenuWindow {
public:
    // menu: null for the application's menu resource.
    explicit MenuWindow(HMENU menu = nullptr, bool withMenu = true)
    {
        if (withMenu && !menu)
            menu = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINMENU));
        window = testing_support::CreateHostWindow("Run menu test", withMenu ? menu : nullptr);
    }
    ~MenuWindow()
    {
        if (window)
            DestroyWindow(window);  // destroys the menu with it
    }
    HWND Handle() const { return window; }
    HMENU RunMenu() const { return GetSubMenu(GetMenu(window), 1); }

private:
    HWND window;
};

// Positions of the items that carry a check mark.
std::vector<int> CheckedPositions(const std::vector<MenuItem>& items)
{
    std::vector<int> positions;
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i].state & MF_CHECKED)
            positions.push_back(static_cast<int>(i));
    return positions;
}

void Rebuild(const MenuWindow& window, int times = 1)
{
    MainFrame frame;
    for (int i = 0; i < times; ++i)
        frame.RebuildRunMenu(window.Handle());
}

// The eight items of slots 1 to 8 in order, after the resource's Default item.
void ExpectSlotItemsInOrder(const std::vector<MenuItem>& items)
{
    ASSERT_EQ(9u, items.size());
    EXPECT_EQ(static_cast<UINT>(ID_RUN_DEFAULT), items[0].id);
    EXPECT_EQ("&Default\tCtrl+D", items[0].text);
    for (int k = 0; k < 8; ++k) {
        EXPECT_EQ(static_cast<UINT>(0xE000 + k), items[k + 1].id) << "slot " << k + 1;
        EXPECT_EQ(0u, items[k + 1].state & (MF_GRAYED | MF_DISABLED)) << "slot " << k + 1;
    }
}

} // namespace

TEST(RunMenu, ItemTextNamesTheProgramFileOfTheSlot)
{
    struct Case {
        const char* path;
        const char* expectedText;
    } cases[] = {
        {"C:\\Tools\\lint.exe", "&3.\tCtrl+3  lint.exe"},
        {"C:\\My.Projects\\v1.2\\archive.tar.gz", "&3.\tCtrl+3  archive.tar.gz"},
        {"C:\\Tools\\make", "&3.\tCtrl+3  make"},
        {"C:\\Tools\\", "&3.\tCtrl+3  "},
        {"C:/Program Files/app/tool.bat", "&3.\tCtrl+3  tool.bat"},
        {"C:\\mixed/dirs\\last.cmd", "&3.\tCtrl+3  last.cmd"},
        {"D:name.exe", "&3.\tCtrl+3  name.exe"},
        {"plain.exe", "&3.\tCtrl+3  plain.exe"},
        {"", "&3.\tCtrl+3  "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        IniFileGuard ini(std::string("[Setup]\r\nPath3=") + c.path +
                         "\r\nArgs3=--not-shown\r\nDefault=1024\r\n");
        MenuWindow window;
        Rebuild(window);
        std::vector<MenuItem> items = MenuItems(window.RunMenu());
        ExpectSlotItemsInOrder(items);
        ASSERT_EQ(9u, items.size());
        EXPECT_EQ(c.expectedText, items[3].text);
    }
}

TEST(RunMenu, EverySlotIsListedWithItsNumberAndShortcut)
{
    IniFileGuard ini(
        "[Setup]\r\n"
        "Path1=C:\\Tools\\lint.exe\r\nArgs1=-v\r\n"
        "Path2=C:\\b\\two.bat\r\n"
        "Path4=\\\\server\\share\\four.cmd\r\n"
        "Path8=C:\\h\\eight\r\n"
        "Default=1027\r\n");
    MenuWindow window;
    Rebuild(window);
    std::vector<MenuItem> items = MenuItems(window.RunMenu());
    ExpectSlotItemsInOrder(items);
    const std::vector<std::string> expected = {
        "&Default\tCtrl+D",
        "&1.\tCtrl+1  lint.exe",
        "&2.\tCtrl+2  two.bat",
        "&3.\tCtrl+3  ",
        "&4.\tCtrl+4  four.cmd",
        "&5.\tCtrl+5  ",
        "&6.\tCtrl+6  ",
        "&7.\tCtrl+7  ",
        "&8.\tCtrl+8  eight",
    };
    ASSERT_EQ(expected.size(), items.size());
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(expected[i], items[i].text) << "position " << i;
    EXPECT_EQ(std::vector<int>{4}, CheckedPositions(items));
}

TEST(RunMenu, CheckMarkIsOnTheDefaultSlot)
{
    struct Case {
        const char* defaultLine;  // null: no settings file at all
        int checkedPosition;
    } cases[] = {
        {"Default=1024\r\n", 1},
        {"Default=1025\r\n", 2},
        {"Default=1028\r\n", 5},
        {"Default=1031\r\n", 8},
        {"", 2},  // no "Default" key: the second slot
        {"Default=0\r\n", 2},
        {"Default=1032\r\n", 2},
        {"Default=1023\r\n", 2},
        {"Default=-1\r\n", 2},
        {"Default=abc\r\n", 2},
        {nullptr, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.defaultLine ? c.defaultLine : "no file");
        IniFileGuard ini;
        if (c.defaultLine)
            testing_support::WriteFileText(ini.Path(), std::string("[Setup]\r\nPath1=C:\\a.exe\r\n") +
                                                           c.defaultLine);
        MenuWindow window;
        Rebuild(window);
        std::vector<MenuItem> items = MenuItems(window.RunMenu());
        ExpectSlotItemsInOrder(items);
        EXPECT_EQ(std::vector<int>{c.checkedPosition}, CheckedPositions(items));
        if (!c.defaultLine) {
            for (size_t i = 1; i < items.size(); ++i) {
                const std::string n = std::to_string(i);
                EXPECT_EQ("&" + n + ".\tCtrl+" + n + "  ", items[i].text);
            }
            EXPECT_FALSE(testing_support::FileExists(ini.Path()));
        }
    }
}

TEST(RunMenu, RebuildingLeavesNineItemsAndOneCheckMark)
{
    for (int times : {1, 2, 5}) {
        SCOPED_TRACE(times);
        IniFileGuard ini("[Setup]\r\nPath1=C:\\one.exe\r\nPath6=C:\\six.exe\r\nDefault=1029\r\n");
        MenuWindow window;
        ASSERT_EQ(1, GetMenuItemCount(window.RunMenu()));  // the resource's Default item alone
        Rebuild(window, times);
        std::vector<MenuItem> items = MenuItems(window.RunMenu());
        ExpectSlotItemsInOrder(items);
        EXPECT_EQ(std::vector<int>{6}, CheckedPositions(items));
        EXPECT_EQ("&6.\tCtrl+6  six.exe", items[6].text);
    }
}

TEST(RunMenu, RebuildFollowsChangesOfTheFile)
{
    IniFileGuard ini("[Setup]\r\nPath2=C:\\old.exe\r\nDefault=1026\r\n");
    MenuWindow window;
    MainFrame frame;
    frame.RebuildRunMenu(window.Handle());
    ASSERT_EQ(std::vector<int>{3}, CheckedPositions(MenuItems(window.RunMenu())));

    WritePrivateProfileStringA("Setup", "Path2", "C:\\dir\\new.exe", ini.Path().c_str());
    WritePrivateProfileStringA("Setup", "Default", "1030", ini.Path().c_str());
    frame.RebuildRunMenu(window.Handle());
    std::vector<MenuItem> items = MenuItems(window.RunMenu());
    ExpectSlotItemsInOrder(items);
    EXPECT_EQ("&2.\tCtrl+2  new.exe", items[2].text);
    EXPECT_EQ(std::vector<int>{7}, CheckedPositions(items));
}

TEST(RunMenu, WindowWithoutRunPopupIsLeftAlone)
{
    IniFileGuard ini("[Setup]\r\nPath1=C:\\one.exe\r\n");
    {
        MenuWindow window(nullptr, false);
        ASSERT_NE(nullptr, window.Handle());
        Rebuild(window);
        EXPECT_EQ(nullptr, GetMenu(window.Handle()));
    }
    {
        HMENU bar = CreateMenu();
        HMENU file = CreatePopupMenu();
        AppendMenuA(file, MF_STRING, 105, "E&xit");
        AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), "&File");
        MenuWindow window(bar);
        Rebuild(window);
        EXPECT_EQ(1, GetMenuItemCount(bar));
        EXPECT_EQ(1, GetMenuItemCount(file));
    }
}
