// AboutBox: the modal About dialog, built in memory with DialogTemplate. Shows the product's
// version and copyright lines from the version resource and two links (web site, support
// e-mail) that open through the shell on a double-click.
#ifndef VELQUETH_ABOUT_ABOUTBOX_H
#define VELQUETH_ABOUT_ABOUTBOX_H

#include <windows.h>

class AboutBox {
public:
    AboutBox();
    virtual ~AboutBox();

    // noticeText may be null: the built-in distribution-terms line is shown instead.
    void Show(HWND owner, const char* iconName, const char* productName, WORD cursorId,
              const char* noticeText);

    static INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam,
                                            LPARAM lParam);
    static LRESULT CALLBACK LinkWindowProc(HWND link, UINT message, WPARAM wParam, LPARAM lParam);

    static const char kDistributionTerms[];

    WORD cursorId;
    WORD emailLinkId;
    WORD webLinkId;
    WORD copyrightLineId;
    WORD versionLineId;
    char productName[128];
    WNDPROC previousLinkProc;

private:
    INT_PTR DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    void OnInitDialog(HWND dialog);
    INT_PTR OnCtlColorStatic(HDC dc, HWND control);
    void OnDestroy(HWND dialog);
    void OpenLink(HWND link);

    AboutBox(const AboutBox&) = delete;
    AboutBox& operator=(const AboutBox&) = delete;
};

#endif
