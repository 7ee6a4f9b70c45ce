// The log's first line, formatted into a bounded buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/Banner.h"

TEST(Banner, IsCutBeforeItsLineBreakWhenTooLong)
{
    const std::string longLine(199, 'v');
    const std::string longUrl(300, 'u');
    struct Case {
        const char* versionLine;
        const char* url;
        std::string expected;
    };
    const Case cases[] = {
        {"Velqueth Version   1.0.0.0", "http://x.example/",
         "Velqueth Version   1.0.0.0\thttp://x.example/\r\n"},
        // Version line and URL at their largest: the line keeps 253 characters and its break.
        {longLine.c_str(), longUrl.c_str(), (longLine + "\t" + longUrl).substr(0, 253) + "\r\n"},
    };
    for (const Case& c : cases) {
        char line[256 + 8];
        std::memset(line, '#', sizeof line);
        FormatBannerLine(line, 256, c.versionLine, c.url);
        EXPECT_EQ(c.expected, std::string(line));
        for (size_t i = 256; i < sizeof line; ++i)
            EXPECT_EQ('#', line[i]) << "written past the buffer at " << i;
    }
    // A buffer too small even for the break stays a valid, empty string.
    char tiny[2] = {'#', '#'};
    FormatBannerLine(tiny, 2, "Velqueth Version   1.0.0.0", "u");
    EXPECT_EQ('\0', tiny[0]);
}
