// Version strings: the test program's own resource (the product's), and helper programs that
// carry other resources (code page 1252 only, another language, none).
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <utility>

#include "about/VersionInfo.h"
#include "res/BuildConstants.h"
#include "support/TestSupport.h"

using testing_support::BesideExe;

namespace {

// Runs a helper program and answers what it wrote to its standard output.
std::string RunAndCapture(const std::string& commandLine)
{
    testing_support::Captured run = testing_support::RunAndCapture("", commandLine, 10000);
    return run.ran ? testing_support::Unix(run.output) : "<not started>";
}

std::string Read(const VersionInfo& version, const char* name, int capacity = 128)
{
    std::string buffer(static_cast<size_t>(capacity), '\x7F');
    version.GetValue(name, &buffer[0], capacity);
    return std::string(buffer.c_str());
}

std::string ReadFrom(const std::string& module, const char* name)
{
    char buffer[128];
    VersionInfo().GetValueFrom(module.c_str(), name, buffer, sizeof buffer);
    return buffer;
}

} // namespace

TEST(VersionInfo, ReadsTheExecutablesOwnValues)
{
    VersionInfo version;
    EXPECT_EQ(version.language, 0x0809u);
    // Each name and its value.
    const std::pair<const char*, const char*> cases[] = {
        {"FileVersion", "1.0.0.0"},
        {"SpecialBuild", " "},
        {"InternalName", "Velqueth"},
        {"LegalCopyright", VELQUETH_COPYRIGHT},
        {"ProductName", "Velqueth"},
        {"CompanyName", "Hestrel Ltd."},
        {"PrivateBuild", "Failure getting PrivateBuild"},
        {"", "Failure getting "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        EXPECT_EQ(Read(version, c.first), c.second);
    }
    // The callers' 32-character buffers hold the longest failure text and the copyright line.
    EXPECT_LT(std::strlen(VELQUETH_COPYRIGHT), 32u);
    EXPECT_EQ(Read(version, "LegalCopyright", 32), VELQUETH_COPYRIGHT);
}

TEST(VersionInfo, CutsToTheCapacityAndNeverWritesBeyond)
{
    struct Case {
        const char* name;
        int capacity;
        const char* expected;
    };
    const Case cases[] = {
        {"FileVersion", 8, "1.0.0.0"},
        {"FileVersion", 7, "1.0.0."},
        {"FileVersion", 4, "1.0"},
        {"FileVersion", 1, ""},
        {"PrivateBuild", 10, "Failure g"},
        {"PrivateBuild", 29, "Failure getting PrivateBuild"},
        {"PrivateBuild", 28, "Failure getting PrivateBuil"},
        {"SpecialBuild", 2, " "},
    };
    VersionInfo version;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " in " + std::to_string(c.capacity));
        char buffer[64];
        std::memset(buffer, 'Z', sizeof buffer);
        version.GetValue(c.name, buffer, c.capacity);
        EXPECT_STREQ(buffer, c.expected);
        for (size_t i = static_cast<size_t>(c.capacity); i < sizeof buffer; ++i)
            ASSERT_EQ(buffer[i], 'Z') << "byte " << i << " written";
    }
    char untouched = 'Z';
    version.GetValue("FileVersion", &untouched, 0);
    EXPECT_EQ(untouched, 'Z');
}

TEST(VersionInfo, OtherResourcesAndFiles)
{
    const struct {
        const char* module;
        const char* name;
        const char* expected;  // null: the failure text
    } cases[] = {
        // Only under English (United Kingdom), code page 1252: the second lookup finds it.
        {"version_cp1252.exe", "FileVersion", "2.5.0.1"},
        {"version_cp1252.exe", "InternalName", "Latin1Probe"},
        {"version_cp1252.exe", "LegalCopyright", "Copyright (C) Probe"},
        {"version_cp1252.exe", "SpecialBuild", nullptr},
        // Under English (United States), even though its translation table names it.
        {"version_us.exe", "FileVersion", nullptr},
        {"version_us.exe", "InternalName", nullptr},
        {"version_us.exe", "SpecialBuild", nullptr},
        // No version resource at all.
        {"version_none.exe", "FileVersion", nullptr},
        {"version_none.exe", "LegalCopyright", nullptr},
        // No such file.
        {"no_such_program.exe", "FileVersion", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.module) + " " + c.name);
        std::string module = BesideExe(c.module);
        if (std::strcmp(c.module, "no_such_program.exe") != 0) {
            ASSERT_TRUE(testing_support::FileExists(module)) << module;
        }
        EXPECT_EQ(ReadFrom(module, c.name), c.expected ? c.expected : std::string("Failure getting ") + c.name);
    }
}

TEST(VersionInfo, EachLookupStartsAfresh)
{
    VersionInfo version;
    char buffer[64];
    std::string cp1252 = BesideExe("version_cp1252.exe");
    version.GetValueFrom(cp1252.c_str(), "FileVersion", buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "2.5.0.1");
    version.GetValueFrom(cp1252.c_str(), "PrivateBuild", buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "Failure getting PrivateBuild");
    version.GetValue("FileVersion", buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "1.0.0.0");
    version.GetValueFrom(BesideExe("version_none.exe").c_str(), "FileVersion", buffer,
                         sizeof buffer);
    EXPECT_STREQ(buffer, "Failure getting FileVersion");
}

// The helper programs read their own resource through GetValue, as the product does.
TEST(VersionInfo, ProgramsReadTheirOwnResource)
{
    // Each program and what it prints.
    const std::pair<const char*, const char*> cases[] = {
        {"version_cp1252.exe", "2.5.0.1\nLatin1Probe\nFailure getting SpecialBuild\n"},
        {"version_us.exe",
         "Failure getting FileVersion\nFailure getting InternalName\nFailure getting SpecialBuild\n"},
        {"version_none.exe",
         "Failure getting FileVersion\nFailure getting InternalName\nFailure getting SpecialBuild\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        std::string command = "\"" + BesideExe(c.first) + "\" FileVersion InternalName SpecialBuild";
        EXPECT_EQ(RunAndCapture(command), c.second);
    }
}
