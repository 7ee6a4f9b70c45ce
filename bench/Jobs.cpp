// Jobs: object counts of the program (handles, GDI and USER objects, windows, threads, private
// bytes) idle and after 1, 100 and 1,000 short jobs. They take minutes, nearly all of it Wine
// starting and ending processes; what they measure are counts, which the load does not change.
// So when the big log runs too, they run in a second copy of the program, in a folder of its own
// and on a desktop of its own (the program does not start beside a window of its own title),
// beside the big log, whose goals are not rates either.
#include <algorithm>
#include <cstdio>

#include "bench/Bench.h"
#include "res/Commands.h"

namespace {

const char kJobsDesktop[] = "VelquethBenchJobs";

struct JobsResult {
    bool ok = false;
    std::vector<int> marks;
    std::vector<ProcessCounters> counters;
    ProcessCounters idle;
    std::vector<double> jobMs;
    int busyBoxes = 0;
    int done = 0;
    std::string error;
};

JobsResult RunManyJobs(const Paths& paths, const std::vector<int>& marks, const std::string& folder,
                       const std::string& desktop)
{
    JobsResult result;
    result.marks = marks;

    std::string header = Header(JobCommandLine(paths.vqchild, "exit 0"));
    Driver target(folder, desktop);
    target.WriteIni(IniText(paths.vqchild, "exit 0"));
    if (!target.Start()) {
        result.error = "the program did not start";
        return result;
    }
    Sleep(200);
    int idleThreads = target.ThreadCount();
    result.idle = target.Counters();
    int last = marks.back();
    for (int job = 1; job <= last; ++job) {
        long before = target.Length();
        long expected = before + static_cast<long>(header.size()) + 5;
        double start = NowMs();
        target.Command(ID_RUN_DEFAULT);
        long length = 0;
        bool ended = false;
        while (!ended) {
            length = target.Length();
            if (length < 0)
                break;
            if (length >= expected && target.EndsWith(length, kPrompt)) {
                ended = true;
                break;
            }
            HWND box = length == before && NowMs() - start > 3000 ? target.FindMessageBox(nullptr, nullptr, 0)
                                                                  : nullptr;
            if (box) {
                Driver::Dismiss(box);
                ++result.busyBoxes;  // refused as busy: ask again
                Sleep(50);
                start = NowMs();
                target.Command(ID_RUN_DEFAULT);
                continue;
            }
            if (NowMs() - start > 30000)
                break;
            Sleep(1);
        }
        if (!ended) {
            std::string tail;
            long now = target.Length();
            target.Read(std::max(0L, now - 40), now, &tail);
            for (char& c : tail)
                if (c == '\r' || c == '\n')
                    c = ' ';
            std::string box;
            HWND shown = target.FindMessageBox(&box, nullptr, 0);
            if (shown)
                Driver::Dismiss(shown);
            bool boxShown = shown != nullptr;
            result.error = Format("job %d did not end: log ends \"%s\"%s%s, child %s", job,
                                  tail.c_str(), boxShown ? ", message box: " : "", box.c_str(),
                                  target.ChildPid("vqchild.exe") ? "alive" : "gone");
            break;
        }
        result.jobMs.push_back(NowMs() - start);
        // The worker writes the prompt a moment before it ends; the next request must not find
        // it alive.
        double wait = NowMs();
        while (target.ThreadCount() > idleThreads && NowMs() - wait < 2000)
            Sleep(1);
        result.done = job;
        if (std::find(marks.begin(), marks.end(), job) != marks.end()) {
            Sleep(100);
            result.counters.push_back(target.Counters());
            Progress(Format("jobs: %d done", job));
        }
    }
    result.ok = result.done == last;
    target.Close();
    return result;
}

struct JobsTask {
    bool ran = false;
    bool beside = false;
    bool done = false;  // measured (beside: once the thread has ended)
    const Paths* paths = nullptr;
    std::vector<int> marks;
    std::string folder;
    std::string desktop;
    HDESK desktopHandle = nullptr;
    HANDLE thread = nullptr;
    JobsResult result;

    static DWORD WINAPI Run(LPVOID parameter)
    {
        JobsTask* self = static_cast<JobsTask*>(parameter);
        self->result = RunManyJobs(*self->paths, self->marks, self->folder, self->desktop);
        return 0;
    }
};

JobsTask task;

} // namespace

void RunJobs(Bench& bench)
{
    task.ran = true;
    task.paths = &bench.paths;
    task.marks = bench.options.quick ? std::vector<int>{1, 10, 50} : std::vector<int>{1, 100, 1000};
    if (bench.Runs("big-log") && !bench.options.apart) {
        task.desktopHandle = CreateDesktopA(kJobsDesktop, nullptr, nullptr, 0, GENERIC_ALL, nullptr);
        if (!task.desktopHandle)
            std::printf("No desktop for the jobs (error %lu): they run after the big log\n", GetLastError());
    }
    task.beside = task.desktopHandle != nullptr;
    task.folder = task.beside ? bench.paths.jobsFolder : bench.paths.runFolder;
    task.desktop = task.beside ? kJobsDesktop : "";
    if (task.beside) {
        Progress("beside the big log, in a second copy of the program");
        task.thread = CreateThread(nullptr, 0, JobsTask::Run, &task, 0, nullptr);
    }
    if (!task.thread) {
        task.beside = false;
        if (bench.Runs("big-log"))
            Progress("after the big log");
        else
            task.result = RunManyJobs(bench.paths, task.marks, task.folder, task.desktop);
        task.done = !bench.Runs("big-log");
    }
}

