// PaneConsoleRunner: the runner of a job, whose output goes into the log. Each chunk is decoded
// from the job's code page into UTF-8, its escape sequences are read as styles, and it is handed
// to the output pane's feed (the worker's side of the log).
#ifndef VELQUETH_RUNNER_PANECONSOLERUNNER_H
#define VELQUETH_RUNNER_PANECONSOLERUNNER_H

#include "app/OutputPane.h"
#include "base/EscapeReader.h"
#include "base/TextDecoder.h"
#include "config/Settings.h"
#include "runner/ConsoleRunner.h"

class PaneConsoleRunner : public ConsoleRunner {
public:
    PaneConsoleRunner();
    // The log's window that the output is for. Answers the window bound before.
    HWND SetPane(HWND window);
    void OnOutput(const char* text) override;
    // After Execute: hands on the bytes of a character that the output's end left incomplete.
    void FinishOutput();

    // The output pane whose feed takes the output; not owned. How the output is read:
    // TextDecoder's kAutomatic unless set. Both before Execute.
    void SetOutput(OutputPane* feed);
    void SetCodePage(UINT codePage);
    // How the escape sequences are shown: kColoursOn unless set. Before Execute.
    void SetColours(ColourMode mode);

    HWND paneWindow;
    OutputPane* output;
    TextDecoder decoder;
    bool readEscapes;
    EscapeReader escapes;

private:
    // Decoded text (NUL-terminated, `length` bytes) through the escape reader to the feed.
    void ReadEscapes(const char* text, size_t length);
};

#endif
