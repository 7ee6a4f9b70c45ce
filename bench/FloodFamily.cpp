// The flood family's plan and the questions its measures ask of each other's records.
#include <algorithm>

#include "bench/FloodFamily.h"

FloodFamily& Family(const Bench& bench)
{
    static FloodFamily family;
    if (family.planned)
        return family;
    family.planned = true;
    std::vector<FloodCase>& floods = family.floods;
    // Odd counts of rounds, so that the median is one round's. The 10 MiB long line goes on to the
    // cap: one round says enough.
    if (bench.options.quick) {
        floods = {{256 * 1024, 80, 3}, {256 * 1024, 0, 3}, {kMiB, 80, 1}, {kMiB, 0, 1}, {kMiB, 80, 1, true}};
    } else {
        floods = {{kMiB, 80, 7},      {kMiB, 0, 5},       {10 * kMiB, 80, 3},
                  {10 * kMiB, 0, 1},  {50 * kMiB, 80, 3}, {kMiB, 80, 7, true}};
    }
    if (!bench.options.floods.empty()) {
        floods.clear();
        for (const auto& flood : bench.options.floods)
            floods.push_back({flood.kib * 1024, flood.lineLength, 3, flood.utf8});
    }
    if (bench.options.rounds > 0)
        for (FloodCase& flood : floods)
            flood.rounds = bench.options.rounds;
    return family;
}

double ReadRate(const FloodCase& flood, size_t round)
{
    const PhysicalResult& physical = flood.physical[round];
    return physical.ok && physical.ms > 0 ? physical.bytes / physical.ms : 0;
}

double ControlRate(const FloodCase& flood, size_t round)
{
    // As far as the program got: a flood stopped at the cap is judged on the same first bytes.
    const FloodResult& program = flood.program[round];
    unsigned long upTo = program.capped && program.shown > 0 ? static_cast<unsigned long>(program.shown) : flood.bytes;
    ControlFigure figure = ControlUpTo(flood.control[round], upTo);
    return figure.ms > 0 ? figure.reached / figure.ms : 0;
}

double ProgramRate(const FloodCase& flood, size_t round)
{
    const FloodResult& program = flood.program[round];
    return (program.ok || program.capped) && program.ms > 0 ? program.shown / program.ms : 0;
}

double LimitRate(const FloodCase& flood, size_t round)
{
    double read = ReadRate(flood, round);
    double control = ControlRate(flood, round);
    if (!flood.lineLength)
        return control;  // inside a long line the control alone sets the pace
    return read > 0 && control > 0 ? std::min(read, control) : 0;
}

double RoundRatio(const FloodCase& flood, size_t round)
{
    double limit = LimitRate(flood, round);
    return limit > 0 ? ProgramRate(flood, round) / limit : 0;
}

double MedianOver(const FloodCase& flood, double (*figure)(const FloodCase&, size_t))
{
    std::vector<double> values;
    for (size_t round = 0; round < flood.program.size(); ++round)
        values.push_back(figure(flood, round));
    return Median(values);
}

double MedianRatio(const FloodCase& flood)
{
    return MedianOver(flood, RoundRatio);
}

size_t MedianRound(const FloodCase& flood)
{
    std::vector<size_t> order;
    for (size_t i = 0; i < flood.program.size(); ++i)
        order.push_back(i);
    std::sort(order.begin(), order.end(),
              [&](size_t a, size_t b) { return RoundRatio(flood, a) < RoundRatio(flood, b); });
    return order.empty() ? 0 : order[order.size() / 2];
}

std::string RatesText(const FloodCase& flood, double (*figure)(const FloodCase&, size_t))
{
    std::string text;
    for (size_t round = 0; round < flood.program.size(); ++round)
        text += Format(round ? ", %.2f" : "%.2f", MiB(figure(flood, round) * 1000));
    return text + " MiB/s";
}

bool EveryRoundExact(const FloodCase& flood, std::string* error)
{
    for (size_t round = 0; round < flood.program.size(); ++round) {
        const FloodResult& program = flood.program[round];
        if ((program.ok || program.capped) && !program.exact) {
            if (error)
                *error = Format("round %d: ", static_cast<int>(round + 1)) + program.error;
            return false;
        }
    }
    return true;
}

std::string RoundsNote(const FloodCase& flood)
{
    return flood.program.size() > 1 ? Format(" (median of %d rounds)", static_cast<int>(flood.program.size()))
                                    : "";
}

const FloodCase* LettersOf(const FloodFamily& family, const FloodCase& flood)
{
    for (const FloodCase& other : family.floods)
        if (!other.utf8 && other.bytes == flood.bytes && other.lineLength == flood.lineLength &&
            !other.program.empty())
            return &other;
    return nullptr;
}

ControlFigure ControlUpTo(const ControlRun& run, unsigned long bytes)
{
    ControlFigure figure;
    for (const auto& insertion : run.insertions) {
        if (figure.reached >= bytes)
            break;
        if (figure.count == 0)
            figure.first = insertion.second;
        figure.last = insertion.second;
        figure.longest = std::max(figure.longest, insertion.second);
        figure.ms += insertion.second;
        figure.reached = insertion.first;
        ++figure.count;
    }
    return figure;
}
