// velqueth_bench: measures the real program as a user meets it and prints one table (also written
// to the file given with --out, by default bench.md beside this program). Each figure stands next
// to its goal.
//
//   velqueth_bench [--quick] [--only cflmsjb] [--cap S] [--big MIB] [--big-cap S] [--apart]
//                  [--flood KIB:LINE]... [--out PATH]
//
//   --quick     small sizes and few jobs, to try the benchmark itself
//   --only      the parts to run (default cflsjb):
//                 c  the log control itself: a rich edit of the bench's own, filled on one
//                    thread with drawing off (f runs it too: it is half of the limit)
//                 f  floods: the 256-byte read loop, the program, round trips, memory
//                 l  latency          s  start-up          j  object counts after 1,000 jobs
//                 b  a 100 MiB log: more than the control can hold
//                 m  memory with 10 and 50 MiB logs filled from outside (not by default: the
//                    floods and b measure the program's memory with its own logs)
//   --cap       longest a flood of the program may take before it is stopped (default 20 s)
//   --big       the size of b's log in MiB (default 100); --big-cap its cap (default 200 s)
//   --apart     run the 1,000 jobs after b instead of beside it
//   --flood     KIB:LINE, repeatable: run these floods instead (LINE 80 or 0 for no break)
//
// Every flood is N bytes of vqchild's pattern written with one WriteFile: with 80-byte lines
// (78 letters and CR LF) or without any line break. Its physical limit is the slower of two
// things measured in the same run: the same child, started the same way as the program starts
// it, drained by a loop of 256-byte ReadFile calls that keeps nothing; and the same text put into
// a control made as the program makes its log pane, in pieces, on one thread, with drawing off.
// The program's run of the same flood is timed from the posted request to the green prompt at the
// end of the log, and its log is then read back and compared.
//
// The 1,000 jobs take minutes, nearly all of it Wine starting and ending processes; what they
// measure are object counts, which the load does not change. So by default they run in a second
// copy of the program, in a folder of its own, beside b, whose goals are not rates either.
#include <windows.h>
#include <richedit.h>

#include <algorithm>
#include <climits>
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
    std::string only = "cflsjb";
    double capMs = 20000;
    double bigCapMs = 200000;
    unsigned long bigMiB = 100;
    bool apart = false;
    std::string out;
    std::vector<std::pair<unsigned long, unsigned long>> floods;  // KiB, line length
};

struct Paths {
    std::string exeDir;  // with a trailing backslash
    std::string runDir;
    std::string jobsDir;  // the second copy of the program, for the jobs beside b
    std::string vqchild;
    std::string vqstamp;
};
Paths paths;

// The bytes of vqchild's floods.
using child_pattern::Pattern;
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

// The program's INI in the given folder: slot 2 is the default when no "Default" key is given.
bool WriteIni(const std::string& folder, const std::string& program, const std::string& arguments)
{
    std::string text = "[Setup]\r\nPath2=" + program + "\r\nArgs2=" + arguments + "\r\n";
    HANDLE file = CreateFileA((folder + "Velqueth.ini").c_str(), GENERIC_WRITE, 0, nullptr,
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
// (1) The log control itself: a rich edit made as the program makes its log pane, inside a
// visible top-level window of this process, filled on this thread with drawing off. One
// insertion is what the program's is: the selection to the end, then EM_REPLACESEL.

struct ControlRun {
    unsigned long bytes = 0;
    unsigned long lineLength = 0;
    unsigned long piece = 0;
    bool ok = false;      // every byte went in and the control holds exactly that many
    bool capped = false;  // stopped after the cap
    std::vector<std::pair<unsigned long, double>> insertions;  // characters after it, its ms
    double drawMs = -1;   // drawing the control once afterwards, when measured
    std::string error;
};

// A run's figures over its first insertions, up to the one that reaches `bytes`.
struct ControlFigure {
    unsigned long reached = 0;
    double ms = 0;  // the insertions' own time, summed
    double longest = 0;
    double first = 0;
    double last = 0;
    int count = 0;
};

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

void PumpMessages()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

// The log pane's own recipe: class, styles, font, limit.
HWND CreateLogControl(HWND* frame, HFONT* font)
{
    // Both libraries, as the program loads them; they stay loaded.
    if (!GetModuleHandleA("RICHED32.DLL"))
        LoadLibraryA("RICHED32.DLL");
    if (!GetModuleHandleA("RICHED20.DLL"))
        LoadLibraryA("RICHED20.DLL");
    HINSTANCE instance = GetModuleHandleA(nullptr);
    const char kFrameClass[] = "VelquethBenchFrame";
    WNDCLASSA frameClass;
    std::memset(&frameClass, 0, sizeof frameClass);
    frameClass.lpfnWndProc = DefWindowProcA;
    frameClass.hInstance = instance;
    frameClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    frameClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    frameClass.lpszClassName = kFrameClass;
    RegisterClassA(&frameClass);  // fails harmlessly when a run before registered it
    *frame = CreateWindowExA(0, kFrameClass, "velqueth_bench: the log control", WS_OVERLAPPEDWINDOW,
                             CW_USEDEFAULT, 0, CW_USEDEFAULT, 0, nullptr, nullptr, instance, nullptr);
    *font = nullptr;
    if (!*frame)
        return nullptr;
    ShowWindow(*frame, SW_SHOWNORMAL);
    UpdateWindow(*frame);
    RECT client;
    GetClientRect(*frame, &client);
    const DWORD kPaneStyle = 0x50B000C4;  // child, visible, border, both scroll bars, multi-line,
                                          // automatic vertical and horizontal scrolling
    HWND control = CreateWindowExA(WS_EX_CONTROLPARENT, "RichEdit", "", kPaneStyle, 0, 0,
                                   client.right, client.bottom, *frame,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(109)), instance,
                                   nullptr);
    if (!control)
        return nullptr;
    LOGFONTA description;
    if (GetObjectA(GetStockObject(SYSTEM_FIXED_FONT), sizeof description, &description)) {
        *font = CreateFontIndirectA(&description);
        if (*font)
            SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(*font), FALSE);
    }
    SendMessageA(control, EM_LIMITTEXT, 0x7FFFFFFE, 0);
    PumpMessages();
    return control;
}

