// Creation of the log pane, an operation of the frame.
#include "app/MainFrame.h"

#include "about/VersionInfo.h"
#include "app/Banner.h"
#include "app/PaneFeed.h"
#include "app/PaneWindow.h"
#include "base/Seams.h"
#include "res/BuildConstants.h"

HWND MainFrame::CreatePane(HWND window)
{
    RECT client;
    GetClientRect(window, &client);
    HWND pane = CreateLogWindow(window, client);
    if (!pane) {
        seams::messageBox(window, "Failed to create the Edit control", windowTitle, MB_ICONERROR);
        return nullptr;
    }

    outputPane.Attach(pane);
    FeedPane(&outputPane);

    char versionLine[256];
    VersionInfo().GetVersionLine(windowTitle, versionLine, sizeof versionLine);
    char banner[256];
    FormatBannerLine(banner, sizeof banner, versionLine, VELQUETH_WEB_URL);
    outputPane.Append(banner, kColourGrey);
    return pane;
}
