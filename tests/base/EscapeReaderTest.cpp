// The escape-sequence reader: each form through one table, each input cut at every offset.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "base/EscapeReader.h"
#include "base/Palette.h"

#define E "\033"

namespace {

std::string Hex(COLORREF colour)
{
    char text[8];
    std::snprintf(text, sizeof text, "#%02X%02X%02X", GetRValue(colour), GetGValue(colour),
                  GetBValue(colour));
    return text;
}

// The reader's output with each mark written out: {fg=#RRGGBB,bg=#RRGGBB,B,I,U,V,S}, {} for the
// automatic style.
std::string Describe(const std::string& output)
{
    std::string shown;
    for (size_t at = 0; at < output.size(); ++at) {
        if (output[at] != kStyleMark) {
            shown += output[at];
            continue;
        }
        EXPECT_LE(at + kStyleMarkSize, output.size()) << "a mark cut short";
        TextStyle style = ReadStyleMark(output.data() + at);
        std::string parts;
        if (!(style.effects & TextStyle::kAutomaticText))
            parts += ",fg=" + Hex(style.text);
        if (!(style.effects & TextStyle::kNoBackground))
            parts += ",bg=" + Hex(style.background);
        const char letters[] = "BIUVS";
        for (int bit = 0; bit < 5; ++bit) {
            if (style.effects & (1u << bit))
                parts += std::string(",") + letters[bit];
        }
        shown += "{" + (parts.empty() ? parts : parts.substr(1)) + "}";
        at += kStyleMarkSize - 1;
    }
    return shown;
}

// `expected` with each "=pN" written as palette colour N.
std::string WithPalette(std::string expected)
{
    for (size_t at = expected.find("=p"); at != std::string::npos; at = expected.find("=p", at)) {
        size_t end = at + 2;
        while (end < expected.size() && expected[end] >= '0' && expected[end] <= '9')
            ++end;
        expected.replace(at + 1, end - at - 1, Hex(PaletteColour(std::stoul(expected.substr(at + 2, end - at - 2)))));
    }
    return expected;
}

std::string ReadInTwo(bool colours, const std::string& input, size_t cut)
{
    EscapeReader reader(colours);
    std::string output = reader.Read(input.data(), cut);
    output += reader.Read(input.data() + cut, input.size() - cut);
    return output + reader.Finish();
}

std::string ReadByteByByte(bool colours, const std::string& input)
{
    EscapeReader reader(colours);
    std::string output;
    for (char c : input)
        output += reader.Read(&c, 1);
    return output + reader.Finish();
}

} // namespace

