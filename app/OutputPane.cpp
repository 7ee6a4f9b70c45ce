#include "app/OutputPane.h"

#include <richedit.h>

#include <cstring>
#include <new>

#include "app/LogInput.h"
#include "app/LogRenewal.h"
#include "app/LogStyle.h"
#include "app/ReadingPlace.h"

// ---- Inserting text at the end of the log --------------------------------------------------

namespace {

bool IsAscii(const char* text)
{
    for (const char* p = text; *p != '\0'; ++p) {
        if (static_cast<unsigned char>(*p) >= 0x80)
            return false;
    }
    return true;
}

// What a plain edit can show of UTF-8 text: its characters in the ANSI code page, and `?` for
// those that have no ANSI form (no look-alike stands in for them). Null without memory.
char* AnsiFromUtf8(const char* text)
{
    int units = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    if (units <= 0)
        return nullptr;
    HANDLE heap = GetProcessHeap();
    size_t wideSize = static_cast<size_t>(units) * sizeof(WCHAR);
    WCHAR* wide = static_cast<WCHAR*>(HeapAlloc(heap, 0, wideSize));
    if (!wide)
        return nullptr;
    MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, units);
    DWORD flags = WC_NO_BEST_FIT_CHARS;
    const char* unknown = "?";
    int bytes = WideCharToMultiByte(CP_ACP, flags, wide, units, nullptr, 0, unknown, nullptr);
    if (bytes <= 0) {
        // An ANSI code page of UTF-8 takes neither the flag nor a stand-in: every character has a
        // form there.
        flags = 0;
        unknown = nullptr;
        bytes = WideCharToMultiByte(CP_ACP, flags, wide, units, nullptr, 0, unknown, nullptr);
    }
    char* ansi = nullptr;
    if (bytes > 0)
        ansi = static_cast<char*>(HeapAlloc(heap, 0, static_cast<size_t>(bytes)));
    if (ansi)
        WideCharToMultiByte(CP_ACP, flags, wide, units, ansi, bytes, unknown, nullptr);
    HeapFree(heap, 0, wide);
    return ansi;
}

// Inserts the pieces of one chunk of UTF-8 at the end of the log. Moving the selection makes a
// rich edit take the format of the text before it (the grey header), so the first piece goes in
// right after the end has been given the chunk's style; later pieces follow text of that style,
// until a mark gives the end another. A plain edit has no format.
class EndInserter {
public:
    EndInserter(HWND window, const TextStyle& style)
        : window(window), atEnd(true), kind(IsPlainEdit(window) ? kPlain : kRich)
    {
        SelectEnd(window);
        if (kind == kRich)
            SetSelectionStyle(window, style);
    }

    void SetStyle(const TextStyle& style)
    {
        if (kind == kPlain)
            return;
        if (!atEnd)
            SelectEnd(window);
        atEnd = true;  // the next piece goes in right here, in the style
        SetSelectionStyle(window, style);
    }

    void Insert(const char* piece)
    {
        if (!atEnd)
            SelectEnd(window);
        atEnd = false;
        if (IsAscii(piece)) {
            Replace(piece);
            return;
        }
        if (kind == kRich) {
            InsertUnicode(piece);
        } else if (char* ansi = AnsiFromUtf8(piece)) {
            Replace(ansi);
            HeapFree(GetProcessHeap(), 0, ansi);
        }
    }

private:
    void Replace(const char* text)
    {
        SendMessageA(window, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
    }

    // The rich edit keeps the characters themselves. Like EM_REPLACESEL with FALSE, the insertion
    // cannot be undone.
    void InsertUnicode(const char* piece)
    {
        // Text that begins like rich text would be read as such: its brace goes in on its own.
        if (piece[0] == '{') {
            Replace("{");
            ++piece;
        }
        SETTEXTEX how = {ST_SELECTION, CP_UTF8};
        SendMessageA(window, EM_SETTEXTEX, reinterpret_cast<WPARAM>(&how),
                     reinterpret_cast<LPARAM>(piece));
    }

    enum Kind { kRich, kPlain };
    HWND window;
    bool atEnd;
    Kind kind;
};

// True when every CR and LF of the text stands in a CR LF pair, apart from an LF at the very start
// or a CR at the very end (a pair split between two reads). Such a chunk gives the same log text
// inserted whole as inserted piece by piece, and one insertion costs far less than several.
bool BreaksOnlyInPairs(const char* text)
{
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p == '\r' && p[1] != '\n' && p[1] != '\0')
            return false;
        if (*p == '\n' && p != text && p[-1] != '\r')
            return false;
    }
    return true;
}

