#include "base/MessageLine.h"

#include <cstring>

namespace {

const char kHeader[] = "Executing:- ";
const char* const kFramings[] = {kHeader, "C:\\> ", "Failure running:- ", "Stopped:- ",
                                 "Exit code "};

// Line and column numbers: up to nine digits, so that they always fit.
const size_t kMostDigits = 9;

bool StartsWith(const char* text, size_t length, const char* prefix)
{
    size_t size = std::strlen(prefix);
    return length >= size && std::memcmp(text, prefix, size) == 0;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// Characters that no Windows file name holds (the colon is the caller's business).
bool IsFileChar(char c)
{
    return static_cast<unsigned char>(c) >= 0x20 && !std::strchr("<>\"|?*", c);
}

// Digits from `*at`, moving past them; false without any or with too many.
bool ReadNumber(const char* text, size_t length, size_t* at, unsigned long* number)
{
    size_t start = *at;
    unsigned long value = 0;
    while (*at < length && IsDigit(text[*at]) && *at - start < kMostDigits)
        value = value * 10 + static_cast<unsigned long>(text[(*at)++] - '0');
    if (*at == start || (*at < length && IsDigit(text[*at])))
        return false;
    *number = value;
    return true;
}

bool TakeFile(const char* text, size_t length, MessagePlace* place)
{
    if (length == 0 || length >= kPlaceFileSize)
        return false;
    std::memcpy(place->file, text, length);
    place->file[length] = '\0';
    return true;
}

bool HasDrive(const char* text, size_t length)
{
    return length >= 3 && ((text[0] | 0x20) >= 'a' && (text[0] | 0x20) <= 'z') && text[1] == ':' &&
           (text[2] == '\\' || text[2] == '/');
}

// FILE:LINE:COLUMN: or FILE:LINE: at the very start. A FILE of digits alone is a time of day
// (12:30:45: started), not a file.
bool MatchGcc(const char* text, size_t length, MessagePlace* place)
{
    size_t colon = HasDrive(text, length) ? 2 : 0;
    while (colon < length && text[colon] != ':') {
        if (!IsFileChar(text[colon]))
            return false;
        ++colon;
    }
    if (colon == length || colon == 0 || IsBlank(text[0]))
        return false;
    size_t digits = 0;
    while (digits < colon && IsDigit(text[digits]))
        ++digits;
    if (digits == colon)
        return false;
    size_t at = colon + 1;
    if (!ReadNumber(text, length, &at, &place->line) || at == length || text[at] != ':')
        return false;
    size_t columnAt = at + 1;
    place->column = 0;
    unsigned long column = 0;
    if (ReadNumber(text, length, &columnAt, &column) && columnAt < length && text[columnAt] == ':')
        place->column = column;
    return TakeFile(text, colon, place);
}

// (LINE) or (LINE,COLUMN) then a colon, with the blank that older compilers put before it.
bool ReadParenthesised(const char* text, size_t length, size_t at, MessagePlace* place)
{
    ++at;
    if (!ReadNumber(text, length, &at, &place->line))
        return false;
    place->column = 0;
    if (at < length && text[at] == ',') {
        ++at;
        if (!ReadNumber(text, length, &at, &place->column))
            return false;
    }
    if (at == length || text[at] != ')')
        return false;
    ++at;
    if (at < length && text[at] == ' ')
        ++at;
    return at < length && text[at] == ':';
}

// FILE(LINE): or FILE(LINE,COLUMN): after optional blanks; FILE may hold other parentheses
// (C:\Program Files (x86)\...).
bool MatchVisualC(const char* text, size_t length, MessagePlace* place)
{
    size_t start = 0;
    while (start < length && IsBlank(text[start]))
        ++start;
    const char* file = text + start;
    size_t rest = length - start;
    for (size_t at = HasDrive(file, rest) ? 2 : 0; at < rest; ++at) {
        char c = file[at];
        if (c == '(' && at > 0 && ReadParenthesised(file, rest, at, place))
            return TakeFile(file, at, place);
        if (c == ':' || !IsFileChar(c))
            return false;
    }
    return false;
}

// File "FILE", line LINE after blanks (a Python traceback).
bool MatchPython(const char* text, size_t length, MessagePlace* place)
{
    size_t at = 0;
    while (at < length && IsBlank(text[at]))
        ++at;
    const char kOpening[] = "File \"";
    const char kLine[] = "\", line ";
    if (!StartsWith(text + at, length - at, kOpening))
        return false;
    size_t file = at + sizeof kOpening - 1;
    size_t quote = file;
    while (quote < length && text[quote] != '"')
        ++quote;
    if (quote == length || !StartsWith(text + quote, length - quote, kLine))
        return false;
    size_t number = quote + sizeof kLine - 1;
    place->column = 0;
    return ReadNumber(text, length, &number, &place->line) && TakeFile(text + file, quote - file, place);
}

bool ReadGroupNumber(const std::csub_match& group, unsigned long* number)
{
    size_t at = 0;
    return group.matched && ReadNumber(group.first, group.length(), &at, number) &&
           at == static_cast<size_t>(group.length());
}

const char* ReasonOf(std::regex_constants::error_type code)
{
    switch (code) {
    case std::regex_constants::error_collate: return "an invalid collating element";
    case std::regex_constants::error_ctype: return "an invalid character class";
    case std::regex_constants::error_escape: return "an invalid escape or a trailing backslash";
    case std::regex_constants::error_backref: return "a back reference to a missing group";
    case std::regex_constants::error_brack: return "unbalanced [ ]";
    case std::regex_constants::error_paren: return "unbalanced ( )";
    case std::regex_constants::error_brace: return "unbalanced { }";
    case std::regex_constants::error_badbrace: return "an invalid count in { }";
    case std::regex_constants::error_range: return "an invalid character range";
    case std::regex_constants::error_space: return "not enough memory";
    case std::regex_constants::error_badrepeat: return "a repeat with nothing to repeat";
    default: return "too complex";
    }
}

} // namespace

bool IsFramingLine(const char* text, size_t length)
{
    for (const char* framing : kFramings)
        if (StartsWith(text, length, framing))
            return true;
    return false;
}

const char* HeaderCommandLine(const char* text, size_t length)
{
    return StartsWith(text, length, kHeader) ? text + sizeof kHeader - 1 : nullptr;
}

bool MatchBuiltInForm(const char* text, size_t length, MessagePlace* place)
{
    return MatchGcc(text, length, place) || MatchVisualC(text, length, place) ||
           MatchPython(text, length, place);
}

MessagePattern::MessagePattern()
{
}

MessagePattern::~MessagePattern()
{
}

bool MessagePattern::Compile(const char* pattern, const char** reason)
{
    expression.reset();
    if (!pattern || !*pattern)
        return true;
    try {
        expression = std::make_shared<const std::regex>(pattern, std::regex::ECMAScript);
        return true;
    } catch (const std::regex_error& error) {
        *reason = ReasonOf(error.code());
    } catch (...) {
        *reason = ReasonOf(std::regex_constants::error_space);
    }
    return false;
}

bool MessagePattern::Match(const char* text, size_t length, MessagePlace* place) const
{
    if (!expression)
        return false;
    try {
        std::cmatch groups;
        if (!std::regex_search(text, text + length, groups, *expression) || groups.size() < 3)
            return false;
        if (!ReadGroupNumber(groups[2], &place->line))
            return false;
        if (groups.size() < 4 || !ReadGroupNumber(groups[3], &place->column))
            place->column = 0;
        return TakeFile(groups[1].first, static_cast<size_t>(groups[1].length()), place);
    } catch (...) {
        // A search too deep for the engine's stack, or no memory: no message.
        return false;
    }
}

bool MatchMessageLine(const char* text, size_t length, const MessagePattern* pattern,
                      MessagePlace* place)
{
    if (IsFramingLine(text, length))
        return false;
    if (pattern && pattern->Match(text, length, place))
        return true;
    return MatchBuiltInForm(text, length, place);
}
