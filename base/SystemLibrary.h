// Libraries from the system folder only. A portable program is unzipped into folders such as
// Downloads, where other files land too, and Windows looks in the program's own folder first
// for a library named without a path.
#ifndef VELQUETH_BASE_SYSTEMLIBRARY_H
#define VELQUETH_BASE_SYSTEMLIBRARY_H

#include <windows.h>

// First thing at start: from here on, libraries that the system loads for the program (and
// their dependencies) come from the system folder alone, where the system offers that (Windows 8
// and later, Windows 7 with its loader update); elsewhere at least the current folder is dropped.
void UseSystemLibrariesOnly();

// Loads the library of that name from the system folder, never a copy elsewhere; null when the
// system folder has none.
HMODULE LoadSystemLibrary(const char* name);

#endif
