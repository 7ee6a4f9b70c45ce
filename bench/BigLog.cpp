// The big log: a log larger than the control can hold (100 MiB by default). vqstamp writes
// numbered 80-byte lines (NumberedLine in ChildPattern.h), so the log's newest line tells how far
// the output has come even after the program dropped older text; afterwards the whole log is read
// back, line by line.
#include <algorithm>
#include <cstdlib>

#include "bench/Responsiveness.h"
#include "res/Commands.h"
#include "tests/helpers/ChildPattern.h"

namespace {

using child_pattern::NumberedLine;

// The number of a line of vqstamp's (without its CR LF), or -1.
long NumberOf(const std::string& line)
{
    if (line.size() != 78 || line[10] != ' ')
        return -1;
    for (int i = 0; i < 10; ++i)
        if (line[i] < '0' || line[i] > '9')
            return -1;
    long number = std::strtol(line.c_str(), nullptr, 10);
    return line == NumberedLine(static_cast<unsigned long>(number)) ? number : -1;
}

bool IsDropNotice(const std::string& line)
{
    std::string lower;
    for (char c : line)
        lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    size_t earlier = lower.find("earlier output");
    return earlier != std::string::npos && lower.find("dropped", earlier) != std::string::npos;
}

// The whole log, line by line, as it is read in pieces.
struct LogCheck {
    long first = -1;   // first and last numbered line
    long last = -1;
    long numbered = 0;
    long gaps = 0;     // numbered lines that do not follow the one before
    long before = 0;   // other lines before the first numbered one (banner, header, a cut line)
    long stray = 0;    // other lines among the numbered ones
    std::string straySample;
    int notices = 0;
    std::string notice;
    std::string rest;  // the text after the last line break: the prompt at the end

    void Feed(const std::string& text)
    {
        rest += text;
        size_t from = 0;
        for (size_t end; (end = rest.find("\r\n", from)) != std::string::npos; from = end + 2)
            Line(rest.substr(from, end - from));
        rest.erase(0, from);
    }

