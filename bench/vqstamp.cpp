// vqstamp: the benchmark's timing child.
//
//   vqstamp N MS      N lines "stamp I T\r\n", one every MS milliseconds, each with one
//                     unbuffered WriteFile; T is QueryPerformanceCounter just before the write.
//                     The counter is the same clock in every process of the system, so the
//                     reader can tell how long each line took to reach it.
//   vqstamp lines N   N numbered lines of 80 bytes (ChildPattern.h), as fast as the pipe takes
//                     them: a reader can tell from any line how far the output has come, and
//                     whether a line is missing.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/helpers/ChildPattern.h"

namespace {

bool WriteAll(HANDLE output, const char* data, DWORD size)
{
    while (size > 0) {
        DWORD written = 0;
        if (!WriteFile(output, data, size, &written, nullptr) || written == 0)
            return false;
        data += written;
        size -= written;
    }
    return true;
}

int WriteNumberedLines(HANDLE output, unsigned long count)
{
    const unsigned long kLinesPerWrite = 819;  // just under 64 KiB
    std::string block(kLinesPerWrite * 80, '\0');
    for (unsigned long first = 0; first < count; first += kLinesPerWrite) {
        unsigned long lines = count - first < kLinesPerWrite ? count - first : kLinesPerWrite;
        for (unsigned long i = 0; i < lines; ++i)
            block.replace(i * 80, 80, child_pattern::NumberedLine(first + i) + "\r\n");
        if (!WriteAll(output, block.data(), lines * 80))
            return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (argc > 2 && std::strcmp(argv[1], "lines") == 0)
        return WriteNumberedLines(output, std::strtoul(argv[2], nullptr, 10));

    long count = argc > 1 ? std::atol(argv[1]) : 0;
    DWORD interval = argc > 2 ? static_cast<DWORD>(std::atol(argv[2])) : 100;
    for (long n = 0; n < count; ++n) {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        char line[64];
        int length = std::snprintf(line, sizeof line, "stamp %ld %lld\r\n", n,
                                   static_cast<long long>(now.QuadPart));
        DWORD written = 0;
        if (length <= 0 || !WriteFile(output, line, static_cast<DWORD>(length), &written, nullptr))
            return 1;
        if (n + 1 < count)
            Sleep(interval);
    }
    return 0;
}
