// The editor's command line filled in from the user's template, and the files that must never be
// handed to the shell because opening them would run them.
#ifndef VELQUETH_BASE_EDITORCOMMAND_H
#define VELQUETH_BASE_EDITORCOMMAND_H

#include <cstddef>

// The most characters of a filled-in command line, terminator included.
const size_t kEditorCommandSize = 4096;

// Fills `pattern` in one pass: %f the whole path, %l the line, %c the column (1 when `column` is
// 0), %% a percent sign; any other % stays as written. False when it would not fit in `size`.
bool FillEditorCommand(const char* pattern, const char* path, unsigned long line,
                       unsigned long column, char* command, size_t size);

// True when the file's extension names a program, a script or a shortcut (a fixed list and
// whatever the system's PATHEXT lists).
bool WouldRunWhenOpened(const char* path);

#endif
