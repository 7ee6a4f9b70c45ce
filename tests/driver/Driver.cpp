#include "Driver.h"

#include <richedit.h>

#include <cstring>

#include "support/TestSupport.h"

using testing_support::BesideExe;
using testing_support::PumpFor;

namespace {

bool WaitFor(DWORD timeoutMs, bool (*condition)(void*), void* context)
{
    DWORD start = GetTickCount();
    while (!condition(context)) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(20);
    }
    return true;
}

struct FindContext {
    DWORD processId;
    HWND found;
    const char* className;
    std::string* text;
    std::string* caption;
};

BOOL CALLBACK FindMainWindow(HWND window, LPARAM parameter)
{
    FindContext* context = reinterpret_cast<FindContext*>(parameter);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    char className[64] = "";
    GetClassNameA(window, className, sizeof className);
    if (pid == context->processId && lstrcmpiA(className, context->className) == 0) {
        context->found = window;
        return FALSE;
    }
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

Driver::Driver(const std::string& folderName) : window(nullptr)
{
    ZeroMemory(&process, sizeof process);
    folder = BesideExe("drive-" + folderName + "\\");
    CreateDirectoryA(folder.c_str(), nullptr);
    DeleteFileA(IniPath().c_str());
    CopyFileA(BesideExe("Velqueth.exe").c_str(), ExePath().c_str(), FALSE);
    CopyFileA(BesideExe("Velqueth.chm").c_str(), (folder + "Velqueth.chm").c_str(), FALSE);
}

Driver::~Driver()
{
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

void Driver::WriteIni(const std::string& text) const
{
    testing_support::WriteFileText(IniPath(), text);
}

bool Driver::Launch(const std::string& arguments, PROCESS_INFORMATION* launched) const
{
    std::string commandLine = "\"" + ExePath() + "\"";
    if (!arguments.empty())
        commandLine += " " + arguments;
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');
    return CreateProcessA(ExePath().c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          folder.c_str(), &startup, launched) != FALSE;
}

bool Driver::Start(const std::string& arguments)
{
    if (!Launch(arguments, &process))
        return false;
    WaitForInputIdle(process.hProcess, 10000);
    // The window can be found while it is still inside its creation: wait until it is visible
    // and its pane and toolbar exist.
    struct Ready {
        Driver* self;
    } ready{this};
    return WaitFor(15000, [](void* c) -> bool {
        Driver* self = static_cast<Ready*>(c)->self;
        FindContext context{self->process.dwProcessId, nullptr, "VELQUETH", nullptr, nullptr};
        EnumWindows(FindMainWindow, reinterpret_cast<LPARAM>(&context));
        self->window = context.found;
        return self->window && IsWindowVisible(self->window) && self->Pane() && self->Toolbar();
    }, &ready);
}

DWORD Driver::RunSecondCopy(const std::string& arguments, DWORD timeoutMs)
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

HWND Driver::Pane() const
{
    return window ? GetDlgItem(window, 109) : nullptr;
}

HWND Driver::Toolbar() const
{
    return window ? GetDlgItem(window, 500) : nullptr;
}

std::string Driver::LogText() const
{
    return testing_support::WindowText(Pane());
}

bool Driver::WaitForLog(const std::string& needle, DWORD timeoutMs) const
{
    DWORD start = GetTickCount();
    while (LogText().find(needle) == std::string::npos) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(20);
    }
    return true;
}

bool Driver::WaitForLogEnd(const std::string& suffix, DWORD timeoutMs) const
{
    DWORD start = GetTickCount();
    for (;;) {
        std::string text = LogText();
        if (text.size() >= suffix.size() &&
            text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0)
            return true;
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(20);
    }
}

COLORREF Driver::ColourAt(int position, bool* automatic) const
{
    // EM_GETCHARFORMAT writes into the caller's memory, which must be the program's own.
    HWND pane = Pane();
    CHARFORMATA format;
    ZeroMemory(&format, sizeof format);
    format.cbSize = sizeof format;
    format.dwMask = CFM_COLOR;
    void* remote = VirtualAllocEx(process.hProcess, nullptr, sizeof format, MEM_COMMIT,
                                  PAGE_READWRITE);
    if (!remote)
        return CLR_INVALID;
    WriteProcessMemory(process.hProcess, remote, &format, sizeof format, nullptr);
    SendMessageA(pane, EM_SETSEL, position, position + 1);
    SendMessageA(pane, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(remote));
    ReadProcessMemory(process.hProcess, remote, &format, sizeof format, nullptr);
    VirtualFreeEx(process.hProcess, remote, 0, MEM_RELEASE);
    if (automatic)
        *automatic = (format.dwEffects & CFE_AUTOCOLOR) != 0;
    return format.crTextColor;
}

void Driver::Command(WORD id) const
{
    PostMessageA(window, WM_COMMAND, id, 0);
}

HWND Driver::FindMessageBox(std::string* text, std::string* caption, DWORD timeoutMs) const
{
    DWORD start = GetTickCount();
    for (;;) {
        FindContext context{process.dwProcessId, nullptr, "#32770", nullptr, nullptr};
        EnumWindows(FindMainWindow, reinterpret_cast<LPARAM>(&context));
        if (context.found && IsWindowVisible(context.found)) {
            char buffer[2048] = "";
            if (text) {
                GetDlgItemTextA(context.found, 0xFFFF, buffer, sizeof buffer);
                *text = buffer;
            }
            if (caption) {
                GetWindowTextA(context.found, buffer, sizeof buffer);
                *caption = buffer;
            }
            return context.found;
        }
        if (GetTickCount() - start > timeoutMs)
            return nullptr;
        Sleep(20);
    }
}

void Driver::Dismiss(HWND box)
{
    HWND ok = GetDlgItem(box, IDOK);
    if (ok)
        SendMessageA(ok, BM_CLICK, 0, 0);
    else
        PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
}

DWORD Driver::Close(DWORD timeoutMs)
{
    PostMessageA(window, WM_CLOSE, 0, 0);
    return WaitForExit(timeoutMs);
}

DWORD Driver::WaitForExit(DWORD timeoutMs)
{
    DWORD code = ~0u;
    if (process.hProcess && WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &code);
    return code;
}

std::vector<HWND> WindowsTitledVelqueth()
{
    std::vector<HWND> windows;
    EnumWindows(CollectTitled, reinterpret_cast<LPARAM>(&windows));
    return windows;
}
