// Creation of the log pane, an operation of the frame.
#include "app/MainFrame.h"

#include <commctrl.h>

#include "about/VersionInfo.h"
#include "app/Banner.h"
#include "app/PaneRedraw.h"
#include "base/Seams.h"
#include "res/BuildConstants.h"
#include "res/Commands.h"

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

    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(window, GWLP_HINSTANCE));
    const DWORD style = WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE |
                        ES_AUTOVSCROLL | ES_AUTOHSCROLL;
    HWND pane = nullptr;
    const char* const classes[] = {"RichEdit", "Edit"};
    for (const char* className : classes) {
        pane = CreateWindowExA(WS_EX_CONTROLPARENT, className, "", style, 0, 0, client.right,
                               client.bottom, window,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_PANE)), instance,
                               nullptr);
        if (pane)
            break;
    }
    if (!pane) {
        seams::messageBox(window, "Failed to create the Edit control", windowTitle, MB_ICONERROR);
        return nullptr;
    }

    LOGFONTA description;
    static_assert(sizeof description == 60, "the narrow logical-font record");
    if (GetObjectA(GetStockObject(SYSTEM_FIXED_FONT), sizeof description, &description)) {
        HFONT font = CreateFontIndirectA(&description);  // lives as long as the pane
        if (font)
            SendMessageA(pane, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }

    outputPane.Attach(pane);
    BatchRedraws(pane);

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
