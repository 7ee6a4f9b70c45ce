#include "app/MessageJump.h"

#include <richedit.h>

#include <cstring>

#include "app/LogWindow.h"

namespace {

// Of a line, the part that is read: a place stands at its start.
const size_t kLineChars = 2048;

enum class Aim { kNext, kPrevious, kAt };

struct Found {
    long line;
    MessagePlace place;
    char directory[kPathSize];
};

// One pass over the log's lines from the top, each with the job that its nearest header above
// names. It stops as soon as the aim is settled.
class LogScan {
public:
    LogScan(const JobPlaces& jobs, Aim aim, long from, bool plain)
        : jobs(jobs), aim(aim), from(from), plain(plain), line(0), length(0), pendingCr(false),
          pendingByte(-1), stopped(false), job(nullptr), sawHeader(false), firstHeader(nullptr)
    {
        first.line = last.line = before.line = after.line = -1;
        derived.commandLine = nullptr;
        orphan.commandLine = nullptr;
        orphan.directory[0] = '\0';
    }

    // Lines before the first header lost it (a renewal carries the newest text alone, or the
    // user deleted it): they are the output of the job that started before that header's job,
    // or of the newest job when the log holds no header at all.
    void SetOrphans(const JobPlace* owner)
    {
        if (owner) {
            std::memcpy(orphan.directory, owner->directory, kPathSize);
            orphan.pattern = owner->pattern;
        } else if (!GetCurrentDirectoryA(kPathSize, orphan.directory)) {
            orphan.directory[0] = '\0';
        }
        job = &orphan;
    }

    void Feed(const wchar_t* text, size_t count);
    void End();
    bool Stopped() const { return stopped; }
    // The pre-pass: the first header's job, once seen.
    bool SawHeader() const { return sawHeader; }
    const JobPlace* FirstHeaderJob() const { return firstHeader; }
    void StopAtFirstHeader() { headerOnly = true; }

    const Found* Result() const;
    const JobPlaces& jobs;

    // The rich edit's stream-out callback: bytes of UTF-16 text.
    static DWORD CALLBACK Take(DWORD_PTR cookie, LPBYTE bytes, LONG count, LONG* taken);

private:
    void EndLine();
    void Keep(Found* found, long number, const MessagePlace& place);

    Aim aim;
    long from;
    bool plain;  // a plain edit breaks lines at CR LF alone
    long line;
    wchar_t text[kLineChars];
    size_t length;
    bool pendingCr;
    int pendingByte;
    bool stopped;
    bool headerOnly = false;
    const JobPlace* job;
    JobPlace derived;
    JobPlace orphan;
    bool sawHeader;
    const JobPlace* firstHeader;
    Found first, last, before, after;
};

void LogScan::Feed(const wchar_t* chars, size_t count)
{
    for (size_t i = 0; i < count && !stopped; ++i) {
        wchar_t c = chars[i];
        if (pendingCr) {
            pendingCr = false;
            if (c == L'\n') {
                EndLine();
                continue;
            }
            if (plain) {
                if (length < kLineChars)
                    text[length++] = L'\r';
            } else {
                EndLine();
            }
        }
        if (c == L'\r') {
            pendingCr = true;
        } else if (c == L'\n' && !plain) {
            EndLine();
        } else if (length < kLineChars) {
            text[length++] = c;
        }
    }
}

void LogScan::End()
{
    if (stopped)
        return;
    if (pendingCr && plain && length < kLineChars)
        text[length++] = L'\r';
    pendingCr = false;
    EndLine();
}

void LogScan::Keep(Found* found, long number, const MessagePlace& place)
{
    found->line = number;
    found->place = place;
    std::memcpy(found->directory, job->directory, kPathSize);
}

void LogScan::EndLine()
{
    char ansi[kLineChars * 2];
    int size = length ? WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), ansi,
                                            sizeof ansi, nullptr, nullptr)
                      : 0;
    length = 0;
    size_t bytes = size > 0 ? static_cast<size_t>(size) : 0;
    long number = line++;
    if (const char* commandLine = HeaderCommandLine(ansi, bytes)) {
        job = jobs.JobOfHeader(commandLine, bytes - static_cast<size_t>(commandLine - ansi), &derived);
        if (!sawHeader) {
            sawHeader = true;
            firstHeader = job == &derived ? nullptr : job;
        }
        stopped = headerOnly || (aim == Aim::kAt && number >= from);
        return;
    }
    if (headerOnly || !job || (aim == Aim::kAt && number < from))
        return;
    if (aim == Aim::kPrevious && number >= from && before.line >= 0) {
        stopped = true;
        return;
    }
    stopped = aim == Aim::kAt;
    MessagePlace place;
    if (!MatchMessageLine(ansi, bytes, &job->pattern, &place))
        return;
    if (first.line < 0)
        Keep(&first, number, place);
    Keep(&last, number, place);
    if (number < from)
        Keep(&before, number, place);
    else if (after.line < 0 && (number > from || aim == Aim::kAt))
        Keep(&after, number, place);
    stopped = stopped || (aim == Aim::kNext && after.line >= 0);
}

const Found* LogScan::Result() const
{
    switch (aim) {
    case Aim::kNext:
        return after.line >= 0 ? &after : first.line >= 0 ? &first : nullptr;
    case Aim::kPrevious:
        return before.line >= 0 ? &before : last.line >= 0 ? &last : nullptr;
    default:
        return after.line >= 0 ? &after : nullptr;
    }
}

