// The exit line's text: the code in decimal, or in hex with its name; the child's time in its units.
#include <gtest/gtest.h>

#include "runner/ExitLine.h"

TEST(ExitLineTest, CodeAndLifetime)
{
    const ULONGLONG ms = 10000;  // in 100-ns units
    const struct {
        DWORD code;
        ULONGLONG lifetime;
        const char* expected;
    } cases[] = {
        {3, 1240 * ms, "Exit code 3 after 1.24 s\r\n"},
        {1, 235 * ms - 1, "Exit code 1 after 0.23 s\r\n"},
        {2147483647, 12500 * ms, "Exit code 2147483647 after 12.50 s\r\n"},
        {0, 59995 * ms, "Exit code 0 after 1 min 00 s\r\n"},
        {0, 65000 * ms, "Exit code 0 after 1 min 05 s\r\n"},
        {0, 3599500 * ms, "Exit code 0 after 1 h 00 min\r\n"},
        {0, 7350000 * ms, "Exit code 0 after 2 h 03 min\r\n"},
        {0xC0000005, 30 * ms, "Exit code 0xC0000005 (access violation) after 0.03 s\r\n"},
        {0xC0000135, 0, "Exit code 0xC0000135 (DLL not found) after 0.00 s\r\n"},
        {0x80000000, 0, "Exit code 0x80000000 after 0.00 s\r\n"},
    };
    for (const auto& c : cases) {
        char line[kExitLineSize];
        FormatExitLine(line, sizeof line, c.code, c.lifetime);
        EXPECT_STREQ(c.expected, line);
    }
    for (DWORD code : {0xC00000FDu, 0xC0000094u, 0xC0000409u, 0xC000001Du, 0xC0000142u, 0xC000013Au})
        EXPECT_NE(nullptr, ExitCodeName(code)) << std::hex << code;
}
