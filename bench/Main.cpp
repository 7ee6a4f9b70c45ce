// velqueth_bench: measures the real program as a user meets it and prints one table (also written
// to the file given with --out, by default bench.md beside this program). Each figure stands next
// to its goal. The measures are registered below, in the order in which they run and in which
// their rows stand in the table; each lives in a file of its own.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bench/Bench.h"

namespace {

const Measure kMeasures[] = {
    {"read-loop", "each flood drained by a bare loop of 256-byte reads (runs with floods)", true,
     nullptr, ReadLoopRows, "floods"},
    {"control", "the log control itself: a rich edit of the bench's own, filled on one thread with "
                "drawing off, half of the limit (runs with floods)",
     true, nullptr, ControlRows, "floods"},
    {"floods", "floods of 1 to 50 MiB through the program against their limit, in rounds", true, RunFloods,
     FloodRows, nullptr},
    {"colours", "1 MiB of coloured lines against the letters' limit; a 10 MiB coloured log's memory",
     true, RunColours, ColoursRows, nullptr},
    {"latency", "from a child's write to its text in the log", true, RunLatency, LatencyRows, nullptr},
    {"responsiveness", "WM_NULL round trips during the floods (runs with floods)", true, nullptr,
     ResponsivenessRows, "floods"},
    {"input", "from a key sent with SendInput to its handling, during a 10 MiB flood", true,
     RunInput, InputRows, nullptr},
    {"find", "Find Next in a 10 MiB log, from the key to the selection", true, RunFind, FindRows,
     nullptr},
    {"start-up", "from starting the program to the banner in its log", true, RunStartup, StartupRows,
     nullptr},
    {"turnaround", "a short job from the request to the prompt, beside the bare loop", true, RunTurnaround,
     TurnaroundRows, nullptr},
    {"memory", "private bytes with the floods' logs; by name also 10 and 50 MiB logs pasted from "
               "outside",
     false, RunMemory, MemoryRows, nullptr},
    {"jobs", "object counts after 1, 100 and 1,000 short jobs (beside the big log)", true, RunJobs,
     JobsRows, nullptr},
    {"big-log", "a 100 MiB log: more than the control can hold", true, RunBigLog, BigLogRows, nullptr},
};

const Measure* Find(const std::string& name)
{
    for (const Measure& measure : kMeasures)
        if (name == measure.name)
            return &measure;
    return nullptr;
}

void Usage()
{
    std::fprintf(stderr,
                 "usage: velqueth_bench [--quick] [--only NAME[,NAME]...] [--cap S] [--big MIB] "
                 "[--big-cap S] [--apart] [--flood KIB:LINE]... [--rounds N] [--out PATH]\n\n"
                 "  --quick     small sizes and few jobs, to try the benchmark itself\n"
                 "  --only      the measures to run (default: all but memory's pasted logs):\n");
    for (const Measure& measure : kMeasures)
        std::fprintf(stderr, "                %-15s %s\n", measure.name, measure.summary);
    std::fprintf(stderr,
                 "  --cap       longest a flood of the program may take before it is stopped (default 20 s)\n"
                 "  --big       the size of the big log in MiB (default 100); --big-cap its cap (default 200 s)\n"
                 "  --apart     run the jobs after the big log instead of beside it\n"
                 "  --flood     KIB:LINE[:utf8], repeatable: run these floods instead (LINE 80 or 0 for no\n"
                 "              break; utf8: 80-byte lines of UTF-8 text)\n"
                 "  --rounds    rounds of every flood (default: 7 for 1 MiB of lines, 5 for 1 MiB without a break,\n"
                 "              3 for 10 and 50 MiB, 1 for a 10 MiB line; 3 for --flood)\n");
}

bool ParseOptions(int argc, char** argv, Options& options)
{
    bool bigGiven = false;
    bool bigCapGiven = false;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        bool value = i + 1 < argc;
        if (argument == "--quick") {
            options.quick = true;
        } else if (argument == "--only" && value) {
            std::string list = argv[++i];
            for (size_t from = 0; from <= list.size();) {
                size_t comma = list.find(',', from);
                if (comma == std::string::npos)
                    comma = list.size();
                std::string name = list.substr(from, comma - from);
                if (!Find(name)) {
                    std::fprintf(stderr, "velqueth_bench: no measure named \"%s\"\n", name.c_str());
                    return false;
                }
                options.only.push_back(name);
                from = comma + 1;
            }
        } else if (argument == "--cap" && value) {
            options.capMs = std::atof(argv[++i]) * 1000;
        } else if (argument == "--big" && value) {
            options.bigMiB = std::strtoul(argv[++i], nullptr, 10);
            bigGiven = true;
        } else if (argument == "--big-cap" && value) {
            options.bigCapMs = std::atof(argv[++i]) * 1000;
            bigCapGiven = true;
        } else if (argument == "--rounds" && value) {
            options.rounds = std::atoi(argv[++i]);
        } else if (argument == "--apart") {
            options.apart = true;
        } else if (argument == "--out" && value) {
            options.out = argv[++i];
        } else if (argument == "--flood" && value) {
            unsigned long kib = 0, line = 0;
            char kind[8] = "";
            if (std::sscanf(argv[++i], "%lu:%lu:%7s", &kib, &line, kind) < 1)
                kib = 0;
            bool utf8 = std::strcmp(kind, "utf8") == 0;
            options.floods.push_back({kib, utf8 ? 80 : line, utf8});
        } else {
            return false;
        }
    }
    if (options.quick && !bigGiven)
        options.bigMiB = 8;
    if (options.quick && !bigCapGiven)
        options.bigCapMs = 60000;
    if (options.bigMiB == 0)
        options.bigMiB = 1;
    return true;
}

