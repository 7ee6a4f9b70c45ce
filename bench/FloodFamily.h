// The flood family's plan and records: what the measures take around the same floods of vqchild's
// pattern (N bytes in one WriteFile, with 80-byte lines or without any line break, and lines of
// UTF-8 text). A flood's
// physical limit is the slower of two things measured in the same run: the child drained by a
// bare 256-byte read loop (ReadLoop.cpp) and the same text put into a control made as the program
// makes its log pane (Control.cpp). The program's run of each flood (Floods.cpp) is timed from
// the posted request to the prompt, with WM_NULL round trips sampled meanwhile
// (Responsiveness.cpp) and its memory read at the end (Memory.cpp).
#ifndef VELQUETH_BENCH_FLOODFAMILY_H
#define VELQUETH_BENCH_FLOODFAMILY_H

#include <string>
#include <utility>
#include <vector>

#include "bench/Bench.h"

// The flood drained by the read loop (ReadLoop.cpp).
struct PhysicalResult {
    bool ok = false;
    double ms = 0;
    unsigned long long bytes = 0;
    unsigned long long reads = 0;
};

// The log control itself, filled on one thread with drawing off (Control.cpp).
struct ControlRun {
    unsigned long bytes = 0;
    unsigned long lineLength = 0;
    unsigned long piece = 0;
    bool ok = false;      // every byte went in and the control holds exactly that many
    bool capped = false;  // stopped after the cap
    std::vector<std::pair<unsigned long, double>> insertions;  // characters after it, its ms
    double drawMs = -1;   // drawing the control once afterwards, when measured
    std::string error;
};

// A run's figures over its first insertions, up to the one that reaches `bytes`.
struct ControlFigure {
    unsigned long reached = 0;
    double ms = 0;  // the insertions' own time, summed
    double longest = 0;
    double first = 0;
    double last = 0;
    int count = 0;
};
ControlFigure ControlUpTo(const ControlRun& run, unsigned long bytes);

const unsigned long kLinePiece = 64 * 1024;  // the control's pieces for lines
const unsigned long kLongPiece = kMiB;       // inside a long line: the largest insertion

// The same flood as a job of the program (Floods.cpp).
struct FloodResult {
    bool ok = false;       // started, ended with the prompt
    bool capped = false;   // stopped after the cap
    bool exact = false;    // the log holds exactly header, flood and prompt
    bool dropped = false;  // the log kept its newest text only (past its limit), that exact
    double ms = 0;         // request to prompt, or to the cap
    unsigned long long shown = 0;  // the child's bytes in the log at that moment
    long long privateEmpty = 0;
    long long privateFull = 0;
    long logChars = 0;
    std::vector<double> roundTrips;
    int roundTripTimeouts = 0;
    std::string error;
};

struct FloodCase {
    unsigned long bytes;
    unsigned long lineLength;
    int runs;
    std::vector<PhysicalResult> physical;
    std::vector<FloodResult> program;
    // UTF-8 text of two- and three-byte characters instead of letters: judged against the limit
    // of the letters' lines (the same read loop, the same control).
    bool utf8 = false;
};

struct ControlCase {
    unsigned long lineLength;
    unsigned long piece;
    ControlRun run;
};

// What the family measured in this run; the plan of floods comes from the options.
struct FloodFamily {
    bool planned = false;
    std::vector<FloodCase> floods;
    std::vector<ControlCase> controls;
    bool measured = false;       // the floods ran through the read loop and the program
    double idleRoundTripUs = -1;
};
FloodFamily& Family(const Bench& bench);

// The run whose program time is the median, with its own physical run (same moment, same noise).
size_t MedianRun(const FloodCase& flood);
// The control run that holds the first `bytes` of this text in these pieces, or null.
const ControlRun* ControlFor(const std::vector<ControlCase>& controls, unsigned long lineLength,
                             unsigned long piece, unsigned long bytes);

#endif
