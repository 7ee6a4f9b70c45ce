// The floods: each flood of the plan in rounds of its limit (the read loop, the control) and its
// run as a job of the program, one right after the other, so that a ratio compares runs made under
// the same load. The program's run is timed from the posted request to the prompt at the end of
// the log, and its log is then read back and compared.
#include <algorithm>
#include <cstdio>

#include "bench/FloodFamily.h"
#include "bench/ReadLoop.h"
#include "bench/Responsiveness.h"
#include "app/LogRenewal.h"
#include "res/Commands.h"

namespace {

// The log's text from `from` to `to`. The program may be busy for longer than the driver waits
// for one answer (drawing a long line of several MiB once, after the prompt), so a read that got
// no answer is asked again, for up to two minutes.
bool ReadBack(const Driver& target, long from, long to, std::string* text)
{
    const double deadline = NowMs() + 120000;
    while (!target.Read(from, to, text)) {
        if (NowMs() > deadline || target.Length() < 0)
            return false;
        Sleep(100);
    }
    return true;
}

FloodResult FloodJob(const Bench& bench, const FloodCase& flood, bool sample)
{
    FloodResult result;
    const unsigned long bytes = flood.bytes;
    std::string arguments = FloodArguments(bytes, flood.lineLength, flood.utf8);
    // Characters of the log: the UTF-8 flood's are fewer than its bytes.
    const std::string floodText = FloodText(bytes, flood.lineLength, flood.utf8);
    const Paths& paths = bench.paths;
    std::string header = Header(JobCommandLine(paths.vqchild, arguments));

    Driver target(paths.runFolder);
    target.WriteIni(IniText(paths.vqchild, arguments));
    if (!target.Start()) {
        result.error = "the program did not start";
        return result;
    }
    result.privateEmpty = PrivateBytes(target.Counters());
    long before = target.Length();
    long expected = before + static_cast<long>(header.size() + floodText.size()) + 5;
    // A log past its limit keeps only its newest text: the job has ended when the log ends with
    // the flood's last lines and the prompt, however long it is.
    const std::string full = header + floodText + kPrompt;
    const std::string ending = full.substr(full.size() > 200 ? full.size() - 200 : 0);

    Sampler sampler;
    if (sample)
        sampler.Begin(target.Window());
    double start = NowMs();
    target.Command(ID_RUN_DEFAULT);
    long length = 0;
    // The log's end is read (for the program's window a walk through the whole log, some ms at
    // several MiB) only once the log has its full length or kept one length for two polls (a
    // drawing between two pieces holds it for one); the job ended when the log first had the
    // length it ends with.
    long seen = -1;
    double seenAt = 0;
    int still = 0;
    // Where the log's first character stands in the child's output. A renewed log begins with the
    // notice (counted once its length is read back) and the newest kCarriedText characters of the
    // full one, whose last length seen stands in for its end.
    long long base = -static_cast<long long>(before + static_cast<long>(header.size()));
    int renewals = 0;
    long atCap = 0;
    for (;;) {
        length = target.Length();
        const double now = NowMs();
        if (length < 0) {
            result.error = "the program stopped answering";
            break;
        }
        still = length == seen ? still + 1 : 0;
        if (still == 0) {
            if (length < seen) {
                base += seen - static_cast<long long>(kCarriedText);
                ++renewals;
            }
            seen = length;
            seenAt = now;
        }
        if (length > before && (still >= 2 || length >= expected) && target.EndsWith(length, ending)) {
            result.ok = true;
            result.ms = seenAt - start;
            break;
        }
        if (now - start > bench.options.capMs) {
            // Stopped: the rate reached so far, then the rest of the job ends normally.
            result.capped = true;
            result.ms = now - start;
            atCap = length;
            long long shown = base + length;
            result.shown = shown > 0 ? static_cast<unsigned long long>(shown) : 0;
            EndChild(target, "vqchild.exe");
            result.ok = WaitForPrompt(target, renewals ? 0 : before + static_cast<long>(header.size()) + 5,
                                      NowMs() + 60000, &length);
            break;
        }
        Sleep(5);
    }
    sampler.End();
    result.roundTrips = sampler.roundTrips;
    result.roundTripTimeouts = sampler.timeouts;
    if (!result.capped)
        result.shown = bytes;

    if (result.ok) {
        result.logChars = length;
        result.privateFull = PrivateBytes(target.Counters());
        std::string text;
        const std::string notice = "[Earlier output dropped";
        std::string head;
        // Renewed: before the cap, or with the text that was still on its way when it came.
        const bool shortLog = renewals > 0 || (result.capped ? length < atCap : length < expected);
        bool read = !shortLog || ReadBack(target, 0, static_cast<long>(notice.size()), &head);
        result.dropped = read && shortLog && head == notice;
        if (read && result.dropped) {
            read = ReadBack(target, 0, length, &text);
            size_t lineEnd = text.find("\r\n");
            std::string rest = lineEnd == std::string::npos ? "" : text.substr(lineEnd + 2);
            if (!result.capped) {
                result.exact = read && !rest.empty() && rest.size() < full.size() &&
                               full.compare(full.size() - rest.size(), rest.size(), rest) == 0;
            } else {
                // The newest part of a flood cut short: the child's text from some place on, then
                // the prompt. The pattern repeats, so its first place in the text is as good as any.
                size_t body = rest.size() >= 5 ? rest.size() - 5 : 0;
                size_t at = floodText.find(rest.substr(0, std::min<size_t>(body, 4096)));
                result.exact = read && body > 0 && rest.compare(body, 5, kPrompt) == 0 && at != std::string::npos &&
                               at + body <= floodText.size() && floodText.compare(at, body, rest, 0, body) == 0;
                if (lineEnd != std::string::npos && result.shown > (lineEnd + 2) * renewals)
                    result.shown -= (lineEnd + 2) * renewals;
            }
        } else if (read) {
            read = ReadBack(target, before, length, &text);
            if (!result.capped) {
                result.exact = read && text == full;
            } else {
                size_t shown = text.size() - header.size() - 5;
                result.exact = read && text.size() >= header.size() + 5 && shown <= floodText.size() &&
                               text.compare(0, header.size(), header) == 0 &&
                               text.compare(header.size(), shown, floodText, 0, shown) == 0 &&
                               text.compare(text.size() - 5, 5, kPrompt) == 0;
            }
        }
        if (!read)
            result.error = "the log could not be read back: the program did not answer for two minutes";
        else if (!result.exact)
            result.error = "the log's text differs from the child's output";
    } else if (result.error.empty()) {
        result.error = "no prompt at the end of the log";
    }
    target.Close();
    return result;
}

// The rounds' ratios, "0.91, 0.95, 0.88".
std::string RatiosText(const FloodCase& flood)
{
    std::string text;
    for (size_t round = 0; round < flood.program.size(); ++round)
        text += (round ? ", " : "") + RatioText(RoundRatio(flood, round));
    return text;
}

} // namespace

