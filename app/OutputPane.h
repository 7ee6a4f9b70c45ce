// OutputPane: the wrapper over the log window. Append writes text at the end of the log in a
// colour; the child's output goes in the control's automatic colour through the insertion
// protocol below, which the log pane and the job's runner share.
#ifndef VELQUETH_APP_OUTPUTPANE_H
#define VELQUETH_APP_OUTPUTPANE_H

#include <windows.h>

// Log colours (COLORREF: red in the low byte).
const COLORREF kColourGrey = 0x808080;
const COLORREF kColourRed = 0x0000C0;
const COLORREF kColourGreen = 0x00C000;

class OutputPane {
public:
    OutputPane();
    virtual ~OutputPane();

    void Attach(HWND paneWindow);
    LRESULT Append(const char* text, COLORREF colour);
    LRESULT AppendPlain(const char* text);

    // Puts an empty selection at the very end of the text of an edit or rich-edit control.
    static void SelectEnd(HWND paneWindow);

    // The message by which a job's worker hands one chunk of the child's output (lParam) to the
    // log pane made by CreatePane, which inserts it on its own thread and answers 1. Any other
    // window answers 0.
    static UINT ChunkMessage();

    // Hands one chunk to the pane: whole through ChunkMessage where the pane takes it, else
    // inserted message by message from the calling thread.
    static void SendChunk(HWND paneWindow, const char* text);

    // Inserts one chunk at the end of the pane in the automatic colour, wherever the user has put
    // the caret or a selection. Line breaks that are not CR LF pairs stay as written.
    static void InsertChunk(HWND paneWindow, const char* text);

    HWND window;
    bool plainEdit;
};

#endif
