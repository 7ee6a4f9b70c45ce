// Unusual output of a job's child on its way into the log: NUL bytes, lone CR and LF, every byte
// value, and children that crash, read their input or leave a grandchild behind. (Long lines, a
// stalled log and a full one are the pane's business: tests/app.)
#include <gtest/gtest.h>

#include <windows.h>
#include <richedit.h>

#include <cstdio>
#include <string>

#include "app/LogRenewal.h"
#include "app/OutputPane.h"
#include "base/Palette.h"
#include "support/App.h"
#include "support/TestSupport.h"
#include "tests/helpers/ChildPattern.h"

using testing_support::App;
using testing_support::ChildCommand;
using testing_support::Header;
using testing_support::IniFileGuard;
using testing_support::kPrompt;
using testing_support::PumpUntil;

namespace {

// A job of vqchild with these arguments, and what it prints.
struct OutputCase {
    const char* name;
    std::string arguments;
    std::string output;
};

std::string WithoutNul(const std::string& text)
{
    std::string out;
    for (char c : text)
        if (c != '\0')
            out += c;
    return out;
}

// The log of one job that ended with the prompt: the child's part between header and prompt.
// Answers false (with a failure) when the log does not have that shape.
bool ChildPart(const std::string& jobLog, const std::string& command, std::string* part)
{
    const std::string header = Header(command);
    const std::string prompt = kPrompt;
    if (jobLog.compare(0, header.size(), header) != 0 ||
        jobLog.size() < header.size() + prompt.size() ||
        jobLog.compare(jobLog.size() - prompt.size(), prompt.size(), prompt) != 0) {
        ADD_FAILURE() << "not one job ending with the prompt: " << jobLog.substr(0, 300) << " ... "
                      << jobLog.substr(jobLog.size() > 300 ? jobLog.size() - 300 : 0);
        return false;
    }
    *part = jobLog.substr(header.size(), jobLog.size() - header.size() - prompt.size());
    return true;
}

class JobOutputTest : public testing_support::ChildTest {
protected:
    // Runs each case as a job of its own in one window: the log holds exactly its header, the
    // child's output and the prompt.
    template <size_t N>
    void RunCases(const OutputCase (&cases)[N])
    {
        IniFileGuard ini;
        App app;
        ASSERT_TRUE(app.created);
        for (const OutputCase& c : cases) {
            SCOPED_TRACE(c.name);
            app.ClearLog();
            const std::string command = ChildCommand(c.arguments);
            ASSERT_TRUE(app.Run(command, 120000));
            std::string part;
            if (ChildPart(app.Log(), command, &part)) {
                EXPECT_TRUE(c.output == part) << "expected " << c.output.size() << " bytes, got "
                                              << part.size();
            }
            ExpectNoChildLeft();
        }
    }
};

} // namespace

TEST_F(JobOutputTest, UnusualOutputReachesTheLogWhole)
{
    std::string everyByte;
    std::string everyByteEscaped;
    for (int c = 1; c < 256; ++c) {
        everyByte += static_cast<char>(c);
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\x%02X", c);
        everyByteEscaped += escape;
    }
    const std::string mixed = child_pattern::MixedText(20000);
    const OutputCase cases[] = {
        // NUL bytes go; everything around them stays.
        {"NUL bytes", "nul", "leadabcdef\r\n"},
        {"only NUL bytes", "out \\0\\0\\0 out x\\0", "x"},
        // The log keeps a lone CR or LF as it came, and a CR LF split between two writes too.
        {"lone CR and LF", "out \"a\\rb\\nc\\r\\r\\nd\\n\\re\\r\"", "a\rb\nc\r\r\nd\n\re\r"},
        {"CR LF across two writes", "out \"x\\r\" out \"\\ny\"", "x\r\ny"},
        {"CR LF across two chunks", "crlf-split", std::string(255, 'x') + "\r\ntail"},
        // 78 chunks: the pattern's breaks and NULs fall at every place of a chunk.
        {"20,000 bytes of NULs and line breaks", "mixed 20000", WithoutNul(mixed)},
        // Bytes that code page 1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) come back
        // as they were, like every other byte; the ESC, which begins no sequence here, goes.
        {"every byte but NUL", "out \"" + everyByteEscaped + "\"",
         everyByte.substr(0, 0x1A) + everyByte.substr(0x1B)},
    };
    RunCases(cases);
}

TEST_F(JobOutputTest, ChildrenThatCrashReadInputOrLeaveAGrandchild)
{
    const OutputCase cases[] = {
        // A crash is the child's own business: its output stays and the job ends normally.
        {"crash after output", "out \"before\\r\\n\" crash out after", "before\r\n"},
        {"crash at once", "crash", ""},
        {"non-zero exit code", "out done exit 3 out never", "done"},
        // Standard input is at its end at once: the child does not wait for ever.
        {"reads standard input", "stdin out \"after\\r\\n\"", "stdin 0 bytes\r\nafter\r\n"},
        // The job lasts until the grandchild, which holds the pipe, has gone; its output is kept.
        {"a grandchild outlives its parent", "grandchild 2000 out parent-done",
         "parent-donegrandchild\r\n"},
    };
    RunCases(cases);
}

