// OnOutput runs on the job's worker thread; the pane inserts each chunk on the user-interface
// thread, so each chunk lands whole. A pane destroyed meanwhile drops what still comes.
#include "runner/PaneConsoleRunner.h"

#include <cstring>

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

void PaneConsoleRunner::SetCodePage(UINT codePage)
{
    decoder = TextDecoder(codePage);
}

void PaneConsoleRunner::OnOutput(const char* text)
{
    size_t length = std::strlen(text);
    if (decoder.PassesAsIs(text, length)) {
        Deliver(text);
        return;
    }
    const size_t most = TextDecoder::kMostInput;
    for (size_t at = 0; at < length; at += most)
        Deliver(decoder.Decode(text + at, length - at < most ? length - at : most));
}

void PaneConsoleRunner::FinishOutput()
{
    Deliver(decoder.Finish());
}

void PaneConsoleRunner::Deliver(const char* text)
{
    if (output)
        output->AppendOutput(text);
    else
        OutputPane::InsertChunk(paneWindow, text);
}
