// OutputQueue: the bounded buffer between a job's worker, which pushes each chunk it reads, and
// the log's feed, which takes what has gathered in pieces. A plain buffer: it knows no window and
// posts nothing; the feed (app/OutputPane.cpp) wakes itself. A worker that finds it full waits, so a
// fast child is slowed by its pipe and nothing is lost.
#ifndef VELQUETH_APP_OUTPUTQUEUE_H
#define VELQUETH_APP_OUTPUTQUEUE_H

#include <windows.h>

#include <cstddef>

class OutputQueue {
public:
    // Most text that waits; beyond it a fast child waits on its pipe.
    static const size_t kLimit = 1024 * 1024;
    // A piece of ordinary lines: a small part of a wake-up's budget of the control's work, and
    // short enough that a message from another thread is answered soon.
    static const size_t kLinePiece = 32 * 1024;

    enum Pushed { kQueued, kFull, kClosed };

    OutputQueue();
    virtual ~OutputQueue();

    // Makes the buffer and opens it; false when it cannot be had (Push then answers kClosed).
    bool Open();
    // Empties and closes it: a waiting worker stops waiting, later chunks are refused.
    void Close();

    // Appends one chunk, waiting at most `waitMs` for room.
    Pushed Push(const char* text, size_t length, DWORD waitMs);
    // Waits at most `waitMs` until everything pushed is taken and inserted (or the queue closed);
    // answers whether it is.
    bool WaitUntilInserted(DWORD waitMs);

    // Copies the next piece into `out` (room for kLimit bytes, not terminated) and answers its
    // length, 0 when nothing is queued. A piece ends after a line break where it can: lines go in
    // pieces of at most kLinePiece bytes; a long line goes in as large a piece as has gathered.
    size_t Take(char* out);
    // The piece taken last is in the log now.
    void PieceDone();
    size_t Queued();
    // Whether what is queued may wait to gather more: it holds no line feed, there is room for
    // more, nobody waits for it to be inserted, the last push is less than `pauseMs` old and the
    // last Take less than `mostMs`.
    bool Gathers(DWORD pauseMs, DWORD mostMs);

private:
    // With the lock held: waits (without it) at most `waitMs` for the next Take, PieceDone or
    // Close, which set the event under the lock; so no signal between check and wait is lost.
    void Wait(DWORD waitMs);

    // Every field is guarded by `lock`; the event is waited for outside it.
    CRITICAL_SECTION lock;
    HANDLE changed;  // set whenever text is taken or inserted, and at Close
    char* buffer;
    size_t start;    // the oldest queued byte
    size_t end;      // one past the newest
    bool open;
    bool inserting;  // a piece has been taken and is not in the log yet
    bool noRoom;     // a push found no room since the last Take
    int waiters;     // calls of WaitUntilInserted under way
    DWORD lastPush;  // tick counts of the last push and the last Take
    DWORD lastTake;

    OutputQueue(const OutputQueue&) = delete;
    OutputQueue& operator=(const OutputQueue&) = delete;
};

#endif
