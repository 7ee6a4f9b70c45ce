#include "app/PaneFeed.h"

#include <cstring>
#include <new>

#include "app/LogInput.h"
#include "app/LogRenewal.h"
#include "app/ReadingPlace.h"

namespace {

// While a child floods the log, the pane is drawn again whole at most this often: drawing the
// text and both scroll bars after every insertion costs many times the insertion itself. The
// text itself still goes in at once.
const DWORD kRedrawIntervalMs = 100;
// Drawing may take longer than that (the control draws a long line whole): then the pane is drawn
// at most for this share of the time.
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
    size_t logLimit;   // the most characters the log keeps before it is renewed
    DWORD lastRedraw;
    DWORD redrawCost;
    DWORD redrawInterval;
    bool redrawDue;
    bool inLongLine;   // the last piece held no line break
    LARGE_INTEGER timersServed;  // when no timer was found waiting last
    POINT followed;    // the view that the last wake-up left while following the end
    bool hasFollowed;
    // How many calls of the pane's procedure are on the stack. The control runs loops of its own
    // inside it (a dragged scroll thumb, a context menu) that dispatch wake-ups: a full log is
    // renewed only outside them, since the renewal destroys the pane.
    int depth;
    bool renewalHeld;  // a wake-up inside such a loop found the log full
    bool gone;         // the pane was destroyed inside such a loop: the outermost call frees this
    DWORD lastPiece;
};

