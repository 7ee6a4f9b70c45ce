#include "runner/ExitLine.h"

#include <cstdio>

namespace {

struct NamedCode {
    DWORD code;
    const char* name;
};

// The statuses with which Windows itself ends a process that crashed or could not get going.
const NamedCode kNamedCodes[] = {
    {0x80000003, "breakpoint"},
    {0xC0000005, "access violation"},
    {0xC0000006, "in-page error"},
    {0xC0000017, "out of memory"},
    {0xC000001D, "illegal instruction"},
    {0xC000007B, "bad executable image"},
    {0xC000008E, "floating-point division by zero"},
    {0xC0000094, "integer division by zero"},
    {0xC0000095, "integer overflow"},
    {0xC0000096, "privileged instruction"},
    {0xC00000FD, "stack overflow"},
    {0xC0000135, "DLL not found"},
    {0xC0000139, "DLL entry point not found"},
    {0xC000013A, "ended by Ctrl+C"},
    {0xC0000142, "DLL failed to initialise"},
    {0xC0000374, "heap corruption"},
    {0xC0000409, "stack buffer overrun"},
};

const ULONGLONG kTicksPerSecond = 10000000;

// "0.24 s" and "12.50 s" under a minute, then "1 min 05 s", then "2 h 03 min", each rounded to
// its last unit.
void FormatLifetime(char* text, size_t size, ULONGLONG lifetime)
{
    ULONGLONG hundredths = (lifetime + kTicksPerSecond / 200) / (kTicksPerSecond / 100);
    if (hundredths < 6000) {
        std::snprintf(text, size, "%u.%02u s", static_cast<unsigned>(hundredths / 100),
                      static_cast<unsigned>(hundredths % 100));
        return;
    }
    ULONGLONG seconds = (lifetime + kTicksPerSecond / 2) / kTicksPerSecond;
    if (seconds < 3600) {
        std::snprintf(text, size, "%u min %02u s", static_cast<unsigned>(seconds / 60),
                      static_cast<unsigned>(seconds % 60));
        return;
    }
    ULONGLONG minutes = (seconds + 30) / 60;
    std::snprintf(text, size, "%lu h %02u min", static_cast<unsigned long>(minutes / 60),
                  static_cast<unsigned>(minutes % 60));
}

} // namespace

const char* ExitCodeName(DWORD exitCode)
{
    for (const NamedCode& named : kNamedCodes) {
        if (named.code == exitCode)
            return named.name;
    }
    return nullptr;
}

void FormatExitLine(char* line, size_t size, DWORD exitCode, ULONGLONG lifetime)
{
    char code[64];
    const char* name = ExitCodeName(exitCode);
    if (exitCode < 0x80000000u)
        std::snprintf(code, sizeof code, "%lu", static_cast<unsigned long>(exitCode));
    else if (name)
        std::snprintf(code, sizeof code, "0x%08lX (%s)", static_cast<unsigned long>(exitCode), name);
    else
        std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(exitCode));
    char time[32];
    FormatLifetime(time, sizeof time, lifetime);
    std::snprintf(line, size, "Exit code %s after %s\r\n", code, time);
}

void WriteExitLine(OutputPane* feed, const ChildOutcome& outcome)
{
    if (!outcome.ended)
        return;
    char line[2 + kExitLineSize];
    size_t opening = 0;
    if (!feed->EndsWithLineBreak()) {
        line[opening++] = '\r';
        line[opening++] = '\n';
    }
    FormatExitLine(line + opening, kExitLineSize, outcome.exitCode, outcome.lifetime);
    feed->Append(line, outcome.exitCode == 0 ? kColourGrey : kColourRed);
}
