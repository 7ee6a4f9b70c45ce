#include "base/TextDecoder.h"

#include <cstring>

namespace {

const char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

// The UTF-8 sequence that starts at text[0]: its length when it is complete and valid; 0 when
// the bytes so far begin a valid sequence that the end of the text cuts; otherwise minus the
// length of its longest valid beginning (at least 1).
int Utf8Sequence(const unsigned char* text, size_t length)
{
    unsigned char lead = text[0];
    if (lead < 0x80)
        return 1;
    size_t need = 0;
    unsigned char low = 0x80;   // the second byte's range; later bytes are 0x80..0xBF
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        need = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;   // no overlong forms
        high = lead == 0xED ? 0x9F : 0xBF;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;  // nothing past U+10FFFF
    } else {
        return -1;
    }
    for (size_t i = 1; i < need; ++i) {
        if (i == length)
            return 0;
        unsigned char byte = text[i];
        if (byte < (i == 1 ? low : 0x80) || byte > (i == 1 ? high : 0xBF))
            return -static_cast<int>(i);
    }
    return static_cast<int>(need);
}

bool ReadsAsciiAsItself(UINT codePage)
{
    char ascii[127];
    for (int i = 0; i < 127; ++i)
        ascii[i] = static_cast<char>(i + 1);
    WCHAR wide[127];
    if (MultiByteToWideChar(codePage, 0, ascii, 127, wide, 127) != 127)
        return false;
    for (int i = 0; i < 127; ++i) {
        if (wide[i] != static_cast<WCHAR>(i + 1))
            return false;
    }
    return true;
}

const UINT kGb18030CodePage = 54936;

// Code pages that shift between character sets with escape or shift bytes: UTF-7, ISO-2022
// (Japanese, Korean, Chinese), HZ and ISCII.
bool ShiftsState(UINT codePage)
{
    return codePage == CP_UTF7 || (codePage >= 50220 && codePage <= 50229) || codePage == 52936 ||
           (codePage >= 57002 && codePage <= 57011);
}

} // namespace

bool TextDecoder::CanRead(UINT codePage)
{
    CPINFO info;
    if (codePage == CP_UTF8)
        return true;
    if (ShiftsState(codePage) || !IsValidCodePage(codePage) || !GetCPInfo(codePage, &info))
        return false;
    return info.MaxCharSize <= 2 || codePage == kGb18030CodePage;
}

TextDecoder::TextDecoder(UINT codePage)
    : recogniseUtf8(false), strictUtf8(false), fallbackCodePage(codePage), width(kSingle),
      asciiIsItself(true), heldCount(0), outLength(0)
{
    out[0] = '\0';
    if (codePage == CP_UTF8) {
        recogniseUtf8 = true;
        strictUtf8 = true;
        return;
    }
    if (codePage == kAutomatic || !CanRead(codePage)) {
        recogniseUtf8 = true;
        fallbackCodePage = GetACP();
    }
    CPINFO info;
    if (fallbackCodePage == kGb18030CodePage)
        width = kGb18030;
    else if (GetCPInfo(fallbackCodePage, &info) && info.MaxCharSize == 2)
        width = kLeadBytes;
    asciiIsItself = ReadsAsciiAsItself(fallbackCodePage);
}

TextDecoder::~TextDecoder()
{
}

bool TextDecoder::PassesAsIs(const char* text, size_t length) const
{
    if (heldCount > 0 || !asciiIsItself)
        return false;
    for (size_t i = 0; i < length; ++i) {
        if (static_cast<unsigned char>(text[i]) >= 0x80)
            return false;
    }
    return true;
}

void TextDecoder::AppendUtf8(const char* bytes, size_t count)
{
    std::memcpy(out + outLength, bytes, count);
    outLength += count;
}

void TextDecoder::AppendFallback(const unsigned char* bytes, size_t count)
{
    if (strictUtf8) {
        AppendUtf8(kReplacement, sizeof kReplacement - 1);
        return;
    }
    WCHAR wide[2 * (kMostInput + sizeof held)];
    int units = MultiByteToWideChar(fallbackCodePage, 0, reinterpret_cast<const char*>(bytes),
                                    static_cast<int>(count), wide,
                                    static_cast<int>(sizeof wide / sizeof wide[0]));
    if (units <= 0) {
        // Bytes the system cannot read still keep their place in the line.
        for (size_t i = 0; i < count; ++i)
            out[outLength++] = '?';
        return;
    }
    int written = WideCharToMultiByte(CP_UTF8, 0, wide, units, out + outLength,
                                      static_cast<int>(sizeof out - 1 - outLength), nullptr,
                                      nullptr);
    if (written > 0)
        outLength += static_cast<size_t>(written);
}

size_t TextDecoder::CharacterSize(const unsigned char* text, size_t at, size_t length) const
{
    unsigned char byte = text[at];
    if (width == kLeadBytes)
        return IsDBCSLeadByteEx(fallbackCodePage, byte) ? 2 : 1;
    if (width != kGb18030 || byte < 0x81 || byte > 0xFE)
        return 1;
    // A GB18030 lead byte takes one more byte, or three when a digit follows it.
    if (at + 1 < length && text[at + 1] >= 0x30 && text[at + 1] <= 0x39)
        return 4;
    return 2;
}

size_t TextDecoder::FallbackRunEnd(const unsigned char* text, size_t at, size_t length) const
{
    size_t end = at;
    while (end < length) {
        unsigned char byte = text[end];
        if (end > at && recogniseUtf8 &&
            (byte < 0x80 || Utf8Sequence(text + end, length - end) >= 0))
            break;
        size_t size = CharacterSize(text, end, length);
        if (end + size > length)
            break;  // the rest of the character comes with the next read
        end += size;
    }
    return end;
}

const char* TextDecoder::Decode(const char* bytes, size_t length)
{
    if (length > kMostInput)
        length = kMostInput;
    unsigned char text[sizeof held + kMostInput];
    std::memcpy(text, held, heldCount);
    std::memcpy(text + heldCount, bytes, length);
    size_t total = heldCount + length;
    outLength = 0;

    size_t at = 0;
    while (at < total) {
        if (text[at] < 0x80 && asciiIsItself) {
            size_t end = at + 1;
            while (end < total && text[end] < 0x80)
                ++end;
            AppendUtf8(reinterpret_cast<const char*>(text + at), end - at);
            at = end;
            continue;
        }
        if (recogniseUtf8) {
            int sequence = Utf8Sequence(text + at, total - at);
            if (sequence > 0) {
                AppendUtf8(reinterpret_cast<const char*>(text + at), static_cast<size_t>(sequence));
                at += static_cast<size_t>(sequence);
                continue;
            }
            if (sequence == 0)
                break;  // completed by the next read
            if (strictUtf8) {
                AppendFallback(text + at, static_cast<size_t>(-sequence));
                at += static_cast<size_t>(-sequence);
                continue;
            }
        }
        size_t end = FallbackRunEnd(text, at, total);
        if (end == at)
            break;
        AppendFallback(text + at, end - at);
        at = end;
    }

    heldCount = total - at;
    std::memcpy(held, text + at, heldCount);
    out[outLength] = '\0';
    return out;
}

const char* TextDecoder::Finish()
{
    outLength = 0;
    if (heldCount > 0)
        AppendFallback(held, heldCount);
    heldCount = 0;
    out[outLength] = '\0';
    return out;
}