void RedrawPane(HWND pane, PaneFeed* state)
{
    if (state->redrawDue) {
        KillTimer(pane, kRedrawTimer);
        state->redrawDue = false;
    }
    DWORD start = GetTickCount();
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
bool InputWaits(PaneFeed* state);

void ScheduleRedraw(HWND pane, PaneFeed* state)
{
    DWORD since = GetTickCount() - state->lastRedraw;
    // Waiting input comes first: the timer draws the pane after it.
    if (since >= state->redrawInterval && !state->inLongLine && !InputWaits(state)) {
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

const POINT* FollowedView(const PaneFeed* state)
{
    return state->hasFollowed ? &state->followed : nullptr;
}

// Inserts the next piece of the queue into the pane, whose drawing is off. Answers the pane it
// went into (a full log is renewed first, and the new pane's drawing is off too), or null when
// nothing was queued.
HWND InsertPiece(HWND pane, PaneFeed* state)
{
    OutputPane* output = state->output;
    size_t length = output->queue.Take(state->piece);
    if (length == 0)
        return nullptr;
    state->piece[length] = '\0';
    HWND into = pane;
    if (LogIsFull(pane, length, state->logLimit)) {
        state->renewalHeld = state->depth > 1;
        if (!state->renewalHeld)
            into = RenewLog(pane, output, state->logLimit);
        if (into != pane) {
            state->redrawDue = false;  // its timer went with the old pane
            CallWindowProcA(state->original, into, WM_SETREDRAW, FALSE, 0);
        }
    }
    OutputPane::InsertChunk(into, state->piece);
    output->queue.PieceDone();
    state->inLongLine = std::memchr(state->piece, '\n', length) == nullptr;
    state->lastPiece = GetTickCount();
    return into;
}

// Pieces for about this long per wake-up (timed on a clock finer than the tick count's 10-16 ms
// steps). A flush from the pane's own thread (wParam 1) inserts everything, for a line that must
// come after it.
const double kWakeBudgetMs = 20;
// The wake-up that comes after waiting input: a timer, since the system hands out timers only when
// no input, painting or posted message waits, while a posted wake-up would come before them all.
const UINT_PTR kWakeTimer = 0x5652;

double MillisecondsSince(const LARGE_INTEGER& start)
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart - start.QuadPart) * 1000.0 /
           static_cast<double>(frequency.QuadPart);
}

// Timers that are due wait at most this long for a flood's pieces; the pane's own redraw timer
// is due often, and a flood draws the pane itself when it is due (ScheduleRedraw).
const double kTimerWaitMs = 100;

// Keyboard and mouse input, painting or hot keys wait for this thread, or timers have waited
// long enough.
bool InputWaits(PaneFeed* state)
{
    DWORD waiting = HIWORD(GetQueueStatus(QS_INPUT | QS_PAINT | QS_TIMER | QS_HOTKEY));
    if (waiting & ~QS_TIMER)
        return true;
    if (!waiting) {
        QueryPerformanceCounter(&state->timersServed);
        return false;
    }
    return MillisecondsSince(state->timersServed) >= kTimerWaitMs;
}

LRESULT OnWake(HWND pane, PaneFeed* state, WPARAM all)
{
    KillTimer(pane, kWakeTimer);
    // Inside a loop of the control's own, a full log takes nothing more until the loop is over
    // (the queue holds the rest; the outermost return asks for the next wake-up); a flush still
    // goes in.
    if (state->depth > 1 && state->renewalHeld && !all)
        return 1;
    state->renewalHeld = false;  // decided again below
    if (state->output->queue.Queued() == 0) {
        state->output->queue.WakeDone(true);  // a late one: the text went in with another
        return 1;
    }
    LARGE_INTEGER began;
    QueryPerformanceCounter(&began);
    // The pieces go in with drawing off, the user's place noted before and put back after them
    // (a renewed log starts anew at its end).
    const HWND noted = pane;
    ReadingPlace place(pane, state->output->plainEdit, FollowedView(state));
    CallWindowProcA(state->original, pane, WM_SETREDRAW, FALSE, 0);
    for (HWND into = InsertPiece(pane, state); into; into = InsertPiece(pane, state)) {
        pane = into;
        if (state->renewalHeld ||
            (!all && (MillisecondsSince(began) >= kWakeBudgetMs || InputWaits(state))))
            break;
    }
    if (pane == noted) {
        state->hasFollowed = place.PutBack(&state->followed);
    } else {
        SendMessageA(pane, EM_SCROLLCARET, 0, 0);
        state->hasFollowed = false;
    }
    CallWindowProcA(state->original, pane, WM_SETREDRAW, TRUE, 0);
    // Input first: while it waits the next piece comes after it, and so does the next piece of a
    // wake-up that the system refused to post.
    if (!state->output->queue.WakeDone(!InputWaits(state)) &&
        !SetTimer(pane, kWakeTimer, USER_TIMER_MINIMUM, nullptr))
        state->output->queue.WakeHandled();
    ScheduleRedraw(pane, state);
    return 1;
}

// A line of the log (Append) written on the pane's own thread, with drawing off and the user's
// place kept; drawn with the output's next redraw.
LRESULT OnWrite(HWND pane, PaneFeed* state, WPARAM colour, LPARAM text)
{
    ReadingPlace place(pane, state->output->plainEdit, FollowedView(state));
    CallWindowProcA(state->original, pane, WM_SETREDRAW, FALSE, 0);
    OutputPane::WriteAtEnd(pane, state->output->plainEdit, reinterpret_cast<const char*>(text),
                           static_cast<COLORREF>(colour));
    state->hasFollowed = place.PutBack(&state->followed);
    CallWindowProcA(state->original, pane, WM_SETREDRAW, TRUE, 0);
    ScheduleRedraw(pane, state);
    return TRUE;  // written: the caller must not write it again
}

// Timers come only when no wake-up is waiting: the output has paused.
LRESULT OnTimer(HWND pane, PaneFeed* state)
{
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

// A worker waiting for room stops waiting; what it reads from now on has nowhere to go. The state
// goes when the outermost call of the pane's procedure ends.
LRESULT OnNcDestroy(HWND pane, PaneFeed* state, WPARAM wParam, LPARAM lParam)
{
    state->gone = true;
    state->output->queue.Close();
    Unsubclass(pane, state->original);
    return CallWindowProcA(state->original, pane, WM_NCDESTROY, wParam, lParam);
}

// The outermost call of the pane's procedure is ending.
void OnOutermostReturn(HWND pane, PaneFeed* state)
{
    if (state->gone) {
        HeapFree(GetProcessHeap(), 0, state->piece);
        delete state;
    } else if (state->renewalHeld && !state->output->queue.WakeDone(true) &&
               !SetTimer(pane, kWakeTimer, USER_TIMER_MINIMUM, nullptr)) {
        state->output->queue.WakeHandled();  // the held renewal comes with the next wake-up
    }
}

UINT WakeMessage()
{
    static const UINT message = RegisterWindowMessageA("Velqueth.OutputQueued");
    return message;
}

PaneFeed* FeedOf(HWND pane)
{
    if (GetWindowLongPtrA(pane, GWLP_WNDPROC) != reinterpret_cast<LONG_PTR>(PaneProc))
        return nullptr;
    return reinterpret_cast<PaneFeed*>(GetWindowLongPtrA(pane, GWLP_USERDATA));
}

LRESULT Dispatch(HWND pane, PaneFeed* state, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WakeMessage())
        return OnWake(pane, state, wParam);
    if (message == OutputPane::WriteMessage())
        return OnWrite(pane, state, wParam, lParam);
    LRESULT result = 0;
    if (HandleLogInput(pane, message, wParam, lParam, &result))
        return result;
    switch (message) {
    case WM_TIMER:
        if (wParam == kRedrawTimer)
            return OnTimer(pane, state);
        if (wParam == kWakeTimer)
            return OnWake(pane, state, 0);
        break;
    case WM_NCDESTROY:
        return OnNcDestroy(pane, state, wParam, lParam);
    }
    return CallWindowProcA(state->original, pane, message, wParam, lParam);
}

LRESULT CALLBACK PaneProc(HWND pane, UINT message, WPARAM wParam, LPARAM lParam)
{
    PaneFeed* state = reinterpret_cast<PaneFeed*>(GetWindowLongPtrA(pane, GWLP_USERDATA));
    ++state->depth;
    LRESULT result = Dispatch(pane, state, message, wParam, lParam);
    if (--state->depth == 0)
        OnOutermostReturn(pane, state);
    return result;
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
    state->logLimit = LogLimitForThisProcess();
    state->lastRedraw = GetTickCount() - kRedrawIntervalMs;
    state->redrawInterval = kRedrawIntervalMs;
    state->redrawCost = 0;
    state->redrawDue = false;
    state->inLongLine = false;
    state->lastPiece = 0;
    QueryPerformanceCounter(&state->timersServed);
    state->hasFollowed = false;
    state->depth = 0;
    state->renewalHeld = false;
    state->gone = false;
    if (state->piece)
        state->original = Subclass(pane, state);
    if (!state->original) {
        if (state->piece)
            HeapFree(GetProcessHeap(), 0, state->piece);
        delete state;
        return;
    }
    // Without a queue (no memory for it) the worker inserts message by message.
    output->queue.Open(pane, WakeMessage());
}

void SetLogLimit(HWND pane, size_t chars)
{
    PaneFeed* state = FeedOf(pane);
    if (state)
        state->logLimit = chars;
}
