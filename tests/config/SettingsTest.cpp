// Settings against the real profile (INI) services, with the INI file beside the test program.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "base/TextDecoder.h"
#include "config/Settings.h"
#include "support/TestSupport.h"

using testing_support::FileExists;
using testing_support::IniFileGuard;

namespace {

// The profile services may keep a file in memory; this writes it out before the text is read.
std::string IniText(const IniFileGuard& ini)
{
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, ini.Path().c_str());
    return ini.Text();
}

// A slot's path or arguments as GetSlot gives them, or "<refused>".
std::string SlotPart(const Settings& settings, int index, bool wantArguments)
{
    const char* path = nullptr;
    const char* arguments = nullptr;
    if (!settings.GetSlot(index, &path, &arguments))
        return "<refused>";
    return wantArguments ? arguments : path;
}

std::string SlotPath(const Settings& settings, int index)
{
    return SlotPart(settings, index, false);
}

std::string SlotArgs(const Settings& settings, int index)
{
    return SlotPart(settings, index, true);
}

// `value` written as a slot's path and arguments reads back unchanged.
void ExpectSlotRoundTrip(int index, const char* value)
{
    IniFileGuard ini;
    Settings().WriteSlot(index, value, value);
    Settings reader;
    reader.Load();
    EXPECT_EQ(value, SlotPath(reader, index)) << IniText(ini);
    EXPECT_EQ(value, SlotArgs(reader, index)) << IniText(ini);
}

} // namespace

TEST(SettingsTest, NoFileGivesDefaultsAndCreatesNothing)
{
    IniFileGuard ini;
    testing_support::MessageBoxRecorder boxes;
    Settings settings;
    settings.Load();

    for (int i = 0; i < kSlotCount; ++i) {
        EXPECT_EQ("", SlotPath(settings, i)) << i;
        EXPECT_EQ("", SlotArgs(settings, i)) << i;
    }
    EXPECT_EQ(0, settings.defaultId);
    EXPECT_EQ(1, settings.DefaultSlotIndex());
    EXPECT_EQ(0, settings.displayProgram);
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_FALSE(FileExists(ini.Path()));
}

TEST(SettingsTest, LoadReadsEverySlotAndTheFlags)
{
    std::string text = "[Setup]\r\n";
    for (int i = 1; i <= kSlotCount; ++i) {
        text += "Path" + std::to_string(i) + "=C:\\Tools\\prog" + std::to_string(i) + ".exe\r\n";
        text += "Args" + std::to_string(i) + "=-n " + std::to_string(i) + " \"x y\"\r\n";
    }
    text += "Default=1030\r\nDisplayProgram=1\r\n";
    IniFileGuard ini(text);

    Settings settings;
    settings.Load();
    for (int i = 0; i < kSlotCount; ++i) {
        EXPECT_EQ("C:\\Tools\\prog" + std::to_string(i + 1) + ".exe", SlotPath(settings, i));
        EXPECT_EQ("-n " + std::to_string(i + 1) + " \"x y\"", SlotArgs(settings, i));
    }
    EXPECT_EQ(1030, settings.defaultId);
    EXPECT_EQ(6, settings.DefaultSlotIndex());
    EXPECT_EQ(1, settings.displayProgram);
}

TEST(SettingsTest, DefaultValueSelectsSlot)
{
    struct Case {
        const char* line;  // the "Default" line, or none
        int slot;
    };
    const Case cases[] = {
        {"Default=1024", 0}, {"Default=1025", 1}, {"Default=1027", 3}, {"Default=1031", 7},
        {"Default=0", 1},    {"Default=1032", 1}, {"Default=1023", 1}, {"Default=-1024", 1},
        {"Default=-5", 1},   {"Default=abc", 1},  {"Default=", 1},     {"", 1},
    };
    for (const Case& c : cases) {
        IniFileGuard ini(std::string("[Setup]\r\nPath1=a.exe\r\n") + c.line + "\r\n");
        Settings settings;
        settings.Load();
        EXPECT_EQ(c.slot, settings.DefaultSlotIndex()) << "'" << c.line << "'";
    }
}