TEST_F(JobOutputTest, EachProgramShowsTheCharactersItMeant)
{
    // cmd writes the console's OEM code page: the name of a file in this folder shows it.
    const std::string folder = testing_support::BesideExe("accented");
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::wstring name =
        std::wstring(folder.begin(), folder.end()) + L"\\r\u00E9sum\u00E9.txt";
    CloseHandle(CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    // Automatic: résumé and Здр cut between writes (so between reads), and é and the euro sign of
    // code page 1252 next to UTF-8.
    const std::string writer = testing_support::Quoted(testing_support::Vqchild()) +
                               " out r\\xC3 sleep 30 out \"\\xA9sum\\xC3\\xA9 \\xD0\" sleep 30 "
                               "out \"\\x97\\xD0\\xB4\\xD1\\x80\\r\\n\" out \"caf\\xE9 \\x80\"";
    const std::string cmd = "\"C:\\windows\\system32\\cmd.exe\" /c dir /b \"" + folder + "\"";
    IniFileGuard ini("[Setup]\r\nPath1=C:\\windows\\system32\\cmd.exe\r\nArgs1=/c dir /b \"" +
                     folder + "\"\r\nCodePage1=oem\r\nDefault=1024\r\n");
    App app;
    ASSERT_TRUE(app.created);
    auto expectChildPart = [&](const std::string& command, const std::string& shown) {
        ASSERT_TRUE(app.WaitForJob());
        std::string part;
        if (ChildPart(testing_support::RichTextUtf8(app.Pane()), command, &part)) {
            EXPECT_EQ(shown, part);
        }
        ExpectNoChildLeft();
        app.ClearLog();
    };
    app.ClearLog();
    app.Command(ID_RUN_DEFAULT);  // slot 1, with CodePage1=oem
    expectChildPart(cmd, "r\xC3\xA9sum\xC3\xA9.txt\r\n");
    app.frame->StartJob(writer.c_str());  // a command line: automatic
    expectChildPart(writer,
                    "r\xC3\xA9sum\xC3\xA9 \xD0\x97\xD0\xB4\xD1\x80\r\ncaf\xC3\xA9 \xE2\x82\xAC");
    DeleteFileW(name.c_str());
    RemoveDirectoryA(folder.c_str());
}

TEST_F(JobOutputTest, EscapeSequencesShowAsTheSlotSays)
{
    const std::string script = "out \"plain \\x1B[1;31merror\\x1B[0m \\x1B[4;38;5;34mok\\x1B[24m "
                               "\\x1B[3;48;2;1;2;3mx\\x1B]0;title\\x07\\x1B[2K\\r\\n\" sleep 50 "
                               "out \"z\\x1B[0m\" sleep 50 out \"\\x1B[35m\" sleep 50 out \"m\\x1B[0m\"";
    const std::string raw = "plain \x1B[1;31merror\x1B[0m \x1B[4;38;5;34mok\x1B[24m "
                            "\x1B[3;48;2;1;2;3mx\x1B]0;title\x07\x1B[2K\r\nz\x1B[0m\x1B[35mm\x1B[0m";
    char red[8], magenta[8];
    std::snprintf(red, sizeof red, "#%02X%02X%02X", GetRValue(PaletteColour(1)),
                  GetGValue(PaletteColour(1)), GetBValue(PaletteColour(1)));
    std::snprintf(magenta, sizeof magenta, "#%02X%02X%02X", GetRValue(PaletteColour(5)),
                  GetGValue(PaletteColour(5)), GetBValue(PaletteColour(5)));
    // Slot 1 has no key (on): the header and the prompt keep their own colours alone.
    const std::string shown[3] = {
        std::string("{}plain {fg=") + red + ",B}error{} {fg=#00AF00,U}ok{fg=#00AF00} "
            // z comes later, in the same style; m after a write of nothing but its colour
            "{fg=#00AF00,bg=#010203,I}x\r\nz{fg=" + magenta + "}m",
        "{}plain error ok x\r\nzm", "{}" + raw};
    std::string ini = "[Setup]\r\nColours2=off\r\nColours3=raw\r\n";
    for (int slot = 1; slot <= 3; ++slot)
        ini += "Path" + std::to_string(slot) + "=" + testing_support::Vqchild() + "\r\nArgs" +
               std::to_string(slot) + "=" + script + "\r\n";
    IniFileGuard guard(ini);
    App app;
    ASSERT_TRUE(app.created);
    for (int slot = 0; slot < 3; ++slot) {
        app.ClearLog();
        app.Command(ID_RUN_SLOT_1 + slot);
        ASSERT_TRUE(app.WaitForJob());
        EXPECT_EQ("{fg=#808080}" + Header(ChildCommand(script)) + shown[slot] + "{fg=#00C000}" + kPrompt,
                  testing_support::StyledText(app.Pane()))
            << "slot " << slot + 1;
    }
}
