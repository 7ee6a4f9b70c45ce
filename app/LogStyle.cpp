#include "app/LogStyle.h"

#include <richedit.h>

#include <cstring>

#include "app/LogWindow.h"

namespace {

// A style as the control shows it: inverse is the two colours swapped, the control's own colours
// standing in where one side has none.
struct Look {
    COLORREF text, background;
    bool automaticText, noBackground;
    unsigned effects;
};

Look LookOf(const TextStyle& style)
{
    Look look = {style.text, style.background, (style.effects & TextStyle::kAutomaticText) != 0,
                 (style.effects & TextStyle::kNoBackground) != 0, style.effects};
    if (style.effects & TextStyle::kInverse) {
        look.text = look.noBackground ? GetSysColor(COLOR_WINDOW) : style.background;
        look.background = look.automaticText ? GetSysColor(COLOR_WINDOWTEXT) : style.text;
        look.automaticText = look.noBackground = false;
    }
    return look;
}

} // namespace

void SetSelectionStyle(HWND pane, const TextStyle& style)
{
    CHARFORMAT2A format;
    std::memset(&format, 0, sizeof format);
    format.cbSize = sizeof format;
    format.dwMask = CFM_COLOR | CFM_BACKCOLOR | CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_STRIKEOUT;
    const Look look = LookOf(style);
    format.crTextColor = look.text;
    format.crBackColor = look.background;
    format.dwEffects = (look.automaticText ? CFE_AUTOCOLOR : 0) | (look.noBackground ? CFE_AUTOBACKCOLOR : 0) |
                       (look.effects & TextStyle::kBold ? CFE_BOLD : 0) |
                       (look.effects & TextStyle::kItalic ? CFE_ITALIC : 0) |
                       (look.effects & TextStyle::kUnderline ? CFE_UNDERLINE : 0) |
                       (look.effects & TextStyle::kStrike ? CFE_STRIKEOUT : 0);
    if (SendMessageA(pane, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format)))
        return;
    // A control that knows only the first format record: everything but the background.
    format.cbSize = sizeof(CHARFORMATA);
    format.dwMask &= ~static_cast<DWORD>(CFM_BACKCOLOR);
    format.dwEffects &= ~static_cast<DWORD>(CFE_AUTOBACKCOLOR);
    SendMessageA(pane, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
}

// ---- Styled runs as one stream of rich text ------------------------------------------------

namespace {

const unsigned char kMark = static_cast<unsigned char>(kStyleMark);
// Colours in one stream's table; a chunk with more goes in as several streams. At least four, so
// that a stream always takes the colours it starts in and those of its first mark.
const size_t kMostColours = 64;
// Rich text staged for the control at a time, and the most that one step writes.
const size_t kStaged = 8192;
const size_t kLongestStep = 128;
// The control's own number of undo steps, which the log never changes.
const WPARAM kUndoLimit = 100;

// The size of the UTF-8 character at `p` and its code point; 0 for bytes that are none (overlong
// forms and surrogates included).
size_t ReadUtf8(const unsigned char* p, unsigned long* codePoint)
{
    size_t size;
    unsigned long value, least;
    if (p[0] >= 0xC2 && p[0] <= 0xDF) {
        size = 2, value = p[0] & 0x1Fu, least = 0x80;
    } else if (p[0] >= 0xE0 && p[0] <= 0xEF) {
        size = 3, value = p[0] & 0x0Fu, least = 0x800;
    } else if (p[0] >= 0xF0 && p[0] <= 0xF4) {
        size = 4, value = p[0] & 0x07u, least = 0x10000;
    } else {
        return 0;
    }
    for (size_t i = 1; i < size; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (p[i] & 0x3Fu);
    }
    if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    *codePoint = value;
    return size;
}

// Whether every byte of the chunk has an exact form in rich text: line breaks only in CR LF pairs
// (paragraphs), no control character but the tab, whole marks, UTF-8.
bool StreamsExactly(const char* text)
{
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0;) {
        unsigned long codePoint;
        size_t size = 1;
        if (*p == kMark) {
            size = strnlen(reinterpret_cast<const char*>(p), kStyleMarkSize);
            if (size < kStyleMarkSize)
                return false;
        } else if (*p == '\r') {
            if (p[1] != '\n')
                return false;
            size = 2;
        } else if ((*p < 0x20 && *p != '\t') || *p == 0x7F) {
            return false;
        } else if (*p >= 0x80 && (size = ReadUtf8(p, &codePoint)) == 0) {
            return false;
        }
        p += size;
    }
    return true;
}

