// Memory: the program's private bytes against the text of its log, with the logs of the floods
// (Floods.cpp) and, when asked for by name, with 10 and 50 MiB logs filled from outside. A flood
// through the program is far too slow under Wine to fill 50 MiB, so those logs are filled as a
// paste would fill them: 64 KiB of the 80-byte-line flood text at a time, inserted at the end
// with EM_REPLACESEL.
#include <algorithm>

#include "bench/FloodFamily.h"
#include "tests/helpers/ChildPattern.h"

namespace {

using child_pattern::PatternText;

struct MemoryResult {
    bool ran = false;
    bool ok = false;
    long long empty = 0;
    std::vector<std::pair<long, long long>> marks;  // log characters, private bytes
    double fillMs = 0;
    std::string error;
};

MemoryResult pasted;

MemoryResult MeasureMemory(const Paths& paths, const std::vector<unsigned long>& sizes)
{
    MemoryResult result;
    Driver target(paths.runFolder);
    if (!target.Start()) {
        result.error = "the program did not start";
        return result;
    }
    result.empty = PrivateBytes(target.Counters());
    const unsigned long piece = 64 * 1024;  // the system carries at most about this much per message
    std::string text = PatternText(piece, 80);
    unsigned long filled = 0;
    double start = NowMs();
    for (unsigned long size : sizes) {
        while (filled < size) {
            if (!target.Append(text)) {
                result.error = "an insertion failed";
                target.Close();
                return result;
            }
            filled += piece;
        }
        Sleep(300);
        result.marks.push_back({target.Length(), PrivateBytes(target.Counters())});
        Progress(Format("log of %s: %s", SizeName(size).c_str(),
                        Format("%.1f MiB", MiB(static_cast<double>(result.marks.back().second))).c_str()));
    }
    result.fillMs = NowMs() - start;
    result.ok = true;
    target.Close();
    return result;
}

} // namespace

void RunMemory(Bench& bench)
{
    std::vector<unsigned long> sizes = bench.options.quick ? std::vector<unsigned long>{2 * kMiB, 4 * kMiB}
                                                           : std::vector<unsigned long>{10 * kMiB, 50 * kMiB};
    pasted = MeasureMemory(bench.paths, sizes);
    pasted.ran = true;
}

void MemoryRows(Bench& bench)
{
    const FloodFamily& family = Family(bench);
    const unsigned long memorySize =
        family.floods.empty() ? 0 : family.floods[std::min<size_t>(2, family.floods.size() - 1)].bytes;
    for (const FloodCase& flood : family.floods) {
        if (!family.measured || flood.bytes < memorySize)
            continue;
        const FloodResult& program = flood.program[0];
        if (!program.ok) {
            bench.Add("memory", "Private bytes, log of " + FloodName(flood.bytes, flood.lineLength, flood.utf8),
                      "no figure: " + program.error, "<= 3 x log", "-");
            continue;
        }
        double ratio = static_cast<double>(program.privateFull) / program.logChars;
        double growth = (static_cast<double>(program.privateFull) - program.privateEmpty) / program.logChars;
        bench.Add("memory", "Private bytes, log of " + FloodName(flood.bytes, flood.lineLength, flood.utf8) +
                                (program.capped ? " (as far as it got)" : ""),
                  MiBText(program.privateFull) + Format(" = %.1f x the log's ", ratio) +
                      MiBText(program.logChars) + " (empty log " + MiBText(program.privateEmpty) +
                      Format("; growth %.1f x)", growth),
                  "<= 3 x log", YesNo(ratio <= 3));
    }
    if (!pasted.ran)
        return;
    if (!pasted.ok) {
        bench.Add("memory", "Private bytes with big logs", "failed: " + pasted.error, "<= 3 x log", "-");
        return;
    }
    for (const auto& mark : pasted.marks) {
        double ratio = static_cast<double>(mark.second) / mark.first;
        double growth = static_cast<double>(mark.second - pasted.empty) / mark.first;
        bench.Add("memory", "Private bytes, log of " + MiBText(mark.first) +
                                " of 80-byte lines (filled 64 KiB per EM_REPLACESEL)",
                  MiBText(mark.second) + Format(" = %.2f x the log's text (empty log ", ratio) +
                      MiBText(pasted.empty) + Format("; growth %.2f x)", growth),
                  "<= 3 x log", YesNo(ratio <= 3));
    }
}
