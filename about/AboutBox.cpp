#include "about/AboutBox.h"

#include <cstdio>

#include "about/DialogTemplate.h"
#include "about/VersionInfo.h"
#include "base/Seams.h"
#include "res/BuildConstants.h"

namespace {

const WORD kVersionLineId = 42;
const WORD kCopyrightLineId = 43;
const WORD kWebLinkId = 44;
const WORD kEmailLinkId = 45;
const WORD kUnaddressed = 0xFFFF;

const DWORD kDialogStyle = WS_POPUP | WS_CLIPSIBLINGS | WS_CAPTION | WS_SYSMENU |
                           DS_CENTERMOUSE | DS_MODALFRAME;
const DWORD kLinkStyle = WS_VISIBLE | ES_READONLY | ES_AUTOHSCROLL;
const COLORREF kLinkColour = RGB(0, 0, 255);

const int kValueChars = 32;
const int kLineChars = 64;
const int kLinkTextChars = 64;
const int kMailValueChars = 64;
const int kShellTextChars = 128;

bool IsLink(const AboutBox* box, int id)
{
    return box && (id == box->webLinkId || id == box->emailLinkId);
}

} // namespace

const char AboutBox::kDistributionTerms[] = "Freeware: free to use, copy and share.";

AboutBox::AboutBox()
    : cursorId(0), emailLinkId(0), webLinkId(0), copyrightLineId(0), versionLineId(0),
      previousLinkProc(nullptr)
{
    productName[0] = '\0';
}

AboutBox::~AboutBox()
{
}

void AboutBox::Show(HWND owner, const char* iconName, const char* productNameText,
                    WORD cursorIdValue, const char* noticeText)
{
    versionLineId = kVersionLineId;
    copyrightLineId = kCopyrightLineId;
    webLinkId = kWebLinkId;
    emailLinkId = kEmailLinkId;
    lstrcpynA(productName, productNameText ? productNameText : "", sizeof productName);
    cursorId = cursorIdValue;

    DialogTemplate dialog("About", kDialogStyle, 0, 0, 196, 106, "MS Sans Serif", 8);
    dialog.AddButton("OK", WS_VISIBLE, 0, 73, 85, 50, 14, IDOK);
    dialog.AddStatic("Version", WS_VISIBLE | SS_LEFT, 0, 7, 7, 146, 8, versionLineId);
    dialog.AddStatic("Version", WS_VISIBLE | SS_LEFT, 0, 7, 19, 142, 8, copyrightLineId);
    dialog.AddStatic(noticeText ? noticeText : kDistributionTerms, WS_VISIBLE | SS_LEFT, 0, 7, 31,
                     157, 8, kUnaddressed);
    dialog.AddStatic("Email:-", WS_VISIBLE | SS_RIGHT, 0, 13, 57, 31, 8, kUnaddressed);
    dialog.AddEdit("Edit", kLinkStyle, 0, 48, 45, 148, 12, webLinkId);
    dialog.AddEdit("Edit", kLinkStyle, 0, 48, 57, 130, 12, emailLinkId);
    dialog.AddStatic(iconName, WS_CHILD | WS_VISIBLE | SS_ICON, WS_EX_NOPARENTNOTIFY, 160, 78, 20,
                     20, kUnaddressed);
    if (!dialog.Data())
        return;

    HWND focus = GetFocus();
    DialogBoxIndirectParamA(GetModuleHandleA(nullptr), dialog.Data(), owner, AboutDialogProc,
                            reinterpret_cast<LPARAM>(this));
    if (focus && IsWindow(focus))
        SetFocus(focus);
}

INT_PTR CALLBACK AboutBox::AboutDialogProc(HWND dialog, UINT message, WPARAM wParam,
                                           LPARAM lParam)
{
    AboutBox* box = reinterpret_cast<AboutBox*>(GetWindowLongPtrA(dialog, GWLP_USERDATA));
    if (message == WM_INITDIALOG) {
        box = reinterpret_cast<AboutBox*>(lParam);
        SetWindowLongPtrA(dialog, GWLP_USERDATA, lParam);
    }
    // Messages that come before WM_INITDIALOG find no box.
    if (!box)
        return message == WM_INITDIALOG ? TRUE : FALSE;
    return box->DialogProc(dialog, message, wParam, lParam);
}

