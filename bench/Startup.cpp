// Start-up: from CreateProcess of the program to the banner in its log, Wine warm.
#include <algorithm>

#include "bench/Bench.h"

namespace {

struct StartupResult {
    std::vector<double> ms;
    int failures = 0;
};

StartupResult MeasureStartup(const Paths& paths, int runs)
{
    StartupResult result;
    for (int run = -1; run < runs; ++run) {  // the first start only warms up
        Driver target(paths.runFolder);
        target.WriteIni(IniText(paths.vqchild, "exit 0"));
        double ms = 0;
        bool ok = target.Start("", &ms);
        target.Close();
        if (run < 0)
            continue;
        if (ok)
            result.ms.push_back(ms);
        else
            ++result.failures;
    }
    return result;
}

bool ran = false;
StartupResult startup;

} // namespace

void RunStartup(Bench& bench)
{
    startup = MeasureStartup(bench.paths, 10);
    ran = true;
    Progress(Format("median %.0f ms", Median(startup.ms)));
}

void StartupRows(Bench& bench)
{
    if (!ran)
        return;
    double median = Median(startup.ms);
    std::string figure = startup.ms.empty()
                             ? "failed"
                             : Format("%.0f ms (min %.0f, max %.0f)", median,
                                      *std::min_element(startup.ms.begin(), startup.ms.end()),
                                      Max(startup.ms));
    if (startup.failures)
        figure += Format(", %d failed", startup.failures);
    bench.Add("start-up", Format("Start-up to banner in the log, median of %d, Wine warm",
                          static_cast<int>(startup.ms.size())),
              figure, "< 300 ms", YesNo(!startup.ms.empty() && median < 300));
}
