// EscapeReader: takes the escape sequences out of a child's output (UTF-8 from the decoder, read
// in pieces) and answers its text, with a style mark (base/TextStyle.h) before each run whose
// style the SGR sequences changed. Every other sequence (cursor moves, erasing, window titles,
// character sets) goes without a trace; a sequence cut between two reads is held back until the
// next. An ESC that begins no sequence finished within kLongestSequence bytes, or a malformed
// one, leaves its bytes as text, without the ESC itself.
//
// One reader serves one job's output, on that job's worker thread.
#ifndef VELQUETH_BASE_ESCAPEREADER_H
#define VELQUETH_BASE_ESCAPEREADER_H

#include <cstddef>

#include "base/TextStyle.h"

class EscapeReader {
public:
    // The most bytes that one Read takes.
    static const size_t kMostInput = 1024;
    static const size_t kLongestSequence = 256;

    // `colours`: marks are written; without, the sequences are only taken out.
    explicit EscapeReader(bool colours = true);
    virtual ~EscapeReader();

    // True when `text` comes out as it goes in: no ESC in it, nothing held, no mark due.
    bool PassesAsIs(const char* text, size_t length) const;
    // Reads the next bytes (at most kMostInput, no NUL among them) and answers the text with its
    // marks, NUL-terminated, valid until the next call.
    const char* Read(const char* text, size_t length);
    // The output has ended: a sequence left unfinished as text, and a mark back to the automatic
    // style if the text has another.
    const char* Finish();

private:
    enum State { kText, kEscape, kControl, kCharacterSet, kString, kStringEscape };

    void Feed(const char* text, size_t length);
    // Takes one byte of a sequence; answers false when the byte is no part of it.
    bool Continue(unsigned char byte);
    void Complete();
    // The sequence held is no sequence: its bytes after the ESC are read again as output.
    void GiveUp();
    void AppendText(const char* text, size_t length);
    void ApplySgr(const char* parameters, size_t length);

    bool colours;
    State state;
    bool intermediates;  // a control sequence has had its intermediate bytes
    char held[kLongestSequence];
    size_t heldCount;
    bool afterCr;  // the last byte of text was a CR
    TextStyle style;  // as the sequences so far set it
    TextStyle shown;  // as the last mark wrote it
    // Each byte read gives at most one byte of text; a mark needs a sequence of three bytes or
    // more before it, and text after it.
    char out[5 * (kMostInput + kLongestSequence) + 2 * kStyleMarkSize + 1];
    size_t outLength;
};

#endif
