// The main window made in-process, as the entry point makes it: its class, its pane with the
// banner, the toolbar, the layout, the notifications, the editing commands and closing.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <richedit.h>

#include <cstring>
#include <string>
#include <vector>

#include "res/BuildConstants.h"
#include "res/Commands.h"
#include "app/MainFrame.h"
#include "res/resource.h"
#include "support/App.h"
#include "support/TestSupport.h"
#include "tests/helpers/ChildPattern.h"

using testing_support::App;
using testing_support::ColourAt;
using testing_support::IniFileGuard;
using testing_support::PumpFor;
using testing_support::PumpUntil;
using testing_support::TakeQuit;
using testing_support::WindowText;

namespace {

const char kBanner[] = "Velqueth Version   1.0.0.0\t" VELQUETH_WEB_URL "\r\n";

// What the program asked for when it created a window, before the control adjusts anything.
struct CreatedWindow {
    HWND window;
    std::string className;
    LONG style;
    DWORD exStyle;
    int x, y, width, height;
    HWND parent;
    INT_PTR id;
    HINSTANCE instance;
};
// A WM_SETFONT that was sent.
struct SentFont {
    HWND window;
    HFONT font;
    LPARAM redraw;
};
std::vector<CreatedWindow> createdWindows;
std::vector<SentFont> sentFonts;
// Child window classes whose creation is refused, to see the pane's fallbacks.
std::vector<std::string> refusedClasses;

LRESULT CALLBACK RecordCreation(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND) {
        const CREATESTRUCTA* create = reinterpret_cast<CBT_CREATEWNDA*>(lParam)->lpcs;
        HWND window = reinterpret_cast<HWND>(wParam);
        char name[256] = "";
        if (HIWORD(reinterpret_cast<UINT_PTR>(create->lpszClass)))
            lstrcpynA(name, create->lpszClass, sizeof name);
        else
            GetClassNameA(window, name, sizeof name);
        // The common controls 6 of the manifest own "Edit": the hook may see the class with the
        // assembly's version before it ("6.0.2600.2982!Edit"); the program asked for "Edit".
        const char* asked = std::strrchr(name, '!') ? std::strrchr(name, '!') + 1 : name;
        createdWindows.push_back({window, asked, create->style, create->dwExStyle, create->x,
                                  create->y, create->cx, create->cy, create->hwndParent,
                                  reinterpret_cast<INT_PTR>(create->hMenu), create->hInstance});
        if (create->style & WS_CHILD)
            for (const std::string& refused : refusedClasses)
                if (lstrcmpiA(refused.c_str(), asked) == 0)
                    return 1;  // the creation fails
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK RecordFont(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT* sent = reinterpret_cast<CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && sent->message == WM_SETFONT)
        sentFonts.push_back({sent->hwnd, reinterpret_cast<HFONT>(sent->wParam), sent->lParam});
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Records what the main window's creation asks of the system (createdWindows, sentFonts), and
// refuses the child windows of the given classes, until StopRecording.
class CreationRecorder {
public:
    explicit CreationRecorder(std::vector<std::string> refused)
    {
        refusedClasses = refused;
        createdWindows.clear();
        sentFonts.clear();
        creation = SetWindowsHookExA(WH_CBT, RecordCreation, nullptr, GetCurrentThreadId());
        fonts = SetWindowsHookExA(WH_CALLWNDPROC, RecordFont, nullptr, GetCurrentThreadId());
    }
    ~CreationRecorder() { StopRecording(); }
    void StopRecording()
    {
        if (creation)
            UnhookWindowsHookEx(creation);
        if (fonts)
            UnhookWindowsHookEx(fonts);
        creation = fonts = nullptr;
        refusedClasses.clear();
    }

private:
    HHOOK creation, fonts;
};

// The main window made with no settings file (the guard comes before the frame), its creation
// recorded.
class RecordedApp : private IniFileGuard, private CreationRecorder, public App {
public:
    explicit RecordedApp(std::vector<std::string> refused = {}) : CreationRecorder(refused)
    {
        StopRecording();
        PumpFor(50);
    }
};

std::string ClassName(HWND window)
{
    char name[256] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::string Title(HWND window)
{
    char title[256] = "";
    GetWindowTextA(window, title, sizeof title);
    return title;
}

// The window's rectangle in its parent's client coordinates.
RECT ChildRect(HWND child)
{
    RECT rect;
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

std::string Clipboard()
{
    std::string text = "<no text>";
    if (!OpenClipboard(nullptr))
        return "<not opened>";
    HANDLE data = GetClipboardData(CF_TEXT);
    if (data) {
        const char* p = static_cast<const char*>(GlobalLock(data));
        if (p)
            text = p;
        GlobalUnlock(data);
    }
    CloseClipboard();
    return text;
}

void SetClipboard(const std::string& text)
{
    if (!OpenClipboard(nullptr))
        return;
    EmptyClipboard();
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
    if (memory) {
        memcpy(GlobalLock(memory), text.c_str(), text.size() + 1);
        GlobalUnlock(memory);
        if (!SetClipboardData(CF_TEXT, memory))
            GlobalFree(memory);
    }
    CloseClipboard();
}

void EmptyTheClipboard()
{
    if (OpenClipboard(nullptr)) {
        EmptyClipboard();
        CloseClipboard();
    }
}

std::pair<DWORD, DWORD> Selection(HWND window)
{
    DWORD start = 0, end = 0;
    SendMessageA(window, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return {start, end};
}

} // namespace

TEST(MainWindow, IsCreatedWithItsClassTitleStylesAndMenu)
{
    RecordedApp app;
    ASSERT_TRUE(app.created);
    HWND main = app.Main();
    ASSERT_NE(nullptr, main);
    HINSTANCE instance = GetModuleHandleA(nullptr);

    EXPECT_EQ("Velqueth", Title(main));
    EXPECT_EQ("VELQUETH", ClassName(main));
    EXPECT_STREQ("Velqueth", app.frame->windowTitle);
    EXPECT_STREQ("VELQUETH", app.frame->windowClassName);
    EXPECT_EQ(main, FindWindowA(nullptr, "Velqueth"));
    EXPECT_TRUE(IsWindowVisible(main));
    EXPECT_EQ(nullptr, GetParent(main));

    const LONG_PTR style = GetWindowLongPtrA(main, GWL_STYLE);
    const LONG_PTR exStyle = GetWindowLongPtrA(main, GWL_EXSTYLE);
    EXPECT_EQ(WS_OVERLAPPEDWINDOW, style & WS_OVERLAPPEDWINDOW);
    EXPECT_EQ(0, style & (WS_CHILD | WS_POPUP));
    EXPECT_EQ(WS_EX_ACCEPTFILES, exStyle & WS_EX_ACCEPTFILES);
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(app.frame), GetWindowLongPtrA(main, GWLP_USERDATA));
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(instance), GetWindowLongPtrA(main, GWLP_HINSTANCE));

    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    ASSERT_TRUE(GetClassInfoExA(instance, "VELQUETH", &windowClass));
    EXPECT_EQ(static_cast<UINT>(CS_HREDRAW | CS_VREDRAW), windowClass.style);
    EXPECT_EQ(&MainFrame::MainWindowProc, windowClass.lpfnWndProc);
    EXPECT_NE(nullptr, windowClass.hIcon);
    EXPECT_NE(nullptr, reinterpret_cast<HICON>(GetClassLongPtrA(main, GCLP_HICON)));
    EXPECT_EQ(LoadCursorA(nullptr, IDC_ARROW), windowClass.hCursor);
    EXPECT_EQ(reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1)), windowClass.hbrBackground);
    EXPECT_EQ(MAKEINTRESOURCEA(IDR_MAINMENU), windowClass.lpszMenuName);

