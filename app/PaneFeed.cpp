#include "app/PaneFeed.h"

#include <cstring>
#include <new>

#include "app/LogLimit.h"
#include "app/PaneWindow.h"

namespace {

// While a child floods the log, the pane is drawn again whole at most this often. Drawing the
// text and both scroll bars after every insertion cost many times the insertion itself (under
// Wine it held a flood to a few KB/s); the text itself still goes in at once.
const DWORD kRedrawIntervalMs = 100;
// Drawing may take longer than that (under Wine the control draws a long line whole: over a
// second for a line of 1 MiB): then the pane is drawn at most a fifth of the time.
const DWORD kRedrawShare = 5;
const DWORD kLongestRedrawIntervalMs = 10000;
// Inside a long line the pane is drawn only once the output has paused this long (or as long as
// the last drawing took, up to the longest pause), so that a job's closing line, which follows its
// output at once, is drawn with it, and a flood is not held up by drawing it.
const DWORD kLongLinePauseMs = 150;
const DWORD kLongestLongLinePauseMs = 2000;
const UINT_PTR kRedrawTimer = 0x5651;

// The pane's state, in its user-data slot from FeedPane until the pane goes.
struct PaneFeed {
    WNDPROC original;
    OutputPane* output;
    char* piece;       // room for one piece of the queue and its terminator
    DWORD lastRedraw;
    DWORD redrawCost;
    DWORD redrawInterval;
    bool redrawDue;
    bool scrollDue;    // text went in with drawing off: bring the caret into view
    bool inLongLine;   // the last piece held no line break
    DWORD lastPiece;
};

void RedrawPane(HWND pane, PaneFeed* state)
{
    if (state->redrawDue) {
        KillTimer(pane, kRedrawTimer);
        state->redrawDue = false;
    }
    DWORD start = GetTickCount();
    if (state->scrollDue) {
        // The control's own insertion would have scrolled to the caret, had drawing been on.
        state->scrollDue = false;
        CallWindowProcA(state->original, pane, EM_SCROLLCARET, 0, 0);
    }
    // Drawn now: while output keeps coming, the pane's queue is never empty enough for the
    // system to send it WM_PAINT.
    RedrawWindow(pane, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW);
    state->lastRedraw = GetTickCount();
    DWORD cost = state->lastRedraw - start;
    state->redrawCost = cost;
    DWORD interval = cost * kRedrawShare;
    if (interval < kRedrawIntervalMs)
        interval = kRedrawIntervalMs;
    state->redrawInterval = interval < kLongestRedrawIntervalMs ? interval : kLongestRedrawIntervalMs;
}

// The pane is drawn again at once when it has not been for a while, else when the interval is
// over, so the log follows the output live and a burst ends on screen. Inside a long line it waits
// for the interval and a pause of the output: the control draws the whole line every time, which
// under Wine costs more than inserting into it.
void ScheduleRedraw(HWND pane, PaneFeed* state)
{
    DWORD since = GetTickCount() - state->lastRedraw;
    if (since >= state->redrawInterval && !state->inLongLine) {
        RedrawPane(pane, state);
    } else if (!state->redrawDue) {
        state->redrawDue = true;
        DWORD wait = since < state->redrawInterval ? state->redrawInterval - since : kRedrawIntervalMs;
        SetTimer(pane, kRedrawTimer, wait, nullptr);
    }
}

LRESULT CALLBACK PaneProc(HWND pane, UINT message, WPARAM wParam, LPARAM lParam);

// Puts PaneProc in front of the pane's own procedure, with the state in the user-data slot.
// Answers the pane's own procedure, or null (and the pane as it was) when that cannot be done.
WNDPROC Subclass(HWND pane, PaneFeed* state)
{
    WNDPROC original = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(pane, GWLP_WNDPROC));
    if (!original)
        return nullptr;
    SetWindowLongPtrA(pane, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
    if (!SetWindowLongPtrA(pane, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(PaneProc))) {
        SetWindowLongPtrA(pane, GWLP_USERDATA, 0);
        return nullptr;
    }
    return original;
}

void Unsubclass(HWND pane, WNDPROC original)
{
    SetWindowLongPtrA(pane, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
    SetWindowLongPtrA(pane, GWLP_USERDATA, 0);
}

// Gives the state and the queue's wake-ups to `fresh`, and the old pane its own procedure back,
// so that its going does not close the queue.
bool MoveFeed(HWND pane, HWND fresh, PaneFeed* state)
{
    WNDPROC original = Subclass(fresh, state);
    if (!original)
        return false;
    Unsubclass(pane, state->original);
    if (state->redrawDue)
        KillTimer(pane, kRedrawTimer);
    state->redrawDue = false;
    state->original = original;
    state->output->Attach(fresh);
    state->output->queue.Retarget(fresh);
    return true;
}

// The log is full: it goes on in a new pane of the same kind, in the same place, that begins with
// the notice and the newest text of the old one; the old pane and all its memory go. Answers the
// pane that takes the output from now on.
HWND RenewPane(HWND pane, PaneFeed* state)
{
    OutputPane* output = state->output;
    // Never so much that the new pane would soon be full again.
    size_t carry = output->logLimit / 4 < kCarriedText ? output->logLimit / 4 : kCarriedText;
    char* carried = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, carry + 1));
    if (!carried)
        return pane;
    char className[32] = "";
    GetClassNameA(pane, className, sizeof className);
    HWND parent = GetParent(pane);
    RECT place;
    GetWindowRect(pane, &place);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&place), 2);
    HWND fresh = CreatePaneWindow(parent, className, place);
    if (!fresh || !MoveFeed(pane, fresh, state)) {
        if (fresh)
            DestroyWindow(fresh);
        HeapFree(GetProcessHeap(), 0, carried);
        return pane;  // the log goes on growing where it is
    }
    CopyLogTail(pane, output->plainEdit, carried, carry);
    SendMessageA(fresh, EM_LIMITTEXT, 0x7FFFFFFE, 0);
    SetWindowPos(fresh, pane, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    bool focused = GetFocus() == pane;
    // The frame learns its new pane before the old one goes.
    SendMessageA(parent, OutputPane::RenewedMessage(), reinterpret_cast<WPARAM>(fresh),
                 reinterpret_cast<LPARAM>(pane));
    DestroyWindow(pane);
    if (focused)
        SetFocus(fresh);
    // Its text goes in with drawing off, as every piece does; the next redraw shows it.
    CallWindowProcA(state->original, fresh, WM_SETREDRAW, FALSE, 0);
    WriteDroppedNotice(fresh, output->plainEdit);
    OutputPane::InsertChunk(fresh, carried);
    CallWindowProcA(state->original, fresh, WM_SETREDRAW, TRUE, 0);
    HeapFree(GetProcessHeap(), 0, carried);
    return fresh;
}