TEST(SettingsTest, CodePageKeysNameHowEachSlotIsRead)
{
    const UINT automatic = TextDecoder::kAutomatic;
    const std::pair<const char*, UINT> cases[] = {  // the line of slot index 2, or none
        {"CodePage3=oem", GetOEMCP()}, {"CodePage3=OEM", GetOEMCP()}, {"CodePage3=ansi", GetACP()},
        {"CodePage3=UTF-8", CP_UTF8},  {"CodePage3=850", 850},        {"CodePage3=65001", CP_UTF8},
        {"CodePage3=0", automatic},    {"CodePage3=99999", automatic}, {"CodePage3=12x", automatic},
        {"CodePage3=utf8", automatic}, {"CodePage3=", automatic},     {"", automatic},
        {"CodePage3=65000", automatic},  // UTF-7 shifts state between reads
    };
    for (const auto& c : cases) {
        IniFileGuard ini(std::string("[Setup]\r\nCodePage2=oem\r\n") + c.first + "\r\n");
        Settings settings;
        settings.Load();
        EXPECT_EQ(c.second, settings.SlotCodePage(2)) << c.first;
        EXPECT_EQ(GetOEMCP(), settings.SlotCodePage(1)) << c.first;
        EXPECT_EQ(automatic, settings.SlotCodePage(8));
    }
}

TEST(SettingsTest, ColoursKeysSayHowEachSlotShowsEscapeSequences)
{
    const std::pair<const char*, ColourMode> cases[] = {  // the line of slot index 4, or none
        {"Colours5=on", kColoursOn},   {"Colours5=off", kColoursOff}, {"Colours5=OFF", kColoursOff},
        {"Colours5=raw", kColoursRaw}, {"Colours5=Raw", kColoursRaw}, {"Colours5=no", kColoursOn},
        {"Colours5=", kColoursOn},     {"", kColoursOn},
    };
    for (const auto& c : cases) {
        IniFileGuard ini(std::string("[Setup]\r\nColours4=raw\r\n") + c.first + "\r\n");
        Settings settings;
        settings.Load();
        EXPECT_EQ(c.second, settings.SlotColours(4)) << c.first;
        EXPECT_EQ(kColoursRaw, settings.SlotColours(3)) << c.first;
        EXPECT_EQ(kColoursOn, settings.SlotColours(8));
    }
}

TEST(SettingsTest, LongValuesAreCutTo259Characters)
{
    const std::string longPath = "C:\\" + std::string(297, 'p');
    const std::string longArgs(300, 'a');
    IniFileGuard ini("[Setup]\r\nPath3=" + longPath + "\r\nArgs3=" + longArgs + "\r\n");
    Settings settings;
    settings.Load();
    EXPECT_EQ(longPath.substr(0, 259), SlotPath(settings, 2));
    EXPECT_EQ(longArgs.substr(0, 259), SlotArgs(settings, 2));
    // The neighbours are not touched by the overlong values.
    EXPECT_EQ("", SlotPath(settings, 3));
    EXPECT_EQ("", SlotArgs(settings, 1));
}

TEST(SettingsTest, WritersStoreKeysThatLoadBack)
{
    IniFileGuard ini;
    Settings writer;
    writer.WriteSlot(0, "C:\\Tools\\conv.exe", "-v in.txt");
    writer.WriteSlot(3, "", "");
    writer.WriteDefault(1027);
    writer.WriteDisplayProgram(1);

    std::string text = IniText(ini);
    EXPECT_NE(std::string::npos, text.find("[Setup]")) << text;
    EXPECT_NE(std::string::npos, text.find("Path1=C:\\Tools\\conv.exe")) << text;
    EXPECT_NE(std::string::npos, text.find("Args1=-v in.txt")) << text;
    // Empty fields are keys with empty values, not missing keys.
    EXPECT_NE(std::string::npos, text.find("Path4=\r\n")) << text;
    EXPECT_NE(std::string::npos, text.find("Args4=\r\n")) << text;
    EXPECT_NE(std::string::npos, text.find("Default=1027")) << text;
    EXPECT_NE(std::string::npos, text.find("DisplayProgram=1")) << text;

    Settings reader;
    reader.Load();
    EXPECT_EQ("C:\\Tools\\conv.exe", SlotPath(reader, 0));
    EXPECT_EQ("-v in.txt", SlotArgs(reader, 0));
    EXPECT_EQ("", SlotPath(reader, 3));
    EXPECT_EQ("", SlotArgs(reader, 3));
    EXPECT_EQ(3, reader.DefaultSlotIndex());
    EXPECT_EQ(1, reader.displayProgram);

    // A second write replaces the value.
    writer.WriteDisplayProgram(0);
    writer.WriteSlot(0, "D:\\other.exe", "");
    reader.Load();
    EXPECT_EQ(0, reader.displayProgram);
    EXPECT_EQ("D:\\other.exe", SlotPath(reader, 0));
    EXPECT_EQ("", SlotArgs(reader, 0));
}