// `bytes` of the flood text in pieces of `piece`. Stops after capMs, or before the next piece
// would leave too little address space (the control's allocation failures end the process).
ControlRun FillControl(unsigned long bytes, unsigned long lineLength, unsigned long piece,
                       double capMs, bool measureDraw)
{
    ControlRun run;
    run.bytes = bytes;
    run.lineLength = lineLength;
    run.piece = piece;
    HWND frame = nullptr;
    HFONT font = nullptr;
    HWND control = CreateLogControl(&frame, &font);
    if (!control) {
        run.error = Format("no RichEdit control (error %lu)", GetLastError());
    } else {
        SendMessageA(control, WM_SETREDRAW, FALSE, 0);
        std::string text;
        unsigned long done = 0;
        double start = NowMs();
        while (done < bytes) {
            unsigned long count = std::min(piece, bytes - done);
            text.resize(count);
            for (unsigned long i = 0; i < count; ++i)
                text[i] = Pattern(done + i, lineLength);
            MEMORYSTATUSEX memory;
            memory.dwLength = sizeof memory;
            if (GlobalMemoryStatusEx(&memory) && memory.ullAvailVirtual < 384ull * kMiB) {
                run.error = Format("stopped with %.0f MiB of address space left",
                                   MiB(static_cast<double>(memory.ullAvailVirtual)));
                break;
            }
            double before = NowMs();
            SendMessageA(control, EM_SETSEL, static_cast<WPARAM>(INT_MAX), static_cast<LPARAM>(INT_MAX));
            SendMessageA(control, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
            double ms = NowMs() - before;
            done += count;
            run.insertions.push_back({done, ms});
            PumpMessages();
            if (done < bytes && NowMs() - start > capMs) {
                run.capped = true;
                break;
            }
        }
        long held = static_cast<long>(SendMessageA(control, WM_GETTEXTLENGTH, 0, 0));
        run.ok = done == bytes && held == static_cast<long>(done);
        if (run.error.empty() && !run.capped && !run.ok)
            run.error = Format("the control holds %ld characters of %lu", held, done);
        if (measureDraw) {
            double before = NowMs();
            SendMessageA(control, WM_SETREDRAW, TRUE, 0);
            RedrawWindow(control, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW);
            run.drawMs = NowMs() - before;
        }
    }
    if (frame)
        DestroyWindow(frame);
    PumpMessages();
    if (font)
        DeleteObject(font);
    return run;
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
    WriteIni(paths.runDir, paths.vqchild, "exit 0");
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
    bool dropped = false;  // the log kept its newest text only (past its limit), that exact
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
    WriteIni(paths.runDir, paths.vqchild, arguments);
    std::string header = Header(JobCommandLine(paths.vqchild, arguments));

    Target target(paths.runDir);
    if (!target.Start(nullptr)) {
        result.error = "the program did not start";
        return result;
    }
    result.privateEmpty = PrivateBytes(target.Counters());
    long before = target.Length();
    long expected = before + static_cast<long>(header.size() + bytes) + 5;
    // A log past its limit keeps only its newest text: the job has ended when the log ends with
    // the flood's last lines and the prompt, however long it is.
    const std::string full = header + PatternText(bytes, lineLength) + kPrompt;
    const std::string ending = full.substr(full.size() > 200 ? full.size() - 200 : 0);

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
        if (length > before && target.EndsWith(length, ending)) {
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
    WriteIni(paths.runDir, paths.vqstamp, arguments);
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
    WriteIni(paths.runDir, paths.vqchild, "exit 0");
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

JobsResult RunManyJobs(const std::vector<int>& marks, const std::string& folder, const std::string& desktop)
{
    JobsResult result;
    result.marks = marks;
    WriteIni(folder, paths.vqchild, "exit 0");
    std::string header = Header(JobCommandLine(paths.vqchild, "exit 0"));
    Target target(folder, desktop);
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
            Progress(Format("jobs: %d done", job));
        }
    }
    result.ok = result.done == last;
    target.Close();
    return result;
}

// ---------------------------------------------------------------------------------------------
// (8) A log larger than the control can hold: vqstamp writes numbered 80-byte lines, so the log's
// newest line tells how far the output has come even after the program dropped older text.

// Must match vqstamp's: the number in ten digits, a space, 67 letters; CR LF follows.
std::string NumberedLine(unsigned long number)
{
    std::string line = Format("%010lu ", number);
    for (int i = 11; i < 78; ++i)
        line += static_cast<char>('a' + (i - 11) % 26);
    return line;
}

// The number of a line of vqstamp's (without its CR LF), or -1.
long NumberOf(const std::string& line)
{
    if (line.size() != 78 || line[10] != ' ')
        return -1;
    for (int i = 0; i < 10; ++i)
        if (line[i] < '0' || line[i] > '9')
            return -1;
    long number = std::strtol(line.c_str(), nullptr, 10);
    return line == NumberedLine(static_cast<unsigned long>(number)) ? number : -1;
}

bool IsDropNotice(const std::string& line)
{
    std::string lower;
    for (char c : line)
        lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    size_t earlier = lower.find("earlier output");
    return earlier != std::string::npos && lower.find("dropped", earlier) != std::string::npos;
}

// The whole log, line by line, as it is read in pieces.
struct LogCheck {
    long first = -1;   // first and last numbered line
    long last = -1;
    long numbered = 0;
    long gaps = 0;     // numbered lines that do not follow the one before
    long before = 0;   // other lines before the first numbered one (banner, header, a cut line)
    long stray = 0;    // other lines among the numbered ones
    std::string straySample;
    int notices = 0;
    std::string notice;
    std::string rest;  // the text after the last line break: the prompt at the end

    void Feed(const std::string& text)
    {
        rest += text;
        size_t from = 0;
        for (size_t end; (end = rest.find("\r\n", from)) != std::string::npos; from = end + 2)
            Line(rest.substr(from, end - from));
        rest.erase(0, from);
    }

    void Line(const std::string& line)
    {
        long number = NumberOf(line);
        if (number >= 0) {
            if (first < 0)
                first = number;
            else if (number != last + 1)
                ++gaps;
            last = number;
            ++numbered;
        } else if (IsDropNotice(line)) {
            if (++notices == 1)
                notice = line.substr(0, 100);
        } else if (first < 0) {
            ++before;
        } else if (++stray == 1) {
            straySample = line.substr(0, 60);
        }
    }
};

struct BigLogResult {
    unsigned long lines = 0;
    bool started = false;
    bool completed = false;  // the child's last line, then the prompt, at the end of the log
    bool capped = false;
    bool promptAfterCap = false;
    double ms = 0;           // request to prompt, or to the cap
    double promptWaitMs = 0;
    long newestAtEnd = -1;   // the newest numbered line when the run ended or was stopped
    long finalLength = -1;
    long maxLength = 0;
    int shrinks = 0;         // times the log was found shorter than the time before
    bool emptied = false;
    long lengthBeforeEmpty = 0;
    long long emptyPrivate = -1;
    long long peakPrivate = -1;
    std::vector<double> roundTrips;
    int roundTripTimeouts = 0;
    bool checked = false;
    LogCheck log;
    std::string error;
};

// The newest complete numbered line in the log's last characters, or -1.
long NewestLine(const Target& target, long length)
{
    std::string tail;
    if (length <= 0 || !target.Read(std::max(0L, length - 2048), length, &tail))
        return -1;
    for (size_t end = tail.rfind("\r\n"); end != std::string::npos && end >= 78;
         end = tail.rfind("\r\n", end - 1)) {
        long number = NumberOf(tail.substr(end - 78, 78));
        if (number >= 0)
            return number;
        if (end == 0)
            break;
    }
    return -1;
}

BigLogResult BigLog(unsigned long lines, double capMs)
{
    BigLogResult result;
    result.lines = lines;
    WriteIni(paths.runDir, paths.vqstamp, Format("lines %lu", lines));
    Target target(paths.runDir);
    if (!target.Start(nullptr)) {
        result.error = "the program did not start";
        return result;
    }
    result.started = true;
    result.emptyPrivate = PrivateBytes(target.Counters());
    result.peakPrivate = result.emptyPrivate;
    const std::string end = NumberedLine(lines - 1) + "\r\n" + kPrompt;
    long length = target.Length();
    long previous = length;

    Sampler sampler;
    sampler.Begin(target.Window());
    double start = NowMs();
    double nextProgress = start + 20000;
    target.Command(kRunDefault);
    for (;;) {
        Sleep(250);
        if (WaitForSingleObject(target.Process(), 0) == WAIT_OBJECT_0) {
            DWORD code = 0;
            GetExitCodeProcess(target.Process(), &code);
            result.error = Format("the program ended (exit code 0x%lX)", code);
            break;
        }
        length = target.Length();
        if (length < 0) {
            result.error = "the program stopped answering";
            break;
        }
        if (length < previous) {
            ++result.shrinks;
            if (length == 0 && !result.emptied) {
                result.emptied = true;
                result.lengthBeforeEmpty = previous;
            }
        }
        previous = length;
        result.maxLength = std::max(result.maxLength, length);
        result.peakPrivate = std::max(result.peakPrivate, target.LinuxPrivateBytes());
        double now = NowMs();
        if (length >= static_cast<long>(end.size()) && target.EndsWith(length, end)) {
            result.completed = true;
            result.ms = now - start;
            result.newestAtEnd = static_cast<long>(lines) - 1;
            break;
        }
        if (now - start > capMs) {
            result.capped = true;
            result.ms = now - start;
            break;
        }
        if (now > nextProgress) {
            nextProgress += 20000;
            long newest = NewestLine(target, length);
            Progress(Format("%.0f s: the log holds %.1f MiB, its newest line is %ld (%.1f MiB of the "
                            "child's output)", (now - start) / 1000, MiB(length), newest,
                            MiB((newest + 1) * 80.0)));
        }
    }
    if (result.error.empty() && result.capped) {
        result.newestAtEnd = NewestLine(target, length);
        // Stopped: the child ends, the job must still end with its prompt.
        DWORD child = target.ChildPid("vqstamp.exe");
        HANDLE handle = child ? OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, child) : nullptr;
        if (handle) {
            TerminateProcess(handle, 1);
            WaitForSingleObject(handle, 5000);
            CloseHandle(handle);
        }
        double waitStart = NowMs();
        long now = 0;
        result.promptAfterCap = WaitForPrompt(target, 0, waitStart + 60000, &now);
        result.promptWaitMs = NowMs() - waitStart;
    }
    sampler.End();
    result.roundTrips = sampler.roundTrips;
    result.roundTripTimeouts = sampler.timeouts;

    if (result.error.empty()) {
        result.finalLength = target.Length();
        result.peakPrivate = std::max(result.peakPrivate, target.LinuxPrivateBytes());
        // The whole log, a few MiB at a time.
        const long kPiece = 4 * 1024 * 1024;
        bool read = result.finalLength >= 0;
        for (long from = 0; read && from < result.finalLength; from += kPiece) {
            std::string piece;
            read = target.Read(from, std::min(result.finalLength, from + kPiece), &piece);
            result.log.Feed(piece);
        }
        result.checked = read;
        if (!read)
            result.error = "the log could not be read back";
    }
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

struct ControlCase {
    unsigned long lineLength;
    unsigned long piece;
    ControlRun run;
};

const unsigned long kLinePiece = 64 * 1024;  // the control's pieces for lines
const unsigned long kLongPiece = kMiB;       // inside a long line: the largest insertion

// The run that holds the first `bytes` of this text in these pieces, or null.
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

std::string RoundTripText(const std::vector<double>& roundTrips, int timeouts)
{
    return Format("worst %.1f ms (p50 %.2f, p99 %.1f; %d samples%s)", Max(roundTrips),
                  Percentile(roundTrips, 0.5), Percentile(roundTrips, 0.99),
                  static_cast<int>(roundTrips.size()),
                  timeouts ? Format(", %d timed out after 10 s", timeouts).c_str() : "");
}

// Small ratios keep a digit that shows them.
std::string RatioText(double ratio)
{
    return Format(ratio < 0.1 ? "%.3f" : "%.2f", ratio);
}

std::string PieceName(unsigned long piece)
{
    return piece >= kMiB ? Format("%lu MiB pieces", piece / kMiB) : Format("%lu KiB pieces", piece / 1024);
}

// The control's rows: one per flood size it stands beside.
void ControlRows(std::vector<Row>& rows, const std::vector<ControlCase>& controls,
                 const std::vector<FloodCase>& floods)
{
    for (const ControlCase& control : controls) {
        const ControlRun& run = control.run;
        std::vector<unsigned long> sizes;
        for (const FloodCase& flood : floods)
            if (flood.lineLength == run.lineLength && flood.bytes <= run.bytes &&
                (run.lineLength || flood.bytes == run.bytes) &&
                std::find(sizes.begin(), sizes.end(), flood.bytes) == sizes.end())
                sizes.push_back(flood.bytes);
        std::sort(sizes.begin(), sizes.end());
        for (unsigned long size : sizes) {
            ControlFigure figure = ControlUpTo(run, size);
            std::string text;
            if (figure.count == 0) {
                text = "failed: " + run.error;
            } else {
                if (figure.reached < size)
                    text = "stopped after " + Seconds(figure.ms) + " at " + MiBText(figure.reached) +
                           (run.error.empty() ? "" : " (" + run.error + ")") + ", ";
                else
                    text = Seconds(figure.ms) + ", ";
                text += Rate(figure.reached, figure.ms);
                if (run.lineLength)
                    text += Format("; longest insertion %.0f ms of %d", figure.longest, figure.count);
                else if (figure.count == 1)
                    text += Format(": one insertion of %.0f ms", figure.longest);
                else
                    text += Format("; one insertion took %.0f ms at first, %.0f ms at the end (longest "
                                   "%.0f ms of %d)", figure.first, figure.last, figure.longest, figure.count);
                if (size == run.bytes && run.drawMs >= 0)
                    text += Format("; drawing it once afterwards %.0f ms", run.drawMs);
            }
            rows.push_back({"1", "The log control itself (RichEdit as the pane, one thread, drawing off), " +
                                     FloodName(size, run.lineLength) + " in " + PieceName(run.piece),
                            text, "", ""});
        }
    }
}

void FloodRows(std::vector<Row>& rows, const std::vector<FloodCase>& floods,
               const std::vector<ControlCase>& controls, const Options& options)
{
    for (const FloodCase& flood : floods) {
        const PhysicalResult& physical = flood.physical[MedianRun(flood)];
        std::string runsNote = flood.program.size() > 1
                                   ? Format(" (median of %d)", static_cast<int>(flood.program.size()))
                                   : "";
        rows.push_back({"1", "256-byte read loop, " + FloodName(flood.bytes, flood.lineLength),
                        physical.ok ? Seconds(physical.ms) + ", " + Rate(physical.bytes, physical.ms) +
                                          Format(", %llu reads", physical.reads) + runsNote
                                    : "failed",
                        "", ""});
    }
    const std::string cap = Seconds(options.capMs);
    for (const FloodCase& flood : floods) {
        size_t m = MedianRun(flood);
        const PhysicalResult& physical = flood.physical[m];
        const FloodResult& program = flood.program[m];
        std::string runsNote = flood.program.size() > 1
                                   ? Format(" (median of %d)", static_cast<int>(flood.program.size()))
                                   : "";
        const bool lines = flood.lineLength != 0;
        const unsigned long piece = lines ? kLinePiece : kLongPiece;
        const ControlRun* control = ControlFor(controls, flood.lineLength, piece, flood.bytes);
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
        rows.push_back({"2", "Velqueth, " + FloodName(flood.bytes, flood.lineLength), figure, goal, met});
    }
    for (const FloodCase& flood : floods) {
        const FloodResult& program = flood.program[MedianRun(flood)];
        double worst = Max(program.roundTrips);
        std::string measure = "WM_NULL round trip every 10 ms, during the " +
                              FloodName(flood.bytes, flood.lineLength) + " flood";
        std::string figure = RoundTripText(program.roundTrips, program.roundTripTimeouts);
        if (program.roundTrips.empty()) {
            rows.push_back({"4", measure, "no samples" + (program.error.empty() ? "" : ": " + program.error),
                            flood.lineLength ? "< 100 ms" : "no worse than one insertion of the control's", "-"});
        } else if (flood.lineLength) {
            rows.push_back({"4", measure, figure, "< 100 ms",
                            YesNo(worst < 100 && program.roundTripTimeouts == 0)});
        } else {
            // Beside the control's own longest insertion in a line as long as the program's got.
            const ControlRun* control = ControlFor(controls, 0, kLongPiece, flood.bytes);
            unsigned long shown = static_cast<unsigned long>(std::max<unsigned long long>(program.shown, 1));
            ControlFigure reached = control ? ControlUpTo(*control, shown) : ControlFigure();
            if (reached.count > 0)
                figure += Format("; the control's own longest insertion %.0f ms (%s, a line of up to %s)",
                                 reached.longest, PieceName(kLongPiece).c_str(), MiBText(reached.reached).c_str());
            rows.push_back({"4", measure, figure, "no worse than one insertion of the control's",
                            reached.count > 0 ? YesNo(worst <= reached.longest && program.roundTripTimeouts == 0)
                                              : "-"});
        }
    }
    const unsigned long memorySize = floods[std::min<size_t>(2, floods.size() - 1)].bytes;
    for (const FloodCase& flood : floods) {
        if (flood.bytes < memorySize)
            continue;
        const FloodResult& program = flood.program[0];
        if (!program.ok) {
            rows.push_back({"6", "Private bytes, log of " + FloodName(flood.bytes, flood.lineLength),
                            "no figure: " + program.error, "<= 3 x log", "-"});
            continue;
        }
        double ratio = static_cast<double>(program.privateFull) / program.logChars;
        double growth = (static_cast<double>(program.privateFull) - program.privateEmpty) / program.logChars;
        rows.push_back({"6", "Private bytes, log of " + FloodName(flood.bytes, flood.lineLength) +
                                 (program.capped ? " (as far as it got)" : ""),
                        MiBText(program.privateFull) + Format(" = %.1f x the log's ", ratio) +
                            MiBText(program.logChars) + " (empty log " + MiBText(program.privateEmpty) +
                            Format("; growth %.1f x)", growth),
                        "<= 3 x log", YesNo(ratio <= 3)});
    }
}

void BigLogRows(std::vector<Row>& rows, const BigLogResult& big, const Options& options)
{
    const std::string name = Format("%lu MiB log of numbered 80-byte lines", options.bigMiB);
    const std::string capText = Seconds(options.bigCapMs);
    if (!big.started) {
        rows.push_back({"8", name, "failed: " + big.error, "ends with its prompt", "-"});
        return;
    }
    const long long reach = (big.newestAtEnd + 1) * 80LL;
    std::string figure;
    if (big.completed) {
        figure = "the child's last line, then the prompt, after " + Seconds(big.ms) + " (" +
                 Rate(big.lines * 80.0, big.ms) + ")";
    } else if (big.capped) {
        figure = "stopped at the cap after " + Seconds(big.ms) + ", the child's output shown up to " +
                 (big.newestAtEnd >= 0
                      ? Format("line %ld (", big.newestAtEnd) + MiBText(reach) + ", " + Rate(reach, big.ms) + ")"
                      : std::string("no line in the log")) +
                 (big.promptAfterCap ? "; the child ended, the prompt followed in " + Seconds(big.promptWaitMs)
                                     : "; the child ended, **no prompt** within " + Seconds(big.promptWaitMs));
    } else {
        figure = "failed: " + big.error;
    }
    if (big.emptied)
        figure += "; **the log emptied** (length 0) after holding " + MiBText(big.lengthBeforeEmpty);
    rows.push_back({"8", name + ": the job", figure, "ends with its prompt within " + capText,
                    YesNo(big.completed)});

    const LogCheck& log = big.log;
    if (!big.checked) {
        figure = "not checked: " + big.error;
    } else if (log.last < 0) {
        figure = "no numbered line in the log";
    } else {
        figure = Format("the log's last line is line %ld", log.last) +
                 (big.completed ? " (the child's last), then the prompt" : "") +
                 Format("; lines %ld-%ld (", log.first, log.last) +
                 MiBText(static_cast<long long>((log.last - log.first + 1) * 80.0)) + ") in order" +
                 (log.gaps ? Format(", **%ld gaps**", log.gaps) : ", no gap") +
                 (log.stray ? Format(", **%ld other lines among them** (\"%s\")", log.stray, log.straySample.c_str())
                            : "");
    }
    rows.push_back({"8", name + ": the newest output present", figure, "the flood's tail at the log's end, in order",
                    YesNo(big.completed && big.checked && log.last == static_cast<long>(big.lines) - 1 &&
                          log.gaps == 0 && log.stray == 0)});

    rows.push_back({"8", name + ": WM_NULL round trip every 10 ms during it",
                    big.roundTrips.empty() ? "no samples" : RoundTripText(big.roundTrips, big.roundTripTimeouts),
                    "< 100 ms",
                    big.roundTrips.empty() ? "-" : YesNo(Max(big.roundTrips) < 100 && big.roundTripTimeouts == 0)});

    bool dropped = big.checked && (log.first > 0 || big.shrinks > 0);
    std::string met = "-";
    if (!big.checked) {
        figure = "not checked";
    } else {
        if (log.notices == 0)
            figure = dropped ? "**none**, although older output is gone" : "none; nothing was dropped";
        else
            figure = (log.notices == 1 ? std::string("once") : Format("**%d times**", log.notices)) + ": \"" +
                     log.notice + "\"";
        if (log.first > 0)
            figure += Format("; lines 0-%ld are gone", log.first - 1);
        if (dropped)
            met = YesNo(log.notices == 1);
        else if (big.completed)
            met = YesNo(log.notices == 0);
        else
            figure += " (the log did not grow that far)";
    }
    rows.push_back({"8", name + ": the notice of dropped output (\"earlier output\" ... \"dropped\")", figure,
                    "once, when older output was dropped", met});

    rows.push_back({"8", name + ": the log's length at the end",
                    big.finalLength >= 0 ? MiBText(big.finalLength) + Format(" (%ld characters); the largest seen ",
                                                                             big.finalLength) +
                                               MiBText(big.maxLength) +
                                               (big.shrinks ? Format("; found shorter than before %d times", big.shrinks)
                                                            : "")
                                         : "not known: " + big.error,
                    "", ""});
    rows.push_back({"8", name + ": peak private bytes of the program",
                    MiBText(big.peakPrivate) + " (empty log " + MiBText(big.emptyPrivate) + ")", "", ""});
}

void JobsRows(std::vector<Row>& rows, const JobsResult& jobs, const std::vector<int>& marks, bool beside)
{
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
        rows.push_back({"7", "Object counts, " + marksText, "failed: " + jobs.error, "flat", "-"});
        return;
    }
    std::string note = jobs.ok ? Format("; a job took %.0f ms (median", Median(jobs.jobMs)) +
                                     (beside ? ", beside part 8)" : ")") +
                                     (jobs.busyBoxes ? Format(", %d refused as busy", jobs.busyBoxes) : "")
                               : "; " + jobs.error;
    const std::string goal = "flat (< +10 after the first job)";
    Pick windowsHandles = [](const ProcessCounters& c) { return static_cast<long long>(c.handles); };
    Pick tableHandles = [](const ProcessCounters& c) { return static_cast<long long>(c.tableHandles); };
    if (jobs.idle.handlesOk && jobs.idle.handles > 0)
        rows.push_back({"7", "Handles (GetProcessHandleCount), " + marksText, series(windowsHandles, false) + note,
                        goal, flat(windowsHandles)});
    else if (jobs.idle.tableHandles > 0)
        rows.push_back({"7", "Handles, " + marksText,
                        series(tableHandles, false) +
                            " (counted in the system handle table: Wine's GetProcessHandleCount answers 0)" + note,
                        goal, flat(tableHandles)});
    else
        rows.push_back({"7", "Handles, " + marksText, "not meaningful: Wine answers 0" + note, goal, "-"});
    Pick gdi = [](const ProcessCounters& c) { return static_cast<long long>(c.gdiObjects); };
    Pick user = [](const ProcessCounters& c) { return static_cast<long long>(c.userObjects); };
    rows.push_back({"7", "GDI objects, " + marksText,
                    jobs.idle.gdiObjects ? series(gdi, false)
                                         : Format("not meaningful: Wine's GetGuiResources answers 0 (error %lu)",
                                                  jobs.idle.gdiError),
                    goal, jobs.idle.gdiObjects ? flat(gdi) : "-"});
    rows.push_back({"7", "USER objects, " + marksText,
                    jobs.idle.userObjects ? series(user, false)
                                          : Format("not meaningful: Wine's GetGuiResources answers 0 (error %lu)",
                                                   jobs.idle.userError),
                    goal, jobs.idle.userObjects ? flat(user) : "-"});
    Pick windows = [](const ProcessCounters& c) { return static_cast<long long>(c.windows); };
    Pick threads = [](const ProcessCounters& c) { return static_cast<long long>(c.threads); };
    Pick memory = [](const ProcessCounters& c) { return PrivateBytes(c); };
    rows.push_back({"7", "Windows of the process (USER objects that Wine can count), " + marksText,
                    series(windows, false), goal, flat(windows)});
    rows.push_back({"7", "Threads, " + marksText, series(threads, false), goal, flat(threads)});
    rows.push_back({"7", "Private bytes, " + marksText, series(memory, true), "", ""});
}