// Inserts the next piece of the queue with drawing off. Answers the pane it went into (a full log
// is renewed first), or null when nothing was queued.
HWND InsertPiece(HWND pane, PaneFeed* state)
{
    OutputPane* output = state->output;
    size_t length = output->queue.Take(state->piece);
    if (length == 0)
        return nullptr;
    state->piece[length] = '\0';
    if (LogIsFull(pane, length, output->logLimit))
        pane = RenewPane(pane, state);
    CallWindowProcA(state->original, pane, WM_SETREDRAW, FALSE, 0);
    OutputPane::InsertChunk(pane, state->piece);
    CallWindowProcA(state->original, pane, WM_SETREDRAW, TRUE, 0);
    output->queue.PieceDone();
    state->scrollDue = true;
    state->inLongLine = std::memchr(state->piece, '\n', length) == nullptr;
    state->lastPiece = GetTickCount();
    return pane;
}

// Pieces for about this long per wake-up, then input and other messages are served before the
// next wake-up, which the queue posts while text is left. A flush from the pane's own thread
// (wParam 1) inserts everything, for a line that must come after it.
const DWORD kWakeBudgetMs = 20;

LRESULT OnWake(HWND pane, PaneFeed* state, WPARAM all)
{
    state->output->queue.WakeHandled();
    DWORD began = GetTickCount();
    for (HWND into = InsertPiece(pane, state); into;
         into = (all || GetTickCount() - began < kWakeBudgetMs) ? InsertPiece(pane, state) : nullptr)
        pane = into;
    state->output->queue.WakeIfQueued();
    ScheduleRedraw(pane, state);
    return 1;
}

