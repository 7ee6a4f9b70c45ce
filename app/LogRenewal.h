// The renewal of a full log. The rich edit keeps tens of bytes per character, so a job that never
// stops would in time take all memory; instead the oldest text goes, as a terminal's scrollback
// does: the log goes on in a new window that begins with a grey notice and the newest text.
// (Deleting in place is no way out: Wine's control takes time with the square of the log.)
#ifndef VELQUETH_APP_LOGRENEWAL_H
#define VELQUETH_APP_LOGRENEWAL_H

#include <windows.h>

#include <cstddef>

// The notice, and the line after it when no memory was left to carry the newest text.
extern const char kDroppedNotice[];
extern const char kNoMemoryNotice[];

// How much of the newest text a renewed log keeps.
const size_t kCarriedText = 256 * 1024;

// The most characters the log may hold in this process: less where the address space is small.
size_t LogLimitForThisProcess();

// Sent to the parent: the log goes on in window wParam in place of lParam (before that goes).
UINT RenewedMessage();

// `incoming` more characters would take the log past `limit`, or address space runs short.
bool LogIsFull(HWND window, size_t incoming, size_t limit);

// Where the carried text begins in the full window and in the new one: its first character (in
// the unit of the windows' selections) and the top of its line below the top of the first line
// (pixels in a rich edit, lines in a plain edit). `carried` is false when no text was carried.
struct CarriedPlace {
    bool carried;
    DWORD from, to;
    LONG fromTop, toTop;
};

// One renewal, in two steps around the feed's own move to the new window.
class LogRenewal {
public:
    LogRenewal();
    virtual ~LogRenewal();
    // The new window in the full one's place, the newest text carried; false when none could be
    // made (the log then grows where it is).
    bool Begin(HWND full, bool plainEdit, size_t limit);
    HWND Fresh() const { return fresh; }
    // The new window takes over (parent told, focus kept) with the notice and the carried text;
    // the full one goes with a message of its own. With `findCarried`, Moved says where the
    // carried text went.
    void Finish(bool findCarried);
    const CarriedPlace& Moved() const { return moved; }

    // The carried text, in a block from the seam (tests refuse it); a rich edit's in parts, each
    // a stream of rich text of its own.
    static const size_t kCarriedParts = 16;
    struct Carried {
        char* bytes;
        size_t size;  // room
        size_t used;
        size_t read;  // how much the new window has taken of it
        size_t partEnds[kCarriedParts];
        size_t parts, partsRead;
    };

private:
    HWND full;
    HWND fresh;
    bool plainEdit;
    bool haveTail;
    Carried carried;
    CarriedPlace moved;

    LogRenewal(const LogRenewal&) = delete;
    LogRenewal& operator=(const LogRenewal&) = delete;
};

#endif
