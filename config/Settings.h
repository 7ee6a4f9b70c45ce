// Settings: the eight program slots, the default and the DisplayProgram flag, as stored in the
// INI file beside the executable (section "Setup"), and how each slot's output is read (the keys
// CodePage1..CodePage8, which only a hand edit writes) and shown (Colours1..Colours8, the same),
// the patterns of a slot's message lines (Messages1..Messages8) and the editor that opens them
// (Editor), written by hand too. Loaded on demand; written one key at a time.
#ifndef VELQUETH_CONFIG_SETTINGS_H
#define VELQUETH_CONFIG_SETTINGS_H

#include <windows.h>

const int kSlotCount = 8;
const int kValueSize = 260;   // 259 characters and the terminator
const int kDefaultIdFirst = 1024;
const int kDefaultIdLast = 1031;

// How a job shows its output's escape sequences: as colours, taken out, or as the bytes they are.
enum ColourMode { kColoursOn, kColoursOff, kColoursRaw };

class Settings {
public:
    Settings();
    virtual ~Settings();

    void Load();
    bool GetSlot(int index, const char** path, const char** arguments) const;
    int DefaultSlotIndex() const;
    // The code page in which a slot's output is read: TextDecoder::kAutomatic unless its key
    // names one ("oem", "ansi", "utf-8" or a number).
    UINT SlotCodePage(int index) const;
    // kColoursOn unless its key says "off" or "raw".
    ColourMode SlotColours(int index) const;

    // Each writer answers 0, or the system's error code of the first write that it refused (a
    // file that cannot be written; ERROR_FILENAME_EXCED_RANGE when its path cannot be built). It
    // shows nothing itself.
    DWORD WriteSlot(int index, const char* path, const char* arguments) const;
    DWORD WriteDefault(int value) const;
    DWORD WriteDisplayProgram(int value) const;

    int displayProgram;
    char paths[kSlotCount][kValueSize];
    char args[kSlotCount][kValueSize];
    int defaultId;
    UINT codePages[kSlotCount];
    ColourMode colours[kSlotCount];
    // Non-zero: each job that ran ends with a line of its exit code and time (ShowExitCode, only
    // written by hand).
    int showExitCode;
    // As they stand in the file, enclosing quotes included; empty when absent.
    char messagePatterns[kSlotCount][kValueSize];
    char editor[kValueSize];
};

#endif
