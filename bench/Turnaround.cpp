// Turnaround: what one short job costs, from the request (WM_COMMAND of slot 1) to the prompt in
// the log, beside the same child run by the bare loop (ReadLoop.h) with the same creation, the two
// taken in turn so that both see the same load. The child is vqstamp printing one stamped line:
// the stamp tells when the child wrote it, which splits a job's time into its steps.
#include <cstdio>

#include "bench/ReadLoop.h"
#include "res/Commands.h"

namespace {

struct Steps {
    double total = 0;
    double ready = 0;    // Velqueth: request to the header in the log; bare: start to created
    double written = 0;  // request or start to the child's write
    double seen = 0;     // the child's write to its line in the log, or to the first byte read
    double end = 0;      // the line in the log to the prompt, or the first byte to the child's end
};

struct TurnaroundResult {
    bool ran = false;
    std::vector<Steps> program;
    std::vector<Steps> bare;
    int failures = 0;
    std::string error;
};

TurnaroundResult result;

// How often the log is asked. Each question costs the program's user-interface thread and Wine's
// server a little, which the bare loop does not pay: asked every millisecond, a job looked a fifth
// slower. So a figure may come up to this late.
const DWORD kPollMs = 10;

// The write time of "stamp 0 T" in `text`, or 0.
double StampMs(const std::string& text)
{
    size_t at = text.find("stamp 0 ");
    long long counter = 0;
    if (at == std::string::npos || std::sscanf(text.c_str() + at, "stamp 0 %lld", &counter) != 1)
        return 0;
    return CounterToMs(counter);
}

// One job of the program: its steps, or false when it did not end with its prompt.
bool ProgramJob(const Driver& target, const std::string& header, int idleThreads, Steps* steps)
{
    const long before = target.Length();
    const std::string prompt = kPrompt;
    const double start = NowMs();
    target.Command(ID_RUN_SLOT_1);
    double headerAt = 0, lineAt = 0;
    std::string text;
    for (;;) {
        long length = target.Length();
        double now = NowMs();
        if (length < 0 || now - start > 30000)
            return false;
        if (length > before + static_cast<long>(text.size())) {
            std::string piece;
            if (!target.Read(before + static_cast<long>(text.size()), length, &piece))
                return false;
            text += piece;
            if (!headerAt && text.size() >= header.size())
                headerAt = now;
            if (!lineAt && text.find("\r\n", header.size()) != std::string::npos)
                lineAt = now;
            if (text.size() > prompt.size() && text.compare(text.size() - prompt.size(), prompt.size(), prompt) == 0)
                break;
        }
        Sleep(kPollMs);
    }
    const double end = NowMs();
    const double written = StampMs(text);
    if (text.compare(0, header.size(), header) != 0 || !written || !lineAt)
        return false;
    steps->total = end - start;
    steps->ready = headerAt - start;
    steps->written = written - start;
    steps->seen = lineAt - written;
    steps->end = end - lineAt;
    // The worker writes the prompt a moment before it ends: the next request must not find it.
    WaitUntil(2000, [&] { return target.ThreadCount() <= idleThreads; }, 1);
    return true;
}

bool BareJob(const std::string& commandLine, Steps* steps)
{
    BareRun run = RunBare(commandLine);
    const double written = StampMs(run.text);
    if (!run.ok || !written || !run.firstByte)
        return false;
    steps->total = run.waited - run.start;
    steps->ready = run.created - run.start;
    steps->written = written - run.start;
    steps->seen = run.firstByte - written;
    steps->end = run.waited - run.firstByte;
    return true;
}

std::vector<double> Pick(const std::vector<Steps>& all, double Steps::*field)
{
    std::vector<double> values;
    for (const Steps& steps : all)
        values.push_back(steps.*field);
    return values;
}

} // namespace

void RunTurnaround(Bench& bench)
{
    result.ran = true;
    const int jobs = bench.options.quick ? 20 : 100;
    const std::string arguments = "1 0";  // one stamped line
    const std::string commandLine = JobCommandLine(bench.paths.vqstamp, arguments);
    Driver target(bench.paths.runFolder);
    target.WriteIni("[Setup]\r\nPath1=" + bench.paths.vqstamp + "\r\nArgs1=" + arguments + "\r\n");
    if (!target.Start()) {
        result.error = "the program did not start";
        return;
    }
    Sleep(200);
    const int idleThreads = target.ThreadCount();
    const std::string header = Header(commandLine);
    Steps steps;
    // One of each first, unmeasured: the first start of a program is slower under Wine.
    BareJob(commandLine, &steps);
    ProgramJob(target, header, idleThreads, &steps);
    for (int job = 0; job < jobs && result.failures < 5; ++job) {
        if (BareJob(commandLine, &steps))
            result.bare.push_back(steps);
        else
            ++result.failures;
        if (ProgramJob(target, header, idleThreads, &steps))
            result.program.push_back(steps);
        else
            ++result.failures;
    }
    if (result.failures)
        result.error = Format("%d jobs did not end as expected", result.failures);
    Progress(Format("request to prompt %.0f ms, the bare loop %.0f ms (medians of %d)",
                    Median(Pick(result.program, &Steps::total)), Median(Pick(result.bare, &Steps::total)),
                    static_cast<int>(result.program.size())));
    target.Close();
}

void TurnaroundRows(Bench& bench)
{
    if (!result.ran)
        return;
    if (result.program.empty() || result.bare.empty()) {
        bench.Add("turnaround", "Job turnaround", "failed: " + result.error, "<= 1.2 x the bare loop", "-");
        return;
    }
    const double program = Median(Pick(result.program, &Steps::total));
    const double bare = Median(Pick(result.bare, &Steps::total));
    const double ratio = program / bare;
    const std::string note = result.error.empty() ? "" : " (" + result.error + ")";
    bench.Add("turnaround",
              Format("Job turnaround: WM_COMMAND of slot 1 to the prompt in the log (asked every %lu ms), %d "
                     "jobs of a child that prints one line", kPollMs, static_cast<int>(result.program.size())),
              Format("median %.0f ms, worst %.0f ms = %.2f x the bare loop's median", program,
                     Max(Pick(result.program, &Steps::total)), ratio) + note,
              "<= 1.2 x the bare loop", YesNo(ratio <= 1.2 && result.error.empty()));
    bench.Add("turnaround",
              Format("The same child by the bare loop (pipe, hidden new console, idle priority, suspended "
                     "until in a job object, 256-byte reads to the end, wait), in turn with the jobs, %d runs",
                     static_cast<int>(result.bare.size())),
              Format("median %.0f ms, worst %.0f ms", bare, Max(Pick(result.bare, &Steps::total))));
    const auto& p = result.program;
    const auto& b = result.bare;
    bench.Add("turnaround", "Where a job's time goes (medians): Velqueth",
              Format("request to header in the log %.1f ms; to the child's write %.1f ms; the write to its "
                     "line in the log %.1f ms; the line to the prompt %.1f ms",
                     Median(Pick(p, &Steps::ready)), Median(Pick(p, &Steps::written)),
                     Median(Pick(p, &Steps::seen)), Median(Pick(p, &Steps::end))));
    bench.Add("turnaround", "Where a job's time goes (medians): the bare loop",
              Format("start to the child created %.1f ms; to the child's write %.1f ms; the write to the "
                     "first byte read %.1f ms; the first byte to the child's end %.1f ms",
                     Median(Pick(b, &Steps::ready)), Median(Pick(b, &Steps::written)),
                     Median(Pick(b, &Steps::seen)), Median(Pick(b, &Steps::end))));
}