// A line of the log: the text at the very end in the colour and nothing else, no effect or
// background of the child's text before it (a plain edit has none), then the automatic style at
// the end again.
LRESULT WriteAtEnd(HWND window, bool plainEdit, const char* text, COLORREF colour)
{
    SelectEnd(window);
    if (plainEdit)
        return SendMessageA(window, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
    const TextStyle line = {colour, 0, TextStyle::kNoBackground};
    SetSelectionStyle(window, line);
    SendMessageA(window, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
    SetSelectionStyle(window, TextStyle::Automatic());
    return TRUE;
}

// One run of text in one style.
void InsertRun(EndInserter& inserter, char* text)
{
    if (text[0] == '\0')
        return;
    if (BreaksOnlyInPairs(text)) {
        inserter.Insert(text);
        return;
    }

    // Otherwise line breaks go in as pieces of their own, so that lone CRs and LFs next to them
    // stay as the child wrote them.
    char* piece = text;
    for (char* scan = text; *scan != '\0';) {
        if (scan[0] == '\r' && scan[1] == '\n') {
            *scan = '\0';
            if (*piece != '\0')
                inserter.Insert(piece);
            *scan = '\r';
            inserter.Insert("\r\n");
            scan += 2;
            piece = scan;
        } else {
            ++scan;
        }
    }
    if (*piece != '\0')
        inserter.Insert(piece);
}

} // namespace

void OutputPane::InsertChunk(HWND window, char* text, TextStyle* style)
{
    if (!window || !text || text[0] == '\0')
        return;
    TextStyle automatic = TextStyle::Automatic();
    if (!style)
        style = &automatic;
    // Output without a mark, nearly all of it, costs this one scan.
    char* mark = std::strchr(text, kStyleMark);
    // Runs of several styles go in as one stream where it carries them exactly: a rich edit takes
    // a format and a piece of text per run at great cost.
    if (mark && !IsPlainEdit(window) && InsertStyledChunk(window, text, style))
        return;
    EndInserter inserter(window, *style);
    for (char* run = text;; run = mark + kStyleMarkSize, mark = std::strchr(run, kStyleMark)) {
        if (!mark) {
            InsertRun(inserter, run);
            return;
        }
        *mark = '\0';
        InsertRun(inserter, run);
        *mark = kStyleMark;
        *style = ReadStyleMark(mark);
        inserter.SetStyle(*style);
    }
}

void OutputPane::InsertChunk(HWND window, const char* text, TextStyle* style)
{
    if (!text)
        return;
    TextStyle automatic = TextStyle::Automatic();
    if (!style)
        style = &automatic;  // kept from part to part
    // More than the runner reads at once, so that its chunks go in whole.
    char part[1024];
    for (size_t length = std::strlen(text); length > 0;) {
        size_t take = length < sizeof part - 1 ? length : sizeof part - 1;
        // Each part ends between two characters of the UTF-8, and before a mark that it would cut.
        while (take < length && take > 1 && (static_cast<unsigned char>(text[take]) & 0xC0) == 0x80)
            --take;
        size_t from = take > kStyleMarkSize ? take - kStyleMarkSize + 1 : 1;
        for (size_t at = from; take < length && at < take; ++at) {
            if (text[at] == kStyleMark) {
                take = at;
                break;
            }
        }
        std::memcpy(part, text, take);
        part[take] = '\0';
        InsertChunk(window, part, style);
        text += take;
        length -= take;
    }
}

// ---- The feed's state ----------------------------------------------------------------------

// Who touches what. Written once by Start, before any worker exists, then only read: feed,
// original, piece. Changed only by interlocked operations, by either thread: wakePending,
// wakeTarget. Everything else belongs to the window's thread.
struct OutputPane::State {
    OutputPane* feed;
    WNDPROC original;  // the control's own procedure
    char* piece;       // room for one piece of the queue and its terminator
    // 1 while a wake-up is on its way to the window or the window is handling one: then nobody
    // need post another.
    LONG volatile wakePending;
    PVOID volatile wakeTarget;  // the window that wake-ups go to

    size_t logLimit;   // the most characters the log keeps before it is renewed
    DWORD lastRedraw;
    DWORD redrawCost;
    DWORD redrawInterval;
    bool redrawDue;
    bool inLongLine;   // the last piece held no line break
    size_t lineSoFar;  // bytes of the last line in the log since its line break
    DWORD lastPiece;
    LARGE_INTEGER timersServed;  // when no timer was found waiting last
    POINT followed;    // the view that the last wake-up left while following the end
    bool hasFollowed;
    // How many calls of the feed's procedure are on the stack. The control runs loops of its own
    // inside it (a dragged scroll thumb, a context menu) that dispatch wake-ups: a full log is
    // renewed only outside them, since the renewal destroys the window.
    int depth;
    bool renewalHeld;  // a wake-up inside such a loop found the log full
    bool heldByInput;  // the next wake-up waits for the timer, since heldSince
    DWORD heldSince;
    CarriedPlace carried;  // where the last renewal carried the text
    bool following;    // the wake-up under way found the reader following the end
    bool gone;         // the window was destroyed: the feed stands in front of nothing
};

namespace {

using State = OutputPane::State;

// ---- Waking the window: the one place of the protocol ----------------------------------------

// A worker waiting for room or for the window looks again this often, so that a wake-up that
// could not be posted (a full message queue) is asked for again instead of leaving both threads
// waiting for each other.
const DWORD kRecheckMs = 50;
// The wake-up that comes after waiting input: a timer, since the system hands out timers only when
// no input, painting or posted message waits, while a posted wake-up would come before them all.
const UINT_PTR kWakeTimer = 0x5652;

UINT WakeMessage()
{
    static const UINT message = RegisterWindowMessageA("Velqueth.OutputQueued");
    return message;
}

HWND WakeTarget(State* state)
{
    return static_cast<HWND>(InterlockedCompareExchangePointer(&state->wakeTarget, nullptr, nullptr));
}

bool WakePending(State* state)
{
    return InterlockedCompareExchange(&state->wakePending, 0, 0) != 0;
}

// Any thread, after pushing: posts a wake-up unless one is on its way.
void RequestWake(State* state)
{
    if (InterlockedExchange(&state->wakePending, 1) != 0)
        return;
    HWND target = WakeTarget(state);
    if (!target || !PostMessageA(target, WakeMessage(), 0, 0))
        InterlockedExchange(&state->wakePending, 0);  // asked for again by whoever waits
}

bool InputWaits(State* state);

// Another thread waits for this one to answer a message it sent: the feed lets it in between two
// pieces rather than after a wake-up's whole budget and a drawing.
bool AnswerWaits()
{
    return (HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) != 0;
}

// The window's thread, at the end of a wake-up. With text left it brings the next one itself:
// posted, or after waiting input through a timer. With none left the next push posts one; a push
// that came between the look and the clearing found the flag still set, so the queue is looked at
// once more.
void WakeAgain(HWND window, State* state)
{
    OutputQueue& queue = state->feed->queue;
    if (queue.Queued() == 0) {
        InterlockedExchange(&state->wakePending, 0);
        if (queue.Queued() == 0 || InterlockedExchange(&state->wakePending, 1) != 0)
            return;
    }
    if (!InputWaits(state) && PostMessageA(window, WakeMessage(), 0, 0))
        return;
    if (!SetTimer(window, kWakeTimer, USER_TIMER_MINIMUM, nullptr)) {
        InterlockedExchange(&state->wakePending, 0);  // the worker asks again
    } else if (!state->heldByInput) {
        state->heldByInput = true;
        state->heldSince = GetTickCount();
    }
}

// Input that never pauses (a held key, a long drag) would keep the timer from coming at all: once
// it has held the output off this long, the next message of the window posts the wake-up, which
// comes before the input. Called for every message of the window.
const DWORD kLongestHoldMs = 250;

void WakeIfHeldTooLong(HWND window, State* state)
{
    if (state->heldByInput && GetTickCount() - state->heldSince >= kLongestHoldMs)
        state->heldByInput = !PostMessageA(window, WakeMessage(), 0, 0);
}

// ---- Drawing -------------------------------------------------------------------------------

// While a child floods the log, the window is drawn again whole at most this often: drawing the
// text and both scroll bars after every insertion costs many times the insertion itself.
const DWORD kRedrawIntervalMs = 100;
// Drawing may take longer than that (the control draws a long line whole): then the window is
// drawn at most for this share of the time, so that a flood goes on at nearly the control's pace.
const DWORD kRedrawShare = 20;
const DWORD kLongestRedrawIntervalMs = 10000;
// Inside a long line the window is drawn only once the output has paused this long (or as long as
// the last drawing took, up to the longest pause), so that a job's closing line is drawn with it.
const DWORD kLongLinePauseMs = 150;
const DWORD kLongestLongLinePauseMs = 2000;
const UINT_PTR kRedrawTimer = 0x5651;

void Redraw(HWND window, State* state)
{
    if (state->redrawDue) {
        KillTimer(window, kRedrawTimer);
        state->redrawDue = false;
    }
    DWORD start = GetTickCount();
    // Drawn now: while output keeps coming, the queue is never empty enough for the system to
    // send WM_PAINT.
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW);
    state->lastRedraw = GetTickCount();
    DWORD cost = state->lastRedraw - start;
    state->redrawCost = cost;
    DWORD interval = cost * kRedrawShare;
    if (interval < kRedrawIntervalMs)
        interval = kRedrawIntervalMs;
    state->redrawInterval = interval < kLongestRedrawIntervalMs ? interval : kLongestRedrawIntervalMs;
}

// Drawn again at once when it has not been for a while, else when the interval is over; inside a
// long line it waits for a pause of the output too (OnTimer). Waiting input comes first.
void ScheduleRedraw(HWND window, State* state)
{
    DWORD since = GetTickCount() - state->lastRedraw;
    if (since >= state->redrawInterval && !state->inLongLine && !InputWaits(state) && !AnswerWaits()) {
        Redraw(window, state);
    } else if (!state->redrawDue) {
        state->redrawDue = true;
        DWORD wait = since < state->redrawInterval ? state->redrawInterval - since : kRedrawIntervalMs;
        SetTimer(window, kRedrawTimer, wait, nullptr);
    }
}

// Timers come only when no wake-up is waiting: the output has paused.
LRESULT OnTimer(HWND window, State* state)
{
    DWORD quiet = GetTickCount() - state->lastPiece;
    DWORD pause = state->redrawCost < kLongLinePauseMs ? kLongLinePauseMs : state->redrawCost;
    if (pause > kLongestLongLinePauseMs)
        pause = kLongestLongLinePauseMs;
    if (state->inLongLine && quiet < pause)
        SetTimer(window, kRedrawTimer, pause - quiet, nullptr);
    else
        Redraw(window, state);
    return 0;
}

// ---- Taking pieces -------------------------------------------------------------------------

// Pieces for about this long per wake-up (timed on a clock finer than the tick count's 10-16 ms
// steps). A flush from the window's own thread (wParam 1) inserts everything.
const double kWakeBudgetMs = 20;
// Timers that are due wait at most this long for a flood's pieces; the redraw timer is due often,
// and a flood draws the window itself when it is due.
const double kTimerWaitMs = 100;

// A long line that is still being written is looked at again this often, and goes in once the
// output has paused this long, or this long after the last piece (or when the queue is full, or
// the job waits for it).
const UINT kGatherMs = 20;
const DWORD kGatherPauseMs = 100;
const DWORD kGatherMostMs = 500;

double MillisecondsSince(const LARGE_INTEGER& start)
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart - start.QuadPart) * 1000.0 /
           static_cast<double>(frequency.QuadPart);
}