// One stream of rich text: the chunk's text from `at` to `end`, written step by step as the
// control asks for it.
class RtfSource {
public:
    // Makes the stream of the text from `from` in `style`, as far as its colour table reaches.
    RtfSource(const char* from, const TextStyle& style);

    const char* End() const { return end; }
    // Whether any text stands between the marks.
    bool HasText() const { return hasText; }
    // The style of the text at the end of the stream.
    const TextStyle& Style() const { return endStyle; }

    static DWORD CALLBACK Give(DWORD_PTR cookie, LPBYTE bytes, LONG count, LONG* given);

private:
    bool AddColours(const Look& look);
    unsigned ColourIndex(COLORREF colour, bool automatic) const;
    void Put(const char* words);
    void PutNumber(long number);
    void PutControl(const char* word, long number);
    void PutUnit(unsigned long unit);
    void PutLook(const Look& next, bool whole);
    void Step();

    const char* at;
    const char* end;
    TextStyle endStyle;
    Look look;
    COLORREF colours[kMostColours];
    size_t colourCount;
    bool hasText;
    bool closed;
    char staged[kStaged];
    size_t stagedLength, stagedGiven;
};

RtfSource::RtfSource(const char* from, const TextStyle& start)
    : at(from), end(from), endStyle(start), look(LookOf(start)), colourCount(0), hasText(false), closed(false),
      stagedLength(0), stagedGiven(0)
{
    AddColours(look);
    const unsigned char* p = reinterpret_cast<const unsigned char*>(from);
    for (; *p != 0; ++p) {
        if (*p == kMark) {
            TextStyle next = ReadStyleMark(reinterpret_cast<const char*>(p));
            if (!AddColours(LookOf(next)))
                break;
            endStyle = next;
            p += kStyleMarkSize - 1;
        } else {
            hasText = true;
        }
    }
    end = reinterpret_cast<const char*>(p);
    // No font table and no font: the text keeps the log's font, as it does inserted any other way.
    Put("{\\rtf1\\ansi\\uc0{\\colortbl;");
    for (size_t i = 0; i < colourCount; ++i) {
        PutControl("\\red", GetRValue(colours[i]));
        PutControl("\\green", GetGValue(colours[i]));
        PutControl("\\blue", GetBValue(colours[i]));
        Put(";");
    }
    Put("}");
    PutLook(look, true);
}

bool RtfSource::AddColours(const Look& next)
{
    size_t needed = (!next.automaticText && !ColourIndex(next.text, false) ? 1 : 0) +
                    (!next.noBackground && !ColourIndex(next.background, false) ? 1 : 0);
    if (needed > kMostColours - colourCount)
        return false;
    if (!next.automaticText && !ColourIndex(next.text, false))
        colours[colourCount++] = next.text;
    if (!next.noBackground && !ColourIndex(next.background, false))
        colours[colourCount++] = next.background;
    return true;
}

// The colour's place in the table (from 1; 0, the automatic colour, when it has none).
unsigned RtfSource::ColourIndex(COLORREF colour, bool automatic) const
{
    for (size_t i = 0; !automatic && i < colourCount; ++i) {
        if (colours[i] == colour)
            return static_cast<unsigned>(i + 1);
    }
    return 0;
}

void RtfSource::Put(const char* words)
{
    size_t length = std::strlen(words);
    std::memcpy(staged + stagedLength, words, length);
    stagedLength += length;
}

void RtfSource::PutNumber(long number)
{
    char digits[16];
    size_t count = 0;
    unsigned long magnitude = number < 0 ? 0ul - static_cast<unsigned long>(number) : number;
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude > 0);
    if (number < 0)
        staged[stagedLength++] = '-';
    while (count > 0)
        staged[stagedLength++] = digits[--count];
}

// A UTF-16 unit, as a signed number; \uc0 in the header: no stand-in follows it.
void RtfSource::PutUnit(unsigned long unit)
{
    PutControl("\\u", unit > 0x7FFF ? static_cast<long>(unit) - 0x10000 : static_cast<long>(unit));
    Put(" ");
}

void RtfSource::PutControl(const char* word, long number)
{
    Put(word);
    PutNumber(number);
}

