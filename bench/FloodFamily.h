// The flood family's plan and records: what the measures take around the same floods of vqchild's
// pattern (N bytes in one WriteFile, with 80-byte lines or without any line break, and lines of
// UTF-8 text). Each flood is measured in rounds; a round takes, one right after the other, the
// child drained by a bare 256-byte read loop (ReadLoop.cpp), the same text put into a control made
// as the program makes its log pane (Control.cpp), and the program's run of the flood as a job
// (Floods.cpp), timed from the posted request to the prompt with WM_NULL round trips sampled
// meanwhile (Responsiveness.cpp) and its memory read at the end (Memory.cpp). A round's limit is
// the slower of the first two (a long line: the control's); its ratio is the program's rate over
// that limit, and a flood is judged on the median of its rounds' ratios, so that the load of the
// moment cancels out.
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
    bool utf8 = false;
    bool ok = false;      // every byte went in and the control holds exactly that text's length
    bool capped = false;  // stopped after the cap
    std::vector<std::pair<unsigned long, double>> insertions;  // bytes after it, its ms
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
    FloodCase(unsigned long bytes, unsigned long lineLength, int rounds, bool utf8 = false)
        : bytes(bytes), lineLength(lineLength), rounds(rounds), utf8(utf8)
    {
    }
    unsigned long bytes;
    unsigned long lineLength;
    int rounds;
    // UTF-8 text of two- and three-byte characters instead of letters: judged against its own
    // limit (its read loop, the control filled with the same UTF-8 lines), and shown beside the
    // letters' limit of the same size.
    bool utf8;
    // One entry per round taken, in the same order.
    std::vector<PhysicalResult> physical;
    std::vector<ControlRun> control;
    std::vector<FloodResult> program;

    unsigned long Piece() const { return lineLength ? kLinePiece : kLongPiece; }
};

// The flood's text put into a control of the bench's own in the flood's pieces, as the program
// inserts it (Control.cpp).
ControlRun FillControl(const Bench& bench, const FloodCase& flood);
// A rich edit made as the program makes its log pane, in a visible frame of the bench's own; the
// caller destroys the frame, then the font (either may be null).
HWND CreateLogControl(HWND* frame, HFONT* font);

// What the family measured in this run; the plan of floods comes from the options.
struct FloodFamily {
    bool planned = false;
    std::vector<FloodCase> floods;
    bool measured = false;  // the floods ran their rounds
    double idleRoundTripUs = -1;
};
FloodFamily& Family(const Bench& bench);

// Bytes per millisecond of a round: the read loop's, the control's (its insertions' own time),
// the program's (0 when that part failed), and the round's limit (0 when not measured).
double ReadRate(const FloodCase& flood, size_t round);
double ControlRate(const FloodCase& flood, size_t round);
double ProgramRate(const FloodCase& flood, size_t round);
double LimitRate(const FloodCase& flood, size_t round);
// The program's rate over the round's limit, 0 when either is missing.
double RoundRatio(const FloodCase& flood, size_t round);
// The median of the rounds' ratios, and the round that has it (the middle one of an even count's
// two), whose records the rows show.
double MedianRatio(const FloodCase& flood);
size_t MedianRound(const FloodCase& flood);
// The median of one figure over the rounds.
double MedianOver(const FloodCase& flood, double (*figure)(const FloodCase&, size_t));
// One figure of every round in MiB/s, "8.10, 8.31, 7.92 MiB/s", in the rounds' order.
std::string RatesText(const FloodCase& flood, double (*figure)(const FloodCase&, size_t));
// Every round's log held exactly the child's output (or its newest part at the log's limit).
bool EveryRoundExact(const FloodCase& flood, std::string* error);
// " (median of N rounds)", or nothing for a single round.
std::string RoundsNote(const FloodCase& flood);
// The flood of letters of the same size and lines, when the plan has one that was measured.
const FloodCase* LettersOf(const FloodFamily& family, const FloodCase& flood);

#endif
