// Message lines: the places (file, line, column) that compilers, linters and tracebacks print,
// read from one line of the log's text. Pure C++; the caller hands over the line, without its
// line break.
#ifndef VELQUETH_BASE_MESSAGELINE_H
#define VELQUETH_BASE_MESSAGELINE_H

#include <cstddef>
#include <memory>
#include <regex>

const size_t kPlaceFileSize = 260;  // a path: 259 characters and the terminator

struct MessagePlace {
    char file[kPlaceFileSize];  // as the line names it
    unsigned long line;
    unsigned long column;       // 0 when the message names none
};

// The lines that Velqueth writes around a job (header, prompt, failure, stop and exit-code
// lines): never messages, and the header names the job that the lines below it belong to.
bool IsFramingLine(const char* text, size_t length);
// The command line of a header line, or null when the line is no header.
const char* HeaderCommandLine(const char* text, size_t length);

// The built-in forms: GCC `FILE:LINE:COLUMN:` and `FILE:LINE:` at the start (FILE may begin with
// a drive), Visual C++ `FILE(LINE):` and `FILE(LINE,COLUMN):` after optional blanks, Python
// `File "FILE", line LINE` after blanks.
bool MatchBuiltInForm(const char* text, size_t length, MessagePlace* place);

// A user's pattern (ECMAScript): groups 1, 2 and 3 are the file, the line and the optional
// column. Copies share one compiled expression.
class MessagePattern {
public:
    MessagePattern();
    virtual ~MessagePattern();

    // Compiles `pattern`; an empty one leaves no pattern. On failure answers false with the
    // reason in words, and leaves no pattern.
    bool Compile(const char* pattern, const char** reason);
    bool Empty() const { return !expression; }
    bool Match(const char* text, size_t length, MessagePlace* place) const;

private:
    std::shared_ptr<const std::regex> expression;
};

// A line of a job's output: never a framing line; the job's pattern (if any) first, then the
// built-in forms.
bool MatchMessageLine(const char* text, size_t length, const MessagePattern* pattern,
                      MessagePlace* place);

#endif
