// TextDecoder: a child's output, read in pieces, turned into UTF-8, the one form in which the log
// takes text that a program wrote. Automatic reading shows valid UTF-8 as the characters it
// encodes and reads every other byte in the ANSI code page, so ANSI and ASCII output look as they
// always did. A character cut between two reads is held back until the next one, whatever its
// width, so every piece that leaves the decoder ends on a character boundary.
//
// One decoder serves one job's output, on that job's worker thread.
#ifndef VELQUETH_BASE_TEXTDECODER_H
#define VELQUETH_BASE_TEXTDECODER_H

#include <windows.h>

#include <cstddef>

class TextDecoder {
public:
    // UTF-8 where the bytes are valid UTF-8, the ANSI code page elsewhere.
    static const UINT kAutomatic = 0xFFFFFFFFu;
    // The most bytes that one Decode takes.
    static const size_t kMostInput = 256;

    // `codePage`: kAutomatic, CP_UTF8 (bytes that are not UTF-8 show as U+FFFD), or any code page
    // that CanRead; another reads as kAutomatic.
    explicit TextDecoder(UINT codePage = kAutomatic);
    virtual ~TextDecoder();

    // Whether the system knows the code page and the decoder can tell where its characters end:
    // not one that shifts between character sets (UTF-7, ISO-2022, HZ, ISCII), whose state would
    // have to cross reads, nor one of wider characters whose form it does not know.
    static bool CanRead(UINT codePage);

    // True when `text` (of `length` bytes) needs no decoding: pure ASCII in a code page where
    // ASCII is itself, with nothing held back.
    bool PassesAsIs(const char* text, size_t length) const;
    // Decodes the next bytes of the output (at most kMostInput, no NUL among them) and answers
    // them as NUL-terminated UTF-8, valid until the next call. Bytes that may begin a character
    // completed by the next read are held back.
    const char* Decode(const char* bytes, size_t length);
    // The output has ended: the bytes held back, read on their own as bytes that are not UTF-8.
    // Answers "" when there are none.
    const char* Finish();

private:
    // Appends `count` bytes read in the fallback code page (U+FFFD for each cut UTF-8 sequence
    // when reading UTF-8 strictly).
    void AppendFallback(const unsigned char* bytes, size_t count);
    void AppendUtf8(const char* bytes, size_t count);
    // Where the fallback run that starts at `at` ends; it ends before a character that the end of
    // the bytes cuts.
    size_t FallbackRunEnd(const unsigned char* bytes, size_t at, size_t length) const;
    // How many bytes the fallback code page's character at text[at] takes.
    size_t CharacterSize(const unsigned char* text, size_t at, size_t length) const;

    bool recogniseUtf8;  // valid UTF-8 shows as such
    bool strictUtf8;     // other bytes show as U+FFFD instead of in fallbackCodePage
    UINT fallbackCodePage;
    enum Width { kSingle, kLeadBytes, kGb18030 };
    Width width;         // how fallbackCodePage's characters are cut
    bool asciiIsItself;  // fallbackCodePage reads bytes below 0x80 as those characters

    unsigned char held[4];
    size_t heldCount;
    // Every input byte gives at most two UTF-16 units, each at most three bytes of UTF-8.
    char out[6 * (kMostInput + sizeof held) + 1];
    size_t outLength;
};

#endif
