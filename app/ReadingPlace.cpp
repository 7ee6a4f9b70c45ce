#include "app/ReadingPlace.h"

#include <richedit.h>

namespace {

// The most Shift+arrow keys that put an upward selection back in a rich edit; a longer way keeps
// the selection with its anchor at the top.
const int kMostKeys = 200;

// For its lifetime this thread's keyboard reads Shift alone held, so that an arrow key sent to the
// pane moves the active end of the selection; the user's own state comes back after.
class ShiftHeld {
public:
    ShiftHeld() : kept(GetKeyboardState(saved) != FALSE)
    {
        if (!kept)
            return;
        BYTE keys[256];
        CopyMemory(keys, saved, sizeof keys);
        keys[VK_SHIFT] = keys[VK_LSHIFT] = 0x80;
        keys[VK_CONTROL] = keys[VK_LCONTROL] = keys[VK_RCONTROL] = 0;
        keys[VK_MENU] = keys[VK_LMENU] = keys[VK_RMENU] = 0;
        SetKeyboardState(keys);
    }
    ~ShiftHeld()
    {
        if (kept)
            SetKeyboardState(saved);
    }
    bool Held() const { return kept; }
    void Press(HWND pane, WPARAM key, int times = 1) const
    {
        for (int i = 0; i < times; ++i)
            SendMessageA(pane, WM_KEYDOWN, key, 1);
    }

private:
    BYTE saved[256];
    bool kept;
    ShiftHeld(const ShiftHeld&) = delete;
    ShiftHeld& operator=(const ShiftHeld&) = delete;
};

void GetSelection(HWND pane, DWORD* start, DWORD* end)
{
    *start = *end = 0;
    SendMessageA(pane, EM_GETSEL, reinterpret_cast<WPARAM>(start), reinterpret_cast<LPARAM>(end));
}

POINTL PositionOf(HWND pane, DWORD character)
{
    POINTL at = {0, 0};
    SendMessageA(pane, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&at), character);
    return at;
}

LRESULT LineOf(HWND pane, DWORD character)
{
    return SendMessageA(pane, EM_EXLINEFROMCHAR, 0, character);
}

} // namespace

DWORD PaneCharacters(HWND pane, bool plainEdit)
{
    if (plainEdit) {
        // WM_GETTEXTLENGTH of a narrow edit may count the bytes of the ANSI form.
        LRESULT last = SendMessageA(pane, EM_LINEINDEX, SendMessageA(pane, EM_GETLINECOUNT, 0, 0) - 1, 0);
        if (last < 0)
            return 0;
        return static_cast<DWORD>(last + SendMessageA(pane, EM_LINELENGTH, last, 0));
    }
    GETTEXTLENGTHEX how = {GTL_NUMCHARS | GTL_PRECISE, 1200};
    LRESULT characters = SendMessageA(pane, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&how), 0);
    if (characters > 0)
        return static_cast<DWORD>(characters);
    // A control without the message (or an empty log).
    return static_cast<DWORD>(SendMessageA(pane, WM_GETTEXTLENGTH, 0, 0));
}

