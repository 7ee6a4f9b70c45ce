#include "Target.h"

#include <psapi.h>
#include <richedit.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

const DWORD kAnswerMs = 30000;  // a program that takes longer than this to answer counts as hung
const WORD kPaneId = 109;

LARGE_INTEGER Frequency()
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return frequency;
}

struct FindContext {
    DWORD pid;
    const char* className;
    HWND found;
    int count;
};

BOOL CALLBACK FindByClass(HWND window, LPARAM parameter)
{
    FindContext* context = reinterpret_cast<FindContext*>(parameter);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != context->pid)
        return TRUE;
    char className[64] = "";
    GetClassNameA(window, className, sizeof className);
    if (lstrcmpiA(className, context->className) == 0) {
        context->found = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK CountChild(HWND, LPARAM parameter)
{
    ++*reinterpret_cast<int*>(parameter);
    return TRUE;
}

BOOL CALLBACK CountOwned(HWND window, LPARAM parameter)
{
    FindContext* context = reinterpret_cast<FindContext*>(parameter);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == context->pid) {
        ++context->count;
        EnumChildWindows(window, CountChild, reinterpret_cast<LPARAM>(&context->count));
    }
    return TRUE;
}

// The system's handle table: one entry per open handle of every process.
struct HandleEntry {
    ULONG ownerPid;
    BYTE objectType;
    BYTE flags;
    USHORT value;
    PVOID object;
    ULONG access;
};

// Handles of a process counted in the system's table; -1 when the system does not give it.
long CountHandlesInSystemTable(DWORD pid)
{
    typedef LONG(WINAPI * Query)(ULONG, PVOID, ULONG, PULONG);
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    Query query = ntdll ? reinterpret_cast<Query>(reinterpret_cast<void*>(
                              GetProcAddress(ntdll, "NtQuerySystemInformation")))
                        : nullptr;
    if (!query)
        return -1;
    const ULONG kSystemHandleInformation = 16;
    std::vector<char> buffer(1 << 20);
    for (int attempt = 0; attempt < 6; ++attempt) {
        ULONG needed = 0;
        LONG status = query(kSystemHandleInformation, buffer.data(),
                            static_cast<ULONG>(buffer.size()), &needed);
        if (status == 0) {
            ULONG count = *reinterpret_cast<ULONG*>(buffer.data());
            const HandleEntry* entries =
                reinterpret_cast<const HandleEntry*>(buffer.data() + sizeof(ULONG_PTR));
            long mine = 0;
            for (ULONG i = 0; i < count; ++i)
                if (entries[i].ownerPid == pid)
                    ++mine;
            return mine;
        }
        buffer.resize(std::max<size_t>(buffer.size() * 2, needed + 4096));
    }
    return -1;
}

std::string ReadWholeFile(const std::string& path)
{
    std::string text;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        text.append(buffer, got);
    CloseHandle(file);
    return text;
}

std::string Lower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

} // namespace

double NowMs()
{
    static const LARGE_INTEGER frequency = Frequency();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

double CounterToMs(long long ticks)
{
    static const LARGE_INTEGER frequency = Frequency();
    return static_cast<double>(ticks) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

Target::Target(const std::string& folder, const std::string& desktop)
    : folder(folder), desktopName(desktop), desktop(nullptr), window(nullptr), pane(nullptr),
      remote(nullptr), remoteSize(0), linuxPid(0)
{
    std::memset(&process, 0, sizeof process);
    if (!desktopName.empty())
        this->desktop = OpenDesktopA(desktopName.c_str(), 0, FALSE, DESKTOP_READOBJECTS | DESKTOP_ENUMERATE);
}

void Target::EnumTopWindows(WNDENUMPROC callback, LPARAM parameter) const
{
    if (desktop)
        EnumDesktopWindows(desktop, callback, parameter);
    else
        EnumWindows(callback, parameter);
}

HWND Target::FindWindowOf(const char* className) const
{
    FindContext context{process.dwProcessId, className, nullptr, 0};
    EnumTopWindows(FindByClass, reinterpret_cast<LPARAM>(&context));
    return context.found;
}

Target::~Target()
{
    if (desktop)
        CloseDesktop(desktop);
    if (!process.hProcess)
        return;
    if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process.hProcess, 99);
        WaitForSingleObject(process.hProcess, 5000);
    }
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
}

