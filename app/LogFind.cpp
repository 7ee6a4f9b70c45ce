#include "app/LogFind.h"

#include <dlgs.h>
#include <richedit.h>

#include <cstdio>
#include <cstring>

#include "app/LogText.h"
#include "app/LogWindow.h"
#include "base/Seams.h"
#include "base/TextSearch.h"

namespace {

const DWORD kKeptFlags = FR_DOWN | FR_MATCHCASE | FR_WHOLEWORD;

// The log's selection when it is part of one line and fits the dialog's text (ANSI).
bool SelectedLine(HWND pane, char* line, size_t size)
{
    DWORD start = 0, end = 0;
    SendMessageA(pane, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    const DWORD longest = static_cast<DWORD>(size / 2 - 1);  // two bytes for a character at most
    if (end <= start || end - start > longest)
        return false;
    line[0] = '\0';
    if (!IsPlainEdit(pane)) {
        TEXTRANGEA range = {{static_cast<LONG>(start), static_cast<LONG>(end)}, line};
        SendMessageA(pane, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range));
    } else {
        LogText log;
        if (log.Read(pane) != 0 || end > log.Length())
            return false;
        int bytes = WideCharToMultiByte(CP_ACP, 0, log.Text() + start, static_cast<int>(end - start),
                                        line, static_cast<int>(size) - 1, nullptr, nullptr);
        line[bytes > 0 ? bytes : 0] = '\0';
    }
    return line[0] != '\0' && std::strpbrk(line, "\r\n") == nullptr;
}

// The rich edit's text streamed into the search, unit by unit, without a copy of the whole log.
struct StreamedSearch {
    TextSearch* search;
    BYTE odd;  // the first byte of a unit cut between two pieces
    bool hasOdd;
};

DWORD CALLBACK TakeStreamed(DWORD_PTR cookie, LPBYTE bytes, LONG count, LONG* taken)
{
    StreamedSearch* streamed = reinterpret_cast<StreamedSearch*>(cookie);
    *taken = count;
    WCHAR units[2048];
    if (streamed->hasOdd && count > 0) {
        units[0] = static_cast<WCHAR>(streamed->odd | (bytes[0] << 8));
        streamed->hasOdd = false;
        if (!streamed->search->Take(units, 1))
            return 1;  // found: the control stops streaming
        ++bytes;
        --count;
    }
    while (count >= 2) {
        size_t take = static_cast<size_t>(count) / 2;
        if (take > sizeof units / sizeof units[0])
            take = sizeof units / sizeof units[0];
        std::memcpy(units, bytes, take * sizeof(WCHAR));
        if (!streamed->search->Take(units, take))
            return 1;
        bytes += take * sizeof(WCHAR);
        count -= static_cast<LONG>(take * sizeof(WCHAR));
    }
    if (count == 1) {
        streamed->odd = bytes[0];
        streamed->hasOdd = true;
    }
    return 0;
}

} // namespace

LogFind::LogFind()
    : options(FR_DOWN), dialog(nullptr), owner(nullptr), shownPane(nullptr), searched(false)
{
    std::memset(&record, 0, sizeof record);
    what[0] = '\0';
}

LogFind::~LogFind()
{
}

UINT LogFind::Message()
{
    static const UINT message = RegisterWindowMessageA(FINDMSGSTRINGA);
    return message;
}

void LogFind::Open(HWND ownerWindow, HWND pane)
{
    char line[sizeof what];
    bool fromSelection = SelectedLine(pane, line, sizeof line);
    if (dialog) {
        if (fromSelection)
            SetDlgItemTextA(dialog, edt1, line);
        SetActiveWindow(dialog);
        return;
    }
    if (fromSelection)
        lstrcpynA(what, line, sizeof what);
    owner = ownerWindow;
    record.lStructSize = sizeof record;
    record.hwndOwner = ownerWindow;
    record.Flags = options;
    record.lpstrFindWhat = what;
    record.wFindWhatLen = sizeof what;
    dialog = FindTextA(&record);
    if (dialog)
        ShowSelectionWhileOpen(pane, true);
}

void LogFind::Repeat(HWND ownerWindow, HWND pane, bool backward)
{
    if (!searched || what[0] == '\0') {
        Open(ownerWindow, pane);
        return;
    }
    owner = ownerWindow;
    DWORD flags = options & (FR_MATCHCASE | FR_WHOLEWORD);
    if (((options & FR_DOWN) != 0) != backward)
        flags |= FR_DOWN;
    Search(pane, flags);
}

bool LogFind::TakeDialogMessage(MSG* message)
{
    return dialog && IsDialogMessageA(dialog, message);
}

LRESULT LogFind::OnMessage(HWND pane, LPARAM lParam)
{
    const FINDREPLACEA* sent = reinterpret_cast<const FINDREPLACEA*>(lParam);
    if (sent->Flags & FR_DIALOGTERM) {
        ShowSelectionWhileOpen(shownPane, false);
        dialog = nullptr;
    } else if (sent->Flags & FR_FINDNEXT) {
        searched = true;
        options = sent->Flags & kKeptFlags;
        Search(pane, options);
    }
    return 0;
}

void LogFind::Search(HWND pane, DWORD flags)
{
    if (FindNext(pane, what, flags))
        return;
    char text[sizeof what + 32];
    std::snprintf(text, sizeof text, "Cannot find \"%s\"", what);
    char caption[128] = "";
    GetWindowTextA(owner, caption, sizeof caption);
    seams::messageBox(dialog ? dialog : owner, text, caption, MB_OK | MB_ICONINFORMATION);
}

bool LogFind::FindNext(HWND pane, const char* what, DWORD flags)
{
    WCHAR word[TextSearch::kLongestWord];
    int units = MultiByteToWideChar(CP_ACP, 0, what, -1, word, TextSearch::kLongestWord) - 1;
    if (units <= 0)
        return false;
    DWORD start = 0, end = 0;
    SendMessageA(pane, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    const bool forward = (flags & FR_DOWN) != 0;
    TextSearch search(word, static_cast<size_t>(units), (flags & FR_MATCHCASE) != 0,
                      (flags & FR_WHOLEWORD) != 0, forward ? end : start, forward);
    if (!IsPlainEdit(pane)) {
        StreamedSearch streamed = {&search, 0, false};
        EDITSTREAM stream = {reinterpret_cast<DWORD_PTR>(&streamed), 0, TakeStreamed};
        SendMessageA(pane, EM_STREAMOUT, SF_TEXT | SF_UNICODE, reinterpret_cast<LPARAM>(&stream));
    } else {
        LogText log;
        if (log.Read(pane) == 0)
            search.Take(log.Text(), log.Length());
    }
    long found = search.End();
    if (found < 0)
        return false;
    SendMessageA(pane, EM_SETSEL, static_cast<WPARAM>(found), static_cast<LPARAM>(found + units));
    SendMessageA(pane, EM_SCROLLCARET, 0, 0);
    return true;
}

void LogFind::ShowSelectionWhileOpen(HWND pane, bool show)
{
    // A control without the focus hides its selection: with the dialog in front the match would
    // not show. A plain edit has no such option.
    if (!pane || !IsWindow(pane) || IsPlainEdit(pane))
        return;
    if (show)
        SendMessageA(pane, EM_SETOPTIONS, ECOOP_OR, ECO_NOHIDESEL);
    else
        SendMessageA(pane, EM_SETOPTIONS, ECOOP_AND, ~static_cast<LPARAM>(ECO_NOHIDESEL));
    shownPane = show ? pane : nullptr;
}
