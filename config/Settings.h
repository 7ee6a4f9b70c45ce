// Settings: the eight program slots, the default and the DisplayProgram flag, as stored in the
// INI file beside the executable (section "Setup"). Loaded on demand; written one key at a time.
#ifndef VELQUETH_CONFIG_SETTINGS_H
#define VELQUETH_CONFIG_SETTINGS_H

#include <windows.h>

const int kSlotCount = 8;
const int kValueSize = 260;   // 259 characters and the terminator
const int kDefaultIdFirst = 1024;
const int kDefaultIdLast = 1031;

class Settings {
public:
    Settings();
    virtual ~Settings();

    void Load();
    bool GetSlot(int index, const char** path, const char** arguments) const;
    int DefaultSlotIndex() const;

    void WriteSlot(int index, const char* path, const char* arguments) const;
    void WriteDefault(int value) const;
    void WriteDisplayProgram(int value) const;

    int displayProgram;
    char paths[kSlotCount][kValueSize];
    char args[kSlotCount][kValueSize];
    int defaultId;
};

#endif
