// LogMenu: the log's own context menu, built for each showing with every item grey where it
// cannot act. Its editing items carry the File menu's command ids, so they do exactly what those
// do; every choice reaches the owner (the main window) as WM_COMMAND.
#ifndef VELQUETH_APP_LOGMENU_H
#define VELQUETH_APP_LOGMENU_H

#include <windows.h>

class LogMenu {
public:
    // The menu for `pane` as it is now: `searched` (Find Next can act), `jobRunning` (Stop can).
    static HMENU Build(HWND pane, bool searched, bool jobRunning);
    // Shows it at `where`, a WM_CONTEXTMENU position: the pointer's, or -1 from the keyboard,
    // then at the caret.
    static void Show(HWND owner, HWND pane, LPARAM where, bool searched, bool jobRunning);
};

#endif
