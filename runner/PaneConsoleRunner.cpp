// Runs on the job's worker thread; every insertion is a synchronous message that the
// user-interface thread carries out, so each piece lands whole. A pane destroyed meanwhile makes
// the messages fail harmlessly.
#include "PaneConsoleRunner.h"

#include <cstring>

#include "../app/OutputPane.h"

namespace {

// The child's output always goes to the end of the log, wherever the user has put the caret or
// a selection meanwhile.
void InsertAtEnd(HWND pane, const char* piece)
{
    OutputPane::SelectEnd(pane);
    SendMessageA(pane, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(piece));
}

} // namespace

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
    if (!paneWindow || !text || text[0] == '\0')
        return;
    size_t length = std::strlen(text);
    char* copy = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, length + 1));
    if (!copy)
        return;
    std::memcpy(copy, text, length + 1);

    // Line breaks go in as pieces of their own.
    char* piece = copy;
    for (char* scan = copy; *scan != '\0';) {
        if (scan[0] == '\r' && scan[1] == '\n') {
            *scan = '\0';
            if (*piece != '\0')
                InsertAtEnd(paneWindow, piece);
            InsertAtEnd(paneWindow, "\r\n");
            scan += 2;
            piece = scan;
        } else {
            ++scan;
        }
    }
    if (*piece != '\0')
        InsertAtEnd(paneWindow, piece);

    HeapFree(GetProcessHeap(), 0, copy);
}
