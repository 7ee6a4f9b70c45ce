// The decoder of a child's output through the system's real conversions (under Wine the ANSI code
// page is 1252 and the OEM code page 437).
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "base/TextDecoder.h"

namespace {

bool IsWholeUtf8(const std::string& text)
{
    return text.empty() || MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                               static_cast<int>(text.size()), nullptr, 0) > 0;
}

// Decodes the writes in order, then the end; every piece must be whole characters.
std::string DecodeAll(UINT codePage, const std::vector<std::string>& writes)
{
    TextDecoder decoder(codePage);
    std::string all;
    for (const std::string& write : writes) {
        std::string piece = decoder.Decode(write.data(), write.size());
        EXPECT_TRUE(IsWholeUtf8(piece)) << "a piece cut inside a character";
        all += piece;
    }
    all += decoder.Finish();
    return all;
}

const char kResume[] = "r\xC3\xA9sum\xC3\xA9";    // résumé
const char kZdr[] = "\xD0\x97\xD0\xB4\xD1\x80";     // Здр
const char kEuroSign[] = "\xE2\x82\xAC";            // €, three bytes
const char kClef[] = "\xF0\x9D\x84\x9E";            // U+1D11E, four bytes

} // namespace

TEST(TextDecoderTest, ReadsEachCodePageWhateverTheReadsCut)
{
    const std::string resume = kResume, zdr = kZdr, euro = kEuroSign, clef = kClef;
    struct Case {
        const char* name;
        UINT codePage;
        std::string bytes;
        std::string shown;
    } cases[] = {
        {"pure ASCII", TextDecoder::kAutomatic, "plain text\r\n\t~", "plain text\r\n\t~"},
        {"UTF-8 of two, three and four bytes", TextDecoder::kAutomatic,
         resume + " " + zdr + euro + clef, resume + " " + zdr + euro + clef},
        // é in code page 1252, then valid UTF-8, then 0x80 (the euro sign in 1252).
        {"ANSI bytes between UTF-8", TextDecoder::kAutomatic, "caf\xE9 " + zdr + "\x80!",
         "caf\xC3\xA9 " + zdr + euro + "!"},
        {"overlong, surrogate and cut forms read as ANSI", TextDecoder::kAutomatic,
         "\xC0\xAF\xED\xA0\x80\xE2\x82x", "\xC3\x80\xC2\xAF\xC3\xAD\xC2\xA0\xE2\x82\xAC\xC3\xA2"
         "\xE2\x80\x9Ax"},
        {"a character the output's end cuts, as ANSI", TextDecoder::kAutomatic, "ok\xE2\x82",
         "ok\xC3\xA2\xE2\x80\x9A"},
        {"what cmd writes, read as OEM", GetOEMCP(), "r\x82sum\x82.txt", resume + ".txt"},
        {"ansi reads UTF-8 bytes as ANSI", GetACP(), "r\xC3\xA9", "r\xC3\x83\xC2\xA9"},
        {"utf-8 shows a byte that is not UTF-8 as U+FFFD", CP_UTF8, "a\xE9" + zdr + "\xE2\x82",
         "a\xEF\xBF\xBD" + zdr + "\xEF\xBF\xBD"},
        // Shift-JIS: the lead byte 0x82 waits for its second byte (0xA0: HIRAGANA LETTER A).
        {"two-byte code page", 932, "x\x82\xA0\x83\x5C", "x\xE3\x81\x82\xE3\x82\xBD"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.shown, DecodeAll(c.codePage, {c.bytes}));
        std::vector<std::string> bytewise;
        for (char byte : c.bytes)
            bytewise.push_back(std::string(1, byte));
        EXPECT_EQ(c.shown, DecodeAll(c.codePage, bytewise)) << "one byte per read";
        for (size_t cut = 1; cut < c.bytes.size(); ++cut)
            EXPECT_EQ(c.shown, DecodeAll(c.codePage, {c.bytes.substr(0, cut), c.bytes.substr(cut)}))
                << "cut at " << cut;
    }
}

TEST(TextDecoderTest, OnlyPureAsciiPassesAsItIs)
{
    TextDecoder decoder;
    EXPECT_TRUE(decoder.PassesAsIs("plain\r\n", 7));
    EXPECT_FALSE(decoder.PassesAsIs("caf\xC3\xA9", 5));
    decoder.Decode("\xC3", 1);
    EXPECT_FALSE(decoder.PassesAsIs("plain", 5)) << "a held byte goes first";
    EXPECT_STREQ("\xC3\xA9", decoder.Decode("\xA9", 1));
    EXPECT_TRUE(decoder.PassesAsIs("plain", 5));
    // A code page that does not read ASCII as itself (EBCDIC) always decodes.
    EXPECT_FALSE(TextDecoder(37).PassesAsIs("plain", 5));
}
