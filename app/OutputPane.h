// OutputPane: the wrapper over the log window. Append writes text at the end of the log in a
// colour; the child's output (PaneConsoleRunner) goes in the control's automatic colour.
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

    HWND window;
    bool plainEdit;
};

// The banner line "<title> Version <special> <version>\t<url>\r\n" in a buffer of `size` bytes. A
// line that would not fit is cut before its line break, which it always keeps.
void FormatBannerLine(char* line, size_t size, const char* title, const char* special,
                      const char* version, const char* url);

#endif
