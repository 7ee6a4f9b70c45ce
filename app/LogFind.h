// LogFind: the system's Find dialog over the log, and F3's repeat of the last search without it.
// A search reads the log as it is at that moment, so output that arrived meanwhile is searched
// too; it runs on the user-interface thread between two pieces of output, which wait in the
// queue for it. A match is selected and scrolled into view, and the log stays there as for any
// selection of the user's.
#ifndef VELQUETH_APP_LOGFIND_H
#define VELQUETH_APP_LOGFIND_H

#include <windows.h>
#include <commdlg.h>

class LogFind {
public:
    LogFind();
    virtual ~LogFind();

    // Ctrl+F: opens the dialog, modeless and owned by `owner`, with the log's selection as its
    // text when that is one line; an open dialog comes forward with that text.
    void Open(HWND owner, HWND pane);
    // F3 (`backward`: Shift+F3): the last search again, forward or backward; before any search
    // it opens the dialog.
    void Repeat(HWND owner, HWND pane, bool backward);
    bool HasSearched() const { return searched; }
    HWND Dialog() const { return dialog; }

    // The message loop's first step: a message for the open dialog is its own (Tab, Enter,
    // Escape, its edit's keys). Answers whether the dialog took it.
    bool TakeDialogMessage(MSG* message);
    // The message (FINDMSGSTRING) that the dialog sends its owner: Find Next, or its end.
    static UINT Message();
    LRESULT OnMessage(HWND pane, LPARAM lParam);

    // Searches the pane from its selection for `what` (ANSI) with the dialog's flags (FR_DOWN,
    // FR_MATCHCASE, FR_WHOLEWORD); selects and shows a match. Answers whether there was one.
    static bool FindNext(HWND pane, const char* what, DWORD flags);

private:
    LogFind(const LogFind&) = delete;
    LogFind& operator=(const LogFind&) = delete;
    void Search(HWND pane, DWORD flags);
    void ShowSelectionWhileOpen(HWND pane, bool show);

    FINDREPLACEA record;
    DWORD options;  // the dialog's last choices (FR_DOWN, FR_MATCHCASE, FR_WHOLEWORD)
    char what[256];
    HWND dialog;
    HWND owner;
    HWND shownPane;  // the rich edit that shows its selection while the dialog is open
    bool searched;
};

#endif
