// The renewal of a full log. The rich-edit control keeps tens of bytes of memory for every
// character of text, so a job that prints without end would in time leave the process no memory,
// and the whole log would be lost. Before that, the oldest text gives way, as a terminal drops its
// oldest scrollback: the log goes on in a new pane of the same recipe, in the same place, that
// begins with one grey line saying so and the newest text of the old one; the old pane and all its
// memory go. (Deleting the oldest text in place is no way out: Wine's control takes time that
// grows with the square of the log.)
#ifndef VELQUETH_APP_LOGRENEWAL_H
#define VELQUETH_APP_LOGRENEWAL_H

#include <windows.h>

#include <cstddef>

#include "app/OutputPane.h"

// The line that stands in for dropped text, and the one that follows it when there was no memory
// to carry the newest text either.
extern const char kDroppedNotice[];
extern const char kNoMemoryNotice[];

// How much of the newest text a renewed log keeps.
const size_t kCarriedText = 256 * 1024;

// The most characters the log may hold in this process: less where the address space is small.
size_t LogLimitForThisProcess();

// The message by which a renewal tells the pane's parent that the log goes on in a new pane
// window (wParam) in place of the old one (lParam); sent before the old one goes.
UINT RenewedMessage();

// True when `incoming` more characters would take the log in `pane` past `limit`, or when the
// process has little address space left.
bool LogIsFull(HWND pane, size_t incoming, size_t limit);

// The log in `pane`, the fed pane of `output`, goes on in a new pane of the same recipe, which
// takes over the old one's feed (window procedure and state), the queue's wake-ups and `output`;
// the old pane is destroyed, so its procedure must not be running. Answers the pane that takes
// the output from now on: `pane` itself when no new pane could be made.
HWND RenewLog(HWND pane, OutputPane* output, size_t limit);

#endif