    HMENU menu = GetMenu(main);
    ASSERT_NE(nullptr, menu);
    EXPECT_EQ(3, GetMenuItemCount(menu));
    char popup[64] = "";
    GetMenuStringA(menu, 1, popup, sizeof popup, MF_BYPOSITION);
    EXPECT_STREQ("&Run", popup);
}

TEST(MainWindow, KeepsTheFocusAfterCreation)
{
    RecordedApp app;
    ASSERT_TRUE(app.created);
    EXPECT_NE(app.Pane(), GetFocus());
    EXPECT_EQ(app.Main(), GetFocus());
}

TEST(MainWindow, PaneIsARichEditWithFixedFontAndGreyBanner)
{
    RecordedApp app;
    ASSERT_TRUE(app.created);
    HWND pane = app.Pane();
    ASSERT_NE(nullptr, pane);
    EXPECT_EQ(pane, app.frame->paneWindow);
    EXPECT_EQ(pane, app.frame->outputPane.window);
    EXPECT_FALSE(app.frame->outputPane.plainEdit);
    EXPECT_EQ(0, lstrcmpiA("RichEdit", ClassName(pane).c_str())) << ClassName(pane);
    EXPECT_EQ(IDC_PANE, GetDlgCtrlID(pane));
    EXPECT_EQ(app.Main(), GetParent(pane));
    EXPECT_EQ(GetWindowLongPtrA(app.Main(), GWLP_HINSTANCE), GetWindowLongPtrA(pane, GWLP_HINSTANCE));

    // What the program asked for: exactly these attributes, the main window's whole client area
    // at that moment, and no second attempt with the plain class.
    std::vector<CreatedWindow> panes;
    for (const CreatedWindow& created : createdWindows)
        if (created.parent == app.Main() && created.id == IDC_PANE)
            panes.push_back(created);
    ASSERT_EQ(1u, panes.size());
    const CreatedWindow& asked = panes[0];
    EXPECT_EQ(pane, asked.window);
    EXPECT_EQ("RichEdit", asked.className);
    EXPECT_EQ(0x50B000C4, asked.style) << std::hex << asked.style;
    EXPECT_EQ(static_cast<DWORD>(WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | WS_HSCROLL |
                                 ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL),
              0x50B000C4u);
    EXPECT_EQ(static_cast<DWORD>(WS_EX_CONTROLPARENT), asked.exStyle);
    EXPECT_EQ(0, asked.x);
    EXPECT_EQ(0, asked.y);
    RECT client;
    GetClientRect(app.Main(), &client);
    EXPECT_EQ(client.right, asked.width);
    EXPECT_EQ(client.bottom, asked.height);
    EXPECT_EQ(reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(app.Main(), GWLP_HINSTANCE)), asked.instance);

    // The control keeps them, but for the scroll bars, which it shows only when needed.
    const LONG_PTR style = GetWindowLongPtrA(pane, GWL_STYLE);
    const LONG_PTR kept = 0x50B000C4 & ~(WS_VSCROLL | WS_HSCROLL);
    EXPECT_EQ(kept, style & kept) << std::hex << style;
    EXPECT_EQ(0, style & (ES_READONLY | ES_WANTRETURN | ES_CENTER | ES_RIGHT | ES_PASSWORD))
        << std::hex << style;
    EXPECT_EQ(WS_EX_CONTROLPARENT, GetWindowLongPtrA(pane, GWL_EXSTYLE) & WS_EX_CONTROLPARENT);
    EXPECT_EQ(0x7FFFFFFE, SendMessageA(pane, EM_GETLIMITTEXT, 0, 0));

    // The font: one WM_SETFONT without redrawing, of a font made from the description of the stock
    // fixed-pitch system font, so the log is fixed-pitch.
    std::vector<SentFont> paneFonts;
    for (const SentFont& sent : sentFonts)
        if (sent.window == pane)
            paneFonts.push_back(sent);
    ASSERT_EQ(1u, paneFonts.size());
    EXPECT_EQ(FALSE, paneFonts[0].redraw);
    HFONT font = paneFonts[0].font;
    ASSERT_NE(nullptr, font);
    EXPECT_NE(GetStockObject(SYSTEM_FIXED_FONT), font);
    LOGFONTA paneFont = {}, stockFont = {};
    ASSERT_EQ(static_cast<int>(sizeof paneFont), GetObjectA(font, sizeof paneFont, &paneFont));
    ASSERT_TRUE(GetObjectA(GetStockObject(SYSTEM_FIXED_FONT), sizeof stockFont, &stockFont));
    EXPECT_EQ(0, memcmp(&stockFont, &paneFont, sizeof paneFont)) << paneFont.lfFaceName;
    HDC dc = GetDC(pane);
    HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICA metrics = {};
    GetTextMetricsA(dc, &metrics);
    SIZE narrow = {}, wide = {};
    GetTextExtentPoint32A(dc, "iiii", 4, &narrow);
    GetTextExtentPoint32A(dc, "WWWW", 4, &wide);
    SelectObject(dc, old);
    ReleaseDC(pane, dc);
    EXPECT_EQ(0, metrics.tmPitchAndFamily & TMPF_FIXED_PITCH);  // the bit set means variable
    EXPECT_EQ(narrow.cx, wide.cx);
    CHARFORMATA shown = {};
    shown.cbSize = sizeof shown;
    SendMessageA(pane, EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&shown));
    EXPECT_STREQ(stockFont.lfFaceName, shown.szFaceName);

    // The banner: the only text, grey throughout; the insertion point after it is automatic.
    const std::string text = WindowText(pane);
    EXPECT_EQ(kBanner, text);
    const int visible = static_cast<int>(std::string(kBanner).size()) - 2;
    for (int i = 0; i < visible; ++i) {
        bool automatic = true;
        ASSERT_EQ(0x808080u, ColourAt(pane, i, &automatic)) << i;
        ASSERT_FALSE(automatic) << i;
    }
    SendMessageA(pane, EM_SETSEL, -1, -1);
    SendMessageA(pane, EM_SETSEL, 0x7FFFFFFF, 0x7FFFFFFF);
    CHARFORMATA format = {};
    format.cbSize = sizeof format;
    format.dwMask = CFM_COLOR;
    SendMessageA(pane, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    EXPECT_TRUE(format.dwEffects & CFE_AUTOCOLOR);
}