    void Line(const std::string& line)
    {
        long number = NumberOf(line);
        if (number >= 0) {
            if (first < 0)
                first = number;
            else if (number != last + 1)
                ++gaps;
            last = number;
            ++numbered;
        } else if (IsDropNotice(line)) {
            if (++notices == 1)
                notice = line.substr(0, 100);
        } else if (first < 0) {
            ++before;
        } else if (++stray == 1) {
            straySample = line.substr(0, 60);
        }
    }
};

struct BigLogResult {
    unsigned long lines = 0;
    bool started = false;
    bool completed = false;  // the child's last line, then the prompt, at the end of the log
    bool capped = false;
    bool promptAfterCap = false;
    double ms = 0;           // request to prompt, or to the cap
    double promptWaitMs = 0;
    long newestAtEnd = -1;   // the newest numbered line when the run ended or was stopped
    long finalLength = -1;
    long maxLength = 0;
    int shrinks = 0;         // times the log was found shorter than the time before
    bool emptied = false;
    long lengthBeforeEmpty = 0;
    long long emptyPrivate = -1;
    long long peakPrivate = -1;
    std::vector<double> roundTrips;
    int roundTripTimeouts = 0;
    bool checked = false;
    LogCheck log;
    std::string error;
};

// The newest complete numbered line in the log's last characters, or -1.
long NewestLine(const Driver& target, long length)
{
    std::string tail;
    if (length <= 0 || !target.Read(std::max(0L, length - 2048), length, &tail))
        return -1;
    for (size_t end = tail.rfind("\r\n"); end != std::string::npos && end >= 78;
         end = tail.rfind("\r\n", end - 1)) {
        long number = NumberOf(tail.substr(end - 78, 78));
        if (number >= 0)
            return number;
        if (end == 0)
            break;
    }
    return -1;
}

BigLogResult BigLog(const Paths& paths, unsigned long lines, double capMs)
{
    BigLogResult result;
    result.lines = lines;
    Driver target(paths.runFolder);
    target.WriteIni(IniText(paths.vqstamp, Format("lines %lu", lines)));
    if (!target.Start()) {
        result.error = "the program did not start";
        return result;
    }
    result.started = true;
    result.emptyPrivate = PrivateBytes(target.Counters());
    result.peakPrivate = result.emptyPrivate;
    const std::string end = NumberedLine(lines - 1) + "\r\n" + kPrompt;
    long length = target.Length();
    long previous = length;

    Sampler sampler;
    sampler.Begin(target.Window());
    double start = NowMs();
    double nextProgress = start + 20000;
    target.Command(ID_RUN_DEFAULT);
    for (;;) {
        Sleep(250);
        if (WaitForSingleObject(target.Process(), 0) == WAIT_OBJECT_0) {
            DWORD code = 0;
            GetExitCodeProcess(target.Process(), &code);
            result.error = Format("the program ended (exit code 0x%lX)", code);
            break;
        }
        length = target.Length();
        if (length < 0) {
            result.error = "the program stopped answering";
            break;
        }
        if (length < previous) {
            ++result.shrinks;
            if (length == 0 && !result.emptied) {
                result.emptied = true;
                result.lengthBeforeEmpty = previous;
            }
        }
        previous = length;
        result.maxLength = std::max(result.maxLength, length);
        result.peakPrivate = std::max(result.peakPrivate, target.LinuxPrivateBytes());
        double now = NowMs();
        if (length >= static_cast<long>(end.size()) && target.EndsWith(length, end)) {
            result.completed = true;
            result.ms = now - start;
            result.newestAtEnd = static_cast<long>(lines) - 1;
            break;
        }
        if (now - start > capMs) {
            result.capped = true;
            result.ms = now - start;
            break;
        }
        if (now > nextProgress) {
            nextProgress += 20000;
            long newest = NewestLine(target, length);
            Progress(Format("%.0f s: the log holds %.1f MiB, its newest line is %ld (%.1f MiB of the "
                            "child's output)", (now - start) / 1000, MiB(length), newest,
                            MiB((newest + 1) * 80.0)));
        }
    }
    if (result.error.empty() && result.capped) {
        result.newestAtEnd = NewestLine(target, length);
        // Stopped: the child ends, the job must still end with its prompt.
        EndChild(target, "vqstamp.exe");
        double waitStart = NowMs();
        long now = 0;
        result.promptAfterCap = WaitForPrompt(target, 0, waitStart + 60000, &now);
        result.promptWaitMs = NowMs() - waitStart;
    }
    sampler.End();
    result.roundTrips = sampler.roundTrips;
    result.roundTripTimeouts = sampler.timeouts;

    if (result.error.empty()) {
        result.finalLength = target.Length();
        result.peakPrivate = std::max(result.peakPrivate, target.LinuxPrivateBytes());
        // The whole log, a few MiB at a time.
        const long kPiece = 4 * 1024 * 1024;
        bool read = result.finalLength >= 0;
        for (long from = 0; read && from < result.finalLength; from += kPiece) {
            std::string piece;
            read = target.Read(from, std::min(result.finalLength, from + kPiece), &piece);
            result.log.Feed(piece);
        }
        result.checked = read;
        if (!read)
            result.error = "the log could not be read back";
    }
    target.Close();
    return result;
}

bool ran = false;
BigLogResult big;

} // namespace

void RunBigLog(Bench& bench)
{
    big = BigLog(bench.paths, bench.options.bigMiB * (kMiB / 80), bench.options.bigCapMs);
    ran = true;
    Progress(big.completed ? "ended with its prompt after " + Seconds(big.ms)
                           : big.capped ? "stopped at the cap" : "failed: " + big.error);
}

