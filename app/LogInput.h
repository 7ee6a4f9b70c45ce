// The log's own input: the keys and clicks with which the user acts on the log itself, apart from
// the feed that puts the output into it. The log's window procedure offers every message here first.
#ifndef VELQUETH_APP_LOGINPUT_H
#define VELQUETH_APP_LOGINPUT_H

#include <windows.h>

// Handles `message` when it is input of the log's own: answers true, with the window procedure's
// answer in `result`; false when the log's own procedure should have it.
bool HandleLogInput(HWND pane, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

// True for the keys that act on the whole window wherever the focus is (the main window handles
// them; the log passes them on).
bool IsWindowKey(WPARAM key);

#endif
