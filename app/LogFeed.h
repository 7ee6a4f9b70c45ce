// LogFeed: how text reaches the log. A job's worker hands each chunk of output to the feed, which
// queues it (app/OutputQueue.h) and wakes the log window; on the user-interface thread the feed,
// in front of the window's own procedure, takes what has gathered piece by piece, inserts it with
// drawing held back and the reader's place kept (app/ReadingPlace.h), draws again at most every
// so often, and renews a full log (app/LogRenewal.h).
//
// Threading: Start, SetLogLimit and the window procedure run on the thread that owns the window;
// Append, AppendOutput, Flush and EndsWithLineBreak on any thread. `window` and `plainEdit` change
// only in a renewal, which happens only while queued output goes in: the worker reads them only
// when nothing is queued (before its child runs, after a Flush, whose wait on the queue's lock
// orders the renewal's writes before the reads).
#ifndef VELQUETH_APP_LOGFEED_H
#define VELQUETH_APP_LOGFEED_H

#include <windows.h>

#include <cstddef>

#include "app/LogWindow.h"
#include "app/OutputQueue.h"

class LogFeed {
public:
    LogFeed();
    virtual ~LogFeed();

    // Feeds `logWindow`: puts the feed's procedure in front of the window's own and opens the
    // queue. Without memory for either, text goes in message by message from the writing thread.
    void Start(HWND logWindow);
    // The most characters the log keeps before it is renewed (at first, what this process can
    // afford); tests make it small.
    void SetLogLimit(size_t chars);

    // A line of the log at its very end in `colour`, after everything queued; the reader's place
    // is kept. Answers 0 without a window.
    LRESULT Append(const char* text, COLORREF colour);
    // One chunk of a child's output (UTF-8), in the control's automatic colour. Waits only while
    // the queue is full.
    void AppendOutput(const char* text);
    // Inserts everything queued, so that what comes next lands after it.
    void Flush();
    // After a flush: whether the log ends with CR LF, or is empty.
    bool EndsWithLineBreak();

    // One chunk of UTF-8 at the end of `window`, in the automatic colour, wherever the caret is.
    // Line breaks that are not CR LF pairs stay as written; `text` is cut at its pairs while it
    // goes in and is as it was afterwards. A constant text goes in through small copies.
    static void InsertChunk(HWND window, char* text);
    static void InsertChunk(HWND window, const char* text);

    HWND window;
    bool plainEdit;
    OutputQueue queue;

    // The feed's state (app/LogFeed.cpp); null until Start has had memory for it.
    struct State;
    State* state;

private:
    LogFeed(const LogFeed&) = delete;
    LogFeed& operator=(const LogFeed&) = delete;
};

#endif