DWORD CALLBACK LogScan::Take(DWORD_PTR cookie, LPBYTE bytes, LONG count, LONG* taken)
{
    LogScan* scan = reinterpret_cast<LogScan*>(cookie);
    *taken = count;
    wchar_t chars[2048];
    size_t used = 0;
    for (LONG i = 0; i < count; ++i) {
        if (scan->pendingByte < 0) {
            scan->pendingByte = bytes[i];
            continue;
        }
        chars[used++] = static_cast<wchar_t>(scan->pendingByte | (bytes[i] << 8));
        scan->pendingByte = -1;
        if (used == sizeof chars / sizeof chars[0]) {
            scan->Feed(chars, used);
            used = 0;
        }
    }
    scan->Feed(chars, used);
    return scan->Stopped() ? 1 : 0;
}

// Streams the whole log through the scan: the rich edit in pieces, a plain edit's text at once.
void Read(HWND pane, bool plain, LogScan* scan)
{
    if (!plain) {
        EDITSTREAM stream = {reinterpret_cast<DWORD_PTR>(scan), 0, LogScan::Take};
        SendMessageA(pane, EM_STREAMOUT, SF_TEXT | SF_UNICODE, reinterpret_cast<LPARAM>(&stream));
    } else {
        int length = GetWindowTextLengthW(pane);
        wchar_t* text = length > 0 ? static_cast<wchar_t*>(HeapAlloc(
                                         GetProcessHeap(), 0, (static_cast<size_t>(length) + 1) * sizeof(wchar_t)))
                                   : nullptr;
        if (text) {
            int got = GetWindowTextW(pane, text, length + 1);
            scan->Feed(text, got > 0 ? static_cast<size_t>(got) : 0);
            HeapFree(GetProcessHeap(), 0, text);
        }
    }
    scan->End();
}

// The line at a point of the client area. A plain edit answers it in 16 bits: the line is the
// one in view that those bits name.
long LineAt(HWND pane, bool plain, POINT point)
{
    if (plain) {
        LRESULT answer = SendMessageA(pane, EM_CHARFROMPOS, 0, MAKELPARAM(point.x, point.y));
        long first = static_cast<long>(SendMessageA(pane, EM_GETFIRSTVISIBLELINE, 0, 0));
        return first + ((static_cast<long>(HIWORD(answer)) - first) & 0xFFFF);
    }
    POINTL at = {point.x, point.y};
    LRESULT position = SendMessageA(pane, EM_CHARFROMPOS, 0, reinterpret_cast<LPARAM>(&at));
    return static_cast<long>(SendMessageA(pane, EM_EXLINEFROMCHAR, 0, position));
}

long LineOfSelectionStart(HWND pane, bool plain)
{
    DWORD start = 0;
    SendMessageA(pane, EM_GETSEL, reinterpret_cast<WPARAM>(&start), 0);
    UINT message = plain ? EM_LINEFROMCHAR : EM_EXLINEFROMCHAR;
    return static_cast<long>(SendMessageA(pane, message, plain ? start : 0, static_cast<LPARAM>(start)));
}

// Finds the aim's message line from the line `from`, selects it whole with the caret at its
// start and opens it.
bool Go(HWND pane, bool plain, const JobPlaces& jobs, Aim aim, long from)
{
    LogScan headers(jobs, aim, from, plain);
    headers.StopAtFirstHeader();
    Read(pane, plain, &headers);
    LogScan scan(jobs, aim, from, plain);
    scan.SetOrphans(headers.SawHeader() ? (headers.FirstHeaderJob() ? jobs.Before(headers.FirstHeaderJob()) : nullptr)
                                        : jobs.Newest());
    Read(pane, plain, &scan);
    const Found* found = scan.Result();
    if (!found)
        return false;

    LRESULT start = SendMessageA(pane, EM_LINEINDEX, static_cast<WPARAM>(found->line), 0);
    if (start < 0)
        return false;
    LRESULT length = SendMessageA(pane, EM_LINELENGTH, static_cast<WPARAM>(start), 0);
    SendMessageA(pane, EM_SETSEL, static_cast<WPARAM>(start + length), start);
    SendMessageA(pane, EM_SCROLLCARET, 0, 0);
    OpenPlace(found->directory, found->place);
    return true;
}

} // namespace

bool GoToMessage(HWND pane, const JobPlaces& jobs, bool forward)
{
    if (!pane)
        return false;
    bool plain = IsPlainEdit(pane);
    return Go(pane, plain, jobs, forward ? Aim::kNext : Aim::kPrevious, LineOfSelectionStart(pane, plain));
}

bool OpenMessageAtPoint(HWND pane, const JobPlaces& jobs, POINT point)
{
    if (!pane)
        return false;
    // The double-click's mouse capture goes before a box or an editor comes up.
    if (GetCapture() == pane)
        ReleaseCapture();
    bool plain = IsPlainEdit(pane);
    return Go(pane, plain, jobs, Aim::kAt, LineAt(pane, plain, point));
}

UINT OpenMessageAtPointMessage()
{
    static const UINT message = RegisterWindowMessageA("VelquethOpenMessageAtPoint");
    return message;
}
