// Responsiveness: how long the program's user-interface thread takes to answer a WM_NULL sent
// every 10 ms from a thread of the benchmark, during each flood (and during the big log, which
// samples with the same Sampler); beside it, one message to the idle program, the floor under
// every insertion.
#include <algorithm>

#include "bench/FloodFamily.h"
#include "bench/Responsiveness.h"

namespace {

DWORD WINAPI Sample(LPVOID parameter)
{
    Sampler* self = static_cast<Sampler*>(parameter);
    while (!InterlockedCompareExchange(&self->stop, 0, 0)) {
        double start = NowMs();
        DWORD_PTR answer = 0;
        if (SendMessageTimeoutA(self->window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &answer))
            self->roundTrips.push_back(NowMs() - start);
        else
            ++self->timeouts;
        Sleep(10);
    }
    return 0;
}

} // namespace

void Sampler::Begin(HWND target)
{
    window = target;
    thread = CreateThread(nullptr, 0, Sample, this, 0, nullptr);
}

void Sampler::End()
{
    if (!thread)
        return;
    InterlockedExchange(&stop, 1);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    thread = nullptr;
}

double IdleRoundTripUs(const Paths& paths, int count)
{
    Driver target(paths.runFolder);
    target.WriteIni(IniText(paths.vqchild, "exit 0"));
    if (!target.Start())
        return -1;
    Sleep(200);
    std::vector<double> samples;
    for (int i = 0; i < count; ++i) {
        double start = NowMs();
        DWORD_PTR answer = 0;
        SendMessageTimeoutA(target.Window(), WM_NULL, 0, 0, SMTO_NORMAL, 5000, &answer);
        samples.push_back((NowMs() - start) * 1000);
    }
    target.Close();
    return Median(samples);
}

std::string RoundTripText(const std::vector<double>& roundTrips, int timeouts)
{
    return Format("worst %.1f ms (p50 %.2f, p99 %.1f; %d samples%s)", Max(roundTrips),
                  Percentile(roundTrips, 0.5), Percentile(roundTrips, 0.99),
                  static_cast<int>(roundTrips.size()),
                  timeouts ? Format(", %d timed out after 10 s", timeouts).c_str() : "");
}

void ResponsivenessRows(Bench& bench)
{
    const FloodFamily& family = Family(bench);
    if (!family.measured)
        return;
    bench.Add("responsiveness", "Round trip of one synchronous message (WM_NULL) to the idle program, median of 2000",
              Format("%.0f us", family.idleRoundTripUs));
    for (const FloodCase& flood : family.floods) {
        const size_t m = MedianRound(flood);
        const FloodResult& program = flood.program[m];
        double worst = Max(program.roundTrips);
        std::string measure = "WM_NULL round trip every 10 ms, during the " +
                              FloodName(flood.bytes, flood.lineLength, flood.utf8) + " flood";
        std::string figure = RoundTripText(program.roundTrips, program.roundTripTimeouts);
        if (flood.program.size() > 1) {
            figure += "; in the round of the median ratio; each round's worst";
            for (const FloodResult& each : flood.program)
                figure += Format(" %.0f", Max(each.roundTrips));
            figure += " ms";
        }
        if (program.roundTrips.empty()) {
            bench.Add("responsiveness", measure,
                      "no samples" + (program.error.empty() ? "" : ": " + program.error),
                      flood.lineLength ? "< 100 ms" : "no worse than one insertion of the control's", "-");
        } else if (flood.lineLength) {
            bench.Add("responsiveness", measure, figure, "< 100 ms",
                      YesNo(worst < 100 && program.roundTripTimeouts == 0));
        } else {
            // Beside the control's own longest insertion in a line as long as the program's got.
            unsigned long shown = static_cast<unsigned long>(std::max<unsigned long long>(program.shown, 1));
            ControlFigure reached = ControlUpTo(flood.control[m], shown);
            if (reached.count > 0)
                figure += Format("; the control's own longest insertion %.0f ms (%s, a line of up to %s)",
                                 reached.longest, PieceName(kLongPiece).c_str(), MiBText(reached.reached).c_str());
            bench.Add("responsiveness", measure, figure, "no worse than one insertion of the control's",
                      reached.count > 0 ? YesNo(worst <= reached.longest && program.roundTripTimeouts == 0)
                                        : "-");
        }
    }
}
