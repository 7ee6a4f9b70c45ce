// The log pane's window, the one recipe for every pane the program makes: a rich edit where the
// system has one (its libraries loaded here), else a plain edit; multi-line, lines not wrapped,
// both scroll bars, the fixed system font, and no text limit of the control's own. Made when the
// main window is created, and again when the log is renewed.
#ifndef VELQUETH_APP_PANEWINDOW_H
#define VELQUETH_APP_PANEWINDOW_H

#include <windows.h>

// Creates the log's first pane over `place` in the parent's client area: "RichEdit", or "Edit"
// where the system refuses that class; null when it refuses both.
HWND CreateLogWindow(HWND parent, const RECT& place);

// Creates a pane of the class `className` over `place`; null when the system refuses the class.
HWND CreatePaneWindow(HWND parent, const char* className, const RECT& place);

#endif
