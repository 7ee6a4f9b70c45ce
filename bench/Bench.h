// The benchmark's shared core: its options and folders, the registration table of its measures,
// the table of results and the statistics and texts every measure writes its figures with.
// Each measure lives in a file of its own (bench/README.md says how to add one).
#ifndef VELQUETH_BENCH_BENCH_H
#define VELQUETH_BENCH_BENCH_H

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "driver/Driver.h"

const unsigned long kMiB = 1024 * 1024;
extern const char kPrompt[];

// A flood named with --flood: its size, its line length (80 or 0), and whether it is UTF-8 text.
struct FloodOption {
    unsigned long kib;
    unsigned long lineLength;
    bool utf8;
};

struct Options {
    bool quick = false;
    std::vector<std::string> only;  // measure names given with --only; empty: the default set
    double capMs = 20000;
    double bigCapMs = 200000;
    unsigned long bigMiB = 100;
    bool apart = false;
    std::string out;
    std::vector<FloodOption> floods;
    int rounds = 0;  // rounds of every flood; 0: the plan's own
};

struct Paths {
    std::string exeDir;  // with a trailing backslash
    // The driver's folders of the program's copies beside this program: the one every measure
    // starts, and a second for the jobs beside the big log.
    std::string runFolder = "bench-run";
    std::string jobsFolder = "bench-jobs";
    std::string vqchild;
    std::string vqstamp;
};

// One line of the table; `measure` is the name of the measure that wrote it.
struct Row {
    std::string measure;
    std::string what;
    std::string figure;
    std::string goal;
    std::string met;
};

class Bench {
public:
    Options options;
    Paths paths;
    std::vector<Row> rows;
    std::vector<std::string> footnotes;

    bool Runs(const char* measure) const;  // selected, directly or through a measure that needs it
    void Add(const char* measure, const std::string& what, const std::string& figure,
             const std::string& goal = "", const std::string& met = "");
    void Footnote(const std::string& text);

    std::vector<std::string> selected;  // filled by the run order in Main.cpp
    std::string loadAtStart;            // LoadAverage() when the run began
};

// The registration table (Main.cpp): a measure runs when selected; its rows are asked for after
// every measure has run, in the table's order, and it writes rows only for what was measured.
struct Measure {
    const char* name;     // in --only, in the banner printed while it runs, in the table
    const char* summary;  // the usage text
    bool byDefault;
    void (*run)(Bench&);  // null: measured inside the measure named in `within`
    void (*rows)(Bench&);
    const char* within;   // selecting this measure selects that one too (or null)
};

// Texts and statistics.
std::string Format(const char* format, ...);
void Progress(const std::string& text);
double Median(std::vector<double> values);
double Percentile(std::vector<double> values, double fraction);
double Max(const std::vector<double>& values);
double MiB(double bytes);
std::string SizeName(unsigned long bytes);
std::string FloodName(unsigned long bytes, unsigned long lineLength, bool utf8 = false);
std::string PieceName(unsigned long piece);
std::string YesNo(bool met);
std::string Seconds(double ms);
std::string Rate(double bytes, double ms);
std::string MiBText(long long bytes);
std::string RatioText(double ratio);  // small ratios keep a digit that shows them
// The host's load average over 1, 5 and 15 minutes ("3.67 4.47 3.64"), read from Linux under
// Wine; empty elsewhere.
std::string LoadAverage();
// The table as markdown, with the footnotes and the line that names the system.
std::string TableText(const Bench& bench, double totalMs);

// The program and its children.
long long PrivateBytes(const ProcessCounters& counters);
bool PrivateBytesFromLinux();
// The program's INI file: slot 2 is the default when no "Default" key is given.
std::string IniText(const std::string& program, const std::string& arguments);
std::string JobCommandLine(const std::string& program, const std::string& arguments);
std::string Header(const std::string& commandLine);
// vqchild's arguments for a flood: the letters of "bytes", or the UTF-8 lines of "utf8".
std::string FloodArguments(unsigned long bytes, unsigned long lineLength, bool utf8 = false);
// The flood's text as the log gives it back through its narrow messages.
std::string FloodText(unsigned long bytes, unsigned long lineLength, bool utf8 = false);
// Ends the program's live child of this image name (a run stopped at its cap).
void EndChild(const Driver& target, const char* imageName);
// Waits until the log ends with the prompt at or after `expected` characters.
bool WaitForPrompt(const Driver& target, long expected, double deadlineMs, long* length);

// The registered measures, one file each (Main.cpp registers them).
void ControlRows(Bench& bench);
void RunFloods(Bench& bench);
void RunColours(Bench& bench);
void ColoursRows(Bench& bench);
void FloodRows(Bench& bench);
void ReadLoopRows(Bench& bench);
void ResponsivenessRows(Bench& bench);
void RunMemory(Bench& bench);
void MemoryRows(Bench& bench);
void RunLatency(Bench& bench);
void LatencyRows(Bench& bench);
void RunStartup(Bench& bench);
void StartupRows(Bench& bench);
void RunTurnaround(Bench& bench);
void TurnaroundRows(Bench& bench);
void RunJobs(Bench& bench);
void JobsRows(Bench& bench);
void RunBigLog(Bench& bench);
void BigLogRows(Bench& bench);
void RunInput(Bench& bench);
void InputRows(Bench& bench);
void RunFind(Bench& bench);
void FindRows(Bench& bench);

#endif