bool Target::Start(double* startupMs, DWORD timeoutMs)
{
    std::string exe = folder + "Velqueth.exe";
    std::string commandLine = "\"" + exe + "\"";
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    std::string desktopPath = "WinSta0\\" + desktopName;
    if (!desktopName.empty()) {
        if (!desktop)
            return false;
        startup.lpDesktop = &desktopPath[0];
    }
    double start = NowMs();
    if (!CreateProcessA(exe.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.c_str(), &startup, &process))
        return false;
    for (;;) {
        if (!window)
            window = FindWindowOf("VELQUETH");
        if (window && !pane)
            pane = GetDlgItem(window, kPaneId);
        if (pane) {
            DWORD_PTR length = 0;
            if (SendMessageTimeoutA(pane, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, kAnswerMs, &length) &&
                length > 0)
                break;
        }
        if (NowMs() - start > timeoutMs || WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0)
            return false;
        Sleep(1);
    }
    if (startupMs)
        *startupMs = NowMs() - start;

    remoteSize = 1 << 20;
    remote = static_cast<char*>(VirtualAllocEx(process.hProcess, nullptr, remoteSize + 4096,
                                               MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    // Wait until the window is shown and idle, as a user would before asking for anything.
    WaitForInputIdle(process.hProcess, 10000);
    return remote != nullptr;
}

bool Target::Close(DWORD timeoutMs)
{
    if (!process.hProcess)
        return true;
    if (remote) {
        VirtualFreeEx(process.hProcess, remote, 0, MEM_RELEASE);
        remote = nullptr;
    }
    PostMessageA(window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0)
        return true;
    TerminateProcess(process.hProcess, 98);
    WaitForSingleObject(process.hProcess, 5000);
    return false;
}

void Target::Command(WORD id) const
{
    PostMessageA(window, WM_COMMAND, id, 0);
}

HWND Target::CurrentPane() const
{
    // A full log goes on in a new pane window with the same id.
    if (!IsWindow(pane) && window)
        pane = GetDlgItem(window, kPaneId);
    return pane;
}

long Target::Length() const
{
    // Asked across processes, Wine answers WM_GETTEXTLENGTH by reading the whole text (tens of
    // milliseconds for megabytes, paid by the program's user-interface thread at every poll).
    // EM_GETTEXTLENGTHEX with its record inside the program answers from the count alone.
    DWORD_PTR length = 0;
    if (remote) {
        GETTEXTLENGTHEX how = {GTL_DEFAULT, CP_ACP};
        char* record = remote + remoteSize + 2048;
        if (WriteProcessMemory(process.hProcess, record, &how, sizeof how, nullptr) &&
            SendMessageTimeoutA(CurrentPane(), EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(record), 0,
                                SMTO_NORMAL, kAnswerMs, &length) &&
            static_cast<LONG_PTR>(length) >= 0)
            return static_cast<long>(length);
    }
    // A pane replaced while the question was on its way does not answer: ask the new one.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (SendMessageTimeoutA(CurrentPane(), WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, kAnswerMs,
                                &length))
            return static_cast<long>(length);
        Sleep(10);
    }
    return -1;
}

bool Target::Read(long from, long to, std::string* text) const
{
    text->clear();
    if (!remote || from < 0 || to < from)
        return false;
    std::vector<char> piece;
    while (from < to) {
        long count = to - from;
        if (static_cast<SIZE_T>(count) > remoteSize)
            count = static_cast<long>(remoteSize);
        TEXTRANGEA range;
        range.chrg.cpMin = from;
        range.chrg.cpMax = from + count;
        range.lpstrText = remote + sizeof(TEXTRANGEA) + 16;
        if (!WriteProcessMemory(process.hProcess, remote, &range, sizeof range, nullptr))
            return false;
        DWORD_PTR got = 0;
        if (!SendMessageTimeoutA(CurrentPane(), EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(remote),
                                 SMTO_NORMAL, kAnswerMs, &got))
            return false;
        if (got == 0)
            return false;
        piece.resize(got);
        if (!ReadProcessMemory(process.hProcess, range.lpstrText, piece.data(), got, nullptr))
            return false;
        text->append(piece.data(), got);
        from += static_cast<long>(got);
    }
    return true;
}

bool Target::EndsWith(long length, const std::string& suffix) const
{
    long size = static_cast<long>(suffix.size());
    if (length < size)
        return false;
    std::string tail;
    return Read(length - size, length, &tail) && tail == suffix;
}

