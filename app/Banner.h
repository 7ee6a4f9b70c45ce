// The log's first line: "<version line>\t<url>\r\n", the version line being the About box's own.
#ifndef VELQUETH_APP_BANNER_H
#define VELQUETH_APP_BANNER_H

#include <cstddef>

// Formats the banner line in a buffer of `size` bytes. A line that would not fit is cut before
// its line break, which it always keeps.
void FormatBannerLine(char* line, size_t size, const char* versionLine, const char* url);

#endif
