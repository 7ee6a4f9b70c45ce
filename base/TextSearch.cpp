#include "base/TextSearch.h"

#include <cstring>

namespace {

bool IsWordUnit(WCHAR unit)
{
    return unit == L'_' || IsCharAlphaNumericW(unit);
}

// Lower case by table: a call to the system for each unit of a long log would cost more than the
// search itself.
const WCHAR* LowerCaseTable()
{
    static WCHAR table[0x10000];
    static bool made = false;
    if (!made) {
        for (DWORD unit = 0; unit < 0x10000; ++unit)
            table[unit] = static_cast<WCHAR>(unit);
        CharLowerBuffW(table, 0x10000);
        made = true;
    }
    return table;
}

} // namespace

TextSearch::TextSearch(const WCHAR* text, size_t length, bool caseMatters, bool whole,
                       size_t start, bool down)
    : wordLength(length < kLongestWord ? length : kLongestWord), matchCase(caseMatters),
      wholeWord(whole), lower(LowerCaseTable()), from(static_cast<long>(start)), forward(down),
      before(-1), found(-1), filled(1), origin(-1)
{
    for (size_t i = 0; i < wordLength; ++i)
        word[i] = Fold(text[i]);
    window[0] = L' ';
}

TextSearch::~TextSearch()
{
}

bool TextSearch::MatchesAt(size_t at) const
{
    for (size_t i = 0; i < wordLength; ++i)
        if (Fold(window[at + i]) != word[i])
            return false;
    return !wholeWord || (!IsWordUnit(window[at - 1]) && !IsWordUnit(window[at + wordLength]));
}

// The places from 1 up to `end` that may start a match (each has a unit before and after it).
void TextSearch::Scan(size_t end)
{
    const WCHAR lead = word[0];
    for (size_t at = 1; at < end; ++at) {
        if (Fold(window[at]) != lead || !MatchesAt(at))
            continue;
        long position = origin + static_cast<long>(at);
        if (forward) {
            if (position >= from) {
                found = position;
                return;
            }
            if (before < 0)
                before = position;
        } else {
            if (position < from)
                before = position;
            found = position;
        }
    }
}

bool TextSearch::Take(const WCHAR* units, size_t count)
{
    if (wordLength == 0)
        return false;
    while (count > 0) {
        size_t room = kWindow - filled;
        size_t take = count < room ? count : room;
        std::memcpy(window + filled, units, take * sizeof(WCHAR));
        filled += take;
        units += take;
        count -= take;
        if (filled < kWindow)
            break;
        // Full: scan what has a unit after it, keep the word's length and the unit before.
        Scan(filled - wordLength);
        if (forward && found >= 0)
            return false;
        const size_t keep = wordLength + 1;
        std::memmove(window, window + filled - keep, keep * sizeof(WCHAR));
        origin += static_cast<long>(filled - keep);
        filled = keep;
    }
    return true;
}

long TextSearch::End()
{
    if (wordLength == 0)
        return -1;
    if (!(forward && found >= 0)) {
        window[filled++] = L' ';  // Take leaves room for it
        if (filled > wordLength)
            Scan(filled - wordLength);
    }
    if (forward)
        return found >= 0 ? found : before;
    return before >= 0 ? before : found;
}
