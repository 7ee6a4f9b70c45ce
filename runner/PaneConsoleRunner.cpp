// OnOutput runs on the job's worker thread; the pane inserts each chunk on the user-interface
// thread, so each chunk lands whole. A pane destroyed meanwhile drops what still comes.
#include "runner/PaneConsoleRunner.h"

PaneConsoleRunner::PaneConsoleRunner() : paneWindow(nullptr), output(nullptr)
{
}

HWND PaneConsoleRunner::SetPane(HWND window)
{
    paneWindow = window;
    return paneWindow;
}

void PaneConsoleRunner::SetOutput(OutputPane* pane)
{
    output = pane;
}

void PaneConsoleRunner::OnOutput(const char* text)
{
    if (output)
        output->AppendOutput(text);
    else
        OutputPane::InsertChunk(paneWindow, text);
}
