#include "base/EscapeReader.h"

#include <cstring>

#include "base/Palette.h"

namespace {

const char kEsc = '\x1B';
const unsigned kAbsent = 0xFFFFFFFFu;
const unsigned kLargest = 99999;  // a longer number is as unknown as this one

struct Parameter {
    unsigned value;  // kAbsent when empty
    bool sub;        // follows a ':', a part of the parameter before it
};

// Splits SGR parameters into `out` (room for length + 1); false unless they are digits, ':' and ';'
// alone (a private form such as "?1" or ">4;1" is no SGR).
bool SplitParameters(const char* text, size_t length, Parameter* out, size_t* count)
{
    Parameter current = {kAbsent, false};
    *count = 0;
    for (size_t i = 0; i < length; ++i) {
        char c = text[i];
        if (c >= '0' && c <= '9') {
            unsigned value = current.value == kAbsent ? 0 : current.value;
            value = value * 10 + static_cast<unsigned>(c - '0');
            current.value = value < kLargest ? value : kLargest;
        } else if (c == ';' || c == ':') {
            out[(*count)++] = current;
            current.value = kAbsent;
            current.sub = c == ':';
        } else {
            return false;
        }
    }
    out[(*count)++] = current;
    return true;
}

// A colour after 38, 48 or 58: `p[0]` is 5 (then a table index) or 2 (then red, green, blue,
// after a colour space in the ':' form with all five). Answers how many of `p` the colour took
// in the ';' form, and false for no colour.
size_t ReadColour(const Parameter* p, size_t count, bool colonForm, COLORREF* colour, bool* valid)
{
    *valid = false;
    if (count == 0)
        return 0;
    if (p[0].value == 5) {
        if (count >= 2 && p[1].value < kPaletteSize) {
            *colour = PaletteColour(p[1].value);
            *valid = true;
        }
        return count >= 2 ? 2 : count;
    }
    if (p[0].value != 2)
        return 1;
    const Parameter* rgb = p + (colonForm && count >= 5 ? 2 : 1);
    if (static_cast<size_t>(rgb - p) + 3 > count)
        return count;
    if (rgb[0].value <= 255 && rgb[1].value <= 255 && rgb[2].value <= 255) {
        *colour = RGB(rgb[0].value, rgb[1].value, rgb[2].value);
        *valid = true;
    }
    return static_cast<size_t>(rgb - p) + 3;
}

void SetText(TextStyle* style, COLORREF colour)
{
    style->text = colour;
    style->effects &= ~static_cast<unsigned>(TextStyle::kAutomaticText);
}

void SetBackground(TextStyle* style, COLORREF colour)
{
    style->background = colour;
    style->effects &= ~static_cast<unsigned>(TextStyle::kNoBackground);
}

void SetEffect(TextStyle* style, unsigned effect, bool on)
{
    if (on)
        style->effects |= effect;
    else
        style->effects &= ~effect;
}

// One SGR parameter that stands alone (all but the colours by number or value).
void ApplyCode(TextStyle* style, unsigned code, const Parameter* subs, size_t subCount)
{
    if (code >= 30 && code <= 37)
        SetText(style, PaletteColour(code - 30));
    else if (code >= 90 && code <= 97)
        SetText(style, PaletteColour(code - 90 + 8));
    else if (code >= 40 && code <= 47)
        SetBackground(style, PaletteColour(code - 40));
    else if (code >= 100 && code <= 107)
        SetBackground(style, PaletteColour(code - 100 + 8));
    switch (code) {
    case 0: *style = TextStyle::Automatic(); break;
    case 1: SetEffect(style, TextStyle::kBold, true); break;
    case 22: SetEffect(style, TextStyle::kBold, false); break;
    case 3: SetEffect(style, TextStyle::kItalic, true); break;
    case 23: SetEffect(style, TextStyle::kItalic, false); break;
    // 4:0 is no underline; 4:1 to 4:5 are kinds of underline, all drawn as one.
    case 4: SetEffect(style, TextStyle::kUnderline, subCount == 0 || subs[0].value != 0); break;
    case 24: SetEffect(style, TextStyle::kUnderline, false); break;
    case 7: SetEffect(style, TextStyle::kInverse, true); break;
    case 27: SetEffect(style, TextStyle::kInverse, false); break;
    case 9: SetEffect(style, TextStyle::kStrike, true); break;
    case 29: SetEffect(style, TextStyle::kStrike, false); break;
    case 39: style->text = 0; SetEffect(style, TextStyle::kAutomaticText, true); break;
    case 49: style->background = 0; SetEffect(style, TextStyle::kNoBackground, true); break;
    default: break;  // unknown: ignored, the others still apply
    }
}

} // namespace

EscapeReader::EscapeReader(bool colours)
    : colours(colours), state(kText), intermediates(false), heldCount(0), afterCr(false),
      style(TextStyle::Automatic()), shown(TextStyle::Automatic()), outLength(0)
{
    out[0] = '\0';
}

EscapeReader::~EscapeReader()
{
}

bool EscapeReader::PassesAsIs(const char* text, size_t length) const
{
    return state == kText && (!colours || style == shown) && !std::memchr(text, kEsc, length);
}

