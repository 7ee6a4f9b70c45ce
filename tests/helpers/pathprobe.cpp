// Prints what AppPaths answers for this program's own module, so that a test can copy it to an
// unusual path (dots in directories, no extension, a path at the length limit) and look.
//
// Output, one line per call, fields separated by tabs, control characters escaped:
//   module  <GetModuleFileNameA result>
//   ini     <0|1> <output>        PathWithExtension(".ini", report errors)
//   chm     <0|1> <output>        HelpFilePath
//   ext     <0|1> <output>        one line per extension named on the command line (report errors)
//   guard   <ok|overrun>          whether any call wrote past the 260-byte output
//   box     <text> <caption> <style> <owner>   one line per message box, after the call that showed it
//
// With the first argument --line it prints instead its own command line, as it came:
//   line    <GetCommandLineA()>
//
// With the single argument --save it prints instead what the settings' three writers answer, then
// the boxes they showed:
//   save    <WriteSlot> <WriteDefault> <WriteDisplayProgram>
//
// With the single argument --wide it prints instead, for a test that runs it under another ANSI
// code page (through a manifest beside it):
//   acp     <GetACP()>
//   wide    <count> <status in hex> <destination bytes in hex, up to the first NUL or count>
//           for "abc", "\u00e9t\u00e9" and "\u00e9", each with its terminator
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/Seams.h"
#include "config/AppPaths.h"
#include "config/Settings.h"

namespace {

struct Box {
    std::string text, caption;
    UINT style;
    bool owned;
};
std::vector<Box> boxes;

int WINAPI RecordBox(HWND owner, LPCSTR text, LPCSTR caption, UINT style)
{
    boxes.push_back({text ? text : "<null>", caption ? caption : "<null>", style, owner != nullptr});
    return IDOK;
}

std::string Escaped(const char* text)
{
    std::string out;
    for (const char* p = text; *p; ++p) {
        if (*p == '\r')
            out += "\\r";
        else if (*p == '\n')
            out += "\\n";
        else if (*p == '\t')
            out += "\\t";
        else
            out += *p;
    }
    return out;
}

const int kGuard = 64;
bool overrun = false;

// Output buffer of kPathSize bytes followed by guard bytes that no call may touch.
struct GuardedPath {
    char bytes[kPathSize + kGuard];
    GuardedPath() { std::memset(bytes, '#', sizeof bytes); }
    ~GuardedPath()
    {
        for (int i = kPathSize; i < kPathSize + kGuard; ++i)
            if (bytes[i] != '#')
                overrun = true;
    }
};

void PrintBoxes()
{
    for (const Box& box : boxes)
        std::printf("box\t%s\t%s\t%u\t%s\n", Escaped(box.text.c_str()).c_str(),
                    Escaped(box.caption.c_str()).c_str(), box.style, box.owned ? "owner" : "none");
    boxes.clear();
}

void PrintResult(const char* label, bool ok, const GuardedPath& path)
{
    // An output that lost its terminator is shown cut at the buffer's end.
    const void* end = std::memchr(path.bytes, '\0', kPathSize);
    size_t length = end ? static_cast<const char*>(end) - path.bytes : kPathSize;
    std::string text(path.bytes, length);
    std::printf("%s\t%d\t%s\n", label, ok ? 1 : 0, Escaped(text.c_str()).c_str());
    PrintBoxes();
}

} // namespace

// Each text is converted with its terminator; under UTF-8 an accented letter takes two bytes,
// more than the count allows.
void PrintWideToNarrow(const AppPaths& paths)
{
    std::printf("acp\t%u\n", GetACP());
    const wchar_t* const texts[] = {L"abc", L"\u00e9t\u00e9", L"\u00e9"};
    for (const wchar_t* text : texts) {
        const int count = lstrlenW(text) + 1;
        char destination[16];
        std::memset(destination, '#', sizeof destination);
        DWORD status = paths.WideToNarrow(text, destination, count);
        std::printf("wide\t%d\t%08lX\t", count, static_cast<unsigned long>(status));
        for (int i = 0; i < count && destination[i] != '\0'; ++i)
            std::printf("%02X", static_cast<unsigned char>(destination[i]));
        std::printf("\n");
    }
}

int main(int argc, char** argv)
{
    seams::messageBox = RecordBox;
    AppPaths paths;
    if (argc >= 2 && std::strcmp(argv[1], "--line") == 0) {
        std::printf("line\t%s\n", GetCommandLineA());
        std::fflush(stdout);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--save") == 0) {
        Settings settings;
        std::printf("save\t%lu\t%lu\t%lu\n",
                    static_cast<unsigned long>(settings.WriteSlot(0, "a.exe", "x")),
                    static_cast<unsigned long>(settings.WriteDefault(kDefaultIdFirst)),
                    static_cast<unsigned long>(settings.WriteDisplayProgram(0)));
        PrintBoxes();
        std::fflush(stdout);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--wide") == 0) {
        PrintWideToNarrow(paths);
        std::fflush(stdout);
        return 0;
    }

    char module[kPathSize] = "";
    GetModuleFileNameA(nullptr, module, kPathSize);
    std::printf("module\t%s\n", module);

    {
        GuardedPath path;
        bool ok = paths.PathWithExtension(path.bytes, ".ini", true);
        PrintResult("ini", ok, path);
    }
    {
        GuardedPath path;
        bool ok = paths.HelpFilePath(path.bytes);
        PrintResult("chm", ok, path);
    }
    for (int i = 1; i < argc; ++i) {
        GuardedPath path;
        bool ok = paths.BuildModulePath(path.bytes, nullptr, argv[i], true);
        PrintResult("ext", ok, path);
    }
    std::printf("guard\t%s\n", overrun ? "overrun" : "ok");
    std::fflush(stdout);
    return 0;
}
