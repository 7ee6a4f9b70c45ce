#include "app/Banner.h"

#include <cstdio>

void FormatBannerLine(char* line, size_t size, const char* versionLine, const char* url)
{
    const char kBreak[] = "\r\n";
    if (size < sizeof kBreak) {
        if (size > 0)
            line[0] = '\0';
        return;
    }
    int written = std::snprintf(line, size, "%s\t%s%s", versionLine, url, kBreak);
    if (written < 0 || static_cast<size_t>(written) >= size) {
        size_t keep = size - sizeof kBreak;  // room for the break and the terminator
        std::snprintf(line + keep, size - keep, "%s", kBreak);
    }
}
