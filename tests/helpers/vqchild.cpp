// vqchild: a console program whose behaviour the tests script on its command line. Commands run
// in order, for example:  vqchild out "a\r\n" err "b\r\n" exit 3
//
//   out TEXT           TEXT on standard output (escapes \r \n \t \\ \0 \xHH)
//   err TEXT           TEXT on standard error
//   alt N              N lines "out I" / "err I", alternately on standard output and error
//   bytes N [LEN]      N bytes of letters; with LEN every LEN bytes end in CR LF (ChildPattern.h)
//   utf8 N             N bytes of 80-byte lines of UTF-8 text (ChildPattern.h)
//   coloured N         80-byte lines with two coloured words each (ChildPattern.h)
//   palette            the sixteen colours, behind text too, each effect, the 256-colour table
//   nul                text with NUL bytes at its start, inside and in a row
//   crlf-split         255 'x', then CR LF across the 256-byte boundary, then "tail"
//   exit CODE          ends at once with CODE (decimal, or hex after 0x)
//   stdin              reads standard input to its end, then prints "stdin N bytes\r\n"
//   grandchild MS      starts "vqchild sleep MS out grandchild\r\n" holding the same handles
//   breakaway MS       the same, started outside this process's job (CREATE_BREAKAWAY_FROM_JOB)
//   holder MS TEXT     starts "vqchild out TEXT sleep MS" outside this process's job: TEXT at
//                      once, then the pipe held
//   sleep MS           sleeps
//   wait NAME          waits (at most 60 s) until the test sets the named event NAME
//   crash              access violation, ended without any debugger
//   pwd                the current directory and CR LF
//   lines N MS         N lines "line I\r\n", one every MS milliseconds
//   mixed N            N bytes of letters with NUL bytes, lone CR, lone LF and CR LF pairs at
//                      fixed places (ChildPattern.h)
//   flood S            lines of 64 bytes until a write fails (the reader is gone) or S seconds
//                      have passed
//
// All writing is WriteFile on the standard handles: no buffering, so the order is the order of
// the calls.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/helpers/ChildPattern.h"

