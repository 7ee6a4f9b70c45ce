#include "app/LogMenu.h"

#include <richedit.h>

#include "res/Commands.h"

namespace {

// Where the menu opens from the keyboard: at the caret, kept inside the log's client area.
POINT CaretPoint(HWND pane)
{
    POINT at = {0, 0};
    RECT client;
    GetClientRect(pane, &client);
    if (GetFocus() != pane || !GetCaretPos(&at))
        at.x = at.y = 0;
    if (at.x < client.left || at.x >= client.right)
        at.x = client.left;
    if (at.y < client.top || at.y >= client.bottom)
        at.y = client.top;
    ClientToScreen(pane, &at);
    return at;
}

} // namespace

HMENU LogMenu::Build(HWND pane, bool searched, bool jobRunning)
{
    HMENU menu = CreatePopupMenu();
    if (!menu)
        return nullptr;
    DWORD start = 0, end = 0;
    SendMessageA(pane, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    const bool selection = end > start;
    const bool canUndo = SendMessageA(pane, EM_CANUNDO, 0, 0) != 0;
    const bool canPaste = IsClipboardFormatAvailable(CF_TEXT) != FALSE;
    const struct {
        UINT id;  // 0: a separator
        const char* text;
        bool enabled;
    } items[] = {
        {ID_UNDO, "&Undo", canUndo},
        {0, nullptr, true},
        {ID_CUT, "Cu&t", selection},
        {ID_COPY, "&Copy", selection},
        {ID_PASTE, "&Paste", canPaste},
        {ID_DELETE, "&Delete", selection},
        {0, nullptr, true},
        {ID_SELECT_ALL, "Select &All", true},
        {0, nullptr, true},
        {ID_FIND, "&Find...\tCtrl+F", true},
        {ID_FIND_NEXT, "Find &Next\tF3", searched},
        {ID_SAVE_LOG_AS, "Sa&ve Log As...\tCtrl+S", true},
        {0, nullptr, true},
        {ID_STOP_PROGRAM, "&Stop the running program\tCtrl+Break", jobRunning},
        {ID_CLEAR_SCREEN, "C&lear Screen\tCtrl+L", true},
    };
    for (const auto& item : items) {
        if (item.id == 0)
            AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
        else
            AppendMenuA(menu, MF_STRING | (item.enabled ? MF_ENABLED : MF_GRAYED), item.id, item.text);
    }
    return menu;
}

void LogMenu::Show(HWND owner, HWND pane, LPARAM where, bool searched, bool jobRunning)
{
    POINT at = {static_cast<short>(LOWORD(where)), static_cast<short>(HIWORD(where))};
    if (where == -1)
        at = CaretPoint(pane);
    HMENU menu = Build(pane, searched, jobRunning);
    if (!menu)
        return;
    TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, at.x, at.y, 0, owner,
                   nullptr);
    DestroyMenu(menu);
}
