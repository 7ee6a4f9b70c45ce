// OnOutput runs on the job's worker thread; the pane inserts each chunk on the user-interface
// thread, so each chunk lands whole. A pane destroyed meanwhile makes the messages fail harmlessly.
#include "runner/PaneConsoleRunner.h"

#include "app/OutputPane.h"

PaneConsoleRunner::PaneConsoleRunner() : paneWindow(nullptr)
{
}

HWND PaneConsoleRunner::SetPane(HWND window)
{
    paneWindow = window;
    return paneWindow;
}

void PaneConsoleRunner::OnOutput(const char* text)
{
    OutputPane::SendChunk(paneWindow, text);
}