// Keyboard and mouse input, painting or hot keys wait for this thread, or timers have waited
// long enough.
bool InputWaits(State* state)
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

LRESULT CALLBACK FeedProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Puts FeedProc in front of the window's own procedure; false (and the window as it was) when
// that cannot be done.
bool Subclass(HWND window, State* state)
{
    state->original = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(window, GWLP_WNDPROC));
    if (!state->original)
        return false;
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
    if (!SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FeedProc))) {
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        return false;
    }
    return true;
}

void Unsubclass(HWND window, State* state)
{
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(state->original));
    SetWindowLongPtrA(window, GWLP_USERDATA, 0);
}

// The log goes on in a new window of the same recipe (app/LogRenewal.h), which the feed moves to;
// answers the window that takes the output from now on, `window` itself when none could be made.
// Both are of one class, so the record of the control's own procedure holds for the new one.
HWND Renew(HWND window, State* state)
{
    OutputPane* feed = state->feed;
    LogRenewal renewal;
    if (!renewal.Begin(window, feed->plainEdit, state->logLimit))
        return window;
    HWND fresh = renewal.Fresh();
    Unsubclass(window, state);
    if (!Subclass(fresh, state)) {
        Subclass(window, state);
        DestroyWindow(fresh);
        return window;
    }
    feed->window = fresh;
    InterlockedExchangePointer(&state->wakeTarget, fresh);
    renewal.Finish(!state->following);
    state->carried = renewal.Moved();
    state->redrawDue = false;  // its timer went with the old window
    return fresh;
}

