// WM_NULL round trips to the program's main window, sent from a thread of the benchmark's own
// while a flood or the big log runs.
#ifndef VELQUETH_BENCH_RESPONSIVENESS_H
#define VELQUETH_BENCH_RESPONSIVENESS_H

#include <string>
#include <vector>

#include "bench/Bench.h"

struct Sampler {
    HWND window = nullptr;
    volatile LONG stop = 0;
    std::vector<double> roundTrips;
    int timeouts = 0;
    HANDLE thread = nullptr;

    void Begin(HWND target);
    void End();
};

std::string RoundTripText(const std::vector<double>& roundTrips, int timeouts);
// What one synchronous message to the idle program costs, in microseconds (median of `count`).
double IdleRoundTripUs(const Paths& paths, int count);

#endif