TEST(MainWindow, ToolbarHoldsTheSeventeenEntries)
{
    struct Entry {
        int image;
        int command;  // 0: a separator
    };
    const Entry entries[] = {
        {0, 0}, {0, ID_PROPERTIES}, {0, 0}, {4, ID_CUT}, {5, ID_COPY}, {6, ID_PASTE},
        {12, ID_SELECT_ALL}, {0, 0}, {10, ID_UNDO}, {0, 0}, {7, ID_DELETE},
        {14, ID_CLEAR_SCREEN}, {0, 0}, {9, ID_ABOUT}, {11, ID_USER_GUIDE}, {0, 0},
        {13, ID_RUN_DEFAULT},
    };
    RecordedApp app;
    ASSERT_TRUE(app.created);
    HWND toolbar = app.Toolbar();
    ASSERT_NE(nullptr, toolbar);
    EXPECT_EQ(toolbar, app.frame->toolbarWindow);
    EXPECT_EQ("ToolbarWindow32", ClassName(toolbar));
    EXPECT_EQ(0x50000120, GetWindowLongPtrA(toolbar, GWL_STYLE) & 0x50000120);
    EXPECT_NE(nullptr, reinterpret_cast<HWND>(SendMessageA(toolbar, TB_GETTOOLTIPS, 0, 0)));
    ASSERT_EQ(17, SendMessageA(toolbar, TB_BUTTONCOUNT, 0, 0));
    for (int i = 0; i < 17; ++i) {
        SCOPED_TRACE(i + 1);
        TBBUTTON button = {};
        ASSERT_TRUE(SendMessageA(toolbar, TB_GETBUTTON, i, reinterpret_cast<LPARAM>(&button)));
        const bool separator = entries[i].command == 0;
        EXPECT_EQ(separator ? TBSTYLE_SEP : TBSTYLE_BUTTON, button.fsStyle);
        EXPECT_EQ(TBSTATE_ENABLED, button.fsState);
        EXPECT_EQ(entries[i].command, button.idCommand);
        EXPECT_EQ(0u, button.dwData);
        if (!separator) {
            EXPECT_EQ(entries[i].image, button.iBitmap);
            char tip[128] = "";
            EXPECT_GT(LoadStringA(GetModuleHandleA(nullptr), entries[i].command, tip, sizeof tip), 0);
        }
    }
    // The strip's fifteen images are all there.
    HIMAGELIST images = reinterpret_cast<HIMAGELIST>(SendMessageA(toolbar, TB_GETIMAGELIST, 0, 0));
    ASSERT_NE(nullptr, images);
    EXPECT_EQ(15, ImageList_GetImageCount(images));
}