// Inserts the next piece of the queue into the window, whose drawing is off. Answers the window
// it went into (a full log is renewed first, and the new window's drawing is off too), or null
// when nothing was queued.
HWND InsertPiece(HWND window, State* state)
{
    OutputQueue& queue = state->feed->queue;
    size_t length = queue.Take(state->piece);
    if (length == 0)
        return nullptr;
    state->piece[length] = '\0';
    HWND into = window;
    if (LogIsFull(window, length, state->logLimit)) {
        state->renewalHeld = state->depth > 1;
        if (!state->renewalHeld)
            into = Renew(window, state);
        if (into != window)
            CallWindowProcA(state->original, into, WM_SETREDRAW, FALSE, 0);
    }
    OutputPane::InsertChunk(into, state->piece, &state->feed->outputStyle);
    queue.PieceDone();
    size_t lineStart = length;
    while (lineStart > 0 && state->piece[lineStart - 1] != '\n')
        --lineStart;
    state->inLongLine = lineStart == 0;
    state->lineSoFar = lineStart == 0 ? state->lineSoFar + length : length - lineStart;
    state->lastPiece = GetTickCount();
    return into;
}

const POINT* FollowedView(const State* state)
{
    return state->hasFollowed ? &state->followed : nullptr;
}

LRESULT OnWake(HWND window, State* state, WPARAM all)
{
    KillTimer(window, kWakeTimer);
    state->heldByInput = false;
    // Inside a loop of the control's own, a full log takes nothing more until the loop is over
    // (the outermost return asks for the next wake-up); a flush still goes in.
    if (state->depth > 1 && state->renewalHeld && !all)
        return 1;
    state->renewalHeld = false;  // decided again below
    if (state->feed->queue.Queued() == 0) {
        WakeAgain(window, state);  // a late one: the text went in with another
        return 1;
    }
    // Inside a long line, each insertion costs the control about as much as the line so far:
    // while the child goes on writing it, the text gathers to the queue's size and goes in at once.
    if (!all && state->lineSoFar >= OutputQueue::kLinePiece &&
        state->feed->queue.Gathers(kGatherPauseMs, kGatherMostMs)) {
        if (!SetTimer(window, kWakeTimer, kGatherMs, nullptr))
            InterlockedExchange(&state->wakePending, 0);  // the worker asks again
        return 1;
    }
    LARGE_INTEGER began;
    QueryPerformanceCounter(&began);
    // The pieces go in with drawing off, the user's place noted before and put back after them
    // (in a renewed log on the text it was carried with).
    ReadingPlace place(window, state->feed->plainEdit, FollowedView(state));
    state->following = place.Following();
    CallWindowProcA(state->original, window, WM_SETREDRAW, FALSE, 0);
    for (HWND into = InsertPiece(window, state); into; into = InsertPiece(window, state)) {
        if (into != window)
            place.Renewed(into, state->carried);
        window = into;
        if (state->renewalHeld ||
            (!all && (MillisecondsSince(began) >= kWakeBudgetMs || InputWaits(state) || AnswerWaits())))
            break;
    }
    state->hasFollowed = place.PutBack(&state->followed);
    CallWindowProcA(state->original, window, WM_SETREDRAW, TRUE, 0);
    WakeAgain(window, state);
    ScheduleRedraw(window, state);
    return 1;
}

