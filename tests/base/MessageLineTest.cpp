// Message lines through the matcher: the built-in forms, a user's pattern, and lines that are not
// messages.
#include <gtest/gtest.h>

#include <cstring>

#include <windows.h>

#include "base/EditorCommand.h"
#include "base/MessageLine.h"

TEST(MessageLineTest, ReadsThePlaceOfEachFormAndNothingElse)
{
    MessagePattern withColumn, withoutColumn, stem, anywhere;
    const char* reason = nullptr;
    ASSERT_TRUE(anywhere.Compile("([\\w.]+):(\\d+)", &reason));
    ASSERT_TRUE(stem.Compile("^(\\w+)\\.c:(\\d+)", &reason));
    ASSERT_TRUE(withColumn.Compile("^ERR ([^ ]+) @(\\d+)\\.(\\d+)", &reason));
    ASSERT_TRUE(withoutColumn.Compile("^\\[(.+)\\] line (\\d+)", &reason));
    const struct {
        const char* text;
        const MessagePattern* pattern;
        const char* file;  // null: not a message
        unsigned long line, column;
    } cases[] = {
        {"src\\main.c:12:5: error: x", nullptr, "src\\main.c", 12, 5},
        {"main.c:7: warning: y", nullptr, "main.c", 7, 0},
        {"C:\\src\\a.c:12:5: error", nullptr, "C:\\src\\a.c", 12, 5},
        {"My Files\\..\\b c.h:3:", nullptr, "My Files\\..\\b c.h", 3, 0},
        {"main.cpp(34): warning C4996: x", nullptr, "main.cpp", 34, 0},
        {"  C:\\Program Files (x86)\\..\\x.h(8,21): error C2065", nullptr,
         "C:\\Program Files (x86)\\..\\x.h", 8, 21},
        {"old.cpp(9) : error C1", nullptr, "old.cpp", 9, 0},
        {"  File \"C:\\py dir\\..\\tool.py\", line 7, in <module>", nullptr,
         "C:\\py dir\\..\\tool.py", 7, 0},
        {"ERR lib/x.pas @40.2 bad", &withColumn, "lib/x.pas", 40, 2},
        {"[one two.pas] line 5", &withoutColumn, "one two.pas", 5, 0},
        {"main.c:7:3: the pattern first", &stem, "main", 7, 0},
        {"Executing:- \"C:\\t\\lint.exe\" a.c:1:2:", nullptr, nullptr, 0, 0},
        {"Failure running:- a.c(3):", nullptr, nullptr, 0, 0},
        {"Executing:- \"lint.exe\" main.c:7:", &anywhere, nullptr, 0, 0},
        {"Exit code 1 after 0.2 s:3", &anywhere, nullptr, 0, 0},
        {"Stopped:- b.c:4:", &withoutColumn, nullptr, 0, 0},
        {"Exit code 3 after 1.24 s", nullptr, nullptr, 0, 0},
        {"C:\\> ", nullptr, nullptr, 0, 0},
        {"12:30:45: started", nullptr, nullptr, 0, 0},
        {"see http://host:80: now", nullptr, nullptr, 0, 0},
        {" indented.c:1:2:", nullptr, nullptr, 0, 0},
        {"a.c:1234567890:", nullptr, nullptr, 0, 0},
        {"f(x): no number", nullptr, nullptr, 0, 0},
        {"File \"a.py\" line 3", nullptr, nullptr, 0, 0},
        {"ERR lib/x.pas @forty", &withColumn, nullptr, 0, 0},
        {"", nullptr, nullptr, 0, 0},
    };
    for (const auto& c : cases) {
        MessagePlace place = {};
        bool matched = MatchMessageLine(c.text, std::strlen(c.text), c.pattern, &place);
        EXPECT_EQ(c.file != nullptr, matched) << c.text;
        if (!c.file || !matched)
            continue;
        EXPECT_STREQ(c.file, place.file) << c.text;
        EXPECT_EQ(c.line, place.line) << c.text;
        EXPECT_EQ(c.column, place.column) << c.text;
    }
}

TEST(MessageLineTest, APatternThatDoesNotCompileSaysWhyAndMatchesNothing)
{
    MessagePattern pattern;
    const char* reason = nullptr;
    EXPECT_FALSE(pattern.Compile("^(.+:(\\d+)", &reason));
    EXPECT_STREQ("unbalanced ( )", reason);
    EXPECT_TRUE(pattern.Empty());
    MessagePlace place = {};
    EXPECT_TRUE(MatchMessageLine("a.c:1:", 6, &pattern, &place));
    EXPECT_TRUE(pattern.Compile("", &reason));
    EXPECT_TRUE(pattern.Empty());
}

TEST(EditorCommandTest, FillsTheTemplateInOnePass)
{
    const struct {
        const char* pattern;
        const char* path;
        unsigned long line, column;
        const char* command;
    } cases[] = {
        {"\"C:\\N++\\notepad++.exe\" -n%l -c%c \"%f\"", "C:\\a b\\x.c", 12, 5,
         "\"C:\\N++\\notepad++.exe\" -n12 -c5 \"C:\\a b\\x.c\""},
        {"code -g \"%f:%l:%c\"", "C:\\x.c", 3, 0, "code -g \"C:\\x.c:3:1\""},
        {"ed 100%% %f %x%", "C:\\50%l.c", 1, 2, "ed 100% C:\\50%l.c %x%"},
    };
    for (const auto& c : cases) {
        char command[kEditorCommandSize];
        ASSERT_TRUE(FillEditorCommand(c.pattern, c.path, c.line, c.column, command, sizeof command));
        EXPECT_STREQ(c.command, command);
    }
    char small[8];
    EXPECT_FALSE(FillEditorCommand("ed %f", "C:\\long.c", 1, 1, small, sizeof small));
}

TEST(EditorCommandTest, ProgramsScriptsAndShortcutsWouldRun)
{
    char kept[1024] = "";
    DWORD keptLength = GetEnvironmentVariableA("PATHEXT", kept, sizeof kept);
    SetEnvironmentVariableA("PATHEXT", ".COM;.EXE;.PYW");
    const struct {
        const char* path;
        bool runs;
    } cases[] = {{"C:\\a\\x.BAT", true}, {"y.lnk", true}, {"C:\\t\\z.pyw", true},
                 {"C:\\a.exe\\src.c", false}, {"notes.txt", false}, {"C:\\Makefile", false}};
    for (const auto& c : cases)
        EXPECT_EQ(c.runs, WouldRunWhenOpened(c.path)) << c.path;
    SetEnvironmentVariableA("PATHEXT", keptLength ? kept : nullptr);
}