// The measures asked for, with every measure that one of them runs within.
std::vector<std::string> Selection(const Options& options)
{
    std::vector<std::string> selected = options.only;
    if (selected.empty())
        for (const Measure& measure : kMeasures)
            if (measure.byDefault)
                selected.push_back(measure.name);
    for (size_t i = 0; i < selected.size(); ++i) {
        const Measure* measure = Find(selected[i]);
        if (measure && measure->within &&
            std::find(selected.begin(), selected.end(), measure->within) == selected.end())
            selected.push_back(measure->within);
    }
    return selected;
}

Paths PathsBesideThisProgram()
{
    Paths paths;
    char self[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    paths.exeDir = self;
    paths.exeDir.erase(paths.exeDir.find_last_of("\\/") + 1);
    paths.vqchild = paths.exeDir + "vqchild.exe";
    paths.vqstamp = paths.exeDir + "vqstamp.exe";
    return paths;
}

} // namespace

int main(int argc, char** argv)
{
    Bench bench;
    if (!ParseOptions(argc, argv, bench.options)) {
        Usage();
        return 2;
    }
    bench.paths = PathsBesideThisProgram();
    if (bench.options.out.empty())
        bench.options.out = bench.paths.exeDir + "bench.md";
    bench.selected = Selection(bench.options);

    bench.loadAtStart = LoadAverage();
    const double start = NowMs();
    for (const Measure& measure : kMeasures) {
        if (!measure.run || !bench.Runs(measure.name))
            continue;
        std::printf("%s\n", measure.name);
        std::fflush(stdout);
        measure.run(bench);
    }
    for (const Measure& measure : kMeasures)
        measure.rows(bench);

    const double totalMs = NowMs() - start;
    const Options& options = bench.options;
    bool everyDefault = true;
    for (const Measure& measure : kMeasures)
        everyDefault = everyDefault && (!measure.byDefault || bench.Runs(measure.name));
    const bool fullRun = !options.quick && options.floods.empty() && options.capMs == 20000 && everyDefault;
    bench.Add("run time", "The benchmark's own run time (make bench adds an incremental build)",
              Format("%.1f min", totalMs / 60000), "< 10 min",
              fullRun ? YesNo(totalMs < 600000) : "- (not the full run)");

    std::string table = TableText(bench, totalMs);
    std::printf("\n%s", table.c_str());
    FILE* file = std::fopen(options.out.c_str(), "wb");
    if (!file) {
        std::fprintf(stderr, "velqueth_bench: cannot write %s\n", options.out.c_str());
        return 0;
    }
    std::fputs(table.c_str(), file);
    std::fclose(file);
    std::printf("Written to %s\n", options.out.c_str());
    return 0;
}
