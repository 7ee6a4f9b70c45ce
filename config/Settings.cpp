#include "config/Settings.h"

#include <cstdio>
#include <cstring>

#include "base/Seams.h"
#include "base/TextDecoder.h"
#include "config/AppPaths.h"

namespace {

const char kSection[] = "Setup";

// Every access derives the file's path anew; a failure has already been shown to the user.
bool SettingsFilePath(char* path)
{
    AppPaths appPaths;
    return appPaths.PathWithExtension(path, ".ini", true);
}

// The path to write to: 0, or the reason it cannot be built, shown by whoever reports the save.
DWORD SettingsFileToWrite(char* path)
{
    AppPaths appPaths;
    return appPaths.PathWithExtension(path, ".ini", false) ? 0 : ERROR_FILENAME_EXCED_RANGE;
}

void SlotKey(char* key, size_t size, const char* prefix, int index)
{
    std::snprintf(key, size, "%s%d", prefix, index + 1);
}

// 0, or the system's reason for refusing the write.
DWORD WriteProfileValue(const char* key, const char* text, const char* file)
{
    if (seams::writeProfileString(kSection, key, text, file))
        return 0;
    DWORD code = GetLastError();
    return code ? code : ERROR_WRITE_FAULT;
}

DWORD WriteInteger(const char* key, int value)
{
    char path[kPathSize];
    if (DWORD refused = SettingsFileToWrite(path))
        return refused;
    char text[32];
    std::snprintf(text, sizeof text, "%d", value);
    return WriteProfileValue(key, text, path);
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool IsQuote(char c)
{
    return c == '"' || c == '\'';
}

// The profile reader drops the blanks around a value and one pair of quotes enclosing it, double
// or single, so a value such as "C:\My Files\in.txt" or '*.txt' (a quoted argument) or one with
// blanks at an edge would come back changed. Such a value is written inside one more pair of
// double quotes, which the reader removes again; every other value is written exactly as it
// stands, so files written before read as they always did.
bool NeedsQuotes(const char* value, size_t length)
{
    if (length == 0)
        return false;
    if (IsBlank(value[0]) || IsBlank(value[length - 1]))
        return true;
    return length >= 2 && IsQuote(value[0]) && value[length - 1] == value[0];
}

DWORD WriteValue(const char* key, const char* value, const char* file)
{
    char text[kValueSize + 2];
    lstrcpynA(text + 1, value ? value : "", kValueSize);
    size_t length = std::strlen(text + 1);
    if (NeedsQuotes(text + 1, length)) {
        text[0] = '"';
        text[length + 1] = '"';
        text[length + 2] = '\0';
        return WriteProfileValue(key, text, file);
    }
    return WriteProfileValue(key, text + 1, file);
}

// A CodePage key's value. "oem" is the system's OEM code page: every job's console is new, and a
// new console starts in that code page, which is what cmd writes. (Velqueth has no console of its
// own, so the console's code page cannot be asked for.) Anything else, and a code page that the
// decoder cannot read across reads, reads automatically.
UINT ParseCodePage(const char* value)
{
    if (lstrcmpiA(value, "oem") == 0)
        return GetOEMCP();
    if (lstrcmpiA(value, "ansi") == 0)
        return GetACP();
    if (lstrcmpiA(value, "utf-8") == 0)
        return CP_UTF8;
    unsigned long number = 0;
    const char* digit = value;
    for (; *digit >= '0' && *digit <= '9' && number <= 0xFFFF; ++digit)
        number = number * 10 + static_cast<unsigned long>(*digit - '0');
    if (digit == value || *digit != '\0' || number > 0xFFFF ||
        !TextDecoder::CanRead(static_cast<UINT>(number)))
        return TextDecoder::kAutomatic;
    return static_cast<UINT>(number);
}

ColourMode ParseColours(const char* value)
{
    if (lstrcmpiA(value, "off") == 0)
        return kColoursOff;
    return lstrcmpiA(value, "raw") == 0 ? kColoursRaw : kColoursOn;
}

// Editor and Messages1..Messages8 as they stand in the file: GetPrivateProfileStringA would take
// away a pair of quotes enclosing the value, and an editor's command line often begins with a
// quoted path and ends with a quoted file. The section's lines come back as written; only the
// blanks around the value go.
void ReadAsWritten(const char* file, char (*patterns)[kValueSize], char* editor)
{
    const DWORD kSectionSize = 32 * 1024;
    char* section = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, kSectionSize));
    if (!section)
        return;
    DWORD length = GetPrivateProfileSectionA(kSection, section, kSectionSize, file);
    for (char* entry = section; entry < section + length && *entry; entry += std::strlen(entry) + 1) {
        char* equals = std::strchr(entry, '=');
        if (!equals)
            continue;
        char* end = equals;
        while (end > entry && IsBlank(end[-1]))
            --end;
        *end = '\0';
        char* value = equals + 1;
        while (IsBlank(*value))
            ++value;
        for (size_t size = std::strlen(value); size > 0 && IsBlank(value[size - 1]); --size)
            value[size - 1] = '\0';
        char key[16];
        for (int i = 0; i < kSlotCount; ++i) {
            SlotKey(key, sizeof key, "Messages", i);
            if (lstrcmpiA(entry, key) == 0)
                lstrcpynA(patterns[i], value, kValueSize);
        }
        if (lstrcmpiA(entry, "Editor") == 0)
            lstrcpynA(editor, value, kValueSize);
    }
    HeapFree(GetProcessHeap(), 0, section);
}

} // namespace

