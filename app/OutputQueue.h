// OutputQueue: the child's output on its way from a job's worker to the log pane. The worker
// appends each chunk the moment it is read and goes on reading; the user-interface thread takes
// what has gathered in pieces that the log control inserts cheaply. The queue is bounded: a worker
// that finds it full waits until the pane has taken some, so a fast child is slowed by its pipe
// and nothing is lost.
//
// Threading: Push and WaitUntilInserted run on the worker; Open, Close, Retarget, Take, PieceDone,
// WakeHandled, WakeDone and InsertAllHere on the user-interface thread that owns the pane;
// Queued and Target on either. One lock guards every field but the event; the worker waits for
// the event outside it. The event is reset only under the lock and set whenever text is taken or
// the queue closes, so no wake-up between the two is lost.
#ifndef VELQUETH_APP_OUTPUTQUEUE_H
#define VELQUETH_APP_OUTPUTQUEUE_H

#include <windows.h>

#include <cstddef>

class OutputQueue {
public:
    // Most text that waits for the pane; beyond it a fast child waits on its pipe. A flush (the
    // next log line) waits for at most this much of the control's work.
    static const size_t kLimit = 1024 * 1024;
    // A piece of ordinary lines: a small part of a wake-up's budget of the control's work, so the
    // window stays responsive between two pieces (make bench measures the cost).
    static const size_t kLinePiece = 64 * 1024;

    OutputQueue();
    virtual ~OutputQueue();

    // From now on Push queues text and posts `wakeMessage` to `pane` when the pane has no
    // wake-up pending. False when the buffer cannot be had: Push then refuses every chunk.
    bool Open(HWND pane, UINT wakeMessage);
    // The pane is going: a waiting worker stops waiting, and later chunks are refused.
    void Close();
    // The log has a new pane window: wake-ups go there from now on.
    void Retarget(HWND pane);
    // The window that wake-ups go to; null when the queue is not open.
    HWND Target();

    // Appends one chunk. Waits while the queue is full; false when the queue is not open (the
    // chunk is not taken).
    bool Push(const char* text, size_t length);

    // The pane has no wake-up coming after all: the next chunk pushed posts one.
    void WakeHandled();
    // Copies the next piece into `out` (room for kLimit bytes, not terminated) and answers its
    // length, 0 when nothing is queued. A piece ends after a line break where it can: ordinary
    // lines go in pieces of at most kLinePiece bytes; text with no line break in that span (a
    // long line, which the control measures again whole at every insertion) goes in as large a
    // piece as has gathered, so that it is inserted as seldom as possible.
    size_t Take(char* out);
    // The piece taken last is in the log now.
    void PieceDone();
    // Waits until the pane has taken and inserted everything queued (or the queue has closed).
    // Not on the pane's own thread: that thread inserts.
    void WaitUntilInserted();
    // The pane's wake-up is over. While text is left another is due, and no chunk posts one
    // meanwhile: posted now when `post` is true and the system takes it (answers true), else
    // the pane must bring it itself (answers false), after the input that waits. With nothing
    // left, the next chunk pushed posts one (answers true).
    bool WakeDone(bool post);
    size_t Queued();
    // On the pane's own thread: has the pane insert everything queued at once (its wake-up with
    // wParam 1), following the output into a renewed pane.
    void InsertAllHere();

private:
    void PostWake();  // with the lock held
    // With the lock held: asks the pane to take text, and waits (without the lock) until it has
    // taken some, or a little while.
    void WaitForThePane();

    CRITICAL_SECTION lock;
    HANDLE spaceEvent;  // set whenever text has been taken, and at Close
    char* buffer;
    size_t start;       // the oldest queued byte
    size_t end;         // one past the newest
    bool open;
    bool wakePending;
    bool inserting;     // a piece has been taken and is not in the log yet
    HWND pane;
    UINT wakeMessage;

    OutputQueue(const OutputQueue&) = delete;
    OutputQueue& operator=(const OutputQueue&) = delete;
};

#endif