void RunFloods(Bench& bench)
{
    FloodFamily& family = Family(bench);
    family.idleRoundTripUs = IdleRoundTripUs(bench.paths, 2000);
    Progress(Format("one message to the idle program: %.0f us", family.idleRoundTripUs));
    for (FloodCase& flood : family.floods) {
        const std::string name = FloodName(flood.bytes, flood.lineLength, flood.utf8);
        for (int round = 0; round < flood.rounds; ++round) {
            // The three in turn, in the opposite order every other round, so that a load that
            // grows or fades over a round weighs on the limit and the program alike.
            PhysicalResult physical;
            ControlRun control;
            FloodResult program;
            auto limit = [&] {
                physical = DrainPhysical(bench.paths, flood.bytes, flood.lineLength, flood.utf8);
                Progress(Format("read     %-36s %s, %s", name.c_str(), Seconds(physical.ms).c_str(),
                                Rate(physical.bytes, physical.ms).c_str()));
                control = FillControl(bench, flood);
                ControlFigure all = ControlUpTo(control, flood.bytes);
                Progress(Format("control  %-36s %s, %s, longest insertion %.0f ms%s", name.c_str(),
                                Seconds(all.ms).c_str(), Rate(all.reached, all.ms).c_str(), all.longest,
                                control.error.empty() ? "" : (" - " + control.error).c_str()));
            };
            auto job = [&] {
                program = FloodJob(bench, flood, true);
                Progress(Format("Velqueth %-36s %s, %s, worst round trip %.0f ms%s%s", name.c_str(),
                                Seconds(program.ms).c_str(), Rate(program.shown, program.ms).c_str(),
                                Max(program.roundTrips), program.capped ? " (capped)" : "",
                                program.error.empty() ? "" : (" - " + program.error).c_str()));
            };
            if (round % 2 == 0) {
                limit();
                job();
            } else {
                job();
                limit();
            }
            flood.physical.push_back(physical);
            flood.control.push_back(control);
            flood.program.push_back(program);
            Progress(Format("round %d of %s: %s of the limit", round + 1, name.c_str(),
                            RatioText(RoundRatio(flood, flood.program.size() - 1)).c_str()));
            if (program.capped && !flood.lineLength)
                break;  // a long line that went on to the cap: one round says enough
        }
    }
    family.measured = true;
}