namespace {

void Write(DWORD which, const std::string& text)
{
    HANDLE handle = GetStdHandle(which);
    const char* data = text.data();
    DWORD left = static_cast<DWORD>(text.size());
    while (left > 0) {
        DWORD written = 0;
        if (!WriteFile(handle, data, left, &written, nullptr) || written == 0)
            return;
        data += written;
        left -= written;
    }
}

void Out(const std::string& text)
{
    Write(STD_OUTPUT_HANDLE, text);
}

std::string Unescape(const char* text)
{
    std::string out;
    for (const char* p = text; *p; ++p) {
        if (*p != '\\' || p[1] == '\0') {
            out += *p;
            continue;
        }
        ++p;
        switch (*p) {
        case 'r': out += '\r'; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case '0': out += '\0'; break;
        case 'x':
            if (p[1] && p[2]) {
                char hex[3] = {p[1], p[2], 0};
                out += static_cast<char>(std::strtoul(hex, nullptr, 16));
                p += 2;
            }
            break;
        default: out += *p; break;
        }
    }
    return out;
}

LONG WINAPI EndQuietly(EXCEPTION_POINTERS*)
{
    return EXCEPTION_EXECUTE_HANDLER;
}

void StartGrandchild(const char* milliseconds, DWORD flags, const char* first = "")
{
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    char command[3 * MAX_PATH];
    if (first[0])
        std::snprintf(command, sizeof command, "\"%s\" out \"%s\" sleep %s", self, first, milliseconds);
    else
        std::snprintf(command, sizeof command, "\"%s\" sleep %s out \"grandchild\\r\\n\"", self,
                      milliseconds);
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process;
    std::memset(&process, 0, sizeof process);
    if (CreateProcessA(nullptr, command, nullptr, nullptr, TRUE, flags, nullptr, nullptr, &startup,
                       &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    } else {
        Out("grandchild failed " + std::to_string(GetLastError()) + "\r\n");
    }
}

// Every colour and effect that the log shows, for a screenshot.
std::string PaletteShow()
{
    const char* names[8] = {"black", "red", "green", "yellow", "blue", "magenta", "cyan", "white"};
    std::string text;
    for (int bright = 0; bright < 2; ++bright) {
        for (int i = 0; i < 8; ++i)
            text += "\x1B[" + std::to_string((bright ? 90 : 30) + i) + "m" + names[i] + " ";
        text += "\x1B[0m\r\n";
        for (int i = 0; i < 8; ++i)
            text += "\x1B[" + std::to_string((bright ? 100 : 40) + i) + "m " + names[i] + " ";
        text += "\x1B[0m\r\n";
    }
    text += "\x1B[1mbold\x1B[22m \x1B[3mitalic\x1B[23m \x1B[4munderline\x1B[24m "
            "\x1B[9mstruck\x1B[29m \x1B[7minverse\x1B[27m \x1B[1;4;31mbold red underlined\x1B[0m\r\n";
    for (int row = 0; row < 2; ++row) {
        for (int i = 16 + row * 120; i < 16 + (row + 1) * 120; ++i)
            text += "\x1B[48;5;" + std::to_string(i) + "m ";
        text += "\x1B[0m|\r\n";  // a line's last blanks would go undrawn
    }
    for (int i = 0; i < 120; ++i)
        text += "\x1B[48;2;" + std::to_string(i * 2) + ";" + std::to_string(255 - i * 2) + ";128m ";
    return text + "\x1B[0m|\r\n";
}

} // namespace

int main(int argc, char** argv)
{
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    for (int i = 1; i < argc; ++i) {
        std::string command = argv[i];
        const char* arg = i + 1 < argc ? argv[i + 1] : "";
        if (command == "out") {
            Out(Unescape(arg));
            ++i;
        } else if (command == "err") {
            Write(STD_ERROR_HANDLE, Unescape(arg));
            ++i;
        } else if (command == "alt") {
            long count = std::atol(arg);
            ++i;
            for (long n = 0; n < count; ++n) {
                char line[32];
                std::snprintf(line, sizeof line, "%s %ld\r\n", n % 2 ? "err" : "out", n);
                Write(n % 2 ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE, line);
            }
        } else if (command == "bytes") {
            unsigned long count = std::strtoul(arg, nullptr, 10);
            ++i;
            unsigned long lineLength = 0;
            if (i + 1 < argc && argv[i + 1][0] >= '0' && argv[i + 1][0] <= '9')
                lineLength = std::strtoul(argv[++i], nullptr, 10);
            Out(child_pattern::PatternText(count, lineLength));
        } else if (command == "utf8") {
            Out(child_pattern::Utf8Text(std::strtoul(arg, nullptr, 10)));
            ++i;
        } else if (command == "coloured") {
            Out(child_pattern::ColouredText(std::strtoul(arg, nullptr, 10)));
            ++i;
        } else if (command == "palette") {
            Out(PaletteShow());
        } else if (command == "nul") {
            Out(std::string("\0lead", 5) + std::string("ab\0cd", 5) + std::string("\0\0ef\r\n", 6));
        } else if (command == "crlf-split") {
            Out(std::string(255, 'x') + "\r\ntail");
        } else if (command == "exit") {
            ExitProcess(static_cast<UINT>(std::strtoul(arg, nullptr, 0)));
        } else if (command == "stdin") {
            unsigned long total = 0;
            char buffer[512];
            DWORD read = 0;
            while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &read, nullptr)
                   && read > 0)
                total += read;
            char line[64];
            std::snprintf(line, sizeof line, "stdin %lu bytes\r\n", total);
            Out(line);
        } else if (command == "grandchild") {
            StartGrandchild(arg, 0);
            ++i;
        } else if (command == "breakaway") {
            StartGrandchild(arg, CREATE_BREAKAWAY_FROM_JOB);
            ++i;
        } else if (command == "holder") {
            StartGrandchild(arg, CREATE_BREAKAWAY_FROM_JOB, i + 2 < argc ? argv[i + 2] : "");
            i += 2;
        } else if (command == "sleep") {
            Sleep(static_cast<DWORD>(std::atol(arg)));
            ++i;
        } else if (command == "wait") {
            HANDLE event = OpenEventA(SYNCHRONIZE, FALSE, arg);
            if (event) {
                WaitForSingleObject(event, 60000);
                CloseHandle(event);
            }
            ++i;
        } else if (command == "crash") {
            SetUnhandledExceptionFilter(EndQuietly);
            int* volatile target = nullptr;
            *target = 1;
        } else if (command == "pwd") {
            char directory[MAX_PATH] = "";
            GetCurrentDirectoryA(MAX_PATH, directory);
            Out(std::string(directory) + "\r\n");
        } else if (command == "lines") {
            long count = std::atol(arg);
            DWORD interval = static_cast<DWORD>(i + 2 < argc ? std::atol(argv[i + 2]) : 0);
            i += 2;
            for (long n = 0; n < count; ++n) {
                char line[32];
                std::snprintf(line, sizeof line, "line %ld\r\n", n);
                Out(line);
                if (n + 1 < count)
                    Sleep(interval);
            }
        } else if (command == "mixed") {
            unsigned long count = std::strtoul(arg, nullptr, 10);
            ++i;
            Out(child_pattern::MixedText(count));
        } else if (command == "flood") {
            DWORD limit = static_cast<DWORD>(std::atol(arg)) * 1000;
            ++i;
            DWORD start = GetTickCount();
            HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
            for (unsigned long n = 0; GetTickCount() - start < limit; ++n) {
                char line[65];
                std::snprintf(line, sizeof line, "flood %010lu %-45s\r\n", n, "x");
                DWORD written = 0;
                if (!WriteFile(output, line, 64, &written, nullptr) || written == 0)
                    break;
            }
        } else {
            Write(STD_ERROR_HANDLE, "vqchild: unknown command " + command + "\r\n");
            return 99;
        }
    }
    return 0;
}
