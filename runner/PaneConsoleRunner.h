// PaneConsoleRunner: inserts each chunk of the child's output at the end of the log window.
#ifndef VELQUETH_RUNNER_PANECONSOLERUNNER_H
#define VELQUETH_RUNNER_PANECONSOLERUNNER_H

#include "app/OutputPane.h"
#include "runner/ConsoleRunner.h"

class PaneConsoleRunner : public ConsoleRunner {
public:
    PaneConsoleRunner();
    HWND SetPane(HWND window);
    void OnOutput(const char* text) override;

    // The log's wrapper, when the runner writes into the program's log: chunks then travel
    // through its queue instead of one message each. Not owned.
    void SetOutput(OutputPane* pane);

    HWND paneWindow;
    OutputPane* output;
};

#endif
