// The bare loop: a child started exactly as the program starts a job (one pipe for its output and
// errors, an input pipe closed at once, a hidden new console, idle priority, suspended until it is
// in a job object that allows breakaway) and drained by a loop of 256-byte ReadFile calls that
// keeps nothing, then waited for. The floods' limit and the turnaround's reference.
#ifndef VELQUETH_BENCH_READLOOP_H
#define VELQUETH_BENCH_READLOOP_H

#include <string>

#include "bench/FloodFamily.h"

// One bare run, its moments in NowMs() terms (0 when it did not get that far).
struct BareRun {
    bool ok = false;  // started, read to the end, waited for
    double start = 0;
    double created = 0;    // CreateProcess returned and the child was resumed
    double firstByte = 0;
    double outputEnd = 0;  // the pipe broke
    double waited = 0;     // the child's process had ended
    unsigned long long bytes = 0;
    unsigned long long reads = 0;
    std::string text;      // the first bytes read, up to 256
};
BareRun RunBare(const std::string& commandLine);

PhysicalResult DrainPhysical(const Paths& paths, unsigned long bytes, unsigned long lineLength,
                             bool utf8);

#endif
