// velqueth_bench: measures the real program as a user meets it and prints one table (also written
// to the file given with --out, by default bench.md beside this program).
//
//   velqueth_bench [--quick] [--only fmlsj] [--cap SECONDS] [--out PATH]
//
//   --quick     small sizes and few jobs, to try the benchmark itself
//   --only      the parts to run: f floods (limit, program, round trips, memory with the
//               flood's log), m memory with 10 and 50 MiB logs, l latency, s start-up,
//               j jobs (object counts); default all
//   --cap       longest a flood of the program may take before it is stopped (default 20 s)
//   --flood     KIB:LINE, repeatable: run these floods instead (LINE 80 or 0 for no break)
//
// Every flood is N bytes of vqchild's pattern written with one WriteFile: with 80-byte lines
// (78 letters and CR LF) or without any line break. The physical limit drains the same child,
// started the same way as the program starts it, with a loop of 256-byte ReadFile calls that
// keeps nothing. The program's run of the same flood is timed from the posted request to the
// green prompt at the end of the log, and its log is then read back and compared.
#include <windows.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Target.h"
#include "tests/helpers/ChildPattern.h"

namespace {

const WORD kRunDefault = 32778;
const char kPrompt[] = "C:\\> ";
const unsigned long kMiB = 1024 * 1024;

struct Options {
    bool quick = false;
    std::string only = "fmlsj";
    double capMs = 20000;
    std::string out;
    std::vector<std::pair<unsigned long, unsigned long>> floods;  // KiB, line length
};

struct Paths {
    std::string exeDir;  // with a trailing backslash
    std::string runDir;
    std::string vqchild;
    std::string vqstamp;
};
Paths paths;

// The bytes of vqchild's floods.
using child_pattern::PatternText;

std::string Format(const char* format, ...)
{
    char buffer[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

void Progress(const std::string& text)
{
    std::printf("  %s\n", text.c_str());
    std::fflush(stdout);
}

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double Percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    size_t at = static_cast<size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(at, values.size() - 1)];
}

double Max(const std::vector<double>& values)
{
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

double MiB(double bytes)
{
    return bytes / kMiB;
}

std::string SizeName(unsigned long bytes)
{
    if (bytes >= kMiB && bytes % kMiB == 0)
        return Format("%lu MiB", bytes / kMiB);
    return Format("%lu KiB", bytes / 1024);
}

std::string FloodName(unsigned long bytes, unsigned long lineLength)
{
    return SizeName(bytes) + (lineLength ? ", 80-byte lines" : ", no line break");
}

// Private bytes as Windows reports them; Wine answers 0 (it fills the figure from the Linux
// process's swap), and then the Linux process's resident anonymous memory stands in.
bool privateFromLinux = false;
long long PrivateBytes(const ProcessCounters& counters)
{
    if (counters.memoryOk && counters.privateBytes > 0)
        return static_cast<long long>(counters.privateBytes);
    privateFromLinux = counters.linuxPrivate >= 0;
    return counters.linuxPrivate;
}

// The program's INI: slot 2 is the default when no "Default" key is given.
bool WriteIni(const std::string& program, const std::string& arguments)
{
    std::string text = "[Setup]\r\nPath2=" + program + "\r\nArgs2=" + arguments + "\r\n";
    HANDLE file = CreateFileA((paths.runDir + "Velqueth.ini").c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == text.size();
}

std::string JobCommandLine(const std::string& program, const std::string& arguments)
{
    return "\"" + program + "\" " + arguments;
}

std::string Header(const std::string& commandLine)
{
    return "\r\nExecuting:- " + commandLine + "\r\n";
}

std::string FloodArguments(unsigned long bytes, unsigned long lineLength)
{
    return lineLength ? Format("bytes %lu %lu", bytes, lineLength) : Format("bytes %lu", bytes);
}

// ---------------------------------------------------------------------------------------------
// (1) The physical limit.

struct PhysicalResult {
    bool ok = false;
    double ms = 0;
    unsigned long long bytes = 0;
    unsigned long long reads = 0;
};

PhysicalResult DrainPhysical(unsigned long bytes, unsigned long lineLength)
{
    PhysicalResult result;
    SECURITY_ATTRIBUTES security = {sizeof security, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    HANDLE inputRead = nullptr;
    HANDLE inputWrite = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &security, 0))
        return result;
    if (!CreatePipe(&inputRead, &inputWrite, &security, 0)) {
        CloseHandle(readEnd);
        CloseHandle(writeEnd);
        return result;
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(inputWrite, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    startup.hStdInput = inputRead;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    std::string commandLine = JobCommandLine(paths.vqchild, FloodArguments(bytes, lineLength));
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');
    PROCESS_INFORMATION process;
    std::memset(&process, 0, sizeof process);

    double start = NowMs();
    BOOL started = CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, TRUE,
                                  CREATE_NEW_CONSOLE | IDLE_PRIORITY_CLASS, nullptr, nullptr,
                                  &startup, &process);
    CloseHandle(writeEnd);
    CloseHandle(inputRead);
    CloseHandle(inputWrite);
    if (!started) {
        CloseHandle(readEnd);
        return result;
    }
    SetPriorityClass(process.hProcess, IDLE_PRIORITY_CLASS);
    CloseHandle(process.hThread);
    char chunk[257];
    DWORD got = 0;
    while (ReadFile(readEnd, chunk, 256, &got, nullptr) && got > 0) {
        result.bytes += got;
        ++result.reads;
    }
    result.ms = NowMs() - start;
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hProcess);
    CloseHandle(readEnd);
    result.ok = result.bytes == bytes;
    return result;
}

// ---------------------------------------------------------------------------------------------
// (4) Round trips of WM_NULL to the main window, on a thread of their own.

struct Sampler {
    HWND window = nullptr;
    volatile LONG stop = 0;
    std::vector<double> roundTrips;
    int timeouts = 0;
    HANDLE thread = nullptr;

    static DWORD WINAPI Run(LPVOID parameter)
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
    void Begin(HWND target)
    {
        window = target;
        thread = CreateThread(nullptr, 0, Run, this, 0, nullptr);
    }
    void End()
    {
        if (!thread)
            return;
        InterlockedExchange(&stop, 1);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        thread = nullptr;
    }
};

// What one synchronous message to the idle program costs: the floor under every insertion.
double IdleRoundTripUs(int count)
{
    WriteIni(paths.vqchild, "exit 0");
    Target target(paths.runDir);
    if (!target.Start(nullptr))
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

// ---------------------------------------------------------------------------------------------
// (2) The same flood as a job of the program, and (6) the program's memory with that log.

struct FloodResult {
    bool ok = false;       // started, ended with the prompt
    bool capped = false;   // stopped after the cap
    bool exact = false;    // the log holds exactly header, flood and prompt
    double ms = 0;         // request to prompt, or to the cap
    unsigned long long shown = 0;  // the child's bytes in the log at that moment
    long long privateEmpty = 0;
    long long privateFull = 0;
    long logChars = 0;
    std::vector<double> roundTrips;
    int roundTripTimeouts = 0;
    std::string error;
};

// Waits until the log ends with the prompt at or after `expected` characters.
bool WaitForPrompt(Target& target, long expected, double deadlineMs, long* length)
{
    for (;;) {
        long now = target.Length();
        if (now < 0)
            return false;
        if (now >= expected && target.EndsWith(now, kPrompt)) {
            *length = now;
            return true;
        }
        if (NowMs() > deadlineMs)
            return false;
        Sleep(5);
    }
}

FloodResult FloodJob(unsigned long bytes, unsigned long lineLength, const Options& options,
                     bool sample)
{
    FloodResult result;
    std::string arguments = FloodArguments(bytes, lineLength);
    WriteIni(paths.vqchild, arguments);
    std::string header = Header(JobCommandLine(paths.vqchild, arguments));

    Target target(paths.runDir);
    if (!target.Start(nullptr)) {
        result.error = "the program did not start";
        return result;
    }
    result.privateEmpty = PrivateBytes(target.Counters());
    long before = target.Length();
    long expected = before + static_cast<long>(header.size() + bytes) + 5;

    Sampler sampler;
    if (sample)
        sampler.Begin(target.Window());
    double start = NowMs();
    target.Command(kRunDefault);
    long length = 0;
    for (;;) {
        length = target.Length();
        if (length < 0) {
            result.error = "the program stopped answering";
            break;
        }
        if (length >= expected && target.EndsWith(length, kPrompt)) {
            result.ok = true;
            result.ms = NowMs() - start;
            break;
        }
        if (NowMs() - start > options.capMs) {
            // Stopped: the rate reached so far, then the rest of the job ends normally.
            result.capped = true;
            result.ms = NowMs() - start;
            long shown = length - before - static_cast<long>(header.size());
            result.shown = shown > 0 ? static_cast<unsigned long long>(shown) : 0;
            DWORD child = target.ChildPid("vqchild.exe");
            HANDLE handle = child ? OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, child)
                                  : nullptr;
            if (handle) {
                TerminateProcess(handle, 1);
                WaitForSingleObject(handle, 5000);
                CloseHandle(handle);
            }
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
        if (target.Read(before, length, &text)) {
            if (!result.capped) {
                result.exact = text == header + PatternText(bytes, lineLength) + kPrompt;
            } else {
                size_t flood = text.size() - header.size() - 5;
                result.exact = text.size() >= header.size() + 5 &&
                               text.compare(0, header.size(), header) == 0 &&
                               text.compare(header.size(), flood, PatternText(flood, lineLength)) == 0 &&
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

// ---------------------------------------------------------------------------------------------
// (6) Memory with big logs. A flood through the program is far too slow under Wine to fill 50 MiB,
// so the log is filled as a paste would fill it: 64 KiB of the 80-byte-line flood text at a time,
// inserted at the end with EM_REPLACESEL.

struct MemoryResult {
    bool ok = false;
    long long empty = 0;
    std::vector<std::pair<long, long long>> marks;  // log characters, private bytes
    double fillMs = 0;
    std::string error;
};

MemoryResult MeasureMemory(const std::vector<unsigned long>& sizes)
{
    MemoryResult result;
    Target target(paths.runDir);
    if (!target.Start(nullptr)) {
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

// ---------------------------------------------------------------------------------------------
// (3) Latency from a write to the text in the log.

struct LatencyResult {
    bool ok = false;
    std::vector<double> delays;
    int lines = 0;
    std::string error;
};

LatencyResult MeasureLatency(int lines, int intervalMs)
{
    LatencyResult result;
    result.lines = lines;
    std::string arguments = Format("%d %d", lines, intervalMs);
    WriteIni(paths.vqstamp, arguments);
    Target target(paths.runDir);
    if (!target.Start(nullptr)) {
        result.error = "the program did not start";
        return result;
    }
    long seen = target.Length();
    std::string text;
    size_t parsed = 0;
    double deadline = NowMs() + lines * intervalMs + 30000.0;
    target.Command(kRunDefault);
    for (;;) {
        long length = target.Length();
        double now = NowMs();
        if (length < 0)
            break;
        if (length > seen) {
            std::string piece;
            if (!target.Read(seen, length, &piece))
                break;
            text += piece;
            seen = length;
            for (;;) {
                size_t at = text.find("stamp ", parsed);
                size_t end = at == std::string::npos ? at : text.find("\r\n", at);
                if (end == std::string::npos)
                    break;
                long index = 0;
                long long counter = 0;
                if (std::sscanf(text.c_str() + at, "stamp %ld %lld", &index, &counter) == 2)
                    result.delays.push_back(now - CounterToMs(counter));
                parsed = end + 2;
            }
            if (text.size() >= 5 && text.compare(text.size() - 5, 5, kPrompt) == 0) {
                result.ok = static_cast<int>(result.delays.size()) == lines;
                break;
            }
        }
        if (now > deadline)
            break;
        Sleep(1);
    }
    if (!result.ok)
        result.error = Format("%d of %d lines seen", static_cast<int>(result.delays.size()), lines);
    target.Close();
    return result;
}

// ---------------------------------------------------------------------------------------------
// (5) Start-up to the banner.

struct StartupResult {
    std::vector<double> ms;
    int failures = 0;
};

StartupResult MeasureStartup(int runs)
{
    StartupResult result;
    WriteIni(paths.vqchild, "exit 0");
    for (int run = -1; run < runs; ++run) {  // the first start only warms up
        Target target(paths.runDir);
        double ms = 0;
        bool ok = target.Start(&ms);
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

// ---------------------------------------------------------------------------------------------
// (7) Object counts after many short jobs.

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

JobsResult RunManyJobs(const std::vector<int>& marks)
{
    JobsResult result;
    result.marks = marks;
    WriteIni(paths.vqchild, "exit 0");
    std::string header = Header(JobCommandLine(paths.vqchild, "exit 0"));
    Target target(paths.runDir);
    if (!target.Start(nullptr)) {
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
        target.Command(kRunDefault);
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
            if (length == before && NowMs() - start > 3000 && target.DismissMessageBox(nullptr)) {
                ++result.busyBoxes;  // refused as busy: ask again
                Sleep(50);
                start = NowMs();
                target.Command(kRunDefault);
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
            bool boxShown = target.DismissMessageBox(&box);
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
            Progress(Format("%d jobs", job));
        }
    }
    result.ok = result.done == last;
    target.Close();
    return result;
}

// ---------------------------------------------------------------------------------------------
// The table.

struct Row {
    std::string part;
    std::string measure;
    std::string figure;
    std::string goal;
    std::string met;
};

std::string YesNo(bool met)
{
    return met ? "yes" : "**no**";
}

std::string Seconds(double ms)
{
    return ms >= 10000 ? Format("%.1f s", ms / 1000) : Format("%.2f s", ms / 1000);
}

std::string Rate(double bytes, double ms)
{
    if (ms <= 0)
        return "-";
    double perSecond = bytes / (ms / 1000);
    return perSecond < 0.1 * kMiB ? Format("%.1f KiB/s", perSecond / 1024)
                                  : Format("%.2f MiB/s", MiB(perSecond));
}

std::string MiBText(long long bytes)
{
    return bytes < 0 ? std::string("?") : Format("%.1f MiB", MiB(static_cast<double>(bytes)));
}

std::string Escape(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '|')
            out += "\\|";
        else
            out += c;
    }
    return out;
}

std::string WineVersion()
{
    typedef const char*(CDECL * Getter)();
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    Getter getter = ntdll ? reinterpret_cast<Getter>(
                                reinterpret_cast<void*>(GetProcAddress(ntdll, "wine_get_version")))
                          : nullptr;
    return getter ? std::string("Wine ") + getter() : std::string("Windows (not Wine)");
}

struct FloodCase {
    unsigned long bytes;
    unsigned long lineLength;
    int runs;
    std::vector<PhysicalResult> physical;
    std::vector<FloodResult> program;
};

// The run whose program time is the median, with its own physical run (same moment, same noise).
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

} // namespace

int main(int argc, char** argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (argument == "--quick")
            options.quick = true;
        else if (argument == "--only" && i + 1 < argc)
            options.only = argv[++i];
        else if (argument == "--cap" && i + 1 < argc)
            options.capMs = std::atof(argv[++i]) * 1000;
        else if (argument == "--out" && i + 1 < argc)
            options.out = argv[++i];
        else if (argument == "--flood" && i + 1 < argc) {
            unsigned long kib = 0, line = 0;
            if (std::sscanf(argv[++i], "%lu:%lu", &kib, &line) < 1)
                kib = 0;
            options.floods.push_back({kib, line});
        }
        else {
            std::fprintf(stderr, "usage: velqueth_bench [--quick] [--only fmlsj] [--cap SECONDS] "
                                 "[--flood KIB:LINE]... [--out PATH]\n");
            return 2;
        }
    }

    char self[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    paths.exeDir = self;
    paths.exeDir.erase(paths.exeDir.find_last_of("\\/") + 1);
    paths.runDir = paths.exeDir + "bench-run\\";
    paths.vqchild = paths.exeDir + "vqchild.exe";
    paths.vqstamp = paths.exeDir + "vqstamp.exe";
    if (options.out.empty())
        options.out = paths.exeDir + "bench.md";
    CreateDirectoryA(paths.runDir.c_str(), nullptr);
    if (!CopyFileA((paths.exeDir + "Velqueth.exe").c_str(), (paths.runDir + "Velqueth.exe").c_str(),
                   FALSE)) {
        std::fprintf(stderr, "velqueth_bench: cannot copy Velqueth.exe into %s\n",
                     paths.runDir.c_str());
        return 1;
    }
    auto runs = [&](char part) { return options.only.find(part) != std::string::npos; };
    double benchStart = NowMs();
    std::vector<Row> rows;

    // (1), (2), (4), (6): each flood drained plainly, then run by the program, one after the
    // other, so that a ratio compares two runs made under the same load.
    std::vector<FloodCase> floods;
    if (options.quick) {
        floods = {{256 * 1024, 80, 3, {}, {}}, {256 * 1024, 0, 1, {}, {}},
                  {kMiB, 80, 1, {}, {}}, {kMiB, 0, 1, {}, {}}};
    } else {
        floods = {{kMiB, 80, 3, {}, {}},      {kMiB, 0, 3, {}, {}},
                  {10 * kMiB, 80, 1, {}, {}}, {10 * kMiB, 0, 1, {}, {}},
                  {50 * kMiB, 80, 1, {}, {}}, {50 * kMiB, 0, 1, {}, {}}};
    }
    if (!options.floods.empty()) {
        floods.clear();
        for (const auto& flood : options.floods)
            floods.push_back({flood.first * 1024, flood.second, 1, {}, {}});
    }
    // The round trips are sampled during "the 10 MiB flood" (the third size given).
    const unsigned long sampledSize = floods[std::min<size_t>(2, floods.size() - 1)].bytes;
    if (runs('f')) {
        std::printf("Floods\n");
        double roundTrip = IdleRoundTripUs(2000);
        Progress(Format("one message to the idle program: %.0f us", roundTrip));
        rows.push_back({"1", "Round trip of one synchronous message (WM_NULL) to the idle program, median of 2000",
                        Format("%.0f us", roundTrip), "", ""});
        for (FloodCase& flood : floods) {
            for (int run = 0; run < flood.runs; ++run) {
                PhysicalResult physical = DrainPhysical(flood.bytes, flood.lineLength);
                Progress(Format("limit    %-26s %s, %s", FloodName(flood.bytes, flood.lineLength).c_str(),
                                Seconds(physical.ms).c_str(), Rate(physical.bytes, physical.ms).c_str()));
                FloodResult program = FloodJob(flood.bytes, flood.lineLength, options,
                                               flood.bytes == sampledSize);
                Progress(Format("Velqueth %-26s %s, %s%s%s", FloodName(flood.bytes, flood.lineLength).c_str(),
                                Seconds(program.ms).c_str(), Rate(program.shown, program.ms).c_str(),
                                program.capped ? " (capped)" : "",
                                program.error.empty() ? "" : (" - " + program.error).c_str()));
                flood.physical.push_back(physical);
                flood.program.push_back(program);
                if (program.capped)
                    break;  // a run that long says enough; no repeats
            }
        }
        for (const FloodCase& flood : floods) {
            size_t m = MedianRun(flood);
            const PhysicalResult& physical = flood.physical[m];
            std::string runsNote = flood.program.size() > 1
                                       ? Format(" (median of %d)", static_cast<int>(flood.program.size()))
                                       : "";
            rows.push_back({"1", "Physical limit, " + FloodName(flood.bytes, flood.lineLength),
                            physical.ok ? Seconds(physical.ms) + ", " + Rate(physical.bytes, physical.ms) +
                                              Format(", %llu reads", physical.reads) + runsNote
                                        : "failed",
                            "", ""});
            const FloodResult& program = flood.program[m];
            double ratio = 0;
            if (physical.ms > 0 && program.ms > 0)
                ratio = (static_cast<double>(program.shown) / program.ms) /
                        (static_cast<double>(physical.bytes) / physical.ms);
            std::string figure;
            if (!program.ok && !program.capped) {
                figure = "failed: " + program.error;
            } else {
                figure = (program.capped ? "stopped after " + Seconds(program.ms) + " at " +
                                               MiBText(program.shown) + ", "
                                         : Seconds(program.ms) + ", ") +
                         Rate(program.shown, program.ms) + Format(" = %.0f%% of (1)", ratio * 100) +
                         runsNote + (program.exact ? "; log text exact" : "; **" + program.error + "**");
            }
            rows.push_back({"2", "Velqueth, " + FloodName(flood.bytes, flood.lineLength), figure,
                            ">= 50% of (1)", YesNo(ratio >= 0.5 && program.exact)});
        }
        for (const FloodCase& flood : floods) {
            if (flood.bytes != sampledSize)
                continue;
            const FloodResult& program = flood.program[0];
            double worst = Max(program.roundTrips);
            rows.push_back({"4",
                            "WM_NULL round trip every 10 ms, during the " +
                                FloodName(flood.bytes, flood.lineLength) + " flood",
                            Format("worst %.1f ms (p50 %.2f, p99 %.1f; %d samples%s)", worst,
                                   Percentile(program.roundTrips, 0.5),
                                   Percentile(program.roundTrips, 0.99),
                                   static_cast<int>(program.roundTrips.size()),
                                   program.roundTripTimeouts
                                       ? Format(", %d timed out after 10 s", program.roundTripTimeouts).c_str()
                                       : ""),
                            "< 100 ms", YesNo(worst < 100 && program.roundTripTimeouts == 0)});
        }
        for (const FloodCase& flood : floods) {
            if (flood.bytes < sampledSize)
                continue;
            const FloodResult& program = flood.program[0];
            if (!program.ok) {
                rows.push_back({"6", "Private bytes, log of " + FloodName(flood.bytes, flood.lineLength),
                                "no figure: " + program.error, "<= 3 x log", "-"});
                continue;
            }
            double ratio = static_cast<double>(program.privateFull) / program.logChars;
            double growth = (static_cast<double>(program.privateFull) - program.privateEmpty) /
                            program.logChars;
            rows.push_back({"6", "Private bytes, log of " + FloodName(flood.bytes, flood.lineLength) +
                                     (program.capped ? " (as far as it got)" : ""),
                            MiBText(program.privateFull) + Format(" = %.1f x the log's ", ratio) +
                                MiBText(program.logChars) + " (empty log " +
                                MiBText(program.privateEmpty) + Format("; growth %.1f x)", growth),
                            "<= 3 x log", YesNo(ratio <= 3)});
        }
    }

    if (runs('m')) {
        std::printf("Memory\n");
        std::vector<unsigned long> sizes = options.quick ? std::vector<unsigned long>{2 * kMiB, 4 * kMiB}
                                                         : std::vector<unsigned long>{10 * kMiB, 50 * kMiB};
        MemoryResult memory = MeasureMemory(sizes);
        if (!memory.ok) {
            rows.push_back({"6", "Private bytes with big logs", "failed: " + memory.error, "<= 3 x log", "-"});
        } else {
            for (const auto& mark : memory.marks) {
                double ratio = static_cast<double>(mark.second) / mark.first;
                double growth = static_cast<double>(mark.second - memory.empty) / mark.first;
                rows.push_back({"6", "Private bytes, log of " + MiBText(mark.first) +
                                         " of 80-byte lines (filled 64 KiB per EM_REPLACESEL)",
                                MiBText(mark.second) + Format(" = %.2f x the log's text (empty log ", ratio) +
                                    MiBText(memory.empty) + Format("; growth %.2f x)", growth),
                                "<= 3 x log", YesNo(ratio <= 3)});
            }
        }
    }

    if (runs('l')) {
        std::printf("Latency\n");
        int lines = options.quick ? 10 : 50;
        LatencyResult latency = MeasureLatency(lines, 100);
        double p50 = Median(latency.delays);
        double worst = Max(latency.delays);
        Progress(Format("p50 %.1f ms, worst %.1f ms", p50, worst));
        rows.push_back({"3", Format("Latency from write to log, %d lines every 100 ms", lines),
                        latency.delays.empty()
                            ? "failed: " + latency.error
                            : Format("p50 %.1f ms, worst %.1f ms", p50, worst) +
                                  (latency.ok ? "" : " (" + latency.error + ")"),
                        "< 50 ms", YesNo(latency.ok && worst < 50)});
    }

    if (runs('s')) {
        std::printf("Start-up\n");
        StartupResult startup = MeasureStartup(10);
        double median = Median(startup.ms);
        Progress(Format("median %.0f ms", median));
        std::string figure = startup.ms.empty()
                                 ? "failed"
                                 : Format("%.0f ms (min %.0f, max %.0f)", median,
                                          *std::min_element(startup.ms.begin(), startup.ms.end()),
                                          Max(startup.ms));
        if (startup.failures)
            figure += Format(", %d failed", startup.failures);
        rows.push_back({"5", Format("Start-up to banner in the log, median of %d, Wine warm",
                                    static_cast<int>(startup.ms.size())),
                        figure, "< 300 ms", YesNo(!startup.ms.empty() && median < 300)});
    }

    if (runs('j')) {
        std::printf("Jobs\n");
        std::vector<int> marks = options.quick ? std::vector<int>{1, 10, 50}
                                               : std::vector<int>{1, 100, 1000};
        JobsResult jobs = RunManyJobs(marks);
        typedef long long (*Pick)(const ProcessCounters&);
        auto series = [&](Pick pick, bool bytes) {
            auto one = [&](const ProcessCounters& c) {
                return bytes ? MiBText(pick(c)) : Format("%lld", pick(c));
            };
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
            rows.push_back({"7", "Object counts, " + marksText, "failed: " + jobs.error, "flat", "-"});
        } else {
            std::string note = jobs.ok ? Format("; a job took %.0f ms (median)", Median(jobs.jobMs)) +
                                             (jobs.busyBoxes ? Format(", %d refused as busy", jobs.busyBoxes) : "")
                                       : "; " + jobs.error;
            const std::string goal = "flat (< +10 after the first job)";
            Pick windowsHandles = [](const ProcessCounters& c) { return static_cast<long long>(c.handles); };
            Pick tableHandles = [](const ProcessCounters& c) { return static_cast<long long>(c.tableHandles); };
            if (jobs.idle.handlesOk && jobs.idle.handles > 0)
                rows.push_back({"7", "Handles (GetProcessHandleCount), " + marksText,
                                series(windowsHandles, false) + note, goal, flat(windowsHandles)});
            else if (jobs.idle.tableHandles > 0)
                rows.push_back({"7", "Handles, " + marksText,
                                series(tableHandles, false) +
                                    " (counted in the system handle table: Wine's GetProcessHandleCount "
                                    "answers 0)" + note,
                                goal, flat(tableHandles)});
            else
                rows.push_back({"7", "Handles, " + marksText,
                                "not meaningful: Wine answers 0" + note, goal, "-"});
            Pick gdi = [](const ProcessCounters& c) { return static_cast<long long>(c.gdiObjects); };
            Pick user = [](const ProcessCounters& c) { return static_cast<long long>(c.userObjects); };
            rows.push_back({"7", "GDI objects, " + marksText,
                            jobs.idle.gdiObjects ? series(gdi, false)
                                                 : Format("not meaningful: Wine's GetGuiResources answers 0 "
                                                          "(error %lu)", jobs.idle.gdiError),
                            goal, jobs.idle.gdiObjects ? flat(gdi) : "-"});
            rows.push_back({"7", "USER objects, " + marksText,
                            jobs.idle.userObjects ? series(user, false)
                                                  : Format("not meaningful: Wine's GetGuiResources answers 0 "
                                                           "(error %lu)", jobs.idle.userError),
                            goal, jobs.idle.userObjects ? flat(user) : "-"});
            Pick windows = [](const ProcessCounters& c) { return static_cast<long long>(c.windows); };
            Pick threads = [](const ProcessCounters& c) { return static_cast<long long>(c.threads); };
            Pick memory = [](const ProcessCounters& c) { return PrivateBytes(c); };
            rows.push_back({"7", "Windows of the process (USER objects that Wine can count), " + marksText,
                            series(windows, false), goal, flat(windows)});
            rows.push_back({"7", "Threads, " + marksText, series(threads, false), goal, flat(threads)});
            rows.push_back({"7", "Private bytes, " + marksText, series(memory, true), "", ""});
        }
    }

    std::stable_sort(rows.begin(), rows.end(),
                     [](const Row& a, const Row& b) { return a.part < b.part; });
    SYSTEMTIME now;
    GetLocalTime(&now);
    SYSTEM_INFO system;
    GetNativeSystemInfo(&system);
    std::string table;
    table += Format("# Velqueth benchmark, %04u-%02u-%02u %02u:%02u\n\n", now.wYear, now.wMonth,
                    now.wDay, now.wHour, now.wMinute);
    table += "| # | Measure | Figure | Goal | Met |\n|---|---|---|---|---|\n";
    for (const Row& row : rows)
        table += "| " + row.part + " | " + Escape(row.measure) + " | " + Escape(row.figure) + " | " +
                 Escape(row.goal) + " | " + row.met + " |\n";
    if (privateFromLinux)
        table += "\nPrivate bytes: Wine reports 0 for another process (it fills the figure from the "
                 "Linux process's swap), so the Linux process's resident anonymous memory (RssAnon) "
                 "stands in.\n";
    table += Format("\n%s, %d processors, %d-bit build%s; MiB = 1,048,576 bytes; benchmark ran %.0f s.\n",
                    WineVersion().c_str(), static_cast<int>(system.dwNumberOfProcessors),
                    static_cast<int>(sizeof(void*) * 8), options.quick ? ", quick sizes" : "",
                    (NowMs() - benchStart) / 1000);
    std::printf("\n%s", table.c_str());
    FILE* file = std::fopen(options.out.c_str(), "wb");
    if (file) {
        std::fputs(table.c_str(), file);
        std::fclose(file);
        std::printf("Written to %s\n", options.out.c_str());
    } else {
        std::fprintf(stderr, "velqueth_bench: cannot write %s\n", options.out.c_str());
    }
    return 0;
}