// A button click sends its command to the main window: Clear Screen through the toolbar.
TEST(MainWindow, ToolbarButtonSendsItsCommand)
{
    RecordedApp app;
    ASSERT_TRUE(app.created);
    ASSERT_NE("", WindowText(app.Pane()));
    SendMessageA(app.Toolbar(), WM_LBUTTONDOWN, 0, 0);  // nothing at (0,0) but a separator
    SendMessageA(app.Toolbar(), WM_LBUTTONUP, 0, 0);
    EXPECT_NE("", WindowText(app.Pane()));
    RECT button;
    ASSERT_TRUE(SendMessageA(app.Toolbar(), TB_GETITEMRECT, 11, reinterpret_cast<LPARAM>(&button)));
    LPARAM centre = MAKELPARAM((button.left + button.right) / 2, (button.top + button.bottom) / 2);
    SendMessageA(app.Toolbar(), WM_LBUTTONDOWN, MK_LBUTTON, centre);
    SendMessageA(app.Toolbar(), WM_LBUTTONUP, 0, centre);
    PumpFor(20);
    EXPECT_EQ("", WindowText(app.Pane()));
}

TEST(MainWindow, LayoutPutsThePaneBelowTheToolbar)
{
    RecordedApp app;
    ASSERT_TRUE(app.created);
    HWND main = app.Main(), toolbar = app.Toolbar(), pane = app.Pane();
    ASSERT_NE(nullptr, toolbar);
    RECT initial;
    GetWindowRect(toolbar, &initial);
    const int toolbarHeight = initial.bottom - initial.top;
    ASSERT_GT(toolbarHeight, 10);

    struct Size {
        int width, height;
    };
    const Size sizes[] = {{640, 480}, {300, 200}, {1000, 700}, {500, 120}};
    for (const Size& size : sizes) {
        SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height));
        MoveWindow(main, 10, 10, size.width, size.height, TRUE);
        RECT client;
        GetClientRect(main, &client);
        RECT bar = ChildRect(toolbar), log = ChildRect(pane);
        EXPECT_EQ(0, bar.left);
        EXPECT_EQ(0, bar.top);
        EXPECT_EQ(client.right, bar.right);
        EXPECT_EQ(toolbarHeight, bar.bottom - bar.top);
        EXPECT_EQ(0, log.left);
        EXPECT_EQ(toolbarHeight, log.top);
        EXPECT_EQ(client.right, log.right);
        EXPECT_EQ(client.bottom, log.bottom);
    }

    // The layout straight from WM_SIZE, with a size the window itself does not have.
    SendMessageA(main, WM_SIZE, SIZE_RESTORED, MAKELPARAM(420, 330));
    RECT log = ChildRect(pane);
    EXPECT_EQ(0, log.left);
    EXPECT_EQ(toolbarHeight, log.top);
    EXPECT_EQ(420, log.right);
    EXPECT_EQ(330, log.bottom);

    // Without a toolbar the pane takes the whole client area.
    DestroyWindow(toolbar);
    app.frame->toolbarWindow = nullptr;
    MoveWindow(main, 10, 10, 600, 400, TRUE);
    RECT client;
    GetClientRect(main, &client);
    log = ChildRect(pane);
    EXPECT_EQ(0, log.left);
    EXPECT_EQ(0, log.top);
    EXPECT_EQ(client.right, log.right);
    EXPECT_EQ(client.bottom, log.bottom);
}

TEST(MainWindow, NotifyAnswersTooltipsAndCustomisation)
{
    RecordedApp app;
    ASSERT_TRUE(app.created);
    HINSTANCE instance = GetModuleHandleA(nullptr);
    struct Case {
        int code;
        UINT_PTR from;
        LRESULT answer;
        bool fillsText;
    };
    const Case cases[] = {
        {-520, ID_RUN_DEFAULT, 0, true},   // TTN_NEEDTEXTA
        {-520, ID_CUT, 0, true},
        {-520, 0x50000 | ID_ABOUT, 0, true},  // only the low 16 bits name the string
        {-707, 3, 1, false},               // TBN_QUERYDELETE
        {-530, ID_CUT, 0, false},          // TTN_NEEDTEXTW
        {-706, 3, 0, false},               // TBN_QUERYINSERT
        {-2, IDC_TOOLBAR, 0, false},  // NM_CLICK
        {0, 0, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        NMTTDISPINFOA info = {};
        info.hdr.hwndFrom = app.Toolbar();
        info.hdr.idFrom = c.from;
        info.hdr.code = static_cast<UINT>(c.code);
        info.lpszText = const_cast<char*>("unchanged");
        info.hinst = nullptr;
        EXPECT_EQ(c.answer, SendMessageA(app.Main(), WM_NOTIFY, c.from, reinterpret_cast<LPARAM>(&info)));
        if (c.fillsText) {
            EXPECT_EQ(MAKEINTRESOURCEA(LOWORD(c.from)), info.lpszText);
            EXPECT_EQ(instance, info.hinst);
        } else {
            EXPECT_STREQ("unchanged", info.lpszText);
            EXPECT_EQ(nullptr, info.hinst);
        }
    }
    char tip[128] = "";
    LoadStringA(instance, ID_RUN_DEFAULT, tip, sizeof tip);
    EXPECT_STREQ("Execute the default option", tip);
}

// Hovering over a button shows its string resource in the toolbar's tooltip; over a separator no
// tip is shown.
TEST(MainWindow, TooltipShowsTheButtonsString)
{
    RecordedApp app;
    ASSERT_TRUE(app.created);
    HWND toolbar = app.Toolbar();
    HWND tooltip = reinterpret_cast<HWND>(SendMessageA(toolbar, TB_GETTOOLTIPS, 0, 0));
    ASSERT_NE(nullptr, tooltip);
    SetWindowPos(app.Main(), HWND_TOP, 20, 20, 640, 400, SWP_SHOWWINDOW);
    SetForegroundWindow(app.Main());
    PumpFor(50);

    // The toolbar hands its mouse moves to the tooltip, which asks the main window for the text
    // once the pointer has rested on a button.
    auto hover = [&](int index) {
        RECT button;
        SendMessageA(toolbar, TB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&button));
        POINT centre = {(button.left + button.right) / 2, (button.top + button.bottom) / 2};
        POINT screen = centre;
        ClientToScreen(toolbar, &screen);
        SetCursorPos(screen.x, screen.y);
        SendMessageA(toolbar, WM_MOUSEMOVE, 0, MAKELPARAM(centre.x, centre.y));
    };
    struct Case {
        int index;  // position on the toolbar, from 0
        const char* tip;
    };
    const Case cases[] = {
        {16, "Execute the default option"},
        {3, "Cuts the selection and moves it to the clipboard"},
        {1, "Properties"},
        {11, "Clear the screen"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tip);
        hover(15);  // a separator
        EXPECT_TRUE(PumpUntil([&] { return !IsWindowVisible(tooltip); }, 5000));
        hover(c.index);
        EXPECT_TRUE(PumpUntil([&] {
            return IsWindowVisible(tooltip) && WindowText(tooltip) == c.tip;
        }, 5000)) << WindowText(tooltip);
    }
    hover(15);
    EXPECT_TRUE(PumpUntil([&] { return !IsWindowVisible(tooltip); }, 5000));
    SetCursorPos(0, 0);
}

