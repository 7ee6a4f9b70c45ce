// The toolbar along the top of the main window: 17 entries over the 15-image strip of bitmap 138.
#include "app/MainFrame.h"

#include <commctrl.h>

#include "res/resource.h"

namespace {

struct ToolbarEntry {
    int image;
    int command;  // 0 for a separator
};

const ToolbarEntry kEntries[] = {
    {0, 0},  {0, ID_PROPERTIES}, {0, 0}, {4, ID_CUT}, {5, ID_COPY}, {6, ID_PASTE},
    {12, ID_SELECT_ALL}, {0, 0}, {10, ID_UNDO}, {0, 0}, {7, ID_DELETE}, {14, ID_CLEAR_SCREEN},
    {0, 0}, {9, ID_ABOUT}, {11, ID_USER_GUIDE}, {0, 0}, {13, ID_RUN_DEFAULT},
};
const int kEntryCount = sizeof kEntries / sizeof kEntries[0];
const int kStripImages = 15;

} // namespace

bool MainFrame::CreateToolbar(HWND window)
{
    // The toolbar and its tooltips are common controls.
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    TBBUTTON buttons[kEntryCount];
    ZeroMemory(buttons, sizeof buttons);
    for (int i = 0; i < kEntryCount; ++i) {
        buttons[i].iBitmap = kEntries[i].image;
        buttons[i].idCommand = kEntries[i].command;
        buttons[i].fsState = TBSTATE_ENABLED;
        buttons[i].fsStyle = kEntries[i].command ? TBSTYLE_BUTTON : TBSTYLE_SEP;
        buttons[i].dwData = 0;
        buttons[i].iString = 0;
    }
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(window, GWLP_HINSTANCE));
    toolbarWindow = CreateToolbarEx(window, WS_CHILD | WS_VISIBLE | TBSTYLE_TOOLTIPS | CCS_ADJUSTABLE,
                                    IDC_TOOLBAR, kStripImages, instance, IDB_TOOLBAR, buttons,
                                    kEntryCount, 0, 0, 16, 16, sizeof(TBBUTTON));
    return toolbarWindow != nullptr;
}
