// PaneConsoleRunner: inserts each chunk of the child's output at the end of the log window.
#ifndef VELQUETH_RUNNER_PANECONSOLERUNNER_H
#define VELQUETH_RUNNER_PANECONSOLERUNNER_H

#include "ConsoleRunner.h"

class PaneConsoleRunner : public ConsoleRunner {
public:
    PaneConsoleRunner();
    HWND SetPane(HWND window);
    void OnOutput(const char* text) override;

    // Inserts one chunk of output at the end of the pane, message by message: what OnOutput does
    // for a window that does not take whole chunks, and what the log pane does on its own thread.
    static void InsertChunk(HWND pane, const char* text);

    HWND paneWindow;
};

#endif