// The editing commands act on the pane; only Select All moves the focus into it.
TEST(MainWindow, EditingCommandsActOnThePane)
{
    RecordedApp app;
    ASSERT_TRUE(app.created);
    HWND main = app.Main(), pane = app.Pane();
    SetFocus(main);
    SendMessageA(main, WM_COMMAND, ID_CLEAR_SCREEN, 0);
    OutputPane::InsertChunk(pane, "alpha beta gamma");
    SetClipboard("clip");

    struct Step {
        const char* what;
        int selStart, selEnd;  // selection made first (-2: leave as it is)
        WPARAM command;
        const char* text;       // pane text afterwards
        const char* clipboard;  // afterwards
        bool paneFocused;       // afterwards
    };
    const Step steps[] = {
        {"select all", 3, 3, ID_SELECT_ALL, "alpha beta gamma", "clip", true},
        {"copy", 0, 5, ID_COPY, "alpha beta gamma", "alpha", false},
        {"cut", 6, 11, ID_CUT, "alpha gamma", "beta ", false},
        {"paste", 0, 0, ID_PASTE, "beta alpha gamma", "beta ", false},
        {"paste over a selection", 11, 16, ID_PASTE, "beta alpha beta ", "beta ", false},
        {"delete", 0, 5, ID_DELETE, "alpha beta ", "beta ", false},
        {"delete with nothing selected", 2, 2, ID_DELETE, "alpha beta ", "beta ", false},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        SetFocus(main);
        ASSERT_EQ(main, GetFocus());
        SendMessageA(pane, EM_SETSEL, s.selStart, s.selEnd);
        EXPECT_EQ(0, app.Command(s.command));
        EXPECT_EQ(s.text, WindowText(pane));
        EXPECT_EQ(s.clipboard, Clipboard());
        EXPECT_EQ(s.paneFocused ? pane : main, GetFocus());
        if (s.command == ID_SELECT_ALL) {
            EXPECT_EQ(0u, Selection(pane).first);
            char selected[64] = "";
            SendMessageA(pane, EM_GETSELTEXT, 0, reinterpret_cast<LPARAM>(selected));
            EXPECT_STREQ(s.text, selected);
        }
    }
    EmptyTheClipboard();
}

// Undo takes back what the user typed, and the focus stays where it was.
TEST(MainWindow, UndoTakesBackTheUsersTyping)
{
    RecordedApp app;
    ASSERT_TRUE(app.created);
    HWND main = app.Main(), pane = app.Pane();
    const std::string banner = WindowText(pane);
    SetFocus(main);
    SendMessageA(pane, EM_SETSEL, 0x7FFFFFFF, 0x7FFFFFFF);
    SendMessageA(pane, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>("typed by the user"));
    ASSERT_EQ(banner + "typed by the user", WindowText(pane));
    EXPECT_EQ(0, app.Command(ID_UNDO));
    EXPECT_EQ(banner, WindowText(pane));
    EXPECT_EQ(main, GetFocus());
}

TEST(MainWindow, ClearScreenEmptiesTheLog)
{
    struct Case {
        const char* what;
        int selStart, selEnd;
        WPARAM wParam;
    };
    const Case cases[] = {
        {"from the menu", 0, 0, ID_CLEAR_SCREEN},
        {"from the accelerator, with a selection", 2, 5, MAKEWPARAM(ID_CLEAR_SCREEN, 1)},
#ifdef _WIN64
        {"with high bits above the low word", 3, 3, (WPARAM(1) << 40) | ID_CLEAR_SCREEN},
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecordedApp app;
        ASSERT_TRUE(app.created);
        HWND pane = app.Pane();
        app.frame->outputPane.Append("a job's lines\r\n", 0x808080);
        SendMessageA(pane, EM_SETSEL, c.selStart, c.selEnd);
        EXPECT_EQ(0, app.Command(c.wParam));
        EXPECT_EQ("", WindowText(pane));
        EXPECT_EQ(app.Main(), GetFocus());
        app.frame->outputPane.Append("\r\nExecuting:- next\r\n", 0x808080);
        EXPECT_EQ("\r\nExecuting:- next\r\n", WindowText(pane));
        bool automatic = true;
        EXPECT_EQ(0x808080u, ColourAt(pane, 3, &automatic));
        EXPECT_FALSE(automatic);
    }
}

