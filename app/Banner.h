// The log's first line: "<title> Version <special> <version>\t<url>\r\n".
#ifndef VELQUETH_APP_BANNER_H
#define VELQUETH_APP_BANNER_H

#include <cstddef>

// Formats the banner line in a buffer of `size` bytes. A line that would not fit is cut before
// its line break, which it always keeps.
void FormatBannerLine(char* line, size_t size, const char* title, const char* special,
                      const char* version, const char* url);

#endif