LRESULT CALLBACK PaneProc(HWND pane, UINT message, WPARAM wParam, LPARAM lParam)
{
    PaneFeed* state = reinterpret_cast<PaneFeed*>(GetWindowLongPtrA(pane, GWLP_USERDATA));
    WNDPROC original = state->original;
    if (message == OutputPane::WakeMessage())
        return OnWake(pane, state, wParam);
    if (message == EM_REPLACESEL && state->redrawDue) {
        // A redraw is due anyway (a job's closing line after its output, say): the text goes in
        // without drawing, and that one redraw shows both.
        CallWindowProcA(original, pane, WM_SETREDRAW, FALSE, 0);
        LRESULT result = CallWindowProcA(original, pane, message, wParam, lParam);
        CallWindowProcA(original, pane, WM_SETREDRAW, TRUE, 0);
        state->scrollDue = true;
        return result;
    }
    // The rich edit sets its own cursor at once: ask the parent first, as DefWindowProc does, so
    // that the log shows the wait cursor while a job runs.
    if (message == WM_SETCURSOR && SendMessageA(GetParent(pane), WM_SETCURSOR, wParam, lParam))
        return TRUE;
    if (message == WM_TIMER && wParam == kRedrawTimer) {
        // Timers come only when no wake-up is waiting: the output has paused.
        DWORD quiet = GetTickCount() - state->lastPiece;
        DWORD pause = state->redrawCost < kLongLinePauseMs ? kLongLinePauseMs : state->redrawCost;
        if (pause > kLongestLongLinePauseMs)
            pause = kLongestLongLinePauseMs;
        if (state->inLongLine && quiet < pause)
            SetTimer(pane, kRedrawTimer, pause - quiet, nullptr);
        else
            RedrawPane(pane, state);
        return 0;
    }
    if (message == WM_NCDESTROY) {
        // A worker waiting for room stops waiting; what it reads from now on has nowhere to go.
        state->output->queue.Close();
        Unsubclass(pane, original);
        HeapFree(GetProcessHeap(), 0, state->piece);
        delete state;
    }
    return CallWindowProcA(original, pane, message, wParam, lParam);
}

} // namespace

void FeedPane(OutputPane* output)
{
    HWND pane = output->window;
    if (!pane)
        return;
    PaneFeed* state = new (std::nothrow) PaneFeed;
    if (!state)
        return;
    state->original = nullptr;
    state->output = output;
    state->piece = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, OutputQueue::kLimit + 1));
    state->lastRedraw = GetTickCount() - kRedrawIntervalMs;
    state->redrawInterval = kRedrawIntervalMs;
    state->redrawCost = 0;
    state->redrawDue = false;
    state->scrollDue = false;
    state->inLongLine = false;
    state->lastPiece = 0;
    if (state->piece)
        state->original = Subclass(pane, state);
    if (!state->original) {
        if (state->piece)
            HeapFree(GetProcessHeap(), 0, state->piece);
        delete state;
        return;
    }
    // Without a queue (no memory for it) the worker inserts message by message.
    output->queue.Open(pane, OutputPane::WakeMessage());
    output->logLimit = LogLimitForThisProcess();
}