// A command id outside the table goes to the default procedure: nothing happens, the answer is 0.
TEST(MainWindow, UnknownCommandsGoToTheDefaultProcedure)
{
    RecordedApp app;
    ASSERT_TRUE(app.created);
    HWND main = app.Main(), pane = app.Pane();
    SetFocus(main);
    const std::string before = WindowText(pane);
    const WPARAM commands[] = {
        MAKEWPARAM(IDC_PANE, EN_CHANGE), MAKEWPARAM(IDC_PANE, EN_SETFOCUS),
        MAKEWPARAM(IDC_PANE, EN_KILLFOCUS), 0, 1, 0x1234, ID_RUN_SLOT_8 + 1,
        ID_RUN_SLOT_1 - 1, 0xFFFF,
    };
    for (WPARAM command : commands) {
        SCOPED_TRACE(command);
        EXPECT_EQ(0, SendMessageA(main, WM_COMMAND, command, reinterpret_cast<LPARAM>(pane)));
        EXPECT_TRUE(IsWindow(main));
        EXPECT_EQ(before, WindowText(pane));
        EXPECT_EQ(main, GetFocus());
    }
    EXPECT_FALSE(TakeQuit());
}

TEST(MainWindow, CtlColorEditGivesWhiteBrushAndBlackText)
{
    RecordedApp app;
    ASSERT_TRUE(app.created);
    HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_NE(nullptr, dc);
    SetTextColor(dc, RGB(255, 0, 0));
    LRESULT brush = SendMessageA(app.Main(), WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc),
                                 reinterpret_cast<LPARAM>(app.Pane()));
    EXPECT_EQ(reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH)), brush);
    EXPECT_EQ(RGB(0, 0, 0), GetTextColor(dc));
    DeleteDC(dc);
}

// With no job, closing destroys the window at once, and its destruction posts the quit message
// with exit code 0.
TEST(MainWindow, CloseAndExitDestroyTheWindowAndPostQuit)
{
    struct Case {
        const char* what;
        UINT message;
        WPARAM wParam;
    };
    const Case cases[] = {
        {"close box", WM_CLOSE, 0},
        {"system menu", WM_SYSCOMMAND, SC_CLOSE},
        {"File, Exit", WM_COMMAND, ID_EXIT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecordedApp app;
        ASSERT_TRUE(app.created);
        HWND main = app.Main(), pane = app.Pane(), toolbar = app.Toolbar();
        ASSERT_FALSE(TakeQuit());
        EXPECT_EQ(0, SendMessageA(main, c.message, c.wParam, 0));
        EXPECT_FALSE(IsWindow(main));
        EXPECT_FALSE(IsWindow(pane));
        EXPECT_FALSE(IsWindow(toolbar));
        EXPECT_EQ(nullptr, FindWindowA(nullptr, "Velqueth"));
        WPARAM code = 99;
        EXPECT_TRUE(TakeQuit(&code));
        EXPECT_EQ(0u, code);
    }
}

// Where the rich-edit class cannot be made, the pane is a plain edit control: the same banner,
// every line in one colour, black on white, and no message about it.
TEST(MainWindow, FallsBackToAPlainEditPane)
{
    testing_support::MessageBoxRecorder boxes;
    RecordedApp app({"RichEdit"});
    ASSERT_TRUE(app.created);
    std::vector<std::string> attempts;
    for (const CreatedWindow& created : createdWindows)
        if (created.parent == app.Main() && created.id == IDC_PANE) {
            attempts.push_back(created.className);
            EXPECT_EQ(0x50B000C4, created.style);
            EXPECT_EQ(static_cast<DWORD>(WS_EX_CONTROLPARENT), created.exStyle);
        }
    EXPECT_EQ((std::vector<std::string>{"RichEdit", "Edit"}), attempts);
    HWND pane = app.Pane();
    ASSERT_NE(nullptr, pane);
    EXPECT_EQ(0, lstrcmpiA("Edit", ClassName(pane).c_str())) << ClassName(pane);
    EXPECT_EQ(pane, app.frame->outputPane.window);
    EXPECT_TRUE(app.frame->outputPane.plainEdit);
    EXPECT_EQ(kBanner, WindowText(pane));
    EXPECT_EQ(0x7FFFFFFE, SendMessageA(pane, EM_GETLIMITTEXT, 0, 0));
    EXPECT_TRUE(boxes.Boxes().empty());

    app.frame->outputPane.Append("Failure running:- x\r\n", 0x0000C0);
    EXPECT_EQ(std::string(kBanner) + "Failure running:- x\r\n", WindowText(pane));
    // A flood that outruns the log: the worker waits on the full queue, and nothing is lost.
    const std::string command = testing_support::ChildCommand("bytes 2097152 80");
    app.frame->StartJob(command.c_str());
    ASSERT_TRUE(app.WaitForLog(testing_support::Header(command)));
    EXPECT_TRUE(app.StallUntilQueueFull());
    ASSERT_TRUE(app.WaitForJob(120000));
    EXPECT_TRUE(WindowText(pane) == std::string(kBanner) + "Failure running:- x\r\n" +
                                        testing_support::Header(command) +
                                        child_pattern::PatternText(2097152, 80) +
                                        testing_support::kPrompt);

    // The plain control asks its parent for its colours: black text on the white brush.
    HDC dc = GetDC(pane);
    SetTextColor(dc, RGB(0, 0, 255));
    LRESULT brush = SendMessageA(app.Main(), WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc),
                                 reinterpret_cast<LPARAM>(pane));
    EXPECT_EQ(reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH)), brush);
    EXPECT_EQ(RGB(0, 0, 0), GetTextColor(dc));
    ReleaseDC(pane, dc);

    EXPECT_EQ(0, app.Command(ID_CLEAR_SCREEN));
    EXPECT_EQ("", WindowText(pane));
}

