// TextStyle: how a run of a child's output looks, as its escape sequences set it, and the mark by
// which a style travels inside the text from the job's worker to the log. A mark is kStyleMark
// and ten bytes of 0x40..0x7F: no line break and no NUL, and UTF-8 never holds the byte 0xFF, so
// a mark is never taken for text and a cut after a line break never falls inside one.
#ifndef VELQUETH_BASE_TEXTSTYLE_H
#define VELQUETH_BASE_TEXTSTYLE_H

#include <windows.h>

#include <cstddef>

struct TextStyle {
    enum Effect {
        kBold = 1,
        kItalic = 2,
        kUnderline = 4,
        kInverse = 8,        // text and background colours swapped
        kStrike = 16,
        kAutomaticText = 32, // the control's own text colour; `text` is 0
        kNoBackground = 64,  // the control's own background; `background` is 0
    };
    COLORREF text;
    COLORREF background;
    unsigned effects;

    // The style in which every job's output begins.
    static TextStyle Automatic();
    bool operator==(const TextStyle& other) const;
    bool operator!=(const TextStyle& other) const { return !(*this == other); }
};

const char kStyleMark = '\xFF';
const size_t kStyleMarkSize = 11;

// Writes the mark of `style` (kStyleMarkSize bytes) at `at`.
void WriteStyleMark(char* at, const TextStyle& style);
// Reads the mark at `at` (which holds kStyleMark and at least kStyleMarkSize bytes).
TextStyle ReadStyleMark(const char* at);

#endif
