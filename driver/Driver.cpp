#include "driver/Driver.h"

#include <richedit.h>

#include <algorithm>
#include <cstring>

#include "res/Commands.h"

namespace {

const DWORD kAnswerMs = 30000;  // a program that takes longer than this to answer counts as hung

LARGE_INTEGER Frequency()
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return frequency;
}

std::string ExeDirectory()
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string directory = path;
    return directory.substr(0, directory.find_last_of("\\/") + 1);
}

struct WindowSearch {
    DWORD pid;
    const char* className;
    bool visibleOnly;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectByClass(HWND window, LPARAM parameter)
{
    WindowSearch* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != search->pid || (search->visibleOnly && !IsWindowVisible(window)))
        return TRUE;
    char className[64] = "";
    GetClassNameA(window, className, sizeof className);
    if (lstrcmpiA(className, search->className) == 0)
        search->found.push_back(window);
    return TRUE;
}

BOOL CALLBACK CollectTitled(HWND window, LPARAM parameter)
{
    char title[64] = "";
    GetWindowTextA(window, title, sizeof title);
    if (std::strcmp(title, "Velqueth") == 0)
        reinterpret_cast<std::vector<HWND>*>(parameter)->push_back(window);
    return TRUE;
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

bool WaitUntil(DWORD timeoutMs, const std::function<bool()>& condition, DWORD stepMs)
{
    DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(stepMs);
    }
    return true;
}

Driver::Driver(const std::string& folderName, const std::string& desktop)
    : folder(ExeDirectory() + folderName + "\\"), desktopName(desktop), desktop(nullptr),
      window(nullptr), pane(nullptr), remote(nullptr), remoteSize(0), linuxPid(0)
{
    std::memset(&process, 0, sizeof process);
    CreateDirectoryA(folder.c_str(), nullptr);
    DeleteFileA(IniPath().c_str());
    CopyFileA((ExeDirectory() + "Velqueth.exe").c_str(), ExePath().c_str(), FALSE);
    CopyFileA((ExeDirectory() + "Velqueth.chm").c_str(), (folder + "Velqueth.chm").c_str(), FALSE);
    if (!desktopName.empty())
        this->desktop = OpenDesktopA(desktopName.c_str(), 0, FALSE, DESKTOP_READOBJECTS | DESKTOP_ENUMERATE);
}

Driver::~Driver()
{
    if (desktop)
        CloseDesktop(desktop);
    if (process.hProcess) {
        if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(process.hProcess, 99);
            WaitForSingleObject(process.hProcess, 5000);
        }
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    DeleteFileA(IniPath().c_str());
}

