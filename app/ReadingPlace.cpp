#include "app/ReadingPlace.h"

#include <richedit.h>

ReadingPlace::ReadingPlace(HWND window, bool plain, const POINT* followed)
    : pane(window), plainEdit(plain), following(true), selectionStart(0), selectionEnd(0),
      firstLine(0), horizontal(0)
{
    scroll.x = scroll.y = 0;
    SendMessageA(pane, EM_GETSEL, reinterpret_cast<WPARAM>(&selectionStart),
                 reinterpret_cast<LPARAM>(&selectionEnd));
    LRESULT length = SendMessageA(pane, WM_GETTEXTLENGTH, 0, 0);
    if (plainEdit) {
        firstLine = SendMessageA(pane, EM_GETFIRSTVISIBLELINE, 0, 0);
        horizontal = GetScrollPos(pane, SB_HORZ);
    } else {
        SendMessageA(pane, EM_GETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&scroll));
    }
    bool caretAtEnd =
        selectionStart == selectionEnd && static_cast<LRESULT>(selectionEnd) >= length;
    bool viewAsLeft = !plainEdit && followed && followed->x == scroll.x && followed->y == scroll.y;
    following = caretAtEnd && (viewAsLeft || EndInView(length));
}

ReadingPlace::~ReadingPlace()
{
}

bool ReadingPlace::EndInView(LRESULT length) const
{
    RECT client;
    GetClientRect(pane, &client);
    if (!plainEdit) {
        POINTL end = {0, 0};
        SendMessageA(pane, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&end), length);
        return end.y < client.bottom;
    }
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

bool ReadingPlace::PutBack(POINT* followed) const
{
    if (following) {
        // The insertion left the caret at the end.
        SendMessageA(pane, EM_SCROLLCARET, 0, 0);
        if (followed && !plainEdit)
            SendMessageA(pane, EM_GETSCROLLPOS, 0, reinterpret_cast<LPARAM>(followed));
        return true;
    }
    SendMessageA(pane, EM_SETSEL, selectionStart, selectionEnd);
    if (!plainEdit) {
        SendMessageA(pane, EM_SETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&scroll));
        return false;
    }
    LRESULT now = SendMessageA(pane, EM_GETFIRSTVISIBLELINE, 0, 0);
    SendMessageA(pane, EM_LINESCROLL, 0, firstLine - now);
    SendMessageA(pane, WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, horizontal), 0);
    return false;
}