TEST(SettingsTest, ValuesWithQuotesOrBlanksAtTheirEdgesComeBackUnchanged)
{
    // The profile reader strips outer blanks and one pair of outer quotes; what the user typed
    // must survive a save and a load all the same.
    const std::string longQuoted = "\"" + std::string(257, 'q') + "\"";  // 259 characters
    const char* const values[] = {
        "\"C:\\My Files\\in.txt\"",
        "\"C:\\Program Files\\tool.exe\" -v",
        "-o \"out dir\"",
        "  leading blanks",
        "trailing blanks  ",
        "\"",
        "\"\"",
        "a \"quoted\" word",
        "plain",
        longQuoted.c_str(),
    };
    for (const char* value : values)
        ExpectSlotRoundTrip(2, value);
    // Values that need no protection are stored exactly as they stand.
    IniFileGuard ini;
    Settings().WriteSlot(0, "C:\\Tools\\a b.exe", "-x \"y\" z");
    EXPECT_NE(std::string::npos, IniText(ini).find("Path1=C:\\Tools\\a b.exe\r\n"));
    EXPECT_NE(std::string::npos, IniText(ini).find("Args1=-x \"y\" z\r\n"));
}

TEST(SettingsTest, SingleQuotedValuesComeBackUnchanged)
{
    // The profile reader strips one pair of enclosing single quotes as well.
    for (const char* value : {"'*.txt'", "''", "'a \"b\" c'", "'C:\\My Files\\in.txt'"})
        ExpectSlotRoundTrip(4, value);
    // A file written before reads as it always did; quotes inside a value are written as they are.
    IniFileGuard ini("[Setup]\r\nArgs1='*.txt'\r\n");
    Settings().WriteSlot(1, "x.exe", "-f '*.txt'");
    Settings reader;
    reader.Load();
    EXPECT_EQ("*.txt", SlotArgs(reader, 0));
    EXPECT_NE(std::string::npos, IniText(ini).find("Args2=-f '*.txt'\r\n"));
}

TEST(SettingsTest, IndexOutsideTheSlotsIsRefused)
{
    IniFileGuard ini("[Setup]\r\nPath1=one.exe\r\nArgs1=a\r\nPath8=eight.exe\r\n");
    Settings settings;
    settings.Load();
    const std::string before = IniText(ini);

    for (int index : {8, -1, 9, 100, -100}) {
        const char* path = "untouched path";
        const char* arguments = "untouched args";
        EXPECT_FALSE(settings.GetSlot(index, &path, &arguments)) << index;
        EXPECT_STREQ("untouched path", path) << index;
        EXPECT_STREQ("untouched args", arguments) << index;

        settings.WriteSlot(index, "written.exe", "written");
    }
    EXPECT_EQ(before, IniText(ini));
    EXPECT_EQ(std::string::npos, IniText(ini).find("written"));
}

TEST(SettingsTest, WriteSlotOutsideTheSlotsCreatesNoFile)
{
    IniFileGuard ini;
    Settings settings;
    settings.WriteSlot(8, "written.exe", "written");
    settings.WriteSlot(-1, "written.exe", "written");
    EXPECT_FALSE(FileExists(ini.Path()));
}

TEST(SettingsTest, EarlierInstanceKeepsItsValuesAfterAWrite)
{
    IniFileGuard ini("[Setup]\r\nPath2=old.exe\r\nArgs2=old\r\nDefault=1024\r\nDisplayProgram=0\r\n");
    Settings earlier;
    earlier.Load();

    Settings writer;
    writer.WriteSlot(1, "new.exe", "new");
    writer.WriteDefault(1026);
    writer.WriteDisplayProgram(1);
    // The writers ignore and keep the instance they are called on.
    EXPECT_EQ("", SlotPath(writer, 1));
    EXPECT_EQ(0, writer.defaultId);

    EXPECT_EQ("old.exe", SlotPath(earlier, 1));
    EXPECT_EQ("old", SlotArgs(earlier, 1));
    EXPECT_EQ(0, earlier.DefaultSlotIndex());
    EXPECT_EQ(0, earlier.displayProgram);

    earlier.Load();
    EXPECT_EQ("new.exe", SlotPath(earlier, 1));
    EXPECT_EQ("new", SlotArgs(earlier, 1));
    EXPECT_EQ(2, earlier.DefaultSlotIndex());
    EXPECT_EQ(1, earlier.displayProgram);
}
