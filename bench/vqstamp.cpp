// vqstamp: the benchmark's latency child.  vqstamp N MS  writes N lines "stamp I T\r\n", one
// every MS milliseconds, each with one unbuffered WriteFile; T is QueryPerformanceCounter just
// before the write. The counter is the same clock in every process of the system, so the reader
// can tell how long each line took to reach it.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    long count = argc > 1 ? std::atol(argv[1]) : 0;
    DWORD interval = argc > 2 ? static_cast<DWORD>(std::atol(argv[2])) : 100;
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
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
