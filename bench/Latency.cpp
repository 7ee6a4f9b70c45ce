// Latency: from a child's write (vqstamp stamps each line with the performance counter, one clock
// for every process) to its text in the log.
#include <cstdio>

#include "bench/Bench.h"
#include "res/Commands.h"

namespace {

struct LatencyResult {
    bool ok = false;
    std::vector<double> delays;
    int lines = 0;
    std::string error;
};

LatencyResult MeasureLatency(const Paths& paths, int lines, int intervalMs)
{
    LatencyResult result;
    result.lines = lines;
    std::string arguments = Format("%d %d", lines, intervalMs);
    Driver target(paths.runFolder);
    target.WriteIni(IniText(paths.vqstamp, arguments));
    if (!target.Start()) {
        result.error = "the program did not start";
        return result;
    }
    long seen = target.Length();
    std::string text;
    size_t parsed = 0;
    double deadline = NowMs() + lines * intervalMs + 30000.0;
    target.Command(ID_RUN_DEFAULT);
    for (;;) {
        long length = target.Length();
        double now = NowMs();
        if (length < 0)
            break;
        if (length > seen) {
            std::string piece;
            if (!target.Read(seen, length, &piece))
                break;
            text += piece;
            seen = length;
            for (;;) {
                size_t at = text.find("stamp ", parsed);
                size_t end = at == std::string::npos ? at : text.find("\r\n", at);
                if (end == std::string::npos)
                    break;
                long index = 0;
                long long counter = 0;
                if (std::sscanf(text.c_str() + at, "stamp %ld %lld", &index, &counter) == 2)
                    result.delays.push_back(now - CounterToMs(counter));
                parsed = end + 2;
            }
            if (text.size() >= 5 && text.compare(text.size() - 5, 5, kPrompt) == 0) {
                result.ok = static_cast<int>(result.delays.size()) == lines;
                break;
            }
        }
        if (now > deadline)
            break;
        Sleep(1);
    }
    if (!result.ok)
        result.error = Format("%d of %d lines seen", static_cast<int>(result.delays.size()), lines);
    target.Close();
    return result;
}

bool ran = false;
LatencyResult latency;

} // namespace

void RunLatency(Bench& bench)
{
    int lines = bench.options.quick ? 10 : 50;
    latency = MeasureLatency(bench.paths, lines, 100);
    ran = true;
    Progress(Format("p50 %.1f ms, worst %.1f ms", Median(latency.delays), Max(latency.delays)));
}

void LatencyRows(Bench& bench)
{
    if (!ran)
        return;
    const int lines = latency.lines;
    double p50 = Median(latency.delays);
    double worst = Max(latency.delays);
    bench.Add("latency", Format("Latency from write to log, %d lines every 100 ms", lines),
              latency.delays.empty()
                  ? "failed: " + latency.error
                  : Format("p50 %.1f ms, worst %.1f ms", p50, worst) +
                        (latency.ok ? "" : " (" + latency.error + ")"),
              "p50 < 10 ms, worst < 50 ms", YesNo(latency.ok && p50 < 10 && worst < 50));
}
