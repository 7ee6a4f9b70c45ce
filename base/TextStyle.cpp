#include "base/TextStyle.h"

namespace {

const int kMarkBits = 6;  // each byte after the mark carries six bits, as 0x40 + value

} // namespace

TextStyle TextStyle::Automatic()
{
    TextStyle style = {0, 0, kAutomaticText | kNoBackground};
    return style;
}

bool TextStyle::operator==(const TextStyle& other) const
{
    return text == other.text && background == other.background && effects == other.effects;
}

void WriteStyleMark(char* at, const TextStyle& style)
{
    unsigned long long bits = (static_cast<unsigned long long>(style.effects & 0x7F) << 48) |
                              (static_cast<unsigned long long>(style.text & 0xFFFFFF) << 24) |
                              (style.background & 0xFFFFFF);
    at[0] = kStyleMark;
    for (size_t i = 1; i < kStyleMarkSize; ++i) {
        at[i] = static_cast<char>(0x40 | (bits & 0x3F));
        bits >>= kMarkBits;
    }
}

TextStyle ReadStyleMark(const char* at)
{
    unsigned long long bits = 0;
    for (size_t i = kStyleMarkSize - 1; i >= 1; --i)
        bits = (bits << kMarkBits) | (static_cast<unsigned char>(at[i]) & 0x3F);
    TextStyle style;
    style.effects = static_cast<unsigned>(bits >> 48) & 0x7F;
    style.text = static_cast<COLORREF>(bits >> 24) & 0xFFFFFF;
    style.background = static_cast<COLORREF>(bits) & 0xFFFFFF;
    return style;
}
