// The renewal of a full log. The rich-edit control keeps tens of bytes of memory for every
// character of text, so a job that prints without end would in time leave the process no memory,
// and the whole log would be lost. Before that, the oldest text gives way, as a terminal drops its
// oldest scrollback: the log goes on in a new window of the same recipe, in the same place, that
// begins with one grey line saying so and the newest text of the old one; the old window and all
// its memory go. (Deleting the oldest text in place is no way out: Wine's control takes time that
// grows with the square of the log.)
#ifndef VELQUETH_APP_LOGRENEWAL_H
#define VELQUETH_APP_LOGRENEWAL_H

#include <windows.h>

#include <cstddef>

// The line that stands in for dropped text, and the one that follows it when there was no memory
// to carry the newest text either.
extern const char kDroppedNotice[];
extern const char kNoMemoryNotice[];

// How much of the newest text a renewed log keeps.
const size_t kCarriedText = 256 * 1024;

// The most characters the log may hold in this process: less where the address space is small.
size_t LogLimitForThisProcess();

// The message by which a renewal tells the log window's parent that the log goes on in a new
// window (wParam) in place of the old one (lParam); sent before the old one goes.
UINT RenewedMessage();

// True when `incoming` more characters would take the log in `window` past `limit`, or when the
// process has little address space left.
bool LogIsFull(HWND window, size_t incoming, size_t limit);

// One renewal, in two steps around the feed's own move to the new window.
class LogRenewal {
public:
    LogRenewal();
    virtual ~LogRenewal();
    // Makes the new window in the full one's place and carries the full one's newest text; false
    // when no window could be made (the log then goes on growing where it is).
    bool Begin(HWND full, bool plainEdit, size_t limit);
    HWND Fresh() const { return fresh; }
    // The new window takes the full one's place (the parent told, the focus kept) and begins with
    // the notice and the carried text; the full one is destroyed.
    void Finish();

    // The carried text, in a block from the seam (tests refuse it).
    struct Carried {
        char* bytes;
        size_t size;  // room
        size_t used;
        size_t read;  // how much the new window has taken of it
    };

private:
    HWND full;
    HWND fresh;
    bool plainEdit;
    bool haveTail;
    Carried carried;

    LogRenewal(const LogRenewal&) = delete;
    LogRenewal& operator=(const LogRenewal&) = delete;
};

#endif
