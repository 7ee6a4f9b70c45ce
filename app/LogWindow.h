// The log's window: the one recipe for every log window the program makes (a rich edit where the
// system has one, else a plain edit; no wrapping, both scroll bars, the fixed system font, no text
// limit of the control's own), and the few things every writer of the log does to it.
#ifndef VELQUETH_APP_LOGWINDOW_H
#define VELQUETH_APP_LOGWINDOW_H

#include <windows.h>

// Log colours (COLORREF: red in the low byte).
const COLORREF kColourGrey = 0x808080;
const COLORREF kColourRed = 0x0000C0;
const COLORREF kColourGreen = 0x00C000;

// The log's first window over `place` in the parent's client area: "RichEdit", or "Edit" where
// the system refuses that class; null when it refuses both.
HWND CreateLogWindow(HWND parent, const RECT& place);
// A log window of the class `className` (a renewal's, like the full one); null when refused.
HWND CreateLogWindowOfClass(HWND parent, const char* className, const RECT& place);

// True unless the window is a rich edit: then text goes in without colour, and characters
// without an ANSI form show as `?`.
bool IsPlainEdit(HWND window);
// An empty selection at the very end of the text.
void SelectEnd(HWND window);
// The rich edit's selection in a colour, or in the automatic colour.
void SetSelectionColour(HWND window, COLORREF colour, bool automatic);

#endif