POINT RichEditView(HWND pane)
{
    // The first character stands at the top left of the text: how far it is above and left of the
    // formatting rectangle is the view.
    RECT format = {0, 0, 0, 0};
    SendMessageA(pane, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
    POINTL first = PositionOf(pane, 0);
    POINT view = {format.left - first.x, format.top - first.y};
    return view;
}

ReadingPlace::ReadingPlace(HWND window, bool plain, const POINT* followed)
    : pane(window), plainEdit(plain), following(true), anchor(0), active(0), firstLine(0),
      horizontal(0)
{
    scroll.x = scroll.y = 0;
    DWORD start = 0, end = 0;
    GetSelection(pane, &start, &end);
    DWORD length = PaneCharacters(pane, plainEdit);
    if (plainEdit) {
        firstLine = SendMessageA(pane, EM_GETFIRSTVISIBLELINE, 0, 0);
        horizontal = GetScrollPos(pane, SB_HORZ);
    } else {
        scroll = RichEditView(pane);
    }
    bool caretAtEnd = start == end && end >= length;
    bool viewAsLeft = !plainEdit && followed && followed->x == scroll.x && followed->y == scroll.y;
    following = caretAtEnd && (viewAsLeft || EndInView(length));
    if (following)
        return;
    bool upward = start != end && ActiveAtStart(start, end);
    anchor = upward ? end : start;
    active = upward ? start : end;
}

ReadingPlace::~ReadingPlace()
{
}

bool ReadingPlace::ActiveAtStart(DWORD start, DWORD end) const
{
    // Shift+Right moves the active end: the start moves only when it is the active one. Shift+Left
    // takes the step back. The view this may scroll is put back with the rest.
    ShiftHeld shift;
    if (!shift.Held())
        return false;
    shift.Press(pane, VK_RIGHT);
    DWORD movedStart = 0, movedEnd = 0;
    GetSelection(pane, &movedStart, &movedEnd);
    if (movedStart == start && movedEnd == end)
        return false;  // the active end stands at the end of the text
    shift.Press(pane, VK_LEFT);
    return movedStart != start;
}

bool ReadingPlace::EndInView(DWORD length) const
{
    RECT client;
    GetClientRect(pane, &client);
    if (!plainEdit)
        return PositionOf(pane, length).y < client.bottom;
    // A plain edit's lines have the height of its font.
    HDC context = GetDC(pane);
    if (!context)
        return true;
    HGDIOBJ font = reinterpret_cast<HGDIOBJ>(SendMessageA(pane, WM_GETFONT, 0, 0));
    HGDIOBJ kept = font ? SelectObject(context, font) : nullptr;
    TEXTMETRICA metrics;
    bool measured = GetTextMetricsA(context, &metrics) != FALSE && metrics.tmHeight > 0;
    if (kept)
        SelectObject(context, kept);
    ReleaseDC(pane, context);
    if (!measured)
        return true;
    LRESULT shown = (client.bottom - client.top) / metrics.tmHeight;
    LRESULT last = SendMessageA(pane, EM_GETLINECOUNT, 0, 0) - 1;
    return last < firstLine + (shown > 0 ? shown : 1);
}

void ReadingPlace::SelectUpward() const
{
    // From the anchor: to the start of its line, up line by line (the column stays 0), then right
    // to the active end.
    LRESULT lines = LineOf(pane, anchor) - LineOf(pane, active);
    LRESULT column = static_cast<LRESULT>(active) - SendMessageA(pane, EM_LINEINDEX, LineOf(pane, active), 0);
    LRESULT keys = lines == 0 ? static_cast<LRESULT>(anchor - active) : 1 + lines + column;
    SendMessageA(pane, EM_SETSEL, anchor, anchor);
    ShiftHeld shift;
    if (shift.Held() && keys <= kMostKeys && column >= 0) {
        if (lines == 0) {
            shift.Press(pane, VK_LEFT, static_cast<int>(keys));
        } else {
            shift.Press(pane, VK_HOME);
            shift.Press(pane, VK_UP, static_cast<int>(lines));
            shift.Press(pane, VK_RIGHT, static_cast<int>(column));
        }
        DWORD start = 0, end = 0;
        GetSelection(pane, &start, &end);
        if (start == active && end == anchor)
            return;
    }
    SendMessageA(pane, EM_SETSEL, active, anchor);
}

bool ReadingPlace::PutBack(POINT* followed) const
{
    if (following) {
        // The insertion left the caret at the end.
        SendMessageA(pane, EM_SCROLLCARET, 0, 0);
        if (followed && !plainEdit)
            *followed = RichEditView(pane);
        return true;
    }
    if (!plainEdit) {
        if (active < anchor)
            SelectUpward();
        else
            SendMessageA(pane, EM_SETSEL, anchor, active);
        SendMessageA(pane, EM_SETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&scroll));
        return false;
    }
    // A plain edit takes a selection reversed as it is given.
    SendMessageA(pane, EM_SETSEL, anchor, active);
    LRESULT now = SendMessageA(pane, EM_GETFIRSTVISIBLELINE, 0, 0);
    SendMessageA(pane, EM_LINESCROLL, 0, firstLine - now);
    SendMessageA(pane, WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, horizontal), 0);
    return false;
}

void ReadingPlace::Renewed(HWND fresh, const CarriedPlace& moved)
{
    pane = fresh;
    if (following)
        return;
    // The selection decides: a view above the carried text starts at the top of the new log.
    following = !moved.carried || anchor < moved.from || active < moved.from;
    if (following)
        return;
    anchor = anchor - moved.from + moved.to;
    active = active - moved.from + moved.to;
    LONG shift = moved.toTop - moved.fromTop;
    if (plainEdit)
        firstLine = firstLine + shift > 0 ? firstLine + shift : 0;
    else
        scroll.y = scroll.y + shift > 0 ? scroll.y + shift : 0;
}
