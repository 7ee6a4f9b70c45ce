// TextSearch: where a word stands in a text of UTF-16 units, each unit one character position of
// the log's controls. The text comes piece by piece, as a control streams it out, so a log of
// megabytes is never copied whole. Forward from a position or backward before it, going on from
// the other end, with the Find dialog's two options (case, whole word).
#ifndef VELQUETH_BASE_TEXTSEARCH_H
#define VELQUETH_BASE_TEXTSEARCH_H

#include <windows.h>

#include <cstddef>

class TextSearch {
public:
    static const size_t kLongestWord = 256;

    // `word`: the units sought (`length` of them, at most kLongestWord). Without `matchCase`
    // both are compared in lower case; `wholeWord` wants no letter, digit or `_` on either side.
    // Forward: the first match starting at `from` or after it, else the first of all. Backward:
    // the last match starting before `from`, else the last of all.
    TextSearch(const WCHAR* word, size_t length, bool matchCase, bool wholeWord, size_t from,
               bool forward);
    virtual ~TextSearch();

    // The text's next units. Answers false once the answer is known and no more are needed.
    bool Take(const WCHAR* units, size_t count);
    // After the text's last units: the match's start, or -1 when the word stands nowhere.
    long End();

private:
    WCHAR Fold(WCHAR unit) const { return matchCase ? unit : lower[unit]; }
    bool MatchesAt(size_t at) const;
    void Scan(size_t end);

    WCHAR word[kLongestWord];
    size_t wordLength;
    bool matchCase;
    bool wholeWord;
    const WCHAR* lower;  // every unit's lower case (one table for the process)
    long from;
    bool forward;
    long before;  // forward: the first match before `from`; backward: the last
    long found;   // forward: the first at `from` or after; backward: the last of all

    // The part of the text at hand. window[0] is the unit before the first one that may start a
    // match still to be scanned (a blank before the text's start; one follows its end).
    static const size_t kWindow = 16384;
    WCHAR window[kWindow];
    size_t filled;
    long origin;  // the text position of window[0]
};

#endif
