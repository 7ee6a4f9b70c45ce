// HelpLauncher: opens the user guide, the compiled HTML Help file beside the executable, at its
// start page in the file's "MainWindow" window type (maximised, navigation pane collapsed).
#ifndef VELQUETH_ABOUT_HELPLAUNCHER_H
#define VELQUETH_ABOUT_HELPLAUNCHER_H

#include <windows.h>
#include <htmlhelp.h>

// The help control's last-error record (HH_GET_LAST_ERROR); the MinGW headers lack it.
struct HH_LAST_ERROR {
    int cbStruct;
    HRESULT hr;
    BSTR description;
};

#ifndef _WIN64
static_assert(sizeof(HH_WINTYPE) == 196, "the ANSI window-type record of the help control");
#endif

// The HTML Help control's HtmlHelpA, loaded on first use from the registered library (or
// "hhctrl.ocx" on the search path) and kept for the life of the process. When the library or its
// entry cannot be had, this and every later call answer null without trying again.
HWND WINAPI CallHtmlHelp(HWND caller, LPCSTR file, UINT command, DWORD_PTR data);

class HelpLauncher {
public:
    HelpLauncher();
    virtual ~HelpLauncher();

    void Open();

    static const int kTextChars = 260;  // paths, the error description and the error text

private:
    // Everything that drives the help control, guarded: false when a structured exception
    // (under MSVC) ended it.
    bool ShowGuideGuarded(const char* helpPath);
    void ShowGuide(const char* helpPath);
    void ShowLastError(const char* helpPath);

    char topic[32];
};

#endif