void BigLogRows(Bench& bench)
{
    if (!ran)
        return;
    const Options& options = bench.options;
    const std::string name = Format("%lu MiB log of numbered 80-byte lines", options.bigMiB);
    const std::string capText = Seconds(options.bigCapMs);
    if (!big.started) {
        bench.Add("big-log", name, "failed: " + big.error, "ends with its prompt", "-");
        return;
    }
    const long long reach = (big.newestAtEnd + 1) * 80LL;
    std::string figure;
    if (big.completed) {
        figure = "the child's last line, then the prompt, after " + Seconds(big.ms) + " (" +
                 Rate(big.lines * 80.0, big.ms) + ")";
    } else if (big.capped) {
        figure = "stopped at the cap after " + Seconds(big.ms) + ", the child's output shown up to " +
                 (big.newestAtEnd >= 0
                      ? Format("line %ld (", big.newestAtEnd) + MiBText(reach) + ", " + Rate(reach, big.ms) + ")"
                      : std::string("no line in the log")) +
                 (big.promptAfterCap ? "; the child ended, the prompt followed in " + Seconds(big.promptWaitMs)
                                     : "; the child ended, **no prompt** within " + Seconds(big.promptWaitMs));
    } else {
        figure = "failed: " + big.error;
    }
    if (big.emptied)
        figure += "; **the log emptied** (length 0) after holding " + MiBText(big.lengthBeforeEmpty);
    bench.Add("big-log", name + ": the job", figure, "ends with its prompt within " + capText,
              YesNo(big.completed));

    const LogCheck& log = big.log;
    if (!big.checked) {
        figure = "not checked: " + big.error;
    } else if (log.last < 0) {
        figure = "no numbered line in the log";
    } else {
        figure = Format("the log's last line is line %ld", log.last) +
                 (big.completed ? " (the child's last), then the prompt" : "") +
                 Format("; lines %ld-%ld (", log.first, log.last) +
                 MiBText(static_cast<long long>((log.last - log.first + 1) * 80.0)) + ") in order" +
                 (log.gaps ? Format(", **%ld gaps**", log.gaps) : ", no gap") +
                 (log.stray ? Format(", **%ld other lines among them** (\"%s\")", log.stray, log.straySample.c_str())
                            : "");
    }
    bench.Add("big-log", name + ": the newest output present", figure, "the flood's tail at the log's end, in order",
              YesNo(big.completed && big.checked && log.last == static_cast<long>(big.lines) - 1 &&
                    log.gaps == 0 && log.stray == 0));

    bench.Add("big-log", name + ": WM_NULL round trip every 10 ms during it",
              big.roundTrips.empty() ? "no samples" : RoundTripText(big.roundTrips, big.roundTripTimeouts),
              "< 250 ms",
              big.roundTrips.empty() ? "-" : YesNo(Max(big.roundTrips) < 250 && big.roundTripTimeouts == 0));

    bool dropped = big.checked && (log.first > 0 || big.shrinks > 0);
    std::string met = "-";
    if (!big.checked) {
        figure = "not checked";
    } else {
        if (log.notices == 0)
            figure = dropped ? "**none**, although older output is gone" : "none; nothing was dropped";
        else
            figure = (log.notices == 1 ? std::string("once") : Format("**%d times**", log.notices)) + ": \"" +
                     log.notice + "\"";
        if (log.first > 0)
            figure += Format("; lines 0-%ld are gone", log.first - 1);
        if (dropped)
            met = YesNo(log.notices == 1);
        else if (big.completed)
            met = YesNo(log.notices == 0);
        else
            figure += " (the log did not grow that far)";
    }
    bench.Add("big-log", name + ": the notice of dropped output (\"earlier output\" ... \"dropped\")", figure,
              "once, when older output was dropped", met);

    bench.Add("big-log", name + ": the log's length at the end",
              big.finalLength >= 0 ? MiBText(big.finalLength) + Format(" (%ld characters); the largest seen ",
                                                                       big.finalLength) +
                                         MiBText(big.maxLength) +
                                         (big.shrinks ? Format("; found shorter than before %d times", big.shrinks)
                                                      : "")
                                   : "not known: " + big.error,
              "", "");
    bench.Add("big-log", name + ": peak private bytes of the program",
              MiBText(big.peakPrivate) + " (empty log " + MiBText(big.emptyPrivate) + ")", "", "");
}