void FloodRows(Bench& bench)
{
    const FloodFamily& family = Family(bench);
    if (!family.measured)
        return;
    bench.Footnote("Each flood is measured in rounds; a round takes the 256-byte read loop, the log control "
                   "itself (a RichEdit made as the pane, filled on one thread with drawing off: 64 KiB pieces "
                   "for lines, 1 MiB pieces inside a long line, the UTF-8 lines as the program inserts them) "
                   "and the program's run, one right after the other (every other round in the opposite "
                   "order). A round's limit is the slower of the read loop and the control (inside a long "
                   "line the control's), its ratio the program's rate over it; a flood is judged on the "
                   "median of its rounds' ratios, and the rows show the round that has it. The program's run "
                   "ends when its log first had the length it ends with; the log's end is read back only once "
                   "that length held for two polls (or is the full length), since each read costs the program's "
                   "window a walk through its log. A flood stopped at the cap after its log was renewed counts "
                   "the renewed log's dropped text from the last length seen before the renewal.");
    const std::string cap = Seconds(bench.options.capMs);
    for (const FloodCase& flood : family.floods) {
        size_t m = MedianRound(flood);
        const FloodResult& program = flood.program[m];
        const bool lines = flood.lineLength != 0;
        const double ratio = MedianRatio(flood);
        const double limit = LimitRate(flood, m);
        std::string error;
        const bool exact = EveryRoundExact(flood, &error);
        std::string limitText = " = " + RatioText(ratio) + " of the limit " + Rate(limit * 1000, 1000);
        if (lines)
            limitText += " (the control " + Rate(ControlRate(flood, m) * 1000, 1000) + ", the read loop " +
                         Rate(ReadRate(flood, m) * 1000, 1000) + ")";
        else
            limitText += " (the control's in " + PieceName(flood.Piece()) + ")";
        if (flood.program.size() > 1)
            limitText += "; median of " + Format("%d", static_cast<int>(flood.program.size())) +
                         " rounds, their ratios " + RatiosText(flood);
        if (flood.utf8) {
            const FloodCase* letters = LettersOf(family, flood);
            double lettersLimit = letters ? MedianOver(*letters, LimitRate) : 0;
            if (lettersLimit > 0)
                limitText += "; against the letters' limit " + Rate(lettersLimit * 1000, 1000) + " " +
                             RatioText(MedianOver(flood, ProgramRate) / lettersLimit);
        }
        std::string figure;
        if (!program.ok && !program.capped) {
            figure = "failed: " + program.error;
        } else {
            figure = (program.capped ? "stopped after " + Seconds(program.ms) + " at " + MiBText(program.shown) + ", "
                                     : Seconds(program.ms) + ", ") +
                     Rate(program.shown, program.ms) + limitText +
                     (!exact ? "; **" + error + "**"
                      : program.dropped ? "; the oldest dropped at the log's limit, the newest " +
                                              MiBText(program.logChars) + " exact"
                                        : "; log text exact" + std::string(flood.program.size() > 1 ? " in every round" : ""));
        }
        std::string goal;
        std::string met;
        bool measured = limit > 0 && (program.ok || program.capped);
        if (flood.utf8) {
            goal = ">= 0.7 of its own limit; completes within the cap (" + cap + ")";
            met = measured ? YesNo(ratio >= 0.7 && exact && program.ok && !program.capped) : "-";
        } else if (lines) {
            bool mustComplete = flood.bytes <= 10 * kMiB;
            goal = ">= 0.9 of the limit" + (mustComplete ? "; completes within the cap (" + cap + ")" : "");
            met = measured ? YesNo(ratio >= 0.9 && exact && (!mustComplete || (program.ok && !program.capped)))
                           : "-";
        } else if (flood.bytes <= kMiB) {
            goal = ">= 0.5 of the control's own rate in " + PieceName(flood.Piece());
            met = measured ? YesNo(ratio >= 0.5 && exact) : "-";
        } else {
            goal = "report how far it gets within the cap (" + cap + ")";
            met = "-";
            ControlFigure whole = ControlUpTo(flood.control[m], flood.bytes);
            if (whole.count > 0)
                figure += "; the control itself: " + MiBText(whole.reached) + " in " + Seconds(whole.ms);
        }
        bench.Add("floods", "Velqueth, " + FloodName(flood.bytes, flood.lineLength, flood.utf8), figure, goal,
                  met);
    }
}