struct JobsTask {
    std::vector<int> marks;
    std::string folder;
    std::string desktop;
    JobsResult result;

    static DWORD WINAPI Run(LPVOID parameter)
    {
        JobsTask* self = static_cast<JobsTask*>(parameter);
        self->result = RunManyJobs(self->marks, self->folder, self->desktop);
        return 0;
    }
};

bool CopyProgram(const std::string& folder)
{
    CreateDirectoryA(folder.c_str(), nullptr);
    if (CopyFileA((paths.exeDir + "Velqueth.exe").c_str(), (folder + "Velqueth.exe").c_str(), FALSE))
        return true;
    std::fprintf(stderr, "velqueth_bench: cannot copy Velqueth.exe into %s\n", folder.c_str());
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    bool bigGiven = false;
    bool bigCapGiven = false;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (argument == "--quick")
            options.quick = true;
        else if (argument == "--only" && i + 1 < argc)
            options.only = argv[++i];
        else if (argument == "--cap" && i + 1 < argc)
            options.capMs = std::atof(argv[++i]) * 1000;
        else if (argument == "--big" && i + 1 < argc) {
            options.bigMiB = std::strtoul(argv[++i], nullptr, 10);
            bigGiven = true;
        } else if (argument == "--big-cap" && i + 1 < argc) {
            options.bigCapMs = std::atof(argv[++i]) * 1000;
            bigCapGiven = true;
        } else if (argument == "--apart")
            options.apart = true;
        else if (argument == "--out" && i + 1 < argc)
            options.out = argv[++i];
        else if (argument == "--flood" && i + 1 < argc) {
            unsigned long kib = 0, line = 0;
            if (std::sscanf(argv[++i], "%lu:%lu", &kib, &line) < 1)
                kib = 0;
            options.floods.push_back({kib, line});
        }
        else {
            std::fprintf(stderr, "usage: velqueth_bench [--quick] [--only cflmsjb] [--cap SECONDS] [--big MIB] "
                                 "[--big-cap SECONDS] [--apart] [--flood KIB:LINE]... [--out PATH]\n");
            return 2;
        }
    }
    if (options.quick && !bigGiven)
        options.bigMiB = 8;
    if (options.quick && !bigCapGiven)
        options.bigCapMs = 60000;
    if (options.bigMiB == 0)
        options.bigMiB = 1;

    char self[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    paths.exeDir = self;
    paths.exeDir.erase(paths.exeDir.find_last_of("\\/") + 1);
    paths.runDir = paths.exeDir + "bench-run\\";
    paths.jobsDir = paths.exeDir + "bench-jobs\\";
    paths.vqchild = paths.exeDir + "vqchild.exe";
    paths.vqstamp = paths.exeDir + "vqstamp.exe";
    if (options.out.empty())
        options.out = paths.exeDir + "bench.md";
    auto runs = [&](char part) { return options.only.find(part) != std::string::npos; };
    // The jobs' copy runs on a desktop of its own: the program does not start beside a window of
    // its own title.
    const char kJobsDesktop[] = "VelquethBenchJobs";
    HDESK jobsDesktop = nullptr;
    if (runs('j') && runs('b') && !options.apart) {
        jobsDesktop = CreateDesktopA(kJobsDesktop, nullptr, nullptr, 0, GENERIC_ALL, nullptr);
        if (!jobsDesktop)
            std::printf("No desktop for the jobs (error %lu): they run after the big log\n", GetLastError());
    }
    const bool jobsBeside = jobsDesktop != nullptr;
    if (!CopyProgram(paths.runDir) || (jobsBeside && !CopyProgram(paths.jobsDir)))
        return 1;
    double benchStart = NowMs();
    std::vector<Row> rows;

    // (1), (2), (4), (6): each flood drained plainly, then run by the program, one after the
    // other, so that a ratio compares two runs made under the same load.
    std::vector<FloodCase> floods;
    if (options.quick) {
        floods = {{256 * 1024, 80, 3, {}, {}}, {256 * 1024, 0, 3, {}, {}},
                  {kMiB, 80, 1, {}, {}}, {kMiB, 0, 1, {}, {}}};
    } else {
        floods = {{kMiB, 80, 3, {}, {}},      {kMiB, 0, 3, {}, {}},
                  {10 * kMiB, 80, 1, {}, {}}, {10 * kMiB, 0, 1, {}, {}},
                  {50 * kMiB, 80, 1, {}, {}}};
    }
    if (!options.floods.empty()) {
        floods.clear();
        for (const auto& flood : options.floods)
            floods.push_back({flood.first * 1024, flood.second, 1, {}, {}});
    }

    // The control first: lines in 64 KiB pieces, one run as long as the longest flood, read at
    // each flood's size; a long line in 1 MiB pieces per size, the shortest also in 64 KiB.
    std::vector<ControlCase> controls;
    if (runs('c') || runs('f')) {
        std::printf("The log control itself\n");
        const double controlCapMs = std::max(60000.0, 3 * options.capMs);
        std::vector<unsigned long> lineLengths;
        std::vector<unsigned long> longLines;
        auto add = [](std::vector<unsigned long>& list, unsigned long value) {
            if (std::find(list.begin(), list.end(), value) == list.end())
                list.push_back(value);
        };
        for (const FloodCase& flood : floods) {
            if (flood.lineLength)
                add(lineLengths, flood.lineLength);
            else
                add(longLines, flood.bytes);
        }
        std::sort(longLines.begin(), longLines.end());
        struct Step {
            unsigned long lineLength;
            unsigned long bytes;
            unsigned long piece;
        };
        std::vector<Step> plan;
        for (unsigned long lineLength : lineLengths) {
            unsigned long most = 0;
            for (const FloodCase& flood : floods)
                if (flood.lineLength == lineLength)
                    most = std::max(most, flood.bytes);
            plan.push_back({lineLength, most, kLinePiece});
        }
        if (!longLines.empty())
            plan.push_back({0, longLines.front(), kLinePiece});
        for (unsigned long bytes : longLines)
            plan.push_back({0, bytes, kLongPiece});
        for (const Step& step : plan) {
            const unsigned long lineLength = step.lineLength;
            const unsigned long bytes = step.bytes;
            const unsigned long piece = step.piece;
            // Drawing a long line costs about as much as inserting it: measured up to 2 MiB.
            bool draw = lineLength || bytes <= 2 * kMiB;
            ControlRun run = FillControl(bytes, lineLength, piece, controlCapMs, draw);
            ControlFigure all = ControlUpTo(run, bytes);
            Progress(Format("control  %-26s in %-15s %s, %s, longest insertion %.0f ms%s%s",
                            FloodName(bytes, lineLength).c_str(), PieceName(piece).c_str(), Seconds(all.ms).c_str(),
                            Rate(all.reached, all.ms).c_str(), all.longest,
                            run.drawMs >= 0 ? Format(", drawing %.0f ms", run.drawMs).c_str() : "",
                            run.error.empty() ? "" : (" - " + run.error).c_str()));
            controls.push_back({lineLength, piece, run});
        }
    }

    if (runs('f')) {
        std::printf("Floods\n");
        double roundTrip = IdleRoundTripUs(2000);
        Progress(Format("one message to the idle program: %.0f us", roundTrip));
        rows.push_back({"1", "Round trip of one synchronous message (WM_NULL) to the idle program, median of 2000",
                        Format("%.0f us", roundTrip), "", ""});
        for (FloodCase& flood : floods) {
            for (int run = 0; run < flood.runs; ++run) {
                PhysicalResult physical = DrainPhysical(flood.bytes, flood.lineLength);
                Progress(Format("read     %-26s %s, %s", FloodName(flood.bytes, flood.lineLength).c_str(),
                                Seconds(physical.ms).c_str(), Rate(physical.bytes, physical.ms).c_str()));
                FloodResult program = FloodJob(flood.bytes, flood.lineLength, options, true);
                Progress(Format("Velqueth %-26s %s, %s%s%s", FloodName(flood.bytes, flood.lineLength).c_str(),
                                Seconds(program.ms).c_str(), Rate(program.shown, program.ms).c_str(),
                                program.capped ? " (capped)" : "",
                                program.error.empty() ? "" : (" - " + program.error).c_str()));
                flood.physical.push_back(physical);
                flood.program.push_back(program);
                if (program.capped || program.ms > 5000)
                    break;  // a run that long says enough; no repeats
            }
        }
        FloodRows(rows, floods, controls, options);
    }
    if (runs('c') || runs('f'))
        ControlRows(rows, controls, floods);

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
                        "p50 < 10 ms, worst < 50 ms", YesNo(latency.ok && p50 < 10 && worst < 50)});
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

    // (7) and (8): the jobs in a copy of their own beside the big log, or after it.
    JobsTask jobs;
    jobs.marks = options.quick ? std::vector<int>{1, 10, 50} : std::vector<int>{1, 100, 1000};
    jobs.folder = jobsBeside ? paths.jobsDir : paths.runDir;
    jobs.desktop = jobsBeside ? kJobsDesktop : "";
    HANDLE jobsThread = nullptr;
    if (jobsBeside) {
        std::printf("Jobs, beside the big log\n");
        jobsThread = CreateThread(nullptr, 0, JobsTask::Run, &jobs, 0, nullptr);
    }
    if (runs('b')) {
        std::printf("A %lu MiB log\n", options.bigMiB);
        BigLogResult big = BigLog(options.bigMiB * (kMiB / 80), options.bigCapMs);
        Progress(big.completed ? "ended with its prompt after " + Seconds(big.ms)
                               : big.capped ? "stopped at the cap" : "failed: " + big.error);
        BigLogRows(rows, big, options);
    }
    if (runs('j')) {
        if (jobsThread) {
            WaitForSingleObject(jobsThread, INFINITE);
            CloseHandle(jobsThread);
        } else {
            if (!jobsBeside)
                std::printf("Jobs\n");
            jobs.result = RunManyJobs(jobs.marks, jobs.folder, jobs.desktop);
        }
        JobsRows(rows, jobs.result, jobs.marks, jobsThread != nullptr);
    }
    if (jobsDesktop)
        CloseDesktop(jobsDesktop);

    const double totalMs = NowMs() - benchStart;
    const bool fullRun = !options.quick && options.floods.empty() && options.capMs == 20000 &&
                         std::string("cflsjb").find_first_not_of(options.only) == std::string::npos;
    rows.push_back({"9", "The benchmark's own run time (make bench adds an incremental build)",
                    Format("%.1f min", totalMs / 60000), "< 10 min",
                    fullRun ? YesNo(totalMs < 600000) : "- (not the full run)"});

    std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.part < b.part; });
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
    table += "\nThe limit of a flood is the slower of the 256-byte read loop and the log control itself (a "
             "RichEdit made as the pane, filled on one thread with drawing off: 64 KiB pieces for lines, 1 MiB "
             "pieces inside a long line), both measured in this run.";
    if (jobsThread)
        table += " The jobs of part 7 ran in a second copy of the program, on a desktop of its own, beside "
                 "part 8 (--apart runs them after it).";
    table += "\n";
    if (privateFromLinux)
        table += "\nPrivate bytes: Wine reports 0 for another process (it fills the figure from the "
                 "Linux process's swap), so the Linux process's resident anonymous memory (RssAnon) "
                 "stands in.\n";
    table += Format("\n%s, %d processors, %d-bit build%s; MiB = 1,048,576 bytes; benchmark ran %.0f s.\n",
                    WineVersion().c_str(), static_cast<int>(system.dwNumberOfProcessors),
                    static_cast<int>(sizeof(void*) * 8), options.quick ? ", quick sizes" : "",
                    totalMs / 1000);
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
