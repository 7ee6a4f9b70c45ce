#include "config/AppPaths.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/Seams.h"

namespace {

// Components of a split path. Each holds a whole path: a path of 259 characters may have a
// directory or a name longer than the runtime's _MAX_DIR or _MAX_FNAME, and the runtime's
// _splitpath either drops every component then or stops the process.
struct PathParts {
    char drive[3];
    char directory[kPathSize];
    char name[kPathSize];
    char extension[kPathSize];
};

bool IsLeadByte(const char* p)
{
    return p[1] != '\0' && IsDBCSLeadByte(static_cast<BYTE>(*p));
}

void CopyPart(char* destination, const char* begin, const char* end)
{
    size_t length = static_cast<size_t>(end - begin);
    std::memcpy(destination, begin, length);
    destination[length] = '\0';
}

// The runtime's splitting rules (drive, directory up to the last separator, name up to the last
// dot after it, extension), aware of double-byte characters. The input is cut to 259 characters
// first, so that every component fits.
void Split(const char* path, PathParts* parts)
{
    char bounded[kPathSize];
    lstrcpynA(bounded, path ? path : "", kPathSize);
    const char* p = bounded;
    parts->drive[0] = '\0';
    if (p[0] != '\0' && !IsLeadByte(p) && p[1] == ':') {
        CopyPart(parts->drive, p, p + 2);
        p += 2;
    }
    const char* nameStart = p;
    const char* lastDot = nullptr;
    for (const char* q = p; *q != '\0'; ++q) {
        if (IsLeadByte(q)) {
            ++q;
        } else if (*q == '\\' || *q == '/') {
            nameStart = q + 1;
            lastDot = nullptr;
        } else if (*q == '.') {
            lastDot = q;
        }
    }
    const char* end = nameStart + std::strlen(nameStart);
    const char* extensionStart = lastDot ? lastDot : end;
    CopyPart(parts->directory, p, nameStart);
    CopyPart(parts->name, nameStart, extensionStart);
    CopyPart(parts->extension, extensionStart, end);
}

// Appends text at *length, answering false when it does not fit in kPathSize bytes.
bool Put(char* output, size_t* length, const char* text)
{
    size_t size = std::strlen(text);
    if (*length + size >= static_cast<size_t>(kPathSize))
        return false;
    std::memcpy(output + *length, text, size + 1);
    *length += size;
    return true;
}

// True when the text ends in "\" or "/" as a character of its own (not the second byte of a
// double-byte character).
bool EndsInSeparator(const char* text)
{
    bool separator = false;
    for (const char* q = text; *q != '\0'; ++q) {
        separator = !IsLeadByte(q) && (*q == '\\' || *q == '/');
        if (IsLeadByte(q))
            ++q;
    }
    return separator;
}

// The runtime's composing rules, bounded: false (and an empty output) when the result would not
// fit in kPathSize bytes.
bool Compose(char* output, const char* drive, const char* directory, const char* name,
             const char* extension)
{
    size_t length = 0;
    output[0] = '\0';
    bool fits = true;
    if (drive && drive[0] != '\0') {
        const char letter[3] = {drive[0], ':', '\0'};
        fits = Put(output, &length, letter);
    }
    if (fits && directory && directory[0] != '\0') {
        fits = Put(output, &length, directory);
        if (fits && !EndsInSeparator(directory))
            fits = Put(output, &length, "\\");
    }
    if (fits && name)
        fits = Put(output, &length, name);
    if (fits && extension && extension[0] != '\0') {
        if (extension[0] != '.')
            fits = Put(output, &length, ".");
        if (fits)
            fits = Put(output, &length, extension);
    }
    if (!fits)
        output[0] = '\0';
    return fits;
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

void AppPaths::FormatReason(char* destination, DWORD size, DWORD code) const
{
    FormatSystemMessage(destination, size, code);
    if (size == 0)
        return;
    size_t length = std::strlen(destination);
    while (length > 0 && (destination[length - 1] == '\r' || destination[length - 1] == '\n' ||
                          destination[length - 1] == ' '))
        destination[--length] = '\0';
    if (length == 0)
        std::snprintf(destination, size, "Error %lu", static_cast<unsigned long>(code));
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
