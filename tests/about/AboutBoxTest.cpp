// The About box, opened for real: DialogBoxIndirectParamA runs its own modal loop, so each test
// drives the box from a thread timer that the loop dispatches, then closes it.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "about/AboutBox.h"
#include "about/DialogTemplate.h"
#include "res/BuildConstants.h"
#include "support/App.h"
#include "support/TestSupport.h"

using testing_support::OwnerWindow;
using testing_support::PumpUntil;

namespace {

const WORD kHandCursor = 117;

struct Control {
    HWND window;
    std::string className;
    std::string text;
    DWORD style;
    int id;
};

std::string TextOf(HWND window)
{
    char text[256] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::vector<Control> ControlsOf(HWND dialog)
{
    std::vector<Control> controls;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char className[64] = "";
        GetClassNameA(child, className, sizeof className);
        CharUpperA(className);
        controls.push_back({child, className, TextOf(child),
                            static_cast<DWORD>(GetWindowLongPtrA(child, GWL_STYLE)),
                            GetDlgCtrlID(child)});
    }
    return controls;
}

// One Show, driven from a timer: `drive` runs once when the box is up and must close it.
struct DrivenShow {
    std::function<void(HWND)> drive;
    bool seen = false;
    bool forced = false;
    DWORD start = 0;
};
DrivenShow* current = nullptr;

BOOL CALLBACK FindAbout(HWND window, LPARAM found)
{
    char className[16] = "";
    GetClassNameA(window, className, sizeof className);
    if (lstrcmpA(className, "#32770") == 0 && TextOf(window) == "About") {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

HWND FindAboutBox()
{
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindAbout, reinterpret_cast<LPARAM>(&found));
    return found;
}

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD)
{
    if (!current)
        return;
    HWND dialog = FindAboutBox();
    if (dialog && IsWindowVisible(dialog) && !current->seen) {
        current->seen = true;
        current->drive(dialog);
        return;
    }
    // Safety net: a box that the test failed to close is ended, and the test fails.
    if (dialog && GetTickCount() - current->start > 15000) {
        current->forced = true;
        EndDialog(dialog, 0);
    }
}

void ShowDriven(DrivenShow& show, HWND owner, const char* notice)
{
    show.start = GetTickCount();
    current = &show;
    UINT_PTR timer = SetTimer(nullptr, 0, 20, Tick);
    AboutBox box;
    box.Show(owner, "ApplicationIcon", "Velqueth", kHandCursor, notice);
    KillTimer(nullptr, timer);
    current = nullptr;
}

void ClickOk(HWND dialog)
{
    PostMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
}

} // namespace

TEST(AboutBox, ShowsTheVersionCopyrightNoticeAndLinks)
{
    OwnerWindow owner;
    std::vector<Control> controls;
    std::string caption;
    bool ownerDisabled = false;
    HICON icon = nullptr;
    DrivenShow show;
    show.drive = [&](HWND dialog) {
        caption = TextOf(dialog);
        controls = ControlsOf(dialog);
        ownerDisabled = !IsWindowEnabled(owner.Handle());
        for (const Control& c : controls)
            if ((c.style & SS_TYPEMASK) == SS_ICON && c.className == "STATIC")
                icon = reinterpret_cast<HICON>(SendMessageA(c.window, STM_GETICON, 0, 0));
        ClickOk(dialog);
    };
    ShowDriven(show, owner.Handle(), "Hestrel Ltd");
    ASSERT_TRUE(show.seen);
    EXPECT_FALSE(show.forced);
    EXPECT_EQ(caption, "About");
    EXPECT_TRUE(ownerDisabled) << "the box is modal to its owner";
    EXPECT_TRUE(IsWindowEnabled(owner.Handle()));
    EXPECT_NE(icon, nullptr) << "the ApplicationIcon resource is shown";

    struct Expected {
        const char* className;
        std::string text;
        int id;
    };
    const Expected expected[] = {
        {"BUTTON", "OK", IDOK},
        {"STATIC", "Velqueth Version   1.0.0.0", 42},
        {"STATIC", VELQUETH_COPYRIGHT, 43},
        {"STATIC", "Hestrel Ltd", 0xFFFF},
        {"STATIC", "Email:-", 0xFFFF},
        {"EDIT", VELQUETH_WEB_URL, 44},
        {"EDIT", VELQUETH_SUPPORT_EMAIL, 45},
        {"STATIC", "", 0xFFFF},
    };
    ASSERT_EQ(controls.size(), sizeof expected / sizeof expected[0]);
    for (size_t i = 0; i < controls.size(); ++i) {
        SCOPED_TRACE("control " + std::to_string(i));
        EXPECT_EQ(controls[i].className, expected[i].className);
        if (i != 7) {  // the icon static's text is the icon's name, not shown
            EXPECT_EQ(controls[i].text, expected[i].text);
        }
        EXPECT_EQ(controls[i].id & 0xFFFF, expected[i].id);
    }
    EXPECT_EQ(controls[4].style & SS_TYPEMASK, static_cast<DWORD>(SS_RIGHT));
    EXPECT_TRUE(controls[5].style & ES_READONLY);
    EXPECT_TRUE(controls[6].style & ES_READONLY);
}