// A line of the log (Append) written on the window's own thread, with drawing off and the user's
// place kept; drawn with the output's next redraw.
UINT WriteMessage()
{
    static const UINT message = RegisterWindowMessageA("Velqueth.WriteAtEnd");
    return message;
}

LRESULT OnWrite(HWND window, State* state, WPARAM colour, LPARAM text)
{
    ReadingPlace place(window, state->feed->plainEdit, FollowedView(state));
    CallWindowProcA(state->original, window, WM_SETREDRAW, FALSE, 0);
    WriteAtEnd(window, state->feed->plainEdit, reinterpret_cast<const char*>(text),
               static_cast<COLORREF>(colour));
    state->hasFollowed = place.PutBack(&state->followed);
    CallWindowProcA(state->original, window, WM_SETREDRAW, TRUE, 0);
    ScheduleRedraw(window, state);
    return TRUE;  // written: the caller must not write it again
}

// A worker waiting for room stops waiting; what it reads from now on has nowhere to go.
LRESULT OnNcDestroy(HWND window, State* state, WPARAM wParam, LPARAM lParam)
{
    state->gone = true;
    state->feed->queue.Close();
    InterlockedExchangePointer(&state->wakeTarget, nullptr);
    Unsubclass(window, state);
    return CallWindowProcA(state->original, window, WM_NCDESTROY, wParam, lParam);
}