bool Driver::WriteIni(const std::string& text) const
{
    HANDLE file = CreateFileA(IniPath().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == text.size();
}

void Driver::EnumTopWindows(WNDENUMPROC callback, LPARAM parameter) const
{
    if (desktop)
        EnumDesktopWindows(desktop, callback, parameter);
    else
        EnumWindows(callback, parameter);
}

HWND Driver::FindWindowOf(const char* className) const
{
    WindowSearch search{process.dwProcessId, className, false, {}};
    EnumTopWindows(CollectByClass, reinterpret_cast<LPARAM>(&search));
    return search.found.empty() ? nullptr : search.found.front();
}

bool Driver::Launch(const std::string& arguments, PROCESS_INFORMATION* launched) const
{
    std::string commandLine = "\"" + ExePath() + "\"";
    if (!arguments.empty())
        commandLine += " " + arguments;
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
    return CreateProcessA(ExePath().c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          folder.c_str(), &startup, launched) != FALSE;
}

bool Driver::Start(const std::string& arguments, double* startupMs, DWORD timeoutMs)
{
    double start = NowMs();
    if (!Launch(arguments, &process))
        return false;
    // The window can be found while it is still inside its creation: wait until it is visible
    // (Wine shows nothing on a desktop of another name), its toolbar exists and its log shows
    // the banner.
    bool up = WaitUntil(timeoutMs, [this] {
        if (!window)
            window = FindWindowOf("VELQUETH");
        DWORD_PTR length = 0;
        return (window && (IsWindowVisible(window) || desktop) && Pane() && Toolbar() &&
                SendMessageTimeoutA(Pane(), WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, kAnswerMs, &length) &&
                length > 0) ||
               WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0;
    }, 1);
    if (!up || WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0)
        return false;
    if (startupMs)
        *startupMs = NowMs() - start;
    remoteSize = 1 << 20;
    remote = static_cast<char*>(VirtualAllocEx(process.hProcess, nullptr, remoteSize + 4096,
                                               MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    // Idle, as a user would wait before asking for anything.
    WaitForInputIdle(process.hProcess, 10000);
    return remote != nullptr;
}

DWORD Driver::RunSecondCopy(const std::string& arguments, DWORD timeoutMs) const
{
    PROCESS_INFORMATION second;
    if (!Launch(arguments, &second))
        return ~0u;
    DWORD code = ~0u;
    if (WaitForSingleObject(second.hProcess, timeoutMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(second.hProcess, &code);
    else
        TerminateProcess(second.hProcess, 98);
    CloseHandle(second.hProcess);
    CloseHandle(second.hThread);
    return code;
}

DWORD Driver::Close(DWORD timeoutMs)
{
    if (!process.hProcess)
        return ~0u;
    if (remote) {
        VirtualFreeEx(process.hProcess, remote, 0, MEM_RELEASE);
        remote = nullptr;
    }
    PostMessageA(window, WM_CLOSE, 0, 0);
    return WaitForExit(timeoutMs);
}

DWORD Driver::WaitForExit(DWORD timeoutMs) const
{
    DWORD code = ~0u;
    if (process.hProcess && WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &code);
    return code;
}

HWND Driver::Pane() const
{
    if (!IsWindow(pane) && window)
        pane = GetDlgItem(window, IDC_PANE);
    return pane;
}

HWND Driver::Toolbar() const
{
    return window ? GetDlgItem(window, IDC_TOOLBAR) : nullptr;
}

void Driver::Command(WORD id) const
{
    PostMessageA(window, WM_COMMAND, id, 0);
}

std::string Driver::LogText() const
{
    HWND log = Pane();
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(log, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, kAnswerMs, &length))
        return std::string();
    std::vector<char> text(length + 1, '\0');
    DWORD_PTR got = 0;
    SendMessageTimeoutA(log, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_NORMAL,
                        kAnswerMs, &got);
    return std::string(text.data(), std::min<size_t>(got, length));
}

long Driver::Length() const
{
    // Asked across processes, Wine answers WM_GETTEXTLENGTH by reading the whole text, paid by
    // the program's user-interface thread at every poll; EM_GETTEXTLENGTHEX with its record
    // inside the program answers from the count alone.
    DWORD_PTR length = 0;
    if (remote) {
        GETTEXTLENGTHEX how = {GTL_DEFAULT, CP_ACP};
        char* record = remote + remoteSize + 2048;
        if (WriteProcessMemory(process.hProcess, record, &how, sizeof how, nullptr) &&
            SendMessageTimeoutA(Pane(), EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(record), 0,
                                SMTO_NORMAL, kAnswerMs, &length) &&
            static_cast<LONG_PTR>(length) >= 0)
            return static_cast<long>(length);
    }
    // A pane replaced while the question was on its way does not answer: ask the new one.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (SendMessageTimeoutA(Pane(), WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, kAnswerMs, &length))
            return static_cast<long>(length);
        Sleep(10);
    }
    return -1;
}

bool Driver::Read(long from, long to, std::string* text) const
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
        if (!SendMessageTimeoutA(Pane(), EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(remote),
                                 SMTO_NORMAL, kAnswerMs, &got) ||
            got == 0)
            return false;
        piece.resize(got);
        if (!ReadProcessMemory(process.hProcess, range.lpstrText, piece.data(), got, nullptr))
            return false;
        text->append(piece.data(), got);
        from += static_cast<long>(got);
    }
    return true;
}

bool Driver::EndsWith(long length, const std::string& suffix) const
{
    long size = static_cast<long>(suffix.size());
    if (length < size)
        return false;
    std::string tail;
    return Read(length - size, length, &tail) && tail == suffix;
}

bool Driver::WaitForLog(const std::string& needle, DWORD timeoutMs) const
{
    return WaitUntil(timeoutMs, [&] { return LogText().find(needle) != std::string::npos; });
}

bool Driver::WaitForLogEnd(const std::string& suffix, DWORD timeoutMs) const
{
    return WaitUntil(timeoutMs, [&] {
        std::string text = LogText();
        return text.size() >= suffix.size() &&
               text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
    });
}

COLORREF Driver::ColourAt(int position, bool* automatic) const
{
    CHARFORMATA format;
    std::memset(&format, 0, sizeof format);
    format.cbSize = sizeof format;
    format.dwMask = CFM_COLOR;
    char* record = remote + remoteSize + 1024;
    if (!remote || !WriteProcessMemory(process.hProcess, record, &format, sizeof format, nullptr))
        return CLR_INVALID;
    SendMessageA(Pane(), EM_SETSEL, position, position + 1);
    SendMessageA(Pane(), EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(record));
    if (!ReadProcessMemory(process.hProcess, record, &format, sizeof format, nullptr))
        return CLR_INVALID;
    if (automatic)
        *automatic = (format.dwEffects & CFE_AUTOCOLOR) != 0;
    return format.crTextColor;
}

bool Driver::Selection(long* start, long* end) const
{
    CHARRANGE range = {-1, -1};
    char* record = remote + remoteSize + 3072;
    DWORD_PTR answer = 0;
    if (!remote || !SendMessageTimeoutA(Pane(), EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(record),
                                        SMTO_NORMAL, kAnswerMs, &answer) ||
        !ReadProcessMemory(process.hProcess, record, &range, sizeof range, nullptr))
        return false;
    *start = range.cpMin;
    *end = range.cpMax;
    return true;
}

bool Driver::PointOf(long position, POINT* screen) const
{
    POINTL point = {-1, -1};
    char* record = remote + remoteSize + 1024;
    if (!remote || !WriteProcessMemory(process.hProcess, record, &point, sizeof point, nullptr))
        return false;
    SendMessageA(Pane(), EM_POSFROMCHAR, reinterpret_cast<WPARAM>(record), position);
    if (!ReadProcessMemory(process.hProcess, record, &point, sizeof point, nullptr))
        return false;
    screen->x = point.x;
    screen->y = point.y;
    return ClientToScreen(Pane(), screen) != FALSE;
}

bool Driver::Append(const std::string& text) const
{
    // The system carries EM_REPLACESEL's text across to the program itself.
    DWORD_PTR answer = 0;
    return SendMessageTimeoutA(Pane(), EM_SETSEL, 0x7FFFFFFF, 0x7FFFFFFF, SMTO_NORMAL, kAnswerMs, &answer) &&
           SendMessageTimeoutA(Pane(), EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()),
                               SMTO_NORMAL, kAnswerMs * 4, &answer);
}

