// PaneConsoleRunner: inserts each chunk of the child's output at the end of the log window, read
// in the job's code page and turned into the log's UTF-8.
#ifndef VELQUETH_RUNNER_PANECONSOLERUNNER_H
#define VELQUETH_RUNNER_PANECONSOLERUNNER_H

#include "app/OutputPane.h"
#include "base/TextDecoder.h"
#include "runner/ConsoleRunner.h"

class PaneConsoleRunner : public ConsoleRunner {
public:
    PaneConsoleRunner();
    HWND SetPane(HWND window);
    void OnOutput(const char* text) override;

    // The log's wrapper, when the runner writes into the program's log: chunks then travel
    // through its queue instead of one message each. Not owned.
    void SetOutput(OutputPane* pane);
    // How the output is read: TextDecoder::kAutomatic unless set. Before Execute.
    void SetCodePage(UINT codePage);
    // After Execute: hands on the bytes of a character that the output's end left incomplete.
    void FinishOutput();

    HWND paneWindow;
    OutputPane* output;
    TextDecoder decoder;

private:
    void Deliver(const char* text);
};

#endif