LRESULT Dispatch(HWND window, State* state, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WakeMessage())
        return OnWake(window, state, wParam);
    if (message == WriteMessage())
        return OnWrite(window, state, wParam, lParam);
    LRESULT result = 0;
    if (HandleLogInput(window, message, wParam, lParam, &result))
        return result;
    switch (message) {
    case WM_TIMER:
        if (wParam == kRedrawTimer)
            return OnTimer(window, state);
        if (wParam == kWakeTimer)
            return OnWake(window, state, 0);
        break;
    case WM_NCDESTROY:
        return OnNcDestroy(window, state, wParam, lParam);
    }
    return CallWindowProcA(state->original, window, message, wParam, lParam);
}

LRESULT CALLBACK FeedProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    State* state = reinterpret_cast<State*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    ++state->depth;
    WakeIfHeldTooLong(window, state);
    LRESULT result = Dispatch(window, state, message, wParam, lParam);
    // A full log held inside a loop of the control's own is renewed with the next wake-up.
    if (--state->depth == 0 && state->renewalHeld && !state->gone)
        WakeAgain(window, state);
    return result;
}

} // namespace

// ---- The feed ------------------------------------------------------------------------------

OutputPane::OutputPane()
    : window(nullptr), plainEdit(false), outputStyle(TextStyle::Automatic()), state(nullptr)
{
}

OutputPane::~OutputPane()
{
    if (!state)
        return;
    if (!state->gone && window && IsWindow(window))
        Unsubclass(window, state);
    HeapFree(GetProcessHeap(), 0, state->piece);
    delete state;
}

