// The decoder of a child's output through the system's real conversions (under Wine the ANSI code
// page is 1252 and the OEM code page 437).
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "base/TextDecoder.h"

namespace {

// Decodes `bytes` in reads of `first` bytes, then of `step` bytes, then the end; every piece must
// be whole characters.
std::string Decode(UINT codePage, const std::string& bytes, size_t first, size_t step)
{
    TextDecoder decoder(codePage);
    std::string all;
    for (size_t at = 0, size = first; at < bytes.size(); at += size, size = step) {
        std::string piece = decoder.Decode(bytes.data() + at, std::min(size, bytes.size() - at));
        int length = static_cast<int>(piece.size());
        EXPECT_TRUE(length == 0 || MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, piece.data(),
                                                       length, nullptr, 0))
            << "a piece cut inside a character";
        all += piece;
    }
    return all + decoder.Finish();
}

} // namespace

TEST(TextDecoderTest, ReadsEachCodePageWhateverTheReadsCut)
{
    // résumé, Здр, the euro sign (three bytes) and U+1D11E (four bytes) in UTF-8.
    const std::string resume = "r\xC3\xA9sum\xC3\xA9", zdr = "\xD0\x97\xD0\xB4\xD1\x80";
    const std::string euro = "\xE2\x82\xAC", clef = "\xF0\x9D\x84\x9E";
    const std::string gb18030 = "x\x81\x30\x81\x30\xB0\xA1y";
    const struct {
        const char* name;
        UINT codePage;
        std::string bytes, shown;
    } cases[] = {
        {"pure ASCII", TextDecoder::kAutomatic, "plain text\r\n\t~", "plain text\r\n\t~"},
        {"UTF-8", TextDecoder::kAutomatic, resume + zdr + euro + clef, resume + zdr + euro + clef},
        // é and 0x80 (the euro sign) of code page 1252 between UTF-8.
        {"ANSI bytes between UTF-8", TextDecoder::kAutomatic, "caf\xE9 " + zdr + "\x80!",
         "caf\xC3\xA9 " + zdr + euro + "!"},
        {"overlong, surrogate and cut forms, and a character the end cuts, read as ANSI",
         TextDecoder::kAutomatic, "\xC0\xAF\xED\xA0\x80\xE2\x82x\xE2\x82",
         "\xC3\x80\xC2\xAF\xC3\xAD\xC2\xA0" + euro + "\xC3\xA2\xE2\x80\x9Ax\xC3\xA2\xE2\x80\x9A"},
        {"what cmd writes, read as OEM", GetOEMCP(), "r\x82sum\x82.txt", resume + ".txt"},
        {"ansi reads UTF-8 bytes as ANSI", GetACP(), "r\xC3\xA9", "r\xC3\x83\xC2\xA9"},
        {"utf-8 shows a byte that is not UTF-8 as U+FFFD", CP_UTF8, "a\xE9" + zdr + "\xE2\x82",
         "a\xEF\xBF\xBD" + zdr + "\xEF\xBF\xBD"},
        // Shift-JIS: the lead bytes 0x82 and 0x83 wait for their second bytes.
        {"two-byte code page", 932, "x\x82\xA0\x83\x5C", "x\xE3\x81\x82\xE3\x82\xBD"},
        // UTF-7 keeps a shift state across reads: refused, it reads automatically.
        {"a code page whose state crosses reads", CP_UTF7, "x+ZeVnLA-y", "x+ZeVnLA-y"},
        // GB18030: U+0080 in four bytes, then U+554A in two (a system without it, as Wine 8,
        // reads them automatically).
        {"four-byte code page", 54936, gb18030,
         IsValidCodePage(54936) ? "x\xC2\x80\xE5\x95\x8Ay"
                                : Decode(TextDecoder::kAutomatic, gb18030, 256, 256)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.shown, Decode(c.codePage, c.bytes, 1, 1)) << "one byte per read";
        for (size_t cut = 1; cut <= c.bytes.size(); ++cut)
            EXPECT_EQ(c.shown, Decode(c.codePage, c.bytes, cut, 256)) << "cut at " << cut;
    }
}

TEST(TextDecoderTest, OnlyPureAsciiPassesAsItIs)
{
    TextDecoder decoder;
    EXPECT_TRUE(decoder.PassesAsIs("plain\r\n", 7));
    // A byte of 0x80 or more anywhere, the last included.
    for (const char* text : {"\xE9plain", "pla\xE9in", "plain\xE9", "caf\xC3\xA9"})
        EXPECT_FALSE(decoder.PassesAsIs(text, std::strlen(text))) << text;
    decoder.Decode("\xC3", 1);
    EXPECT_FALSE(decoder.PassesAsIs("plain", 5)) << "a held byte goes first";
    // A code page that does not read ASCII as itself (EBCDIC) always decodes.
    EXPECT_FALSE(TextDecoder(37).PassesAsIs("plain", 5));
}