void JobsRows(Bench& bench)
{
    if (!task.ran)
        return;
    if (task.thread) {
        WaitForSingleObject(task.thread, INFINITE);
        CloseHandle(task.thread);
        task.thread = nullptr;
        bench.Footnote("The jobs ran in a second copy of the program, on a desktop of its own, beside the big "
                       "log (--apart runs them after it).");
    }
    if (task.desktopHandle) {
        CloseDesktop(task.desktopHandle);
        task.desktopHandle = nullptr;
    }
    if (!task.beside && !task.done) {
        std::printf("jobs\n");
        task.result = RunManyJobs(bench.paths, task.marks, task.folder, task.desktop);
        task.done = true;
    }
    const JobsResult& jobs = task.result;
    const std::vector<int>& marks = task.marks;
    const bool beside = task.beside;
    typedef long long (*Pick)(const ProcessCounters&);
    auto series = [&](Pick pick, bool bytes) {
        auto one = [&](const ProcessCounters& c) { return bytes ? MiBText(pick(c)) : Format("%lld", pick(c)); };
        std::string text = one(jobs.idle) + " (idle)";
        for (const ProcessCounters& c : jobs.counters)
            text += " / " + one(c);
        return text;
    };
    // Flat: fewer than 10 more after the last mark than after the first job.
    auto flat = [&](Pick pick) {
        return YesNo(jobs.counters.size() == marks.size() &&
                     pick(jobs.counters.back()) < pick(jobs.counters.front()) + 10);
    };
    std::string marksText = Format("idle / after %d / %d / %d jobs", marks[0], marks[1], marks[2]);
    if (jobs.counters.empty()) {
        bench.Add("jobs", "Object counts, " + marksText, "failed: " + jobs.error, "flat", "-");
        return;
    }
    std::string note = jobs.ok ? Format("; a job took %.0f ms (median", Median(jobs.jobMs)) +
                                     (beside ? ", beside the big log)" : ")") +
                                     (jobs.busyBoxes ? Format(", %d refused as busy", jobs.busyBoxes) : "")
                               : "; " + jobs.error;
    const std::string goal = "flat (< +10 after the first job)";
    Pick windowsHandles = [](const ProcessCounters& c) { return static_cast<long long>(c.handles); };
    Pick tableHandles = [](const ProcessCounters& c) { return static_cast<long long>(c.tableHandles); };
    if (jobs.idle.handlesOk && jobs.idle.handles > 0)
        bench.Add("jobs", "Handles (GetProcessHandleCount), " + marksText, series(windowsHandles, false) + note,
                  goal, flat(windowsHandles));
    else if (jobs.idle.tableHandles > 0)
        bench.Add("jobs", "Handles, " + marksText,
                  series(tableHandles, false) +
                      " (counted in the system handle table: Wine's GetProcessHandleCount answers 0)" + note,
                  goal, flat(tableHandles));
    else
        bench.Add("jobs", "Handles, " + marksText, "not meaningful: Wine answers 0" + note, goal, "-");
    Pick gdi = [](const ProcessCounters& c) { return static_cast<long long>(c.gdiObjects); };
    Pick user = [](const ProcessCounters& c) { return static_cast<long long>(c.userObjects); };
    bench.Add("jobs", "GDI objects, " + marksText,
              jobs.idle.gdiObjects ? series(gdi, false)
                                   : Format("not meaningful: Wine's GetGuiResources answers 0 (error %lu)",
                                            jobs.idle.gdiError),
              goal, jobs.idle.gdiObjects ? flat(gdi) : "-");
    bench.Add("jobs", "USER objects, " + marksText,
              jobs.idle.userObjects ? series(user, false)
                                    : Format("not meaningful: Wine's GetGuiResources answers 0 (error %lu)",
                                             jobs.idle.userError),
              goal, jobs.idle.userObjects ? flat(user) : "-");
    Pick windows = [](const ProcessCounters& c) { return static_cast<long long>(c.windows); };
    Pick threads = [](const ProcessCounters& c) { return static_cast<long long>(c.threads); };
    Pick memory = [](const ProcessCounters& c) { return PrivateBytes(c); };
    bench.Add("jobs", "Windows of the process (USER objects that Wine can count), " + marksText,
              series(windows, false), goal, flat(windows));
    bench.Add("jobs", "Threads, " + marksText, series(threads, false), goal, flat(threads));
    bench.Add("jobs", "Private bytes, " + marksText, series(memory, true), "", "");
}