void OutputPane::Start(HWND paneWindow)
{
    window = paneWindow;
    plainEdit = IsPlainEdit(paneWindow);
    if (!paneWindow || state)
        return;
    State* fresh = new (std::nothrow) State;
    if (!fresh)
        return;
    std::memset(fresh, 0, sizeof *fresh);
    fresh->feed = this;
    fresh->piece = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, OutputQueue::kLimit + 1));
    fresh->wakeTarget = paneWindow;
    fresh->logLimit = LogLimitForThisProcess();
    fresh->lastRedraw = GetTickCount() - kRedrawIntervalMs;
    fresh->redrawInterval = kRedrawIntervalMs;
    QueryPerformanceCounter(&fresh->timersServed);
    // Without a queue (no memory for it) the worker inserts message by message.
    if (!fresh->piece || !queue.Open() || !Subclass(paneWindow, fresh)) {
        queue.Close();
        if (fresh->piece)
            HeapFree(GetProcessHeap(), 0, fresh->piece);
        delete fresh;
        return;
    }
    state = fresh;
}

void OutputPane::SetLogLimit(size_t chars)
{
    if (state)
        state->logLimit = chars;
}

void OutputPane::AppendOutput(const char* text)
{
    if (!text || text[0] == '\0')
        return;
    size_t length = std::strlen(text);
    OutputQueue::Pushed pushed = state ? queue.Push(text, length, 0) : OutputQueue::kClosed;
    while (pushed == OutputQueue::kFull) {
        RequestWake(state);
        pushed = queue.Push(text, length, kRecheckMs);
    }
    if (pushed == OutputQueue::kClosed) {
        // No feed: the window is never renewed, so `window` is safe to read here.
        InsertChunk(window, text, &outputStyle);
        return;
    }
    RequestWake(state);
    // A wake-up that the system refused is asked for again until one is on its way or the window
    // has taken the text: it may get no other.
    while (!WakePending(state) && !queue.WaitUntilInserted(kRecheckMs))
        RequestWake(state);
}

void OutputPane::Flush()
{
    HWND target = state ? WakeTarget(state) : nullptr;
    if (!target)
        return;
    if (GetWindowThreadProcessId(target, nullptr) != GetCurrentThreadId()) {
        // The window inserts the rest piece by piece, as it always does, so that it stays
        // responsive; the queue's lock also makes a renewed `window` safe to read afterwards.
        while (!queue.WaitUntilInserted(kRecheckMs))
            RequestWake(state);
        return;
    }
    // On the window's own thread: everything at once, following the output into a renewed window.
    while (!state->gone && queue.Queued() > 0)
        SendMessageA(window, WakeMessage(), 1, 0);
}

bool OutputPane::EndsWithLineBreak()
{
    Flush();  // first: till then a renewal may replace the window
    if (!window)
        return true;
    LRESULT length = SendMessageA(window, WM_GETTEXTLENGTH, 0, 0);
    if (length <= 0)
        return true;
    if (plainEdit) {
        // A plain edit breaks lines at CR LF only: the log ends with one when its last line is
        // empty.
        LRESULT last = SendMessageA(window, EM_GETLINECOUNT, 0, 0) - 1;
        LRESULT start = SendMessageA(window, EM_LINEINDEX, static_cast<WPARAM>(last), 0);
        return last > 0 && start >= 0 && SendMessageA(window, EM_LINELENGTH, start, 0) == 0;
    }
    char tail[8] = "";  // two characters, double-byte ones included
    TEXTRANGEA range;
    range.chrg.cpMin = length >= 2 ? static_cast<LONG>(length - 2) : 0;
    range.chrg.cpMax = static_cast<LONG>(length);
    range.lpstrText = tail;
    SendMessageA(window, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range));
    return std::strcmp(tail, "\r\n") == 0;
}

LRESULT OutputPane::Append(const char* text, COLORREF colour)
{
    Flush();
    HWND into = window;  // read after the flush: till then a renewal may replace it
    if (!into)
        return 0;
    // A fed window writes on its own thread, keeping the reader's place; any other answers 0.
    if (SendMessageA(into, WriteMessage(), colour, reinterpret_cast<LPARAM>(text)))
        return TRUE;
    return WriteAtEnd(into, plainEdit, text, colour);
}
