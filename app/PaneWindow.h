// The log pane's window as the log needs it: multi-line, lines not wrapped, both scroll bars, the
// fixed system font. Made when the main window is created, and again when the log is renewed.
#ifndef VELQUETH_APP_PANEWINDOW_H
#define VELQUETH_APP_PANEWINDOW_H

#include <windows.h>

// Creates the pane of the class `className` ("RichEdit" or "Edit") over `place` in the parent's
// client area; null when the system refuses that class.
HWND CreatePaneWindow(HWND parent, const char* className, const RECT& place);

#endif