// Where no pane can be made at all, a box owned by the main window says so; the window still
// comes up with its toolbar, and the commands that need the pane do nothing.
TEST(MainWindow, WithoutAPaneReportsItOnceAndKeepsRunning)
{
    testing_support::MessageBoxRecorder boxes;
    RecordedApp app({"RichEdit", "Edit"});
    ASSERT_TRUE(app.created);
    HWND main = app.Main();
    ASSERT_EQ(1u, boxes.Boxes().size());
    EXPECT_EQ(main, boxes.Boxes()[0].owner);
    EXPECT_EQ("Failed to create the Edit control", boxes.Boxes()[0].text);
    EXPECT_EQ("Velqueth", boxes.Boxes()[0].caption);
    EXPECT_EQ(static_cast<UINT>(MB_ICONERROR), boxes.Boxes()[0].style);

    EXPECT_EQ(nullptr, app.Pane());
    EXPECT_EQ(nullptr, app.frame->paneWindow);
    EXPECT_EQ(nullptr, app.frame->outputPane.window);
    EXPECT_EQ(0, app.frame->outputPane.Append("lost\r\n", 0x808080));
    EXPECT_NE(nullptr, app.Toolbar());
    EXPECT_TRUE(IsWindowVisible(main));

    SetFocus(main);
    const WPARAM commands[] = {ID_SELECT_ALL, ID_COPY, ID_CUT, ID_PASTE, ID_DELETE, ID_UNDO,
                               ID_CLEAR_SCREEN};
    for (WPARAM command : commands) {
        SCOPED_TRACE(command);
        EXPECT_EQ(0, app.Command(command));
        EXPECT_TRUE(IsWindow(main));
    }
    MoveWindow(main, 0, 0, 500, 300, TRUE);
    EXPECT_EQ(1u, boxes.Boxes().size());
    EXPECT_EQ(0, SendMessageA(main, WM_CLOSE, 0, 0));
    EXPECT_FALSE(IsWindow(main));
}

namespace {

// The selection, the first visible line and a rich edit's scroll position.
std::vector<LONG> PlaceIn(HWND pane)
{
    DWORD start = 0, end = 0;
    POINT scroll = {0, 0};
    SendMessageA(pane, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    SendMessageA(pane, EM_GETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&scroll));
    return {static_cast<LONG>(start), static_cast<LONG>(end),
            static_cast<LONG>(SendMessageA(pane, EM_GETFIRSTVISIBLELINE, 0, 0)), scroll.x, scroll.y};
}

// The characters in the log, in the unit of the selection (a narrow control's text length may
// count the bytes of its ANSI form).
LONG Characters(HWND pane, bool plain)
{
    if (plain) {
        LRESULT last = SendMessageA(pane, EM_LINEINDEX, SendMessageA(pane, EM_GETLINECOUNT, 0, 0) - 1, 0);
        return static_cast<LONG>(last + SendMessageA(pane, EM_LINELENGTH, last, 0));
    }
    GETTEXTLENGTHEX how = {GTL_NUMCHARS | GTL_PRECISE, 1200};
    return static_cast<LONG>(SendMessageA(pane, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&how), 0));
}

} // namespace

TEST(MainWindow, TheLogStaysWhereTheUserReadsAndFollowsTheEndAgainAfterCtrlEnd)
{
    const std::string slow = testing_support::ChildCommand("lines 120 10");
    for (bool plain : {false, true}) {
        SCOPED_TRACE(plain ? "plain edit" : "rich edit");
        RecordedApp app(plain ? std::vector<std::string>{"RichEdit"} : std::vector<std::string>{});
        ASSERT_TRUE(app.created);
        HWND pane = app.Pane();
        // Characters of two bytes in code page 932 (run so too), one each in the plain log's count
        // of characters. (The test reads the rich log in its ANSI form, which Wine then cuts.)
        if (plain)
            ASSERT_TRUE(app.Run(testing_support::ChildCommand("out \\xE6\\x97\\xA5\\xE6\\x9C\\xAC")));
        app.frame->StartJob(slow.c_str());
        ASSERT_TRUE(app.WaitForLog("line 99\r\n"));
        // The user selects characters 0-20, then scrolls the view to line 40.
        SendMessageA(pane, EM_SETSEL, 0, 20);
        SendMessageA(pane, WM_VSCROLL, SB_TOP, 0);
        for (int line = 0; line < 40; ++line)
            SendMessageA(pane, WM_VSCROLL, SB_LINEDOWN, 0);
        const std::vector<LONG> before = PlaceIn(pane);
        EXPECT_GE(before[2], 40);
        // More output, the prompt and a whole job with its header: the place stays.
        ASSERT_TRUE(app.WaitForJob());
        app.frame->StartJob(testing_support::ChildCommand("lines 3 0").c_str());
        ASSERT_TRUE(app.WaitForJob());
        EXPECT_EQ(0, before[0]);
        EXPECT_EQ(20, before[1]);
        EXPECT_EQ(before, PlaceIn(pane));

        // Ctrl+End, pressed for real: the output is followed again.
        SetForegroundWindow(app.Main());
        SetFocus(pane);
        testing_support::PressWithControl(VK_END);
        PumpFor(200);
        const LONG atEnd = PlaceIn(pane)[2];
        app.frame->StartJob(slow.c_str());
        ASSERT_TRUE(app.WaitForJob());
        const LONG length = Characters(pane, plain);
        const std::vector<LONG> followed = PlaceIn(pane);
        EXPECT_EQ(length, followed[0]);
        EXPECT_EQ(length, followed[1]);
        EXPECT_GE(followed[2], atEnd + 120) << "the view did not follow the output";
    }
}

