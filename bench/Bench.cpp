// The shared core: the texts and statistics of the table, the table itself, and the few steps
// every measure takes with the program (its INI file, its copy, its children).
#include "bench/Bench.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <vector>

#include "tests/helpers/ChildPattern.h"

const char kPrompt[] = "C:\\> ";

namespace {

// Private bytes as Windows reports them; Wine answers 0 (it fills the figure from the Linux
// process's swap), and then the Linux process's resident anonymous memory stands in.
bool privateFromLinux = false;

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

} // namespace

bool Bench::Runs(const char* measure) const
{
    return std::find(selected.begin(), selected.end(), measure) != selected.end();
}

void Bench::Add(const char* measure, const std::string& what, const std::string& figure,
                const std::string& goal, const std::string& met)
{
    rows.push_back({measure, what, figure, goal, met});
}

void Bench::Footnote(const std::string& text)
{
    footnotes.push_back(text);
}

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

std::string FloodName(unsigned long bytes, unsigned long lineLength, bool utf8)
{
    if (utf8)
        return SizeName(bytes) + ", 80-byte lines of UTF-8";
    return SizeName(bytes) + (lineLength ? ", 80-byte lines" : ", no line break");
}

std::string PieceName(unsigned long piece)
{
    return piece >= kMiB ? Format("%lu MiB pieces", piece / kMiB) : Format("%lu KiB pieces", piece / 1024);
}

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

std::string RatioText(double ratio)
{
    return Format(ratio < 0.1 ? "%.3f" : "%.2f", ratio);
}

std::string LoadAverage()
{
    FILE* file = std::fopen("Z:\\proc\\loadavg", "r");
    if (!file)
        return "";
    double one = 0, five = 0, fifteen = 0;
    int read = std::fscanf(file, "%lf %lf %lf", &one, &five, &fifteen);
    std::fclose(file);
    return read == 3 ? Format("%.2f %.2f %.2f", one, five, fifteen) : "";
}

std::string TableText(const Bench& bench, double totalMs)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    SYSTEM_INFO system;
    GetNativeSystemInfo(&system);
    std::string table;
    table += Format("# Velqueth benchmark, %04u-%02u-%02u %02u:%02u\n\n", now.wYear, now.wMonth,
                    now.wDay, now.wHour, now.wMinute);
    table += "| Measure | What | Figure | Goal | Met |\n|---|---|---|---|---|\n";
    for (const Row& row : bench.rows)
        table += "| " + row.measure + " | " + Escape(row.what) + " | " + Escape(row.figure) + " | " +
                 Escape(row.goal) + " | " + row.met + " |\n";
    if (!bench.footnotes.empty()) {
        table += "\n";
        for (size_t i = 0; i < bench.footnotes.size(); ++i)
            table += (i ? " " : "") + bench.footnotes[i];
        table += "\n";
    }
    if (privateFromLinux)
        table += "\nPrivate bytes: Wine reports 0 for another process (it fills the figure from the "
                 "Linux process's swap), so the Linux process's resident anonymous memory (RssAnon) "
                 "stands in.\n";
    table += Format("\n%s, %d processors, %d-bit build%s; MiB = 1,048,576 bytes; benchmark ran %.0f s.\n",
                    WineVersion().c_str(), static_cast<int>(system.dwNumberOfProcessors),
                    static_cast<int>(sizeof(void*) * 8), bench.options.quick ? ", quick sizes" : "",
                    totalMs / 1000);
    const std::string loadAtEnd = LoadAverage();
    if (!loadAtEnd.empty())
        table += "The host's load average (1, 5, 15 min): " + bench.loadAtStart + " at the start, " + loadAtEnd +
                 " at the end.\n";
    return table;
}

long long PrivateBytes(const ProcessCounters& counters)
{
    if (counters.memoryOk && counters.privateBytes > 0)
        return static_cast<long long>(counters.privateBytes);
    privateFromLinux = counters.linuxPrivate >= 0;
    return counters.linuxPrivate;
}

bool PrivateBytesFromLinux()
{
    return privateFromLinux;
}

std::string IniText(const std::string& program, const std::string& arguments)
{
    return "[Setup]\r\nPath2=" + program + "\r\nArgs2=" + arguments + "\r\n";
}

std::string JobCommandLine(const std::string& program, const std::string& arguments)
{
    return "\"" + program + "\" " + arguments;
}

std::string Header(const std::string& commandLine)
{
    return "\r\nExecuting:- " + commandLine + "\r\n";
}

std::string FloodArguments(unsigned long bytes, unsigned long lineLength, bool utf8)
{
    if (utf8)
        return Format("utf8 %lu", bytes);
    return lineLength ? Format("bytes %lu %lu", bytes, lineLength) : Format("bytes %lu", bytes);
}

std::string FloodText(unsigned long bytes, unsigned long lineLength, bool utf8)
{
    if (!utf8)
        return child_pattern::PatternText(bytes, lineLength);
    // The log keeps the characters; its narrow messages give them in the ANSI code page.
    const std::string text = child_pattern::Utf8Text(bytes);
    int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::vector<WCHAR> wide(static_cast<size_t>(units) + 1);
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), units);
    std::string narrow(static_cast<size_t>(units), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), units, &narrow[0], units, nullptr, nullptr);
    return narrow;
}

void EndChild(const Driver& target, const char* imageName)
{
    DWORD child = target.ChildPid(imageName);
    HANDLE handle = child ? OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, child) : nullptr;
    if (handle) {
        TerminateProcess(handle, 1);
        WaitForSingleObject(handle, 5000);
        CloseHandle(handle);
    }
}

bool WaitForPrompt(const Driver& target, long expected, double deadlineMs, long* length)
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
