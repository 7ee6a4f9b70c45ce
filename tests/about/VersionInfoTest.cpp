// Version strings: the test program's own resource (the product's), and helper programs that
// carry other resources (code page 1252 only, another language, none).
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

#include "about/VersionInfo.h"
#include "res/BuildConstants.h"
#include "support/TestSupport.h"

using testing_support::BesideExe;

namespace {

// Runs a helper program and answers what it wrote to its standard output.
std::string RunAndCapture(const std::string& commandLine)
{
    SECURITY_ATTRIBUTES security = {sizeof security, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &security, 0))
        return "<no pipe>";
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process;
    std::string line = commandLine;
    BOOL started = CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                  nullptr, nullptr, &startup, &process);
    CloseHandle(writeEnd);
    std::string output;
    if (!started) {
        CloseHandle(readEnd);
        return "<not started>";
    }
    char buffer[256];
    DWORD got = 0;
    while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0)
        output.append(buffer, got);
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    CloseHandle(readEnd);
    return testing_support::Unix(output);
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
    struct Case {
        const char* name;
        const char* value;
    };
    const Case cases[] = {
        {"FileVersion", "1.0.0.0"},
        {"SpecialBuild", " "},
        {"InternalName", "Velqueth"},
        {"LegalCopyright", VELQUETH_COPYRIGHT},
        {"ProductName", "Velqueth"},
        {"CompanyName", "Hestrel Ltd."},
        {"PrivateBuild", "Failure getting PrivateBuild"},
        {"", "Failure getting "},
    };
    VersionInfo version;
    EXPECT_EQ(version.language, 0x0809u);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Read(version, c.name), c.value);
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
    struct Case {
        const char* module;
        const char* name;
        const char* expected;
    };
    const Case cases[] = {
        // Only under English (United Kingdom), code page 1252: the second lookup finds it.
        {"version_cp1252.exe", "FileVersion", "2.5.0.1"},
        {"version_cp1252.exe", "InternalName", "Latin1Probe"},
        {"version_cp1252.exe", "LegalCopyright", "Copyright (C) Probe"},
        {"version_cp1252.exe", "SpecialBuild", "Failure getting SpecialBuild"},
        // Under English (United States), even though its translation table names it.
        {"version_us.exe", "FileVersion", "Failure getting FileVersion"},
        {"version_us.exe", "InternalName", "Failure getting InternalName"},
        {"version_us.exe", "SpecialBuild", "Failure getting SpecialBuild"},
        // No version resource at all.
        {"version_none.exe", "FileVersion", "Failure getting FileVersion"},
        {"version_none.exe", "LegalCopyright", "Failure getting LegalCopyright"},
        // No such file.
        {"no_such_program.exe", "FileVersion", "Failure getting FileVersion"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.module) + " " + c.name);
        std::string module = BesideExe(c.module);
        if (std::strcmp(c.module, "no_such_program.exe") != 0) {
            ASSERT_TRUE(testing_support::FileExists(module)) << module;
        }
        EXPECT_EQ(ReadFrom(module, c.name), c.expected);
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
    struct Case {
        const char* program;
        const char* expected;
    };
    const Case cases[] = {
        {"version_cp1252.exe", "2.5.0.1\nLatin1Probe\nFailure getting SpecialBuild\n"},
        {"version_us.exe",
         "Failure getting FileVersion\nFailure getting InternalName\nFailure getting SpecialBuild\n"},
        {"version_none.exe",
         "Failure getting FileVersion\nFailure getting InternalName\nFailure getting SpecialBuild\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program);
        std::string command =
            "\"" + BesideExe(c.program) + "\" FileVersion InternalName SpecialBuild";
        EXPECT_EQ(RunAndCapture(command), c.expected);
    }
}
