#include "TestSupport.h"

#include <richedit.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstring>

#include "base/Seams.h"

namespace testing_support {

std::string ExeDirectory()
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string p(path);
    size_t slash = p.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : p.substr(0, slash + 1);
}

std::string BesideExe(const std::string& name)
{
    return ExeDirectory() + name;
}

std::string OwnIniPath()
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string p(path);
    size_t dot = p.find_last_of('.');
    size_t slash = p.find_last_of("\\/");
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        p.erase(dot);
    return p + ".ini";
}

namespace {

// Serves the thread's messages for at most 20 ms (a flood keeps the queue full, and the caller
// looks at its condition again in between), then waits a little for more.
void PumpSlice()
{
    MSG msg;
    DWORD slice = GetTickCount();
    while (GetTickCount() - slice < 20 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
}

} // namespace

void PumpFor(DWORD milliseconds)
{
    DWORD start = GetTickCount();
    do {
        PumpSlice();
    } while (GetTickCount() - start < milliseconds);
}

bool PumpUntil(const std::function<bool()>& condition, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return condition();
        PumpSlice();
    }
}

std::string ReadFileText(const std::string& path)
{
    std::string text;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return text;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, n);
    std::fclose(file);
    return text;
}

bool WriteFileText(const std::string& path, const std::string& text)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && ok;
}

bool FileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

static void RemoveIni(const std::string& path)
{
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
    // The profile API may cache a file; flushing makes the next read go to the disk.
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());
}

IniFileGuard::IniFileGuard() : path(OwnIniPath())
{
    RemoveIni(path);
}

IniFileGuard::IniFileGuard(const std::string& contents) : path(OwnIniPath())
{
    RemoveIni(path);
    WriteFileText(path, contents);
}

IniFileGuard::~IniFileGuard()
{
    RemoveIni(path);
}

namespace {
std::vector<RecordedBox> recordedBoxes;
int boxAnswer = IDOK;

int WINAPI RecordBox(HWND owner, LPCSTR text, LPCSTR caption, UINT style)
{
    recordedBoxes.push_back({owner, text ? text : "<null>", caption ? caption : "<null>", style});
    return boxAnswer;
}

std::vector<RecordedShellCall> recordedShellCalls;

HINSTANCE WINAPI RecordShell(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR params, LPCSTR dir,
                             INT show)
{
    recordedShellCalls.push_back({owner, verb ? verb : "<null>", file ? file : "<null>",
                                  params ? params : "<null>", dir ? dir : "<null>", show});
    return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(33));
}
} // namespace

MessageBoxRecorder::MessageBoxRecorder(int answer)
{
    recordedBoxes.clear();
    boxAnswer = answer;
    seams::messageBox = RecordBox;
}

MessageBoxRecorder::~MessageBoxRecorder()
{
    seams::messageBox = MessageBoxA;
    recordedBoxes.clear();
}

const std::vector<RecordedBox>& MessageBoxRecorder::Boxes() const
{
    return recordedBoxes;
}

void MessageBoxRecorder::Clear()
{
    recordedBoxes.clear();
}

ShellExecuteRecorder::ShellExecuteRecorder()
{
    recordedShellCalls.clear();
    seams::shellExecute = RecordShell;
}

ShellExecuteRecorder::~ShellExecuteRecorder()
{
    seams::Restore();
    recordedShellCalls.clear();
}

const std::vector<RecordedShellCall>& ShellExecuteRecorder::Calls() const
{
    return recordedShellCalls;
}

MenuItem ReadMenuItem(HMENU menu, UINT position)
{
    char buffer[512] = {};
    MENUITEMINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STATE | MIIM_STRING | MIIM_SUBMENU;
    info.dwTypeData = buffer;
    info.cch = sizeof buffer;
    MenuItem item;
    item.ok = GetMenuItemInfoA(menu, position, TRUE, &info) != FALSE;
    item.separator = (info.fType & MFT_SEPARATOR) != 0;
    item.id = info.wID;
    item.state = info.fState;
    item.submenu = info.hSubMenu;
    item.text = item.separator ? "" : buffer;
    return item;
}

std::vector<MenuItem> MenuItems(HMENU menu)
{
    std::vector<MenuItem> items;
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i)
        items.push_back(ReadMenuItem(menu, static_cast<UINT>(i)));
    return items;
}

std::string WindowText(HWND window)
{
    LRESULT length = SendMessageA(window, WM_GETTEXTLENGTH, 0, 0);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    LRESULT got = SendMessageA(window, WM_GETTEXT, static_cast<WPARAM>(length + 1),
                               reinterpret_cast<LPARAM>(&text[0]));
    text.resize(static_cast<size_t>(got));
    return text;
}

