// The bytes that vqchild writes for its "bytes" and "mixed" commands and vqstamp for its "lines",
// for the children themselves and for the tests and the benchmark that check what arrived.
#ifndef VELQUETH_TESTS_HELPERS_CHILDPATTERN_H
#define VELQUETH_TESTS_HELPERS_CHILDPATTERN_H

#include <cstdio>
#include <string>

namespace child_pattern {

// Byte i of "bytes N LEN": the letters a to z over and over, with CR LF closing every LEN bytes
// when LEN > 1.
inline char Pattern(unsigned long i, unsigned long lineLength)
{
    if (lineLength > 1) {
        unsigned long at = i % lineLength;
        if (at == lineLength - 2)
            return '\r';
        if (at == lineLength - 1)
            return '\n';
    }
    return static_cast<char>('a' + i % 26);
}

// Byte i of "mixed N": the letters with NUL bytes, lone CR, lone LF and CR LF pairs at fixed
// places.
inline char MixedPattern(unsigned long i)
{
    switch (i % 61) {
    case 0: return '\0';
    case 17: return '\r';
    case 29: return '\n';
    case 41: return '\r';
    case 42: return '\n';
    default: return Pattern(i, 0);
    }
}

inline std::string PatternText(unsigned long count, unsigned long lineLength)
{
    std::string text(count, '\0');
    for (unsigned long i = 0; i < count; ++i)
        text[i] = Pattern(i, lineLength);
    return text;
}

inline std::string MixedText(unsigned long count)
{
    std::string text(count, '\0');
    for (unsigned long i = 0; i < count; ++i)
        text[i] = MixedPattern(i);
    return text;
}

// Line `number` of "vqstamp lines N" without its CR LF: the number in ten digits, a space and 67
// letters, so that every line is 80 bytes and any one of them tells how far the output has come.
inline std::string NumberedLine(unsigned long number)
{
    char digits[16];
    std::snprintf(digits, sizeof digits, "%010lu ", number);
    std::string line = digits;
    for (int i = 11; i < 78; ++i)
        line += static_cast<char>('a' + (i - 11) % 26);
    return line;
}

// "utf8 N": N bytes of 80-byte lines of UTF-8 text, "résumé Здр € " over and over (one-, two-
// and three-byte characters), each line closed by CR LF. 256 KiB and 1 MiB end between two
// characters.
inline std::string Utf8Text(unsigned long count)
{
    const std::string unit = "r\xC3\xA9sum\xC3\xA9 \xD0\x97\xD0\xB4\xD1\x80 \xE2\x82\xAC ";
    const std::string line = unit + unit + unit + unit.substr(0, 16) + "..\r\n";
    std::string text;
    text.reserve(count + line.size());
    while (text.size() < count)
        text += line;
    text.resize(count);
    return text;
}

// "coloured N": 80-byte lines (as many whole ones as N bytes hold), each with two coloured words,
// one bold red, one in colour 34 of the xterm table; ColouredShown is what the log shows of them.
inline std::string ColouredLine(bool shown)
{
    std::string visible = "error: the build of passed ";
    while (visible.size() < 80 - 26 - 2)
        visible += static_cast<char>('a' + visible.size() % 26);
    if (shown)
        return visible + "\r\n";
    return "\x1B[1;31m" + visible.substr(0, 5) + "\x1B[0m" + visible.substr(5, 15) + "\x1B[38;5;34m" +
           visible.substr(20, 6) + "\x1B[39m" + visible.substr(26) + "\r\n";
}

inline std::string ColouredText(unsigned long count, bool shown = false)
{
    std::string text;
    for (unsigned long n = 0; n < count / 80; ++n)
        text += ColouredLine(shown);
    return text;
}

} // namespace child_pattern

#endif
