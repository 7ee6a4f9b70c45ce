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
if (bench.options.quick) {
    floods = {{256 * 1024, 80, 3, {}, {}}, {256 * 1024, 0, 3, {}, {}},
              {kMiB, 80, 1, {}, {}}, {kMiB, 0, 1, {}, {}}, {kMiB, 80, 1, {}, {}, true}};
} else {
    floods = {{kMiB, 80, 3, {}, {}},      {kMiB, 0, 3, {}, {}},
              {10 * kMiB, 80, 1, {}, {}}, {10 * kMiB, 0, 1, {}, {}},
              {50 * kMiB, 80, 1, {}, {}}, {kMiB, 80, 3, {}, {}, true}};
}
if (!bench.options.floods.empty()) {
    floods.clear();
    for (const auto& flood : bench.options.floods)
        floods.push_back({flood.kib * 1024, flood.lineLength, 1, {}, {}, flood.utf8});
}
    return family;
}

size_t MedianRun(const FloodCase& flood)
{
    std::vector<size_t> order;
    for (size_t i = 0; i < flood.program.size(); ++i)
        order.push_back(i);
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        const FloodResult& x = flood.program[a];
        const FloodResult& y = flood.program[b];
        double rx = x.ms > 0 ? x.shown / x.ms : 0;
        double ry = y.ms > 0 ? y.shown / y.ms : 0;
        return rx < ry;
    });
    return order.empty() ? 0 : order[order.size() / 2];
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

const ControlRun* ControlFor(const std::vector<ControlCase>& controls, unsigned long lineLength,
                             unsigned long piece, unsigned long bytes)
{
    const ControlRun* found = nullptr;
    for (const ControlCase& control : controls)
        if (control.lineLength == lineLength && control.piece == piece && control.run.bytes >= bytes &&
            (!found || control.run.bytes < found->bytes))
            found = &control.run;
    return found;
}
