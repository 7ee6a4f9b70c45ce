// Prints, one per line, the version strings named on its command line as VersionInfo reads them
// from this program's own version resource. Built once per version_*.rc beside it, so that each
// copy carries a different resource (or none).
#include <cstdio>

#include "about/VersionInfo.h"

int main(int argc, char** argv)
{
    VersionInfo version;
    for (int i = 1; i < argc; ++i) {
        char value[128];
        version.GetValue(argv[i], value, sizeof value);
        std::printf("%s\n", value);
    }
    std::fflush(stdout);
    return 0;
}
