// ExitLine: the log line that tells how a child ended, "Exit code 3 after 1.24 s".
#ifndef VELQUETH_RUNNER_EXITLINE_H
#define VELQUETH_RUNNER_EXITLINE_H

#include <windows.h>

#include <cstddef>

#include "app/OutputPane.h"
#include "runner/ConsoleRunner.h"

// Room for the longest line, its CR LF and the terminator.
const size_t kExitLineSize = 96;

// Writes the line and its CR LF for an exit code and the child's lifetime (100-ns units) into
// `line`, cut to `size`. Codes from 0x80000000 up in hex, with Windows' name where it is known.
void FormatExitLine(char* line, size_t size, DWORD exitCode, ULONGLONG lifetime);

// The name of an exception or start-up status that ended a process, or null.
const char* ExitCodeName(DWORD exitCode);

// After a child that was waited for: its line on a line of its own at the end of the log, grey
// for exit code 0, red otherwise. Nothing for a child that was not.
void WriteExitLine(OutputPane* feed, const ChildOutcome& outcome);

#endif