// The words that change the text's look to `next` (every attribute when `whole`).
void RtfSource::PutLook(const Look& next, bool whole)
{
    struct Effect {
        unsigned effect;
        const char* on;
        const char* off;
    };
    static const Effect effects[] = {{TextStyle::kBold, "\\b", "\\b0"},
                                     {TextStyle::kItalic, "\\i", "\\i0"},
                                     {TextStyle::kUnderline, "\\ul", "\\ulnone"},
                                     {TextStyle::kStrike, "\\strike", "\\strike0"}};
    for (const Effect& effect : effects) {
        if (whole || ((next.effects ^ look.effects) & effect.effect))
            Put(next.effects & effect.effect ? effect.on : effect.off);
    }
    if (whole || next.automaticText != look.automaticText || next.text != look.text)
        PutControl("\\cf", ColourIndex(next.text, next.automaticText));
    if (whole || next.noBackground != look.noBackground || next.background != look.background)
        PutControl("\\highlight", ColourIndex(next.background, next.noBackground));
    Put(" ");
    look = next;
}

// Writes the next mark, line break or character of the text, or the stream's end.
void RtfSource::Step()
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(at);
    if (at == end) {
        Put("}");
        closed = true;
    } else if (*p == kMark) {
        PutLook(LookOf(ReadStyleMark(at)), false);
        at += kStyleMarkSize;
    } else if (*p == '\r') {
        Put("\\par ");
        at += 2;
    } else if (*p == '\t') {
        Put("\\tab ");
        ++at;
    } else if (*p < 0x80) {
        if (*p == '\\' || *p == '{' || *p == '}')
            staged[stagedLength++] = '\\';
        staged[stagedLength++] = *at++;
    } else {
        unsigned long codePoint = 0;
        at += ReadUtf8(p, &codePoint);
        if (codePoint >= 0x10000) {
            codePoint -= 0x10000;
            PutUnit(0xD800 + (codePoint >> 10));
            codePoint = 0xDC00 + (codePoint & 0x3FF);
        }
        PutUnit(codePoint);
    }
}

DWORD CALLBACK RtfSource::Give(DWORD_PTR cookie, LPBYTE bytes, LONG count, LONG* given)
{
    RtfSource* source = reinterpret_cast<RtfSource*>(cookie);
    if (source->stagedGiven == source->stagedLength) {
        source->stagedGiven = source->stagedLength = 0;
        while (!source->closed && source->stagedLength < kStaged - kLongestStep)
            source->Step();
    }
    size_t left = source->stagedLength - source->stagedGiven;
    size_t give = count < 0 ? 0 : static_cast<size_t>(count) < left ? static_cast<size_t>(count) : left;
    std::memcpy(bytes, source->staged + source->stagedGiven, give);
    source->stagedGiven += give;
    *given = static_cast<LONG>(give);
    return 0;
}

} // namespace

bool InsertStyledChunk(HWND pane, const char* text, TextStyle* style)
{
    if (!StreamsExactly(text))
        return false;
    // The stream would note every run for undo, and dropping those notes costs more than the
    // insertion: none are kept meanwhile.
    SendMessageA(pane, EM_SETUNDOLIMIT, 0, 0);
    bool inserted = false;
    for (const char* at = text; *at != '\0';) {
        RtfSource source(at, *style);
        if (source.HasText()) {
            SelectEnd(pane);
            EDITSTREAM stream = {reinterpret_cast<DWORD_PTR>(&source), 0, RtfSource::Give};
            SendMessageA(pane, EM_STREAMIN, SF_RTF | SFF_SELECTION, reinterpret_cast<LPARAM>(&stream));
            inserted = true;
        }
        at = source.End();
        *style = source.Style();
    }
    SendMessageA(pane, EM_SETUNDOLIMIT, kUndoLimit, 0);
    // As text inserted with EM_REPLACESEL that cannot be undone.
    if (inserted)
        SendMessageA(pane, EM_EMPTYUNDOBUFFER, 0, 0);
    // A style set after the last text waits for the next insertion at the end, as a run's would.
    size_t length = std::strlen(text);
    if (length >= kStyleMarkSize && text[length - kStyleMarkSize] == kStyleMark) {
        SelectEnd(pane);
        SetSelectionStyle(pane, *style);
    }
    return true;
}