INT_PTR AboutBox::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(dialog);
        return TRUE;
    case WM_CTLCOLORSTATIC:
        return OnCtlColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, 1);
            return TRUE;
        }
        return FALSE;
    case WM_DESTROY:
        OnDestroy(dialog);
        return FALSE;
    default:
        return FALSE;
    }
}

void AboutBox::OnInitDialog(HWND dialog)
{
    HWND webLink = GetDlgItem(dialog, webLinkId);
    HWND emailLink = GetDlgItem(dialog, emailLinkId);
    // Both links are edit controls: they share one previous procedure.
    if (webLink) {
        SetWindowLongPtrA(webLink, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        previousLinkProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
            webLink, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(LinkWindowProc)));
    }
    if (emailLink) {
        SetWindowLongPtrA(emailLink, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        WNDPROC had = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
            emailLink, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(LinkWindowProc)));
        if (!previousLinkProc)
            previousLinkProc = had;
    }

    VersionInfo version;
    char line[kLineChars];
    version.GetVersionLine(productName, line, kLineChars);
    SetDlgItemTextA(dialog, versionLineId, line);

    char copyright[kValueChars];
    version.GetValue("LegalCopyright", copyright, kValueChars);
    SetDlgItemTextA(dialog, copyrightLineId, copyright);

    SetDlgItemTextA(dialog, webLinkId, VELQUETH_WEB_URL);
    SetDlgItemTextA(dialog, emailLinkId, VELQUETH_SUPPORT_EMAIL);
}

INT_PTR AboutBox::OnCtlColorStatic(HDC dc, HWND control)
{
    if (!IsLink(this, GetDlgCtrlID(control)))
        return FALSE;
    SetTextColor(dc, kLinkColour);
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
}

void AboutBox::OnDestroy(HWND dialog)
{
    if (!previousLinkProc)
        return;
    const WORD links[] = {webLinkId, emailLinkId};
    for (WORD id : links) {
        HWND link = GetDlgItem(dialog, id);
        if (link)
            SetWindowLongPtrA(link, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previousLinkProc));
    }
}

void AboutBox::OpenLink(HWND link)
{
    char text[kLinkTextChars];
    GetWindowTextA(link, text, kLinkTextChars);
    int id = GetDlgCtrlID(link);

    char target[kShellTextChars];
    if (id == emailLinkId) {
        VersionInfo version;
        char fileVersion[kMailValueChars];
        char internalName[kMailValueChars];
        version.GetValue("FileVersion", fileVersion, kMailValueChars);
        version.GetValue("InternalName", internalName, kMailValueChars);
        std::snprintf(target, sizeof target, "mailto:%s?subject=%s %s", text, internalName,
                      fileVersion);
    } else if (id == webLinkId) {
        std::snprintf(target, sizeof target, "url:%s", text);
    } else {
        return;
    }
    // The shell's answer is not examined: a browser or mail program that cannot be started shows
    // its own message, if any.
    seams::shellExecute(link, "open", target, nullptr, nullptr, SW_SHOWNORMAL);
}

LRESULT CALLBACK AboutBox::LinkWindowProc(HWND link, UINT message, WPARAM wParam, LPARAM lParam)
{
    AboutBox* box = reinterpret_cast<AboutBox*>(GetWindowLongPtrA(link, GWLP_USERDATA));
    if (!box || !box->previousLinkProc)
        return DefWindowProcA(link, message, wParam, lParam);

    switch (message) {
    case WM_SETCURSOR: {
        HCURSOR hand = LoadCursorA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(box->cursorId));
        if (hand)
            SetCursor(hand);
        return TRUE;
    }
    case WM_LBUTTONDBLCLK:
        box->OpenLink(link);
        break;
    default:
        break;
    }
    // The edit control still does its own work (a double-click selects the word).
    return CallWindowProcA(box->previousLinkProc, link, message, wParam, lParam);
}
