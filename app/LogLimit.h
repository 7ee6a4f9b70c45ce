// The log's limit. The rich-edit control keeps tens of bytes of memory for every character of
// text, so a job that prints without end would in time leave the process no memory, and the
// whole log would be lost. Before that, the oldest text gives way, as a terminal drops its oldest
// scrollback: the log goes on in a new pane that begins with one grey line saying so and the
// newest text of the old one. (Deleting the oldest text in place is no way out: Wine's control
// takes time that grows with the square of the log, minutes for a few megabytes.)
#ifndef VELQUETH_APP_LOGLIMIT_H
#define VELQUETH_APP_LOGLIMIT_H

#include <windows.h>

#include <cstddef>

// The line that stands in for dropped text.
extern const char kDroppedNotice[];

// How much of the newest text a renewed log keeps.
const size_t kCarriedText = 256 * 1024;

// The most characters the log may hold in this process: 32 MiB, less where the address space is
// small (about 100 bytes of it per character, and 512 MiB for everything else).
size_t LogLimitForThisProcess();

// True when `incoming` more characters would take the log past `limit`, or when the process has
// little address space left.
bool LogIsFull(HWND pane, size_t incoming, size_t limit);

// Copies the newest text of the pane, from a line start, into `out` (room for `capacity` bytes
// and a terminator). Answers the length.
size_t CopyLogTail(HWND pane, bool plainEdit, char* out, size_t capacity);

// Writes the notice at the top of the pane, in grey where the pane has colours.
void WriteDroppedNotice(HWND pane, bool plainEdit);

#endif
