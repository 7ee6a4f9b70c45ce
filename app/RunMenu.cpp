#include "app/MainFrame.h"

#include <cstdio>

#include "config/AppPaths.h"
#include "config/Settings.h"
#include "res/Commands.h"

namespace {

// The Run popup is the second popup of the menu bar.
const int kRunMenuPosition = 1;

} // namespace

void MainFrame::RebuildRunMenu(HWND window)
{
    Settings slots;
    slots.Load();

    HMENU menuBar = GetMenu(window);
    if (!menuBar)
        return;
    HMENU runMenu = GetSubMenu(menuBar, kRunMenuPosition);
    if (!runMenu)
        return;

    // Each slot item is removed by its id and appended again, so the order stays Default, 1..8
    // and nothing is duplicated however often this runs.
    for (int k = 0; k < kSlotCount; ++k) {
        const UINT commandId = ID_RUN_SLOT_1 + k;
        DeleteMenu(runMenu, commandId, MF_BYCOMMAND);

        const char* path = "";
        const char* arguments = "";
        slots.GetSlot(k, &path, &arguments);
        char name[kPathSize];
        AppPaths::FileNameOf(path, name);

        char text[kPathSize + 32];
        std::snprintf(text, sizeof text, "&%d.\tCtrl+%d  %s", k + 1, k + 1, name);
        AppendMenuA(runMenu, MF_STRING | MF_ENABLED | MF_UNCHECKED, commandId, text);
    }
    CheckMenuItem(runMenu, ID_RUN_SLOT_1 + slots.DefaultSlotIndex(), MF_BYCOMMAND | MF_CHECKED);
}