TEST(EscapeReaderTest, EachFormWhereverTheReadsCutIt)
{
    const std::string a254(254, 'a'), ones(300, '1');
    const struct {
        const char* name;
        bool colours;
        std::string input, shown;
    } cases[] = {
        {"plain text", true, "plain\r\n\t", "plain\r\n\t"},
        {"0 and empty reset", true, E "[31mr" E "[0mx" E "[31mr" E "[mx", "{fg=p1}r{}x{fg=p1}r{}x"},
        {"effects on and off", true,
         E "[1mb" E "[22m" E "[3mi" E "[23m" E "[4mu" E "[24m" E "[7mv" E "[27m" E "[9ms" E "[29mx",
         "{B}b{I}i{U}u{V}v{S}s{}x"},
        {"the sixteen", true, E "[30ma" E "[37mb" E "[90mc" E "[97md" E "[39me",
         "{fg=p0}a{fg=p7}b{fg=p8}c{fg=p15}d{}e"},
        {"the sixteen behind", true, E "[40ma" E "[47mb" E "[100mc" E "[107md" E "[49me",
         "{bg=p0}a{bg=p7}b{bg=p8}c{bg=p15}d{}e"},
        {"the xterm table", true,
         E "[38;5;16ma" E "[38;5;34mb" E "[38;5;196mc" E "[38;5;231md" E "[38;5;232me"
           E "[38;5;255mf" E "[38;5;9mg" E "[48;5;21;39mh",
         "{fg=#000000}a{fg=#00AF00}b{fg=#FF0000}c{fg=#FFFFFF}d{fg=#080808}e{fg=#EEEEEE}f{fg=p9}g"
         "{bg=#0000FF}h{}"},
        {"by value", true, E "[38;2;1;2;3ma" E "[48;2;250;128;0mb",
         "{fg=#010203}a{fg=#010203,bg=#FA8000}b{}"},
        {"the ':' forms", true,
         E "[38:5:34ma" E "[38:2::1:2:3mb" E "[38:2:4:5:6mc" E "[48:2:0:7:8:9md" E "[4:0;4:3me",
         "{fg=#00AF00}a{fg=#010203}b{fg=#040506}c{fg=#040506,bg=#070809}d{fg=#040506,bg=#070809,U}e{}"},
        {"several in one", true, E "[1;4;31;42mx", "{fg=p1,bg=p2,B,U}x{}"},
        {"unknown parameters ignored, the rest applies", true,
         E "[5;1;38;5;300;38;7;31;48;2;1;2mx", "{fg=p1,B}x{}"},
        {"the underline's colour passed over", true, E "[58;5;4;3mx" E "[58:2::1:2:3;9my",
         "{I}x{I,S}y{}"},
        {"a private form is no SGR", true, E "[>4;1mx" E "[?1mx", "xx"},
        {"other control sequences go", true, E "[2J" E "[10;20H" E "[?25l" E "[Ka" E "[1 qb", "ab"},
        {"OSC ended by BEL and by ESC \\", true, E "]0;title\007a" E "]2;t\xC3\xA9" E "\\b", "ab"},
        {"a hyperlink keeps its text", true, E "]8;;http://x.test/" E "\\link" E "]8;;" E "\\ end",
         "link end"},
        {"character sets and two-byte forms go", true, E "(Ba" E ")0b" E "7c" E "8d" E "=e" E "Mf",
         "abcdef"},
        {"C1 characters are text", true, "\xC2\x9B" "31m", "\xC2\x9B" "31m"},
        {"malformed: cut by a line break", true, E "[31\r\nx", "[31\r\nx"},
        {"malformed: a control after ESC, a second ESC", true, E "\001x" E E "[1my", "\001x{B}y{}"},
        {"malformed: UTF-8 inside", true, E "[1\xC3\xA9", "[1\xC3\xA9"},
        {"malformed: OSC cut by a line break, by another sequence", true,
         E "]0;ti\nx" E "]0;t" E "[1my", "]0;ti\nx]0;t{B}y{}"},
        {"256 bytes is a sequence", true, E "]" + a254.substr(1) + "\007x", "x"},
        {"257 bytes is none", true, E "]" + a254 + "\007x", "]" + a254 + "\007x"},
        {"an overlong control sequence", true, E "[" + ones + "mx", "[" + ones + "mx"},
        {"unfinished at the end", true, "abc" E "[31", "abc[31"},
        {"a string unfinished at its ESC", true, E "]0;t" E, "]0;t"},
        {"no mark inside a CR LF pair", true, E "[31mr\r" E "[0m\nx", "{fg=p1}r\r\n{}x"},
        {"the end goes back to automatic", true, E "[1;31mr", "{fg=p1,B}r{}"},
        {"off: removed, no style", false, E "[1;31mx" E "]0;t\007y" E "[0m", "xy"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string shown = WithPalette(c.shown);
        EXPECT_EQ(shown, Describe(ReadByteByByte(c.colours, c.input))) << "one byte per read";
        for (size_t cut = 0; cut <= c.input.size(); ++cut)
            EXPECT_EQ(shown, Describe(ReadInTwo(c.colours, c.input, cut))) << "cut at " << cut;
    }
}

TEST(EscapeReaderTest, OnlyTextWithNothingDuePassesAsItIs)
{
    EscapeReader reader;
    EXPECT_TRUE(reader.PassesAsIs("plain\r\n", 7));
    EXPECT_FALSE(reader.PassesAsIs("a" E "[m", 4));
    reader.Read(E "[3", 3);
    EXPECT_FALSE(reader.PassesAsIs("1m", 2)) << "a sequence is held";
    reader.Read("1m", 2);
    EXPECT_FALSE(reader.PassesAsIs("red", 3)) << "a mark is due";
    reader.Read("red", 3);
    EXPECT_TRUE(reader.PassesAsIs("red", 3));
}
