// colours: a flood of coloured lines (vqchild's "coloured": two coloured words in every 80-byte
// line) through the program, against the letters' limit of the same size (the bare read loop of
// the letters' flood, in the same run; the control half of the floods' limit is not repeated, so
// the ratio is, if anything, low); and private bytes of a 10 MiB log with colour changes in every
// line against the same log of letters.
#include <cstdio>

#include "bench/FloodFamily.h"
#include "bench/ReadLoop.h"
#include "res/Commands.h"
#include "tests/helpers/ChildPattern.h"

namespace {

const unsigned long kFlood = kMiB;
const unsigned long kBigLog = 10 * kMiB;
const int kRuns = 3;

struct ColoursResult {
    bool ran = false;
    std::vector<double> limitMs, colouredMs;
    long long colouredPrivate = 0, lettersPrivate = 0;
} result;

// One job of vqchild with `arguments` whose log ends with `shown`: its time from the request to
// the prompt (negative when it did not end), and the program's private bytes then.
double TimedJob(const Bench& bench, const std::string& arguments, const std::string& shown,
                long long* privateBytes)
{
    Driver target(bench.paths.runFolder);
    target.WriteIni(IniText(bench.paths.vqchild, arguments));
    if (!target.Start())
        return -1;
    const std::string full = shown + kPrompt;
    const std::string ending = full.substr(full.size() - 200);
    double start = NowMs();
    target.Command(ID_RUN_DEFAULT);
    for (;;) {
        long length = target.Length();
        if (length < 0 || NowMs() - start > bench.options.capMs)
            return -1;
        if (target.EndsWith(length, ending))
            break;
        Sleep(5);
    }
    double ms = NowMs() - start;
    if (privateBytes)
        *privateBytes = PrivateBytes(target.Counters());
    return ms;
}

} // namespace

void RunColours(Bench& bench)
{
    const std::string coloured = "coloured " + std::to_string(kFlood);
    const std::string shown = child_pattern::ColouredText(kFlood, true);
    for (int run = 0; run < kRuns; ++run) {
        Progress("colours: run " + std::to_string(run + 1));
        PhysicalResult limit = DrainPhysical(bench.paths, kFlood, 80, false);
        double ms = TimedJob(bench, coloured, shown, nullptr);
        if (limit.ok && ms > 0) {
            result.limitMs.push_back(limit.ms * static_cast<double>(shown.size()) /
                                     static_cast<double>(limit.bytes));
            result.colouredMs.push_back(ms);
        }
    }
    Progress("colours: 10 MiB logs");
    TimedJob(bench, "coloured " + std::to_string(kBigLog), child_pattern::ColouredText(kBigLog, true),
             &result.colouredPrivate);
    const unsigned long letters = kBigLog / 80 * 54;  // the same characters of log
    TimedJob(bench, FloodArguments(letters, 54), FloodText(letters, 54), &result.lettersPrivate);
    result.ran = true;
}

void ColoursRows(Bench& bench)
{
    if (!result.ran)
        return;
    if (result.colouredMs.empty()) {
        bench.Add("colours", "1 MiB of coloured 80-byte lines", "did not run", ">= 0.7 of the limit", "no");
    } else {
        // The limit for the log's characters of these lines at the letters' read-loop rate.
        double ratio = Median(result.limitMs) / Median(result.colouredMs);
        bench.Add("colours", "1 MiB of 80-byte lines, two coloured words each (median of 3)",
                  RatioText(ratio) + " of the letters' limit (" +
                      Seconds(Median(result.colouredMs)) + ")",
                  ">= 0.7", ratio >= 0.7 ? "yes" : "no");
    }
    if (result.colouredPrivate > 0 && result.lettersPrivate > 0) {
        char figure[96];
        std::snprintf(figure, sizeof figure, "%.2f (%lld MB against %lld MB)",
                      static_cast<double>(result.colouredPrivate) / static_cast<double>(result.lettersPrivate),
                      result.colouredPrivate >> 20, result.lettersPrivate >> 20);
        bench.Add("colours", "private bytes: a 10 MiB coloured log (4 style changes a line) against the "
                  "same text without", figure);
    } else {
        bench.Add("colours", "private bytes: a 10 MiB coloured log against the same text without",
                  "not measured: the coloured job did not end within the cap");
    }
}
