#include "Settings.h"

#include <cstdio>
#include <cstring>

#include "AppPaths.h"

namespace {

const char kSection[] = "Setup";

// Every access derives the file's path anew; a failure has already been shown to the user.
bool SettingsFilePath(char* path)
{
    AppPaths appPaths;
    return appPaths.PathWithExtension(path, ".ini", true);
}

void SlotKey(char* key, size_t size, const char* prefix, int index)
{
    std::snprintf(key, size, "%s%d", prefix, index + 1);
}

void WriteInteger(const char* key, int value)
{
    char path[kPathSize];
    if (!SettingsFilePath(path))
        return;
    char text[32];
    std::snprintf(text, sizeof text, "%d", value);
    WritePrivateProfileStringA(kSection, key, text, path);
}

} // namespace

Settings::Settings() : displayProgram(0), defaultId(0)
{
    std::memset(paths, 0, sizeof paths);
    std::memset(args, 0, sizeof args);
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
    for (int i = 0; i < kSlotCount; ++i) {
        SlotKey(key, sizeof key, "Path", i);
        GetPrivateProfileStringA(kSection, key, "", paths[i], kValueSize, path);
        SlotKey(key, sizeof key, "Args", i);
        GetPrivateProfileStringA(kSection, key, "", args[i], kValueSize, path);
    }
    defaultId = static_cast<int>(GetPrivateProfileIntA(kSection, "Default", 0, path));
    displayProgram = static_cast<int>(GetPrivateProfileIntA(kSection, "DisplayProgram", 0, path));
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

void Settings::WriteSlot(int index, const char* path, const char* arguments) const
{
    char file[kPathSize];
    if (!SettingsFilePath(file))
        return;
    if (index < 0 || index >= kSlotCount)
        return;
    char key[16];
    SlotKey(key, sizeof key, "Path", index);
    WritePrivateProfileStringA(kSection, key, path ? path : "", file);
    SlotKey(key, sizeof key, "Args", index);
    WritePrivateProfileStringA(kSection, key, arguments ? arguments : "", file);
}

void Settings::WriteDefault(int value) const
{
    WriteInteger("Default", value);
}

void Settings::WriteDisplayProgram(int value) const
{
    WriteInteger("DisplayProgram", value);
}
