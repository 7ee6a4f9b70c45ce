#include "app/MainFrame.h"

#include "about/VersionInfo.h"
#include "app/Banner.h"
#include "app/LogWindow.h"
#include "base/Seams.h"
#include "res/BuildConstants.h"
#include "res/resource.h"

MainFrame::MainFrame()
    : mainWindow(nullptr),
      jobCommandLine(nullptr),
      jobCodePage(TextDecoder::kAutomatic),
      jobColours(kColoursOn),
      jobGroup(nullptr),
      jobNumber(0),
      paneWindow(nullptr),
      jobStopped(0),
      ungroupedChild(nullptr),
      savedCursor(nullptr),
      workerThread(nullptr),
      workerAlive(false),
      jobEndedByClose(false),
      toolbarWindow(nullptr),
      commandLine(nullptr),
      taskbarError(false)
{
    windowTitle[0] = '\0';
    windowClassName[0] = '\0';
    // No kill-on-close limit: File, Exit must leave a running child alone, and the handle closes
    // when the process ends.
    jobGroup = CreateJobGroup();
}

MainFrame::~MainFrame()
{
    if (jobCommandLine)
        HeapFree(GetProcessHeap(), 0, jobCommandLine);
    jobCommandLine = nullptr;
    if (jobGroup)
        CloseHandle(jobGroup);
}

bool MainFrame::Release(MainFrame* frame)
{
    if (!frame->ReleaseWorker(frame->jobEndedByClose ? 3000 : 0))
        return false;
    delete frame;
    return true;
}

bool MainFrame::Create(HINSTANCE instance, int showCommand)
{
    LoadStringA(instance, IDS_APP_TITLE, windowTitle, sizeof windowTitle);
    LoadStringA(instance, IDS_WINDOW_CLASS, windowClassName, sizeof windowClassName);
    RegisterWindowClass(instance);
    mainWindow = CreateWindowExA(WS_EX_ACCEPTFILES, windowClassName, windowTitle,
                                 WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, CW_USEDEFAULT, 0, nullptr,
                                 nullptr, instance, this);
    if (!mainWindow)
        return false;
    ShowWindow(mainWindow, showCommand);
    UpdateWindow(mainWindow);
    return true;
}

void MainFrame::RegisterWindowClass(HINSTANCE instance)
{
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_VELQUETH));
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    windowClass.lpszMenuName = MAKEINTRESOURCEA(IDR_MAINMENU);
    windowClass.lpszClassName = windowClassName;
    RegisterClassExA(&windowClass);
}

HWND MainFrame::CreatePane(HWND window)
{
    RECT client;
    GetClientRect(window, &client);
    HWND created = CreateLogWindow(window, client);
    if (!created) {
        seams::messageBox(window, "Failed to create the Edit control", windowTitle, MB_ICONERROR);
        return nullptr;
    }
    outputPane.Start(created);

    char versionLine[256];
    VersionInfo().GetVersionLine(windowTitle, versionLine, sizeof versionLine);
    char banner[256];
    FormatBannerLine(banner, sizeof banner, versionLine, VELQUETH_WEB_URL);
    outputPane.Append(banner, kColourGrey);
    return created;
}
