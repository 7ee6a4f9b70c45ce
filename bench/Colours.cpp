// colours: a flood of coloured lines (vqchild's "coloured": two coloured words in every 80-byte
// line) through the program in rounds, as the floods are measured: each round the letters' flood
// of the same bytes and lines through the bare read loop and the control, then the coloured job,
// judged against that round's letters' limit, and the control given the same coloured lines by
// the program's own insertion of a piece, the pace that the control's own runs allow; and private
// bytes of a 10 MiB log with colour changes in every line against the same log of letters.
#include <richedit.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/OutputPane.h"
#include "app/OutputQueue.h"
#include "base/EscapeReader.h"
#include "base/TextStyle.h"
#include "bench/FloodFamily.h"
#include "bench/ReadLoop.h"
#include "res/Commands.h"
#include "runner/ConsoleRunner.h"
#include "tests/helpers/ChildPattern.h"

namespace {

const unsigned long kFlood = kMiB;
const unsigned long kBigLog = 10 * kMiB;
const int kRuns = 3;
const double kBigLogCapMs = 120000;

struct ColoursResult {
    bool ran = false;
    // The letters' read loop and control each round, and the coloured job as the program's run.
    FloodCase rounds{kFlood, 80, kRuns};
    double shownShare = 1;  // the log's characters of the flood against its bytes
    std::vector<double> richMs;  // each round: the control fed these lines as rich text
    long long colouredPrivate = 0, lettersPrivate = 0;
} result;

// One job of vqchild with `arguments` whose log ends with `shown`: its time from the request to
// the prompt (negative when it did not end within `capMs`), and the program's private bytes then.
double TimedJob(const Bench& bench, const std::string& arguments, const std::string& shown,
                long long* privateBytes, double capMs)
{
    Driver target(bench.paths.runFolder);
    target.WriteIni(IniText(bench.paths.vqchild, arguments));
    if (!target.Start())
        return -1;
    const std::string full = shown + kPrompt;
    const std::string ending = full.substr(full.size() - 200);
    double start = NowMs();
    target.Command(ID_RUN_DEFAULT);
    // Reading the log's end costs the program's window a walk through the whole log, the length
    // nothing: the end is read only once the log is long enough or has stopped growing (a renewed
    // log holds less).
    long lastLength = -1;
    double lastGrowth = start;
    for (;;) {
        long length = target.Length();
        double now = NowMs();
        if (length < 0 || now - start > capMs)
            return -1;
        if (length != lastLength)
            lastLength = length, lastGrowth = now;
        bool mayEnd = length >= static_cast<long>(full.size()) || now - lastGrowth >= 100;
        if (mayEnd && target.EndsWith(length, ending))
            break;
        Sleep(5);
    }
    double ms = NowMs() - start;
    if (privateBytes)
        *privateBytes = PrivateBytes(target.Counters());
    return ms;
}

// The coloured child's bytes as the program's log takes them: read as its worker reads the pipe
// (kChunkSize bytes at a time, the escape sequences taken out, a style mark for each change) and
// cut as its queue cuts pieces (at most OutputQueue::kLinePiece bytes, after a line feed).
std::vector<std::string> ProgramPieces(unsigned long bytes)
{
    const std::string raw = child_pattern::ColouredText(bytes);
    EscapeReader reader(true);
    std::string read;
    for (size_t at = 0; at < raw.size(); at += kChunkSize)
        read += reader.Read(raw.data() + at, std::min<size_t>(kChunkSize, raw.size() - at));
    read += reader.Finish();
    std::vector<std::string> pieces;
    for (size_t at = 0; at < read.size();) {
        size_t end = std::min(read.size(), at + OutputQueue::kLinePiece);
        size_t feed = end < read.size() ? read.rfind('\n', end - 1) : std::string::npos;
        if (feed != std::string::npos && feed >= at)
            end = feed + 1;
        pieces.push_back(read.substr(at, end - at));
        at = end;
    }
    return pieces;
}

// The control itself given the coloured lines by the program's own insertion of a piece
// (OutputPane::InsertChunk, the styled runs as one stream of rich text), in the program's pieces.
// Answers the insertions' own time, negative without a control or when it holds other text.
double FillRich(const std::vector<std::string>& pieces, const std::string& shown)
{
    HWND frame = nullptr;
    HFONT font = nullptr;
    HWND control = CreateLogControl(&frame, &font);
    double ms = -1;
    if (control) {
        SendMessageA(control, WM_SETREDRAW, FALSE, 0);
        TextStyle style = TextStyle::Automatic();
        std::vector<char> piece;
        ms = 0;
        for (const std::string& text : pieces) {
            piece.assign(text.begin(), text.end());
            piece.push_back('\0');
            double before = NowMs();
            OutputPane::InsertChunk(control, piece.data(), &style);
            ms += NowMs() - before;
        }
        GETTEXTLENGTHEX how = {GTL_NUMCHARS | GTL_PRECISE, 1200};
        if (SendMessageA(control, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&how), 0) !=
            static_cast<LRESULT>(shown.size()))
            ms = -1;
    }
    if (frame)
        DestroyWindow(frame);
    if (font)
        DeleteObject(font);
    return ms;
}

} // namespace