namespace {

// The selection and the first visible line (a rich edit scales its scroll position as the log
// grows, so that is left out).
std::vector<LONG> LineAndSelection(HWND pane)
{
    std::vector<LONG> place = PlaceIn(pane);
    place.resize(3);
    return place;
}

} // namespace

// A log taller than 65,535 pixels, scrolled up with the scroll bar while the caret stays at the
// end: a job later the same line is still at the top.
TEST(MainWindow, ALongLogScrolledUpWithoutSelectingKeepsItsView)
{
    for (bool plain : {false, true}) {
        SCOPED_TRACE(plain ? "plain edit" : "rich edit");
        RecordedApp app(plain ? std::vector<std::string>{"RichEdit"} : std::vector<std::string>{});
        ASSERT_TRUE(app.created);
        HWND pane = app.Pane();
        ASSERT_TRUE(app.Run(testing_support::ChildCommand("lines 6000 0"), 120000));
        for (int line = 0; line < 8; ++line)
            SendMessageA(pane, WM_VSCROLL, SB_LINEUP, 0);
        const std::vector<LONG> before = LineAndSelection(pane);
        EXPECT_GE(before[2], 5900);
        EXPECT_EQ(before[0], before[1]) << "nothing is selected";
        ASSERT_TRUE(app.Run(testing_support::ChildCommand("lines 3 0")));
        EXPECT_EQ(before, LineAndSelection(pane));
    }
}

// Selections made upward with Shift and the arrows, then a job: Shift+Left still moves the end the
// user was moving.
TEST(MainWindow, AnUpwardSelectionKeepsItsAnchorThroughOutput)
{
    const struct {
        const char* name;
        WORD key;
        int times;
    } ways[] = {{"within a line", VK_LEFT, 3}, {"over lines", VK_UP, 2}};
    for (bool plain : {false, true}) {
        RecordedApp app(plain ? std::vector<std::string>{"RichEdit"} : std::vector<std::string>{});
        ASSERT_TRUE(app.created);
        HWND pane = app.Pane();
        ASSERT_TRUE(app.Run(testing_support::ChildCommand("lines 40 0")));
        SetForegroundWindow(app.Main());
        SetFocus(pane);
        for (const auto& way : ways) {
            SCOPED_TRACE(std::string(plain ? "plain edit, " : "rich edit, ") + way.name);
            const LONG anchor = static_cast<LONG>(SendMessageA(pane, EM_LINEINDEX, 20, 0)) + 5;
            SendMessageA(pane, EM_SETSEL, anchor, anchor);
            for (int i = 0; i < way.times; ++i)
                testing_support::PressWith(VK_SHIFT, way.key);
            PumpFor(100);
            const std::pair<DWORD, DWORD> made = Selection(pane);
            ASSERT_EQ(static_cast<DWORD>(anchor), made.second);
            ASSERT_LT(made.first, made.second);
            ASSERT_TRUE(app.Run(testing_support::ChildCommand("lines 3 0")));
            EXPECT_EQ(made, Selection(pane));
            testing_support::PressWith(VK_SHIFT, VK_LEFT);
            PumpFor(100);
            EXPECT_EQ(std::make_pair(made.first - 1, made.second), Selection(pane));
        }
    }
}

namespace {

bool timerFired = false;
size_t queuedWhenFired = 0;
OutputQueue* firedQueue = nullptr;

void CALLBACK NoteTimer(HWND, UINT, UINT_PTR, DWORD)
{
    if (!timerFired)
        queuedWhenFired = firedQueue->Queued();
    timerFired = true;
}

} // namespace

// The window's timers (caret, scroll arrows, tooltips, the stop's retry) still come while a full
// queue of output goes into the log, not only once it is empty.
TEST(MainWindow, ATimerSetDuringAFloodFires)
{
    RecordedApp app;
    ASSERT_TRUE(app.created);
    app.frame->StartJob(testing_support::ChildCommand("bytes 3000000 64").c_str());
    ASSERT_TRUE(app.WaitForLog("\r\nExecuting:- "));
    ASSERT_TRUE(app.StallUntilQueueFull(30000));
    timerFired = false;
    firedQueue = &app.frame->outputPane.queue;
    UINT_PTR timer = SetTimer(nullptr, 0, 10, NoteTimer);
    ASSERT_NE(0u, timer);
    EXPECT_TRUE(testing_support::PumpUntil([] { return timerFired; }, 60000));
    EXPECT_GT(queuedWhenFired, 0u) << "the timer waited for the whole flood";
    KillTimer(nullptr, timer);
    EXPECT_TRUE(app.WaitForJob(60000));
}