std::vector<HWND> Driver::Boxes() const
{
    WindowSearch search{process.dwProcessId, "#32770", true, {}};
    EnumTopWindows(CollectByClass, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND Driver::FindMessageBox(std::string* text, std::string* caption, DWORD timeoutMs) const
{
    HWND box = nullptr;
    WaitUntil(timeoutMs, [&] {
        std::vector<HWND> boxes = Boxes();
        box = boxes.empty() ? nullptr : boxes.front();
        return box != nullptr;
    });
    if (box && text)
        *text = BoxText(box);
    if (box && caption) {
        char buffer[512] = "";
        GetWindowTextA(box, buffer, sizeof buffer);
        *caption = buffer;
    }
    return box;
}

std::string Driver::BoxText(HWND box)
{
    char text[2048] = "";
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    return text;
}

void Driver::Dismiss(HWND box)
{
    HWND ok = GetDlgItem(box, IDOK);
    if (ok)
        SendMessageA(ok, BM_CLICK, 0, 0);
    else
        PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
}

std::vector<HWND> WindowsTitledVelqueth()
{
    std::vector<HWND> windows;
    EnumWindows(CollectTitled, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

void PressKeyWith(WORD modifier, WORD key)
{
    INPUT inputs[4];
    ZeroMemory(inputs, sizeof inputs);
    for (INPUT& input : inputs)
        input.type = INPUT_KEYBOARD;
    inputs[0].ki.wVk = modifier;
    inputs[1].ki.wVk = key;
    inputs[2].ki.wVk = key;
    inputs[2].ki.dwFlags = KEYEVENTF_KEYUP;
    inputs[3].ki.wVk = modifier;
    inputs[3].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(4, inputs, sizeof(INPUT));
}

void PressKey(WORD key)
{
    INPUT inputs[2];
    ZeroMemory(inputs, sizeof inputs);
    inputs[0].type = inputs[1].type = INPUT_KEYBOARD;
    inputs[0].ki.wVk = inputs[1].ki.wVk = key;
    inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, inputs, sizeof(INPUT));
}