Settings::Settings() : displayProgram(0), defaultId(0), showExitCode(0)
{
    std::memset(paths, 0, sizeof paths);
    std::memset(args, 0, sizeof args);
    std::memset(messagePatterns, 0, sizeof messagePatterns);
    std::memset(editor, 0, sizeof editor);
    for (UINT& codePage : codePages)
        codePage = TextDecoder::kAutomatic;
    for (ColourMode& mode : colours)
        mode = kColoursOn;
}

Settings::~Settings()
{
}

void Settings::Load()
{
    char path[kPathSize];
    if (!SettingsFilePath(path))
        return;
    char key[16];
    // Read with room for the two quotes that protect a value of full length, then keep at most
    // 259 characters.
    char value[kValueSize + 2];
    for (int i = 0; i < kSlotCount; ++i) {
        SlotKey(key, sizeof key, "Path", i);
        GetPrivateProfileStringA(kSection, key, "", value, sizeof value, path);
        lstrcpynA(paths[i], value, kValueSize);
        SlotKey(key, sizeof key, "Args", i);
        GetPrivateProfileStringA(kSection, key, "", value, sizeof value, path);
        lstrcpynA(args[i], value, kValueSize);
        SlotKey(key, sizeof key, "CodePage", i);
        GetPrivateProfileStringA(kSection, key, "", value, sizeof value, path);
        codePages[i] = ParseCodePage(value);
        SlotKey(key, sizeof key, "Colours", i);
        GetPrivateProfileStringA(kSection, key, "", value, sizeof value, path);
        colours[i] = ParseColours(value);
    }
    defaultId = static_cast<int>(GetPrivateProfileIntA(kSection, "Default", 0, path));
    displayProgram = static_cast<int>(GetPrivateProfileIntA(kSection, "DisplayProgram", 0, path));
    showExitCode = static_cast<int>(GetPrivateProfileIntA(kSection, "ShowExitCode", 0, path));
    std::memset(messagePatterns, 0, sizeof messagePatterns);
    std::memset(editor, 0, sizeof editor);
    ReadAsWritten(path, messagePatterns, editor);
}

bool Settings::GetSlot(int index, const char** path, const char** arguments) const
{
    if (index < 0 || index >= kSlotCount)
        return false;
    *path = paths[index];
    *arguments = args[index];
    return true;
}

int Settings::DefaultSlotIndex() const
{
    // A file never confirmed with a default radio button checked runs the second slot.
    if (defaultId >= kDefaultIdFirst && defaultId <= kDefaultIdLast)
        return defaultId - kDefaultIdFirst;
    return 1;
}

UINT Settings::SlotCodePage(int index) const
{
    if (index < 0 || index >= kSlotCount)
        return TextDecoder::kAutomatic;
    return codePages[index];
}

ColourMode Settings::SlotColours(int index) const
{
    return index >= 0 && index < kSlotCount ? colours[index] : kColoursOn;
}

DWORD Settings::WriteSlot(int index, const char* path, const char* arguments) const
{
    if (index < 0 || index >= kSlotCount)
        return 0;
    char file[kPathSize];
    if (DWORD refused = SettingsFileToWrite(file))
        return refused;
    char key[16];
    SlotKey(key, sizeof key, "Path", index);
    DWORD result = WriteValue(key, path, file);
    if (result != 0)
        return result;
    SlotKey(key, sizeof key, "Args", index);
    return WriteValue(key, arguments, file);
}

DWORD Settings::WriteDefault(int value) const
{
    return WriteInteger("Default", value);
}

DWORD Settings::WriteDisplayProgram(int value) const
{
    return WriteInteger("DisplayProgram", value);
}
