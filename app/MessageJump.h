// From a message line of the log to the editor: F4 and Shift+F4 go to the next and the previous
// message line (past the end on from the other end), a double-click opens the line it is on. The
// log is read only here, when the user asks; nothing is parsed while output goes in.
#ifndef VELQUETH_APP_MESSAGEJUMP_H
#define VELQUETH_APP_MESSAGEJUMP_H

#include <windows.h>

#include "app/JobPlaces.h"
#include "base/MessageLine.h"

// The message line after (or before) the line that holds the selection's start in `pane`,
// selected whole and scrolled into view, and its place opened. Answers whether there was one.
bool GoToMessage(HWND pane, const JobPlaces& jobs, bool forward);
// When the line at `point` (in the pane's client area) is a message line: selects it whole and
// opens its place. Answers whether it was one.
bool OpenMessageAtPoint(HWND pane, const JobPlaces& jobs, POINT point);

// Posted by the log to its parent on a double-click, with its point as lParam: the parent then
// opens the message on that line (OpenMessageAtPoint).
UINT OpenMessageAtPointMessage();

// Opens `place` of a job that ran in `directory`: with the user's Editor command, else as the
// file's type has it edited or opened, a file that would run as text in Notepad; a missing file
// gives a box and starts nothing.
void OpenPlace(const char* directory, const MessagePlace& place);

#endif