bool Target::Append(const std::string& text) const
{
    // The system carries EM_REPLACESEL's text across to the program itself.
    DWORD_PTR answer = 0;
    return SendMessageTimeoutA(CurrentPane(), EM_SETSEL, 0x7FFFFFFF, 0x7FFFFFFF, SMTO_NORMAL, kAnswerMs,
                               &answer) &&
           SendMessageTimeoutA(CurrentPane(), EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()),
                               SMTO_NORMAL, kAnswerMs * 4, &answer);
}

ProcessCounters Target::Counters() const
{
    ProcessCounters counters;
    std::memset(&counters, 0, sizeof counters);
    PROCESS_MEMORY_COUNTERS_EX memory;
    std::memset(&memory, 0, sizeof memory);
    memory.cb = sizeof memory;
    counters.memoryOk = GetProcessMemoryInfo(process.hProcess,
                                             reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                                             sizeof memory) != FALSE;
    counters.privateBytes = memory.PrivateUsage;
    counters.linuxPrivate = LinuxPrivateBytes();
    counters.workingSet = memory.WorkingSetSize;
    counters.handlesOk = GetProcessHandleCount(process.hProcess, &counters.handles) != FALSE;
    counters.tableHandles = CountHandlesInSystemTable(process.dwProcessId);
    SetLastError(0);
    counters.gdiObjects = GetGuiResources(process.hProcess, GR_GDIOBJECTS);
    counters.gdiError = counters.gdiObjects ? 0 : GetLastError();
    SetLastError(0);
    counters.userObjects = GetGuiResources(process.hProcess, GR_USEROBJECTS);
    counters.userError = counters.userObjects ? 0 : GetLastError();
    counters.threads = ThreadCount();
    FindContext context{process.dwProcessId, "", nullptr, 0};
    EnumTopWindows(CountOwned, reinterpret_cast<LPARAM>(&context));
    counters.windows = context.count;
    return counters;
}

long long Target::LinuxPrivateBytes() const
{
    // Wine names each Linux process after its Windows command line; the benchmark runs one copy
    // of the program at a time, so the folder's name finds it.
    if (linuxPid == 0) {
        std::string needle = Lower(folder + "Velqueth.exe");
        WIN32_FIND_DATAA entry;
        HANDLE search = FindFirstFileA("Z:\\proc\\*", &entry);
        if (search == INVALID_HANDLE_VALUE)
            return -1;
        do {
            if (entry.cFileName[0] < '1' || entry.cFileName[0] > '9')
                continue;
            std::string line = ReadWholeFile(std::string("Z:\\proc\\") + entry.cFileName + "\\cmdline");
            for (char& c : line)
                if (c == '\0')
                    c = ' ';
            if (Lower(line).find(needle) != std::string::npos) {
                linuxPid = std::strtoul(entry.cFileName, nullptr, 10);
                break;
            }
        } while (FindNextFileA(search, &entry));
        FindClose(search);
        if (linuxPid == 0)
            return -1;
    }
    // Resident anonymous memory: the heaps and every other private allocation that is in use.
    std::string status = ReadWholeFile("Z:\\proc\\" + std::to_string(linuxPid) + "\\status");
    size_t at = status.find("RssAnon:");
    if (at == std::string::npos)
        return -1;
    return std::strtoll(status.c_str() + at + 8, nullptr, 10) * 1024;
}

int Target::ThreadCount() const
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return -1;
    int count = 0;
    THREADENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == process.dwProcessId)
            ++count;
    CloseHandle(snapshot);
    return count;
}

DWORD Target::ChildPid(const char* imageName) const
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    DWORD found = 0;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more && !found;
         more = Process32Next(snapshot, &entry))
        if (entry.th32ParentProcessID == process.dwProcessId &&
            lstrcmpiA(entry.szExeFile, imageName) == 0)
            found = entry.th32ProcessID;
    CloseHandle(snapshot);
    return found;
}

bool Target::DismissMessageBox(std::string* text) const
{
    HWND box = FindWindowOf("#32770");
    if (!box || !IsWindowVisible(box))
        return false;
    char buffer[512] = "";
    GetDlgItemTextA(box, 0xFFFF, buffer, sizeof buffer);
    if (text)
        *text = buffer;
    HWND ok = GetDlgItem(box, IDOK);
    if (ok)
        PostMessageA(ok, BM_CLICK, 0, 0);
    else
        PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
    return true;
}
