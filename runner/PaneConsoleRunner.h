// PaneConsoleRunner: inserts each chunk of the child's output at the end of the log window.
#ifndef VELQUETH_RUNNER_PANECONSOLERUNNER_H
#define VELQUETH_RUNNER_PANECONSOLERUNNER_H

#include "runner/ConsoleRunner.h"

class PaneConsoleRunner : public ConsoleRunner {
public:
    PaneConsoleRunner();
    HWND SetPane(HWND window);
    void OnOutput(const char* text) override;

    HWND paneWindow;
};

#endif
