// The counts of the driven program's objects: memory, handles, GDI and USER objects, windows,
// threads, and its child processes.
#include "driver/Driver.h"

#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

BOOL CALLBACK CountChild(HWND, LPARAM parameter)
{
    ++*reinterpret_cast<int*>(parameter);
    return TRUE;
}

struct OwnedCount {
    DWORD pid;
    int count;
};

BOOL CALLBACK CountOwned(HWND window, LPARAM parameter)
{
    OwnedCount* owned = reinterpret_cast<OwnedCount*>(parameter);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == owned->pid) {
        ++owned->count;
        EnumChildWindows(window, CountChild, reinterpret_cast<LPARAM>(&owned->count));
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

ProcessCounters Driver::Counters() const
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
    OwnedCount owned{process.dwProcessId, 0};
    EnumTopWindows(CountOwned, reinterpret_cast<LPARAM>(&owned));
    counters.windows = owned.count;
    return counters;
}

long long Driver::LinuxPrivateBytes() const
{
    // Wine names each Linux process after its Windows command line, and each driver's copy of
    // the program has a folder of its own.
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

int Driver::ThreadCount() const
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

DWORD Driver::ChildPid(const char* imageName) const
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
