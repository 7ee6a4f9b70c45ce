// The floods: each flood of the plan drained by the read loop, then run as a job of the program,
// one after the other, so that a ratio compares two runs made under the same load. The program's
// run is timed from the posted request to the prompt at the end of the log, and its log is then
// read back and compared.
#include <algorithm>
#include <cstdio>

#include "bench/FloodFamily.h"
#include "bench/ReadLoop.h"
#include "bench/Responsiveness.h"
#include "res/Commands.h"

namespace {

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
    for (;;) {
        length = target.Length();
        if (length < 0) {
            result.error = "the program stopped answering";
            break;
        }
        if (length > before && target.EndsWith(length, ending)) {
            result.ok = true;
            result.ms = NowMs() - start;
            break;
        }
        if (NowMs() - start > bench.options.capMs) {
            // Stopped: the rate reached so far, then the rest of the job ends normally.
            result.capped = true;
            result.ms = NowMs() - start;
            long shown = length - before - static_cast<long>(header.size());
            result.shown = shown > 0 ? static_cast<unsigned long long>(shown) : 0;
            EndChild(target, "vqchild.exe");
            result.ok = WaitForPrompt(target, before + static_cast<long>(header.size()) + 5,
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
        result.dropped = !result.capped && length < expected &&
                         target.Read(0, static_cast<long>(notice.size()), &head) && head == notice;
        if (result.dropped && target.Read(0, length, &text)) {
            size_t lineEnd = text.find("\r\n");
            std::string rest = lineEnd == std::string::npos ? "" : text.substr(lineEnd + 2);
            result.exact = !rest.empty() && rest.size() < full.size() &&
                           full.compare(full.size() - rest.size(), rest.size(), rest) == 0;
        } else if (!result.dropped && target.Read(before, length, &text)) {
            if (!result.capped) {
                result.exact = text == full;
            } else {
                size_t shown = text.size() - header.size() - 5;
                result.exact = text.size() >= header.size() + 5 && shown <= floodText.size() &&
                               text.compare(0, header.size(), header) == 0 &&
                               text.compare(header.size(), shown, floodText, 0, shown) == 0 &&
                               text.compare(text.size() - 5, 5, kPrompt) == 0;
            }
        }
        if (!result.exact)
            result.error = "the log's text differs from the child's output";
    } else if (result.error.empty()) {
        result.error = "no prompt at the end of the log";
    }
    target.Close();
    return result;
}

} // namespace

void RunFloods(Bench& bench)
{
    FloodFamily& family = Family(bench);
    family.idleRoundTripUs = IdleRoundTripUs(bench.paths, 2000);
    Progress(Format("one message to the idle program: %.0f us", family.idleRoundTripUs));
    for (FloodCase& flood : family.floods) {
        for (int run = 0; run < flood.runs; ++run) {
            const std::string name = FloodName(flood.bytes, flood.lineLength, flood.utf8);
            PhysicalResult physical = DrainPhysical(bench.paths, flood.bytes, flood.lineLength, flood.utf8);
            Progress(Format("read     %-26s %s, %s", name.c_str(),
                            Seconds(physical.ms).c_str(), Rate(physical.bytes, physical.ms).c_str()));
            FloodResult program = FloodJob(bench, flood, true);
            Progress(Format("Velqueth %-26s %s, %s%s%s", name.c_str(),
                            Seconds(program.ms).c_str(), Rate(program.shown, program.ms).c_str(),
                            program.capped ? " (capped)" : "",
                            program.error.empty() ? "" : (" - " + program.error).c_str()));
            flood.physical.push_back(physical);
            flood.program.push_back(program);
            if (program.capped || program.ms > 5000)
                break;  // a run that long says enough; no repeats
        }
    }
    family.measured = true;
}

void FloodRows(Bench& bench)
{
    const FloodFamily& family = Family(bench);
    if (!family.measured)
        return;
    bench.Footnote("The limit of a flood is the slower of the 256-byte read loop and the log control itself (a "
                   "RichEdit made as the pane, filled on one thread with drawing off: 64 KiB pieces for lines, "
                   "1 MiB pieces inside a long line), both measured in this run. The UTF-8 flood has the same "
                   "limit: its own read loop, and the control's rate with the letters' lines.");
    const std::string cap = Seconds(bench.options.capMs);
    for (const FloodCase& flood : family.floods) {
        size_t m = MedianRun(flood);
        const PhysicalResult& physical = flood.physical[m];
        const FloodResult& program = flood.program[m];
        std::string runsNote = flood.program.size() > 1
                                   ? Format(" (median of %d)", static_cast<int>(flood.program.size()))
                                   : "";
        const bool lines = flood.lineLength != 0;
        const unsigned long piece = lines ? kLinePiece : kLongPiece;
        const ControlRun* control = ControlFor(family.controls, flood.lineLength, piece, flood.bytes);
        ControlFigure controlFigure = control ? ControlUpTo(*control, flood.bytes) : ControlFigure();
        double readRate = physical.ok && physical.ms > 0 ? physical.bytes / physical.ms : 0;  // bytes per ms
        double controlRate = controlFigure.ms > 0 ? controlFigure.reached / controlFigure.ms : 0;
        // Lines: the slower of the two; a long line: the control's own rate, as the goal says.
        double limit = lines ? (controlRate > 0 && readRate > 0 ? std::min(readRate, controlRate)
                                                                : std::max(readRate, controlRate))
                             : controlRate;
        double programRate = program.ms > 0 ? program.shown / program.ms : 0;
        double ratio = limit > 0 ? programRate / limit : 0;
        std::string controlText = controlRate > 0 ? Rate(controlRate * 1000, 1000) : "not measured";
        std::string limitText =
            lines ? " = " + RatioText(ratio) + " of the limit (the control " + controlText +
                        ", the read loop " + Rate(readRate * 1000, 1000) + ")"
                  : " = " + RatioText(ratio) + " of the control's " + controlText + " in " + PieceName(piece);
        std::string figure;
        if (!program.ok && !program.capped) {
            figure = "failed: " + program.error;
        } else {
            figure = (program.capped ? "stopped after " + Seconds(program.ms) + " at " + MiBText(program.shown) + ", "
                                     : Seconds(program.ms) + ", ") +
                     Rate(program.shown, program.ms) + limitText + runsNote +
                     (program.exact ? (program.dropped ? "; the oldest dropped at the log's limit, the newest " +
                                                             MiBText(program.logChars) + " exact"
                                                       : "; log text exact")
                                    : "; **" + program.error + "**");
        }
        std::string goal;
        std::string met;
        bool measured = limit > 0 && (program.ok || program.capped);
        if (lines) {
            bool mustComplete = flood.bytes <= 10 * kMiB;
            goal = ">= 0.7 of the limit" + (mustComplete ? "; completes within the cap (" + cap + ")" : "");
            met = measured ? YesNo(ratio >= 0.7 && program.exact && (!mustComplete || (program.ok && !program.capped)))
                           : "-";
        } else if (flood.bytes <= kMiB) {
            goal = ">= 0.5 of the control's own rate in " + PieceName(piece);
            met = measured ? YesNo(ratio >= 0.5 && program.exact) : "-";
        } else {
            goal = "report how far it gets within the cap (" + cap + ")";
            met = "-";
            if (control && !control->insertions.empty()) {
                ControlFigure whole = ControlUpTo(*control, flood.bytes);
                figure += "; the control itself: " + MiBText(whole.reached) + " in " + Seconds(whole.ms);
            }
        }
        bench.Add("floods", "Velqueth, " + FloodName(flood.bytes, flood.lineLength, flood.utf8), figure, goal,
                  met);
    }
}
