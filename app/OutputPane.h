// OutputPane: the wrapper over the log window. Append writes text at the end of the log in a
// colour; the child's output goes in the control's automatic colour through the insertion
// protocol below, which the log pane and the job's runner share.
#ifndef VELQUETH_APP_OUTPUTPANE_H
#define VELQUETH_APP_OUTPUTPANE_H

#include <windows.h>

#include "app/OutputQueue.h"

// Log colours (COLORREF: red in the low byte).
const COLORREF kColourGrey = 0x808080;
const COLORREF kColourRed = 0x0000C0;
const COLORREF kColourGreen = 0x00C000;

class OutputPane {
public:
    OutputPane();
    virtual ~OutputPane();

    void Attach(HWND paneWindow);
    // True unless the window is a rich edit: then text goes in without colour, and characters
    // without an ANSI form show as `?`.
    static bool IsPlainEdit(HWND paneWindow);
    LRESULT Append(const char* text, COLORREF colour);
    LRESULT AppendPlain(const char* text);
    // Append's own work on the pane's thread: the text at the very end, in the colour (a plain
    // edit has none), and the automatic colour at the end again.
    static LRESULT WriteAtEnd(HWND pane, bool plainEdit, const char* text, COLORREF colour);
    // Asks a fed pane to write a line itself, on its own thread, keeping the reader's place
    // (wParam the colour, lParam the text). A pane that is not fed answers 0, as for any message
    // it does not know: the caller writes then.
    static UINT WriteMessage();

    // Puts an empty selection at the very end of the text of an edit or rich-edit control.
    static void SelectEnd(HWND paneWindow);
    // Gives the rich edit's selection a colour, or the automatic colour.
    static void SetSelectionColour(HWND paneWindow, COLORREF colour, bool automatic);

    // Hands one chunk of a child's output, as UTF-8, to the log from a job's worker: into the
    // queue when the pane takes its output from there (waiting only while the queue is full), else
    // inserted message by message from the calling thread.
    void AppendOutput(const char* text);
    // Inserts everything queued, so that what comes next lands after it (any thread).
    void Flush();
    // After a flush: whether the log ends with CR LF, or is empty (any thread).
    bool EndsWithLineBreak();

    // Inserts one chunk of UTF-8 at the end of the pane in the automatic colour, wherever the user
    // has put the caret or a selection. Line breaks that are not CR LF pairs stay as written. The
    // text is cut at its CR LF pairs while it goes in, and is as it was afterwards; a constant
    // text goes in through a small copy of each part, as the runner would have read it.
    static void InsertChunk(HWND paneWindow, char* text);
    static void InsertChunk(HWND paneWindow, const char* text);

    HWND window;
    bool plainEdit;
    OutputQueue queue;
};

#endif
