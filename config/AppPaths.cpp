#include "AppPaths.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "../app/Seams.h"

namespace {

// Components of a split path, sized as the runtime defines them.
struct PathParts {
    char drive[_MAX_DRIVE];
    char directory[_MAX_DIR];
    char name[_MAX_FNAME];
    char extension[_MAX_EXT];
};

// The runtime's splitting rules; the input is cut to 259 characters first so that no component
// can outgrow its buffer.
void Split(const char* path, PathParts* parts)
{
    char bounded[kPathSize];
    lstrcpynA(bounded, path ? path : "", kPathSize);
    _splitpath(bounded, parts->drive, parts->directory, parts->name, parts->extension);
}

// The runtime's composing rules, bounded: false (and an empty output) when the result would not
// fit in kPathSize bytes.
bool Compose(char* output, const char* drive, const char* directory, const char* name,
             const char* extension)
{
    if (_makepath_s(output, kPathSize, drive, directory, name, extension) != 0) {
        output[0] = '\0';
        return false;
    }
    return true;
}

} // namespace

bool AppPaths::BuildModulePath(char* output, const char* baseName, const char* extension,
                               bool reportErrors) const
{
    char modulePath[kPathSize];
    DWORD length = GetModuleFileNameA(nullptr, modulePath, kPathSize);
    if (length == 0 || length >= static_cast<DWORD>(kPathSize)) {
        DWORD code = length == 0 ? GetLastError() : ERROR_INSUFFICIENT_BUFFER;
        if (reportErrors)
            ShowSystemError("Error: Fatal using GetModuleFileName", code);
        output[0] = '\0';
        return false;
    }
    PathParts parts;
    Split(modulePath, &parts);
    // A path that no longer fits (a longer new extension on a path near the limit) is refused
    // rather than cut: a cut path would name some other file.
    if (!Compose(output, parts.drive, parts.directory, baseName ? baseName : parts.name,
                 extension ? extension : "")) {
        if (reportErrors)
            ShowSystemError("Error: Fatal using GetModuleFileName", ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    return true;
}

bool AppPaths::PathWithExtension(char* output, const char* extension, bool reportErrors) const
{
    return BuildModulePath(output, nullptr, extension, reportErrors);
}

bool AppPaths::HelpFilePath(char* output) const
{
    return BuildModulePath(output, nullptr, ".chm", false);
}

void AppPaths::ShowSystemError(const char* prefix, DWORD code) const
{
    size_t size = std::strlen(prefix) + 1025;
    char* text = static_cast<char*>(std::malloc(size));
    if (!text) {
        seams::messageBox(nullptr, "Failed to build error message", nullptr, MB_ICONERROR | MB_OK);
        return;
    }
    char message[1024];
    FormatSystemMessage(message, sizeof message, code);
    std::snprintf(text, size, "%s %s", prefix, message);
    seams::messageBox(nullptr, text, nullptr, MB_OK);
    std::free(text);
}

void AppPaths::FormatSystemMessage(char* destination, DWORD size, DWORD code) const
{
    if (size == 0)
        return;
    destination[0] = '\0';
    char* systemText = nullptr;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                  nullptr, code, 0, reinterpret_cast<char*>(&systemText), 0,
                                  nullptr);
    if (systemText && length > 0 && code != 0) {
        // Count bytes, but never end on the lead byte of a double-byte character.
        DWORD copied = 0;
        while (copied < length && copied < size - 1) {
            if (IsDBCSLeadByte(static_cast<BYTE>(systemText[copied]))) {
                if (copied + 2 > size - 1 || copied + 1 >= length)
                    break;
                copied += 2;
            } else {
                copied += 1;
            }
        }
        std::memcpy(destination, systemText, copied);
        destination[copied] = '\0';
    }
    if (systemText)
        LocalFree(systemText);
}

DWORD AppPaths::WideToNarrow(const wchar_t* source, char* destination, int count) const
{
    if (!source)
        return 0;
    if (WideCharToMultiByte(CP_ACP, 0, source, count, destination, count, nullptr, nullptr) != 0)
        return 0;
    DWORD e = GetLastError();
    if (static_cast<LONG>(e) <= 0)
        return e;
    return (e & 0xFFFF) | 0x80070000;
}

void AppPaths::DirectoryOf(const char* path, char* output)
{
    PathParts parts;
    Split(path, &parts);
    Compose(output, parts.drive, parts.directory, nullptr, nullptr);
}

void AppPaths::FileNameOf(const char* path, char* output)
{
    PathParts parts;
    Split(path, &parts);
    Compose(output, nullptr, nullptr, parts.name, parts.extension);
}
