#include "app/LogText.h"

#include <richedit.h>

#include "app/LogWindow.h"

LogText::LogText() : text(nullptr), length(0)
{
}

LogText::~LogText()
{
    if (text)
        HeapFree(GetProcessHeap(), 0, text);
}

bool LogText::Allocate(size_t units)
{
    text = static_cast<WCHAR*>(HeapAlloc(GetProcessHeap(), 0, (units + 1) * sizeof(WCHAR)));
    return text != nullptr;
}

DWORD LogText::Read(HWND pane)
{
    if (IsPlainEdit(pane)) {
        // The system turns the plain edit's ANSI text into UTF-16, a unit for each character.
        LRESULT units = SendMessageW(pane, WM_GETTEXTLENGTH, 0, 0);
        if (!Allocate(static_cast<size_t>(units > 0 ? units : 0)))
            return ERROR_NOT_ENOUGH_MEMORY;
        LRESULT got = SendMessageW(pane, WM_GETTEXT, static_cast<WPARAM>(units + 1),
                                   reinterpret_cast<LPARAM>(text));
        length = static_cast<size_t>(got > 0 ? got : 0);
        text[length] = L'\0';
        return 0;
    }
    // The rich edit's own characters, whatever the ANSI code page can show of them.
    GETTEXTLENGTHEX measure = {GTL_NUMCHARS | GTL_PRECISE, 1200};
    LRESULT units = SendMessageA(pane, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&measure), 0);
    if (!Allocate(static_cast<size_t>(units > 0 ? units : 0)))
        return ERROR_NOT_ENOUGH_MEMORY;
    GETTEXTEX how = {static_cast<DWORD>((units + 1) * sizeof(WCHAR)), GT_DEFAULT, 1200, nullptr,
                     nullptr};
    LRESULT got = SendMessageA(pane, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&how),
                               reinterpret_cast<LPARAM>(text));
    length = static_cast<size_t>(got > 0 ? got : 0);
    text[length] = L'\0';
    return 0;
}