TEST(AboutBox, WithoutANoticeShowsTheDistributionTerms)
{
    std::string notice;
    DrivenShow show;
    show.drive = [&](HWND dialog) {
        notice = ControlsOf(dialog).at(3).text;
        ClickOk(dialog);
    };
    ShowDriven(show, nullptr, nullptr);
    ASSERT_TRUE(show.seen);
    EXPECT_EQ(notice, AboutBox::kDistributionTerms);
    EXPECT_FALSE(notice.empty());
}

TEST(AboutBox, OnlyTheLinksAreBlueOnButtonFace)
{
    struct Answer {
        int id;
        std::string text;
        INT_PTR result;
        COLORREF textColour;
        COLORREF background;
    };
    std::vector<Answer> answers;
    DrivenShow show;
    show.drive = [&](HWND dialog) {
        for (const Control& c : ControlsOf(dialog)) {
            HDC dc = GetDC(c.window);
            SetTextColor(dc, RGB(1, 2, 3));
            SetBkColor(dc, RGB(4, 5, 6));
            INT_PTR result = AboutBox::AboutDialogProc(dialog, WM_CTLCOLORSTATIC,
                                                       reinterpret_cast<WPARAM>(dc),
                                                       reinterpret_cast<LPARAM>(c.window));
            answers.push_back({c.id, c.text, result, GetTextColor(dc), GetBkColor(dc)});
            ReleaseDC(c.window, dc);
        }
        ClickOk(dialog);
    };
    ShowDriven(show, nullptr, "Hestrel Ltd");
    ASSERT_TRUE(show.seen);
    ASSERT_EQ(answers.size(), 8u);
    for (const Answer& a : answers) {
        SCOPED_TRACE(a.text);
        if (a.id == 44 || a.id == 45) {
            EXPECT_EQ(a.result, reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE)));
            EXPECT_EQ(a.textColour, 0x00FF0000u);
            EXPECT_EQ(a.background, GetSysColor(COLOR_BTNFACE));
        } else {
            EXPECT_EQ(a.result, FALSE);
            EXPECT_EQ(a.textColour, RGB(1, 2, 3)) << "default colours are left alone";
            EXPECT_EQ(a.background, RGB(4, 5, 6));
        }
    }
}

