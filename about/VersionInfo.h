// VersionInfo: one named string of the executable's own version resource (language 0x0809,
// code page 1200, then 1252), or "Failure getting <name>" in its place.
#ifndef VELQUETH_ABOUT_VERSIONINFO_H
#define VELQUETH_ABOUT_VERSIONINFO_H

#include <windows.h>

class VersionInfo {
public:
    VersionInfo();
    virtual ~VersionInfo();

    // out holds capacity characters; a longer value or failure text is cut to capacity - 1.
    void GetValue(const char* name, char* out, int capacity) const;

    // The version line that the log's banner and the About box show:
    // "<name> Version <SpecialBuild> <FileVersion>", cut to capacity - 1.
    void GetVersionLine(const char* name, char* out, int capacity) const;

    // Reads from another module's file instead of the running executable (tests).
    void GetValueFrom(const char* modulePath, const char* name, char* out, int capacity) const;

    DWORD language;
};

#endif
