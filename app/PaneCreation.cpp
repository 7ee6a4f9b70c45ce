// Creation of the log pane, an operation of the frame.
#include "app/MainFrame.h"

#include <commctrl.h>

#include "about/VersionInfo.h"
#include "app/Banner.h"
#include "app/PaneFeed.h"
#include "app/PaneWindow.h"
#include "base/Seams.h"
#include "res/BuildConstants.h"

HWND MainFrame::CreatePane(HWND window)
{
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    RECT client;
    GetClientRect(window, &client);

    // The libraries stay loaded for the life of the process.
    if (!GetModuleHandleA("RICHED32.DLL"))
        LoadLibraryA("RICHED32.DLL");
    if (!GetModuleHandleA("RICHED20.DLL"))
        LoadLibraryA("RICHED20.DLL");

    HWND pane = nullptr;
    const char* const classes[] = {"RichEdit", "Edit"};
    for (const char* className : classes) {
        pane = CreatePaneWindow(window, className, client);
        if (pane)
            break;
    }
    if (!pane) {
        seams::messageBox(window, "Failed to create the Edit control", windowTitle, MB_ICONERROR);
        return nullptr;
    }

    outputPane.Attach(pane);
    FeedPane(&outputPane);

    char version[32];
    char special[32];
    VersionInfo info;
    info.GetValue("FileVersion", version, sizeof version);
    info.GetValue("SpecialBuild", special, sizeof special);
    char banner[256];
    FormatBannerLine(banner, sizeof banner, windowTitle, special, version, VELQUETH_WEB_URL);
    outputPane.Append(banner, kColourGrey);
    return pane;
}
