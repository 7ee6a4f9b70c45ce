#include "base/EditorCommand.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

const char* const kRunnable[] = {".exe", ".com", ".bat", ".cmd", ".ps1", ".vbs", ".js",
                                 ".wsf", ".lnk", ".url", ".scr", ".msi", ".cpl", ".hta"};
const DWORD kPathExtSize = 1024;

bool Put(char* command, size_t size, size_t* used, const char* text, size_t length)
{
    if (length >= size - *used)
        return false;
    std::memcpy(command + *used, text, length);
    *used += length;
    return true;
}

// The extension of the last part of a path, with its dot; empty when it has none.
const char* ExtensionOf(const char* path)
{
    const char* name = path;
    for (const char* c = path; *c; ++c)
        if (*c == '\\' || *c == '/' || *c == ':')
            name = c + 1;
    const char* dot = std::strrchr(name, '.');
    return dot ? dot : "";
}

// Whether `extension` is one of the semicolon-separated entries of `list`, ignoring case.
bool Lists(const char* list, const char* extension)
{
    size_t length = std::strlen(extension);
    for (const char* entry = list; *entry;) {
        const char* end = std::strchr(entry, ';');
        size_t size = end ? static_cast<size_t>(end - entry) : std::strlen(entry);
        if (size == length && CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, entry,
                                             static_cast<int>(size), extension,
                                             static_cast<int>(length)) == CSTR_EQUAL)
            return true;
        entry += size + (end ? 1 : 0);
    }
    return false;
}

} // namespace

bool FillEditorCommand(const char* pattern, const char* path, unsigned long line,
                       unsigned long column, char* command, size_t size)
{
    if (size == 0)
        return false;
    size_t used = 0;
    for (const char* c = pattern; *c; ++c) {
        char number[16];
        const char* text = c;
        size_t length = 1;
        if (*c == '%') {
            switch (c[1]) {
            case 'f':
                text = path;
                length = std::strlen(path);
                ++c;
                break;
            case 'l':
            case 'c':
                length = static_cast<size_t>(std::snprintf(
                    number, sizeof number, "%lu", c[1] == 'l' ? line : column ? column : 1));
                text = number;
                ++c;
                break;
            case '%':
                ++c;  // one percent sign, the first
                break;
            }
        }
        if (!Put(command, size, &used, text, length))
            return false;
    }
    command[used] = '\0';
    return true;
}

bool WouldRunWhenOpened(const char* path)
{
    const char* extension = ExtensionOf(path);
    if (!*extension)
        return false;
    for (const char* runnable : kRunnable)
        if (lstrcmpiA(runnable, extension) == 0)
            return true;
    char list[kPathExtSize];
    DWORD length = GetEnvironmentVariableA("PATHEXT", list, kPathExtSize);
    return length > 0 && length < kPathExtSize && Lists(list, extension);
}
