#include "app/PaneRedraw.h"

#include <new>

#include "app/OutputPane.h"

namespace {

// While a child floods the log, the pane is drawn again whole at most this often. Drawing the
// text and both scroll bars after every chunk cost many times the insertion itself (under Wine
// it held a flood to a few KB/s); the text itself still goes in at once.
const DWORD kRedrawIntervalMs = 100;
const UINT_PTR kRedrawTimer = 0x5651;

// The log pane's drawing state, in the pane's user-data slot from CreatePane until the pane goes.
struct PaneRedraw {
    WNDPROC original;
    DWORD lastRedraw;
    bool redrawDue;
};

void RedrawPane(HWND pane, PaneRedraw* state)
{
    if (state->redrawDue) {
        KillTimer(pane, kRedrawTimer);
        state->redrawDue = false;
    }
    state->lastRedraw = GetTickCount();
    RedrawWindow(pane, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
}

// One chunk at the end of the log, on this thread, with drawing off; the pane is drawn again at
// once when it has not been for a while, else when the interval is over, so the log follows the
// output live and a burst ends on screen.
LRESULT InsertChunkBatched(HWND pane, PaneRedraw* state, const char* text)
{
    CallWindowProcA(state->original, pane, WM_SETREDRAW, FALSE, 0);
    OutputPane::InsertChunk(pane, text);
    CallWindowProcA(state->original, pane, WM_SETREDRAW, TRUE, 0);
    DWORD since = GetTickCount() - state->lastRedraw;
    if (since >= kRedrawIntervalMs) {
        RedrawPane(pane, state);
    } else if (!state->redrawDue) {
        state->redrawDue = true;
        SetTimer(pane, kRedrawTimer, kRedrawIntervalMs - since, nullptr);
    }
    return 1;
}

LRESULT CALLBACK PaneProc(HWND pane, UINT message, WPARAM wParam, LPARAM lParam)
{
    PaneRedraw* state = reinterpret_cast<PaneRedraw*>(GetWindowLongPtrA(pane, GWLP_USERDATA));
    WNDPROC original = state->original;
    if (message == OutputPane::ChunkMessage())
        return InsertChunkBatched(pane, state, reinterpret_cast<const char*>(lParam));
    // The rich edit sets its own cursor at once: ask the parent first, as DefWindowProc does, so
    // that the log shows the wait cursor while a job runs.
    if (message == WM_SETCURSOR && SendMessageA(GetParent(pane), WM_SETCURSOR, wParam, lParam))
        return TRUE;
    if (message == WM_TIMER && wParam == kRedrawTimer) {
        RedrawPane(pane, state);
        return 0;
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(pane, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
        SetWindowLongPtrA(pane, GWLP_USERDATA, 0);
        delete state;
    }
    return CallWindowProcA(original, pane, message, wParam, lParam);
}

} // namespace

void BatchRedraws(HWND pane)
{
    PaneRedraw* state = new (std::nothrow) PaneRedraw;
    if (!state)
        return;
    state->lastRedraw = GetTickCount() - kRedrawIntervalMs;
    state->redrawDue = false;
    state->original = nullptr;
    SetWindowLongPtrA(pane, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
    WNDPROC original = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(pane, GWLP_WNDPROC));
    state->original = original;
    if (!original || !SetWindowLongPtrA(pane, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(PaneProc))) {
        SetWindowLongPtrA(pane, GWLP_USERDATA, 0);
        delete state;
    }
}