const char* EscapeReader::Read(const char* text, size_t length)
{
    outLength = 0;
    Feed(text, length < kMostInput ? length : kMostInput);
    out[outLength] = '\0';
    return out;
}

const char* EscapeReader::Finish()
{
    outLength = 0;
    while (state != kText)
        GiveUp();  // twice at most: an unfinished string may end in an ESC of its own
    if (colours && shown != TextStyle::Automatic()) {
        WriteStyleMark(out + outLength, TextStyle::Automatic());
        outLength += kStyleMarkSize;
    }
    style = shown = TextStyle::Automatic();
    out[outLength] = '\0';
    return out;
}

void EscapeReader::Feed(const char* text, size_t length)
{
    size_t at = 0;
    while (at < length) {
        if (state == kText) {
            const void* escape = std::memchr(text + at, kEsc, length - at);
            size_t end = escape ? static_cast<size_t>(static_cast<const char*>(escape) - text) : length;
            AppendText(text + at, end - at);
            at = end;
            if (at < length) {
                held[0] = kEsc;
                heldCount = 1;
                state = kEscape;
                ++at;
            }
        } else if (Continue(static_cast<unsigned char>(text[at]))) {
            ++at;
        } else {
            GiveUp();  // and the byte is read again after what was held
        }
    }
}

bool EscapeReader::Continue(unsigned char byte)
{
    bool final = false;
    switch (state) {
    case kEscape:
        if (byte == '[') {
            state = kControl;
            intermediates = false;
        } else if (byte == ']' || byte == 'P' || byte == 'X' || byte == '^' || byte == '_') {
            state = kString;  // OSC, DCS, SOS, PM, APC: ended by BEL or ESC backslash
        } else if (byte >= 0x20 && byte <= 0x2F) {
            state = kCharacterSet;
        } else if (byte >= 0x30 && byte <= 0x7E) {
            final = true;  // a two-byte form
        } else {
            return false;
        }
        break;
    case kControl:
        if (byte >= 0x30 && byte <= 0x3F) {
            if (intermediates)
                return false;
        } else if (byte >= 0x20 && byte <= 0x2F) {
            intermediates = true;
        } else if (byte >= 0x40 && byte <= 0x7E) {
            final = true;
        } else {
            return false;
        }
        break;
    case kCharacterSet:
        if (byte >= 0x30 && byte <= 0x7E)
            final = true;
        else if (byte < 0x20 || byte > 0x2F)
            return false;
        break;
    case kString:
        if (byte == 0x07)
            final = true;
        else if (byte == static_cast<unsigned char>(kEsc))
            state = kStringEscape;
        else if (byte < 0x20 || byte == 0x7F)
            return false;
        break;
    case kStringEscape:
        if (byte != '\\')
            return false;
        final = true;
        break;
    case kText:
        return false;
    }
    held[heldCount++] = static_cast<char>(byte);
    if (final)
        Complete();
    else if (heldCount == kLongestSequence)
        GiveUp();
    return true;
}

void EscapeReader::Complete()
{
    if (colours && held[1] == '[' && held[heldCount - 1] == 'm' && !intermediates)
        ApplySgr(held + 2, heldCount - 3);
    heldCount = 0;
    state = kText;
}

void EscapeReader::GiveUp()
{
    char again[kLongestSequence];
    size_t count = heldCount - 1;
    std::memcpy(again, held + 1, count);
    heldCount = 0;
    state = kText;
    Feed(again, count);
}

void EscapeReader::AppendText(const char* text, size_t length)
{
    // A line feed goes with the CR before it, so that no mark stands inside a CR LF pair.
    if (length > 0 && text[0] == '\n' && afterCr) {
        out[outLength++] = '\n';
        ++text;
        --length;
        afterCr = false;
    }
    if (length == 0)
        return;
    if (colours && style != shown) {
        WriteStyleMark(out + outLength, style);
        outLength += kStyleMarkSize;
        shown = style;
    }
    std::memcpy(out + outLength, text, length);
    outLength += length;
    afterCr = text[length - 1] == '\r';
}

void EscapeReader::ApplySgr(const char* parameters, size_t length)
{
    Parameter p[kLongestSequence];
    size_t count = 0;
    if (!SplitParameters(parameters, length, p, &count))
        return;
    for (size_t i = 0; i < count;) {
        size_t subs = 0;
        while (i + 1 + subs < count && p[i + 1 + subs].sub)
            ++subs;
        unsigned code = p[i].value == kAbsent ? 0 : p[i].value;
        size_t next = i + 1 + subs;
        if (code == 38 || code == 48 || code == 58) {
            COLORREF colour = 0;
            bool valid = false;
            if (subs > 0)
                ReadColour(p + i + 1, subs, true, &colour, &valid);
            else
                next += ReadColour(p + i + 1, count - i - 1, false, &colour, &valid);
            // 58, the underline's own colour, is read only to be passed over.
            if (valid && code == 38)
                SetText(&style, colour);
            else if (valid && code == 48)
                SetBackground(&style, colour);
        } else {
            ApplyCode(&style, code, p + i + 1, subs);
        }
        i = next;
    }
}
