// LogSave: Save Log As. The system's Save dialog (through the file-dialog seam) in the folder used
// last, then the log written whole or not at all: as UTF-8 text with its CR LF line ends and no
// byte-order mark, or as rich text with its colours. The log is read at once on the
// user-interface thread, so the file holds it as it was when Save was chosen; a job's output
// waits in its queue meanwhile.
#ifndef VELQUETH_APP_LOGSAVE_H
#define VELQUETH_APP_LOGSAVE_H

#include <windows.h>

#include "config/AppPaths.h"

class LogSave {
public:
    LogSave();
    virtual ~LogSave();

    // Ctrl+S: asks where (the dialog owned by `owner`) and saves; a refused write says so in a
    // box owned by `owner` and leaves an earlier file as it was. `pane` is read once the dialog
    // has closed: a full log may go on in a new pane meanwhile.
    void Run(HWND owner, const HWND* pane);

    // Writes the pane's text, or rich text, into a temporary file beside `path` and moves it
    // over `path`. Answers 0 or the error of the first failing call; the temporary file goes.
    static DWORD Write(HWND pane, const char* path, bool richText);

    // The dialog's types, in this order.
    static const char kFilter[];
    static const DWORD kTextType = 1;
    static const DWORD kRichTextType = 2;

private:
    void ReportRefusedSave(HWND owner, const char* path, DWORD code) const;

    char folder[kPathSize];  // the folder of the last save, or empty
    DWORD lastType;
};

#endif