void RunColours(Bench& bench)
{
    const std::string coloured = "coloured " + std::to_string(kFlood);
    const std::string shown = child_pattern::ColouredText(kFlood, true);
    const std::vector<std::string> pieces = ProgramPieces(kFlood);
    result.shownShare = static_cast<double>(shown.size()) / kFlood;
    for (int run = 0; run < kRuns; ++run) {
        Progress("colours: round " + std::to_string(run + 1));
        result.rounds.physical.push_back(DrainPhysical(bench.paths, kFlood, 80, false));
        result.rounds.control.push_back(FillControl(bench, result.rounds));
        FloodResult job;
        job.ms = TimedJob(bench, coloured, shown, nullptr, bench.options.capMs);
        job.ok = job.ms > 0;
        job.shown = kFlood;  // the child's bytes, as the letters' rate counts them
        result.rounds.program.push_back(job);
        result.richMs.push_back(FillRich(pieces, shown));
    }
    Progress("colours: 10 MiB logs");
    // Memory is the point here, not time: the jobs may take longer than a flood's cap.
    const double capMs = std::max(bench.options.capMs, kBigLogCapMs);
    TimedJob(bench, "coloured " + std::to_string(kBigLog), child_pattern::ColouredText(kBigLog, true),
             &result.colouredPrivate, capMs);
    const unsigned long letters = kBigLog / 80 * 54;  // the same characters of log
    TimedJob(bench, FloodArguments(letters, 54), FloodText(letters, 54), &result.lettersPrivate, capMs);
    result.ran = true;
}

void ColoursRows(Bench& bench)
{
    if (!result.ran)
        return;
    const FloodCase& rounds = result.rounds;
    double ratio = MedianRatio(rounds);
    if (ratio <= 0) {
        bench.Add("colours", "1 MiB of coloured 80-byte lines", "did not run", ">= 0.7 of the limit", "no");
    } else {
        size_t round = MedianRound(rounds);
        // The control's own pace with these runs, beside the job's, and the most that pace allows
        // against the round's limit.
        std::vector<double> ofRich, ceiling;
        for (size_t r = 0; r < rounds.program.size() && r < result.richMs.size(); ++r) {
            if (result.richMs[r] > 0 && rounds.program[r].ok)
                ofRich.push_back(result.richMs[r] / rounds.program[r].ms);
            if (result.richMs[r] > 0 && LimitRate(rounds, r) > 0)
                ceiling.push_back(kFlood / result.richMs[r] / LimitRate(rounds, r));
        }
        // Beside it the stricter reading: the letters' time for only as many bytes as the log shows.
        bench.Add("colours", "1 MiB of 80-byte lines, two coloured words each" + RoundsNote(rounds),
                  RatioText(ratio) + " of the letters' limit (" + Seconds(rounds.program[round].ms) +
                      "; the letters' read loop " + RatesText(rounds, ReadRate) + ", control " +
                      RatesText(rounds, ControlRate) + ", the coloured job " + RatesText(rounds, ProgramRate) +
                      "; against the letters' time for the log's characters alone " +
                      RatioText(ratio * result.shownShare) + "; the control itself given these lines "
                      "by the program's insertion of a piece took " +
                      (result.richMs.empty() ? std::string("-") : Seconds(Median(result.richMs))) + ", at most " +
                      (ceiling.empty() ? std::string("-") : RatioText(Median(ceiling))) +
                      " of the limit, the job " + (ofRich.empty() ? std::string("-") : RatioText(Median(ofRich))) +
                      " of its pace)",
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
                  "not measured: a job did not end within " + Seconds(std::max(bench.options.capMs, kBigLogCapMs)));
    }
}
