#include "base/SystemLibrary.h"

#include <cstdio>

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

namespace {

typedef BOOL (WINAPI *SetDefaultDllDirectoriesFn)(DWORD flags);

} // namespace

void UseSystemLibrariesOnly()
{
    // Asked for by name, so that a system without it still starts.
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(
        kernel ? GetProcAddress(kernel, "SetDefaultDllDirectories") : nullptr));
    if (!setDefault || !setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32))
        SetDllDirectoryA("");
}

HMODULE LoadSystemLibrary(const char* name)
{
    HMODULE library = LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    // A loader without the flag refuses it as an invalid parameter: then by the full path, with
    // the library's own dependencies looked for beside it first.
    if (library || GetLastError() != ERROR_INVALID_PARAMETER)
        return library;
    char folder[MAX_PATH];
    UINT length = GetSystemDirectoryA(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return nullptr;
    char path[MAX_PATH];
    int formed = std::snprintf(path, sizeof path, "%s\\%s", folder, name);
    if (formed < 0 || formed >= static_cast<int>(sizeof path))
        return nullptr;
    return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}
