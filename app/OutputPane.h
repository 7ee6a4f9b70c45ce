// OutputPane: the log window and its feed, how text reaches the log. A worker's chunks wait in
// the queue; on the window's thread the feed takes them in pieces between the user's input, so a
// flood neither blocks the window nor is lost. Start and SetLogLimit run on the window's thread,
// the rest on any. `window` changes only in a renewal, while queued output goes in: a worker reads
// it only after a Flush.
#ifndef VELQUETH_APP_OUTPUTPANE_H
#define VELQUETH_APP_OUTPUTPANE_H

#include <windows.h>

#include <cstddef>

#include "app/LogWindow.h"
#include "app/OutputQueue.h"
#include "base/TextStyle.h"

class OutputPane {
public:
    OutputPane();
    virtual ~OutputPane();

    // Feeds `paneWindow` (subclassed); without memory for that, text goes in message by message.
    void Start(HWND paneWindow);
    // The most characters kept before the log is renewed; tests make it small.
    void SetLogLimit(size_t chars);

    // A line at the very end in `colour`, after everything queued; 0 without a window.
    LRESULT Append(const char* text, COLORREF colour);
    // One chunk of a child's output (UTF-8 with style marks, base/TextStyle.h); waits only while
    // the queue is full.
    void AppendOutput(const char* text);
    // Inserts everything queued, so that what comes next lands after it.
    void Flush();
    // After a flush: whether the log ends with CR LF, or is empty.
    bool EndsWithLineBreak();

    // One chunk of UTF-8 at the end of `window`, from `style` (automatic when null) on, each run
    // after a mark in its style, `style` left as the marks set it; line breaks as written (`text`
    // is cut at its CR LF pairs and marks meanwhile, and restored).
    static void InsertChunk(HWND window, char* text, TextStyle* style = nullptr);
    static void InsertChunk(HWND window, const char* text, TextStyle* style = nullptr);

    HWND window;
    bool plainEdit;
    OutputQueue queue;
    // The style in which the child's output inserted so far ends; written only by the thread that
    // inserts it (the window's own while fed, else the job's worker).
    TextStyle outputStyle;

    // The feed's state (app/OutputPane.cpp); null until Start has had memory for it.
    struct State;
    State* state;

private:
    OutputPane(const OutputPane&) = delete;
    OutputPane& operator=(const OutputPane&) = delete;
};

#endif