std::string RichTextUtf8(HWND richEdit)
{
    LRESULT length = SendMessageA(richEdit, WM_GETTEXTLENGTH, 0, 0);
    std::string text(4 * static_cast<size_t>(length) + 4, '\0');
    GETTEXTEX how = {static_cast<DWORD>(text.size()), GT_DEFAULT, CP_UTF8, nullptr, nullptr};
    LRESULT got = SendMessageA(richEdit, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&how),
                               reinterpret_cast<LPARAM>(&text[0]));
    text.resize(got > 0 ? std::strlen(text.c_str()) : 0);
    return text;
}

COLORREF ColourAt(HWND richEdit, int pos, bool* automatic)
{
    SendMessageA(richEdit, EM_SETSEL, pos, pos + 1);
    CHARFORMATA format;
    std::memset(&format, 0, sizeof format);
    format.cbSize = sizeof format;
    format.dwMask = CFM_COLOR;
    SendMessageA(richEdit, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    if (automatic)
        *automatic = (format.dwEffects & CFE_AUTOCOLOR) != 0;
    return format.crTextColor;
}

std::string StyledText(HWND richEdit)
{
    const std::string text = WindowText(richEdit);
    std::string styled, last;
    for (size_t pos = 0; pos < text.size(); ++pos) {
        SendMessageA(richEdit, EM_SETSEL, pos, pos + 1);
        CHARFORMAT2A format;
        std::memset(&format, 0, sizeof format);
        format.cbSize = sizeof format;
        format.dwMask = CFM_COLOR | CFM_BACKCOLOR | CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_STRIKEOUT;
        SendMessageA(richEdit, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
        char style[64] = "";
        auto add = [&style](const char* part, COLORREF colour) {
            size_t at = std::strlen(style);
            std::snprintf(style + at, sizeof style - at, part, GetRValue(colour), GetGValue(colour),
                          GetBValue(colour));
        };
        if (!(format.dwEffects & CFE_AUTOCOLOR))
            add(",fg=#%02X%02X%02X", format.crTextColor);
        if (!(format.dwEffects & CFE_AUTOBACKCOLOR))
            add(",bg=#%02X%02X%02X", format.crBackColor);
        const DWORD effects[4] = {CFE_BOLD, CFE_ITALIC, CFE_UNDERLINE, CFE_STRIKEOUT};
        for (int i = 0; i < 4; ++i) {
            if (format.dwEffects & effects[i])
                add(i == 0 ? ",B" : i == 1 ? ",I" : i == 2 ? ",U" : ",S", 0);
        }
        std::string now = std::string("{") + (style[0] ? style + 1 : "") + "}";
        if (now != last)
            styled += now;
        last = now;
        styled += text[pos];
    }
    return styled;
}

DWORD HandleCount()
{
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count > 0)
        return count;
    // Wine answers 0: count the handle values that the system accepts, one by one.
    count = 0;
    for (UINT_PTR value = 4; value < 0x10000; value += 4) {
        DWORD flags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags))
            ++count;
    }
    return count;
}

int CountProcesses(const char* name)
{
    int count = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return -1;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        if (lstrcmpiA(entry.szExeFile, name) == 0)
            ++count;
    CloseHandle(snapshot);
    return count;
}

void KillProcesses(const char* name)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        if (lstrcmpiA(entry.szExeFile, name) != 0)
            continue;
        HANDLE p = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID);
        if (p) {
            TerminateProcess(p, 97);
            WaitForSingleObject(p, 2000);
            CloseHandle(p);
        }
    }
    CloseHandle(snapshot);
}

Captured RunAndCapture(const std::string& application, const std::string& commandLine,
                       DWORD timeoutMs)
{
    Captured captured;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        return captured;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    std::string line = commandLine;
    PROCESS_INFORMATION process = {};
    BOOL started = CreateProcessA(application.empty() ? nullptr : application.c_str(), &line[0],
                                  nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                                  &startup, &process);
    CloseHandle(writeEnd);
    if (started) {
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0)
            captured.output.append(buffer, got);
        WaitForSingleObject(process.hProcess, timeoutMs);
        GetExitCodeProcess(process.hProcess, &captured.exitCode);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
        captured.ran = true;
    }
    CloseHandle(readEnd);
    return captured;
}

std::string Unix(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        out += text[i];
    }
    return out;
}

std::string Garbage(size_t size, unsigned seed)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        seed = seed * 1103515245u + 12345u;
        bytes[i] = static_cast<char>(seed >> 16);
    }
    return bytes;
}

std::string Vqchild()
{
    return BesideExe("vqchild.exe");
}

std::string Quoted(const std::string& path)
{
    return "\"" + path + "\"";
}

std::string ChildCommand(const std::string& script)
{
    return Quoted(Vqchild()) + " " + script;
}

namespace {
int gatesMade = 0;
} // namespace

Gate::Gate()
    : name("VelquethTestGate" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(++gatesMade)),
      event(CreateEventA(nullptr, TRUE, FALSE, name.c_str()))
{
}

Gate::~Gate()
{
    Open();
    CloseHandle(event);
}

void Gate::Open()
{
    SetEvent(event);
}

} // namespace testing_support