TEST(AboutBox, DoubleClickOnALinkOpensItThroughTheShell)
{
    struct Case {
        int id;
        std::string target;
    };
    const Case cases[] = {
        {44, std::string("url:") + VELQUETH_WEB_URL},
        {45, std::string("mailto:") + VELQUETH_SUPPORT_EMAIL + "?subject=Velqueth 1.0.0.0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        testing_support::ShellExecuteRecorder shell;
        size_t callsAfterSingleClick = 99;
        HWND link = nullptr;
        DWORD selectionStart = 0, selectionEnd = 0;
        DrivenShow show;
        show.drive = [&](HWND dialog) {
            link = GetDlgItem(dialog, c.id);
            LPARAM at = MAKELPARAM(6, 5);
            SendMessageA(link, WM_LBUTTONDOWN, MK_LBUTTON, at);
            SendMessageA(link, WM_LBUTTONUP, 0, at);
            callsAfterSingleClick = shell.Calls().size();
            SendMessageA(link, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
            SendMessageA(link, WM_LBUTTONUP, 0, at);
            SendMessageA(link, EM_GETSEL, reinterpret_cast<WPARAM>(&selectionStart),
                         reinterpret_cast<LPARAM>(&selectionEnd));
            ClickOk(dialog);
        };
        ShowDriven(show, nullptr, "Hestrel Ltd");
        ASSERT_TRUE(show.seen);
        EXPECT_EQ(callsAfterSingleClick, 0u) << "a single click only places the caret";
        ASSERT_EQ(shell.Calls().size(), 1u);
        const testing_support::RecordedShellCall& call = shell.Calls()[0];
        EXPECT_EQ(call.owner, link);
        EXPECT_EQ(call.verb, "open");
        EXPECT_EQ(call.file, c.target);
        EXPECT_EQ(call.parameters, "<null>");
        EXPECT_EQ(call.directory, "<null>");
        EXPECT_EQ(call.show, SW_SHOWNORMAL);
        EXPECT_LT(selectionStart, selectionEnd) << "the edit control still selects the word";
    }
}

TEST(AboutBox, PointerOverALinkIsTheHand)
{
    HCURSOR hand = LoadCursorA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kHandCursor));
    ASSERT_NE(hand, nullptr) << "cursor resource 117";
    LRESULT answers[2] = {0, 0};
    HCURSOR shown[2] = {nullptr, nullptr};
    DrivenShow show;
    show.drive = [&](HWND dialog) {
        const int ids[2] = {44, 45};
        for (int i = 0; i < 2; ++i) {
            HWND link = GetDlgItem(dialog, ids[i]);
            SetCursor(LoadCursorA(nullptr, IDC_ARROW));
            answers[i] = SendMessageA(link, WM_SETCURSOR, reinterpret_cast<WPARAM>(link),
                                      MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
            shown[i] = GetCursor();
        }
        ClickOk(dialog);
    };
    ShowDriven(show, nullptr, "Hestrel Ltd");
    ASSERT_TRUE(show.seen);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(answers[i], TRUE);
        EXPECT_EQ(shown[i], hand);
    }
}

TEST(AboutBox, EveryWayOfClosingEndsItAndGivesTheFocusBack)
{
    struct Case {
        const char* name;
        std::function<void(HWND)> close;
    };
    auto key = [](WPARAM vk) {
        return [vk](HWND dialog) {
            HWND target = GetFocus();
            if (!target || (target != dialog && !IsChild(dialog, target)))
                target = dialog;
            PostMessageA(target, WM_KEYDOWN, vk, 1);
            PostMessageA(target, WM_KEYUP, vk, 0xC0000001);
        };
    };
    const Case cases[] = {
        {"Esc", key(VK_ESCAPE)},
        {"Enter", key(VK_RETURN)},
        {"close box", [](HWND dialog) { PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }},
        {"OK", ClickOk},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OwnerWindow owner;
        ASSERT_EQ(GetFocus(), owner.Edit());
        HWND dialogSeen = nullptr;
        DrivenShow show;
        show.drive = [&](HWND dialog) {
            dialogSeen = dialog;
            c.close(dialog);
        };
        ShowDriven(show, owner.Handle(), "Hestrel Ltd");
        ASSERT_TRUE(show.seen);
        EXPECT_FALSE(show.forced);
        EXPECT_FALSE(IsWindow(dialogSeen));
        EXPECT_TRUE(IsWindowEnabled(owner.Handle()));
        EXPECT_EQ(GetFocus(), owner.Edit());
    }
}

namespace {
int allocations = 0;
int refuseAt = 0;
void* RefusingAllocate(SIZE_T bytes)
{
    ++allocations;
    return allocations == refuseAt ? nullptr : DialogTemplate::DefaultAllocate(bytes);
}
} // namespace

TEST(AboutBox, NoBoxWhenTheTemplateCannotBeBuilt)
{
    allocations = 0;
    refuseAt = 0;
    DialogTemplate::allocate = RefusingAllocate;
    DrivenShow normal;
    normal.drive = ClickOk;
    ShowDriven(normal, nullptr, "Hestrel Ltd");
    int total = allocations;
    DialogTemplate::allocate = DialogTemplate::DefaultAllocate;
    ASSERT_TRUE(normal.seen);
    ASSERT_GT(total, 8);

    for (int k = 1; k <= total; ++k) {
        SCOPED_TRACE("allocation " + std::to_string(k) + " refused");
        allocations = 0;
        refuseAt = k;
        DialogTemplate::allocate = RefusingAllocate;
        DrivenShow show;
        show.drive = ClickOk;
        ShowDriven(show, nullptr, "Hestrel Ltd");
        DialogTemplate::allocate = DialogTemplate::DefaultAllocate;
        EXPECT_FALSE(show.seen) << "a partial template never reaches the dialog call";
        EXPECT_EQ(FindAboutBox(), nullptr);
    }
}
