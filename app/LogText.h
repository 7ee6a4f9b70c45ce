// LogText: a copy of the whole text of the log as UTF-16, one unit for each character position of
// the pane (a rich edit's characters themselves, a plain edit's as it shows them), CR LF line
// ends included. Made on the stack for one search or one save.
#ifndef VELQUETH_APP_LOGTEXT_H
#define VELQUETH_APP_LOGTEXT_H

#include <windows.h>

#include <cstddef>

class LogText {
public:
    LogText();
    virtual ~LogText();

    // Reads the pane's text; answers 0, or ERROR_NOT_ENOUGH_MEMORY with the copy left empty.
    DWORD Read(HWND pane);
    const WCHAR* Text() const { return text; }
    size_t Length() const { return length; }

private:
    LogText(const LogText&) = delete;
    LogText& operator=(const LogText&) = delete;
    bool Allocate(size_t units);

    WCHAR* text;
    size_t length;
};

#endif
