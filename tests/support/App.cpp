#include "support/App.h"

#include <shlobj.h>

#include <cstring>

#include "app/LogWindow.h"
#include "support/TestSupport.h"

namespace testing_support {

const char kPrompt[] = "C:\\> ";

std::string Header(const std::string& commandLine)
{
    return "\r\nExecuting:- " + commandLine + "\r\n";
}

std::string Failure(const std::string& commandLine)
{
    return "Failure running:- " + commandLine + "\r\n";
}

bool TakeQuit(WPARAM* code)
{
    MSG msg;
    if (!PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE))
        return false;
    if (code)
        *code = msg.wParam;
    return true;
}

App::App(char* commandLine) : frame(new MainFrame), created(false)
{
    frame->commandLine = commandLine;
    created = frame->Create(GetModuleHandleA(nullptr), SW_SHOW);
    if (created)
        banner = Log();
}

App::~App()
{
    if (frame && frame->mainWindow && IsWindow(frame->mainWindow))
        SendMessageA(frame->mainWindow, WM_CLOSE, 0, 0);
    PumpFor(20);
    TakeQuit();
    if (frame && !Release())
        ADD_FAILURE() << "the worker is still alive; the frame is left behind";
}

bool App::Release()
{
    if (!MainFrame::Release(frame))
        return false;
    frame = nullptr;
    return true;
}

void App::Drop(const std::vector<std::string>& files) const
{
    size_t chars = 1;
    for (const std::string& file : files)
        chars += file.size() + 1;
    HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + chars);
    ASSERT_NE(nullptr, memory);
    DROPFILES* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = FALSE;
    char* names = reinterpret_cast<char*>(drop) + sizeof(DROPFILES);
    for (const std::string& file : files) {
        std::memcpy(names, file.c_str(), file.size() + 1);
        names += file.size() + 1;
    }
    *names = '\0';
    GlobalUnlock(memory);
    // The window owns the drop from here on (DragFinish frees it).
    EXPECT_EQ(0, SendMessageA(Main(), WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0));
}

std::string App::Log() const
{
    return WindowText(frame->paneWindow);
}

void App::ClearLog()
{
    SendMessageA(frame->paneWindow, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
    banner.clear();
}

std::string App::JobLog() const
{
    std::string log = Log();
    return log.compare(0, banner.size(), banner) == 0 ? log.substr(banner.size()) : log;
}

bool App::WorkerEnded() const
{
    return !frame->WorkerRunning();
}

bool App::WaitForJob(DWORD timeoutMs) const
{
    return PumpUntil([this] { return WorkerEnded(); }, timeoutMs);
}

bool App::WaitForLog(const std::string& part, DWORD timeoutMs) const
{
    return PumpUntil([this, &part] { return Log().find(part) != std::string::npos; }, timeoutMs);
}

bool App::StallUntilQueueFull(DWORD timeoutMs) const
{
    DWORD start = GetTickCount();
    while (frame->outputPane.queue.Queued() <= OutputQueue::kLimit - 256) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(20);
    }
    return true;
}

bool App::Run(const std::string& commandLine, DWORD timeoutMs) const
{
    frame->StartJob(commandLine.c_str());
    return WaitForJob(timeoutMs);
}

HWND CreateHostWindow(const char* title, HMENU menu)
{
    const char kHostClass[] = "VelquethTestHost";
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA hostClass = {};
    hostClass.lpfnWndProc = DefWindowProcA;
    hostClass.hInstance = instance;
    hostClass.lpszClassName = kHostClass;
    RegisterClassA(&hostClass);  // fails harmlessly when already registered
    return CreateWindowExA(0, kHostClass, title, WS_OVERLAPPEDWINDOW, 0, 0, 500, 400, nullptr,
                           menu, instance, nullptr);
}

HostedControl::HostedControl(const char* className)
    : host(CreateHostWindow("pane host")), window(nullptr)
{
    static bool loaded = [] {
        LoadLibraryA("RICHED32.DLL");
        LoadLibraryA("RICHED20.DLL");
        return true;
    }();
    (void)loaded;
    RECT place = {0, 0, 480, 360};
    window = CreateLogWindowOfClass(host, className, place);
}

HostedControl::~HostedControl()
{
    if (host)
        DestroyWindow(host);
}

OwnerWindow::OwnerWindow()
{
    window = CreateHostWindow("Dialog owner");
    SetWindowPos(window, nullptr, 60, 40, 760, 520, SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(window, SW_SHOW);
    edit = CreateWindowExA(0, "EDIT", "log", WS_CHILD | WS_VISIBLE | WS_BORDER, 10, 400, 200, 24,
                           window, nullptr, GetModuleHandleA(nullptr), nullptr);
    SetForegroundWindow(window);
    SetActiveWindow(window);
    SetFocus(edit);
    PumpUntil([this] { return GetFocus() == edit; }, 3000);
}

OwnerWindow::~OwnerWindow()
{
    if (window)
        DestroyWindow(window);
    PumpFor(20);
}

FedLog::FedLog(const char* className) : control(className), window(control.Handle())
{
    EXPECT_NE(nullptr, window) << "no " << className << " control";
    feed.Start(window);
}

void ChildTest::SetUp()
{
    KillChildren();
    ASSERT_EQ(0, LiveChildren());
}

void ChildTest::TearDown()
{
    KillChildren();
}

int ChildTest::LiveChildren()
{
    return CountProcesses("vqchild.exe");
}

void ChildTest::KillChildren()
{
    KillProcesses("vqchild.exe");
}

void ChildTest::ExpectNoChildLeft()
{
    EXPECT_TRUE(PumpUntil([] { return LiveChildren() == 0; }, 10000))
        << LiveChildren() << " vqchild process(es) left";
}

} // namespace testing_support
