// Paths beside the executable, taken apart and put together, the system error box and the
// wide-to-narrow conversion. The module paths are seen through pathprobe.exe, copied to unusual
// places and run there.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "config/AppPaths.h"
#include "support/TestSupport.h"

using testing_support::BesideExe;
using testing_support::MessageBoxRecorder;

namespace {

const int kGuard = 32;

// An output buffer of kPathSize bytes with guard bytes after it.
struct Guarded {
    char bytes[kPathSize + kGuard];
    Guarded() { std::memset(bytes, '#', sizeof bytes); }
    bool GuardIntact() const
    {
        for (int i = kPathSize; i < kPathSize + kGuard; ++i)
            if (bytes[i] != '#')
                return false;
        return true;
    }
    bool Terminated() const { return std::memchr(bytes, '\0', kPathSize) != nullptr; }
    std::string Text() const { return Terminated() ? std::string(bytes) : std::string("<unterminated>"); }
};

std::string SystemText(DWORD code)
{
    char* text = nullptr;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                  nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string result = text && length ? std::string(text, length) : std::string();
    if (text)
        LocalFree(text);
    return result;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Splitting and composing

TEST(AppPaths, DirectoryOfAndFileNameOfSplitAtTheLastSeparator)
{
    struct Case {
        const char* path;
        const char* directory;
        const char* fileName;
    };
    const Case cases[] = {
        {"D:\\Tools\\runner.exe", "D:\\Tools\\", "runner.exe"},
        {"C:\\a\\my.tool.v2.exe", "C:\\a\\", "my.tool.v2.exe"},
        {"C:\\my.dir\\sub.d\\tool", "C:\\my.dir\\sub.d\\", "tool"},
        {"C:\\dir.x\\noext", "C:\\dir.x\\", "noext"},
        {"C:/x/y/prog.exe", "C:/x/y/", "prog.exe"},
        {"C:\\a/b\\c.exe", "C:\\a/b\\", "c.exe"},
        {"C:", "C:", ""},
        {"C:prog.exe", "C:", "prog.exe"},
        {"C:\\dir\\", "C:\\dir\\", ""},
        {"C:\\", "C:\\", ""},
        {"\\\\server\\share\\p.exe", "\\\\server\\share\\", "p.exe"},
        {"prog.exe", "", "prog.exe"},
        {"\\prog", "\\", "prog"},
        {".hidden", "", ".hidden"},
        {"C:\\dir\\name.", "C:\\dir\\", "name."},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        Guarded directory, fileName;
        AppPaths::DirectoryOf(c.path, directory.bytes);
        AppPaths::FileNameOf(c.path, fileName.bytes);
        EXPECT_EQ(c.directory, directory.Text());
        EXPECT_EQ(c.fileName, fileName.Text());
        EXPECT_TRUE(directory.GuardIntact());
        EXPECT_TRUE(fileName.GuardIntact());
    }
}

// Paths of up to 259 characters are split exactly, whichever component is long; longer ones are
// never written past the 260-byte output.
TEST(AppPaths, LongPathsSplitWithinTheBuffer)
{
    const std::string a255(255, 'a');
    struct Case {
        const char* what;
        std::string path;
        bool exact;  // a path of at most 259 characters: the split must be exact
    };
    const std::vector<Case> cases = {
        {"259, long directory", "C:\\" + a255 + "\\", true},
        {"259, long directory and a name", "C:\\" + std::string(250, 'd') + "\\f.exe", true},
        {"259, long name", "\\" + std::string(258, 'n'), true},
        {"259, long name with extension", "C:\\" + std::string(252, 'n') + ".exe", true},
        {"259, long extension", "\\a." + std::string(256, 'e'), true},
        {"259, many short directories", [] {
             std::string p = "C:";
             while (p.size() + 4 <= 254) p += "\\dd.";
             p += "\\x.exe";
             return p.substr(0, 259);
         }(), true},
        {"300, long directory", "C:\\" + std::string(296, 'd') + "\\", false},
        {"300, long name", "C:\\" + std::string(297, 'n'), false},
        {"300, long extension", "C:\\n." + std::string(295, 'e'), false},
        {"300, all separators", std::string(300, '\\'), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(!c.exact || c.path.size() <= 259u);
        Guarded directory, fileName;
        AppPaths::DirectoryOf(c.path.c_str(), directory.bytes);
        AppPaths::FileNameOf(c.path.c_str(), fileName.bytes);
        ASSERT_TRUE(directory.GuardIntact());
        ASSERT_TRUE(fileName.GuardIntact());
        ASSERT_TRUE(directory.Terminated());
        ASSERT_TRUE(fileName.Terminated());
        const std::string dir = directory.Text(), name = fileName.Text();
        EXPECT_LE(dir.size(), 259u);
        EXPECT_LE(name.size(), 259u);
        if (c.exact) {
            size_t slash = c.path.find_last_of("\\/");
            size_t split = slash == std::string::npos ? (c.path.size() > 1 && c.path[1] == ':' ? 2 : 0)
                                                      : slash + 1;
            EXPECT_EQ(c.path.substr(0, split), dir);
            EXPECT_EQ(c.path.substr(split), name);
        } else {
            // Whatever is kept is the path's own text, from its start for the directory.
            EXPECT_EQ(0u, c.path.compare(0, dir.size(), dir));
            EXPECT_NE(std::string::npos, c.path.find(name));
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Paths beside the executable, through pathprobe.exe copied elsewhere

namespace {

// Output of one pathprobe run, as label → lines (a label may repeat: "ext", "box").
struct ProbeOutput {
    bool ran = false;
    DWORD exitCode = 0xFFFFFFFF;
    std::string raw;
    std::vector<std::pair<std::string, std::vector<std::string>>> lines;

    std::vector<std::vector<std::string>> All(const std::string& label) const
    {
        std::vector<std::vector<std::string>> all;
        for (const auto& line : lines)
            if (line.first == label)
                all.push_back(line.second);
        return all;
    }
    std::vector<std::string> One(const std::string& label) const
    {
        auto all = All(label);
        return all.size() == 1 ? all[0] : std::vector<std::string>{"<" + label + " missing>"};
    }
};

std::vector<std::string> SplitTabs(const std::string& line)
{
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos)
            return fields;
        start = tab + 1;
    }
}

// Runs the program at `path` (named explicitly, so that no extension is added) with `arguments`,
// and collects what it prints.
ProbeOutput RunProbe(const std::string& path, const std::string& arguments)
{
    ProbeOutput output;
    testing_support::Captured run =
        testing_support::RunAndCapture(path, "\"" + path + "\" " + arguments);
    output.ran = run.ran;
    output.exitCode = run.exitCode;
    output.raw = run.output;
    std::string text = testing_support::Unix(output.raw);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        std::vector<std::string> fields = SplitTabs(line);
        std::string label = fields[0];
        fields.erase(fields.begin());
        output.lines.emplace_back(label, fields);
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return output;
}

// A scratch folder in the temporary directory, removed with everything in it.
class ScratchFolder {
public:
    ScratchFolder()
    {
        char temp[MAX_PATH] = "";
        GetTempPathA(MAX_PATH, temp);
        root = std::string(temp) + "vq-apppaths-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(root.c_str(), nullptr);
    }
    ~ScratchFolder() { Remove(root); }
    const std::string& Root() const { return root; }

    // Makes every folder of `relative` below the root; answers the full path.
    std::string MakeFolders(const std::string& relative) const
    {
        std::string path = root;
        size_t start = 0;
        while (start < relative.size()) {
            size_t slash = relative.find('\\', start);
            path += "\\" + relative.substr(start, slash == std::string::npos ? std::string::npos
                                                                           : slash - start);
            CreateDirectoryA(path.c_str(), nullptr);
            if (slash == std::string::npos)
                break;
            start = slash + 1;
        }
        return path;
    }

private:
    static void Remove(const std::string& folder)
    {
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                std::string name = found.cFileName;
                if (name == "." || name == "..")
                    continue;
                std::string full = folder + "\\" + name;
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    Remove(full);
                else
                    DeleteFileA(full.c_str());
            } while (FindNextFileA(search, &found));
            FindClose(search);
        }
        RemoveDirectoryA(folder.c_str());
    }

    std::string root;
};

// Folders below `root` that make root\folders\fileName exactly `length` characters long.
std::string FoldersForLength(const std::string& root, const std::string& fileName, size_t length)
{
    const size_t target = length - root.size() - fileName.size() - 2;  // two separators
    std::string relative;
    while (relative.size() < target) {
        if (!relative.empty())
            relative += "\\";
        size_t room = target - relative.size();
        relative += std::string(room > 120 ? 100 : room, 'p');
    }
    return relative;
}

const char kBoxPrefix[] = "Error: Fatal using GetModuleFileName ";

} // namespace

TEST(AppPaths, ProbeBesideTheTestsFindsItsIniAndHelpFile)
{
    const std::string probe = BesideExe("pathprobe.exe");
    ProbeOutput out = RunProbe(probe, "");
    ASSERT_TRUE(out.ran) << probe;
    EXPECT_EQ(0u, out.exitCode);
    EXPECT_EQ(probe, out.One("module").at(0));
    EXPECT_EQ((std::vector<std::string>{"1", BesideExe("pathprobe.ini")}), out.One("ini"));
    EXPECT_EQ((std::vector<std::string>{"1", BesideExe("pathprobe.chm")}), out.One("chm"));
    EXPECT_TRUE(out.All("box").empty()) << out.raw;
    EXPECT_EQ("ok", out.One("guard").at(0));
}

TEST(AppPaths, ModulePathReplacesOnlyTheLastExtension)
{
    struct Case {
        const char* folders;   // below the scratch root
        const char* fileName;  // the probe's name there
        const char* ini;       // expected names beside it
        const char* chm;
        const char* extra;     // an extra extension asked for, and what it gives
        const char* extraName;
    };
    const Case cases[] = {
        {"dots.v1.2\\sub.dir", "my.tool.exe", "my.tool.ini", "my.tool.chm", "txt", "my.tool.txt"},
        {"plain", "probe", "probe.ini", "probe.chm", ".log", "probe.log"},
        {"x.y", "probe.EXE", "probe.ini", "probe.chm", ".a.b", "probe.a.b"},
        {"short", "p.x", "p.ini", "p.chm", ".configuration", "p.configuration"},
    };
    ScratchFolder scratch;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fileName);
        const std::string folder = scratch.MakeFolders(c.folders);
        const std::string probe = folder + "\\" + c.fileName;
        ASSERT_TRUE(CopyFileA(BesideExe("pathprobe.exe").c_str(), probe.c_str(), FALSE)) << probe;
        ProbeOutput out = RunProbe(probe, c.extra);
        ASSERT_TRUE(out.ran) << probe;
        EXPECT_EQ(probe, out.One("module").at(0));
        EXPECT_EQ((std::vector<std::string>{"1", folder + "\\" + c.ini}), out.One("ini"));
        EXPECT_EQ((std::vector<std::string>{"1", folder + "\\" + c.chm}), out.One("chm"));
        EXPECT_EQ((std::vector<std::string>{"1", folder + "\\" + c.extraName}), out.One("ext"));
        EXPECT_TRUE(out.All("box").empty()) << out.raw;
        EXPECT_EQ("ok", out.One("guard").at(0));
    }
}

// At the length limit a same-length extension still fits; a longer one is refused with an empty
// path, a box when errors are reported, and never a box for the help file.
TEST(AppPaths, ModulePathAtTheLengthLimit)
{
    struct Case {
        const char* fileName;
        size_t length;      // of the probe's full path
        bool iniFits;
        bool chmFits;
        const char* extra;
        bool extraFits;
    };
    const Case cases[] = {
        {"pathprobe.exe", 259, true, true, ".long", false},
        {"pathprobe.exe", 258, true, true, ".long", true},
        {"pathprobe.exe", 259, true, true, ".ex", true},
        {"probe.x", 258, false, false, ".y", true},
        {"probe.x", 257, true, true, ".toolong", false},
    };
    ScratchFolder scratch;
    const std::string tooLong = kBoxPrefix + SystemText(ERROR_FILENAME_EXCED_RANGE);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.fileName) + " at " + std::to_string(c.length) + " with " + c.extra);
        const std::string relative = FoldersForLength(scratch.Root(), c.fileName, c.length);
        const std::string folder = scratch.MakeFolders(relative);
        const std::string probe = folder + "\\" + c.fileName;
        ASSERT_EQ(c.length, probe.size());
        ASSERT_TRUE(CopyFileA(BesideExe("pathprobe.exe").c_str(), probe.c_str(), FALSE)) << probe;
        ProbeOutput out = RunProbe(probe, c.extra);
        ASSERT_TRUE(out.ran) << probe;
        ASSERT_EQ(probe, out.One("module").at(0));

        const std::string base = probe.substr(0, probe.find_last_of('.'));
        std::vector<std::string> boxes;  // expected, in call order
        auto expect = [&](const char* label, bool fits, const std::string& extension, bool boxed) {
            std::vector<std::string> want = fits ? std::vector<std::string>{"1", base + extension}
                                                 : std::vector<std::string>{"0", ""};
            EXPECT_EQ(want, out.One(label)) << label;
            EXPECT_TRUE(!fits || (base + extension).size() <= 259u);
            if (!fits && boxed)
                boxes.push_back(tooLong);
        };
        expect("ini", c.iniFits, ".ini", true);
        expect("chm", c.chmFits, ".chm", false);
        expect("ext", c.extraFits, c.extra, true);

        std::vector<std::string> shown;
        for (const auto& box : out.All("box")) {
            ASSERT_EQ(4u, box.size());
            EXPECT_EQ("<null>", box[1]);
            EXPECT_EQ(std::to_string(MB_OK), box[2]);
            EXPECT_EQ("none", box[3]);
            std::string text = box[0];
            for (size_t at; (at = text.find("\\r")) != std::string::npos;) text.replace(at, 2, "\r");
            for (size_t at; (at = text.find("\\n")) != std::string::npos;) text.replace(at, 2, "\n");
            shown.push_back(text);
        }
        EXPECT_EQ(boxes, shown) << out.raw;
        EXPECT_EQ("ok", out.One("guard").at(0));
        DeleteFileA(probe.c_str());
    }
}

// Where the settings file's path cannot be built, each writer refuses with that reason and shows
// nothing: the Properties dialog then reports one refused save and stays open.
TEST(AppPaths, SettingsWritersRefuseAPathThatCannotBeBuilt)
{
    ScratchFolder scratch;
    const std::string folder = scratch.MakeFolders(FoldersForLength(scratch.Root(), "probe.x", 258));
    const std::string probe = folder + "\\probe.x";
    ASSERT_TRUE(CopyFileA(BesideExe("pathprobe.exe").c_str(), probe.c_str(), FALSE)) << probe;
    ProbeOutput out = RunProbe(probe, "--save");
    ASSERT_TRUE(out.ran);
    const std::string tooLong = std::to_string(ERROR_FILENAME_EXCED_RANGE);
    EXPECT_EQ((std::vector<std::string>{tooLong, tooLong, tooLong}), out.One("save")) << out.raw;
    EXPECT_TRUE(out.All("box").empty()) << out.raw;
    DeleteFileA(probe.c_str());
}

// ---------------------------------------------------------------------------------------------
// The error box and the system's message texts

TEST(AppPaths, ShowSystemErrorShowsPrefixBlankAndSystemText)
{
    struct Case {
        std::string prefix;
        DWORD code;
    };
    const std::vector<Case> cases = {
        {"Error: Fatal using GetModuleFileName", 0},
        {"Error: Fatal using GetModuleFileName", ERROR_FILE_NOT_FOUND},
        {"Error: Fatal using GetModuleFileName", ERROR_ACCESS_DENIED},
        {"", ERROR_PATH_NOT_FOUND},
        {"No text for this one:", 0x2000FFFF},
        {std::string(3000, 'p'), ERROR_FILE_NOT_FOUND},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.code) + " after a prefix of " + std::to_string(c.prefix.size()));
        const std::string system = c.code ? SystemText(c.code) : std::string();
        ASSERT_TRUE(c.code != ERROR_FILE_NOT_FOUND || !system.empty());
        MessageBoxRecorder boxes;
        AppPaths().ShowSystemError(c.prefix.c_str(), c.code);
        ASSERT_EQ(1u, boxes.Boxes().size());
        const auto& box = boxes.Boxes()[0];
        EXPECT_EQ(c.prefix + " " + system, box.text);
        EXPECT_EQ("<null>", box.caption);
        EXPECT_EQ(static_cast<UINT>(MB_OK), box.style);
        EXPECT_EQ(nullptr, box.owner);
    }
}

TEST(AppPaths, FormatSystemMessageCutsAtSizeMinusOne)
{
    const std::string notFound = SystemText(ERROR_FILE_NOT_FOUND);
    ASSERT_GT(notFound.size(), 12u);
    struct Case {
        DWORD code;
        DWORD size;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {ERROR_FILE_NOT_FOUND, 1024, notFound},
        {ERROR_FILE_NOT_FOUND, static_cast<DWORD>(notFound.size() + 1), notFound},
        {ERROR_FILE_NOT_FOUND, static_cast<DWORD>(notFound.size()), notFound.substr(0, notFound.size() - 1)},
        {ERROR_FILE_NOT_FOUND, 10, notFound.substr(0, 9)},
        {ERROR_FILE_NOT_FOUND, 2, notFound.substr(0, 1)},
        {ERROR_FILE_NOT_FOUND, 1, ""},
        {0, 1024, ""},
        {0x2000FFFF, 1024, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.code) + " into " + std::to_string(c.size));
        std::vector<char> buffer(c.size + kGuard, '#');
        AppPaths().FormatSystemMessage(buffer.data(), c.size, c.code);
        ASSERT_NE(nullptr, std::memchr(buffer.data(), '\0', c.size));
        EXPECT_EQ(c.expected, std::string(buffer.data()));
        for (size_t i = c.size; i < buffer.size(); ++i)
            ASSERT_EQ('#', buffer[i]) << "written at " << i;
    }
    // No room at all: nothing is written.
    char untouched[8] = "#######";
    AppPaths().FormatSystemMessage(untouched, 0, ERROR_FILE_NOT_FOUND);
    EXPECT_STREQ("#######", untouched);
    // A box's reason: no line break of the system's, and a code without a text is named.
    for (const auto& c : std::vector<std::pair<DWORD, std::string>>{
             {ERROR_FILE_NOT_FOUND, notFound.substr(0, notFound.find_last_not_of("\r\n ") + 1)},
             {0x2000FFFF, "Error 536936447"}}) {
        char reason[128] = "";
        AppPaths().FormatReason(reason, sizeof reason, c.first);
        EXPECT_EQ(c.second, reason);
    }
}

TEST(AppPaths, WideToNarrow)
{
    struct Case {
        const wchar_t* source;
        int count;
        DWORD status;
        const char* text;  // expected destination; null: must stay untouched
    };
    const Case cases[] = {
        {nullptr, 10, 0, nullptr},
        {L"Velqueth", 9, 0, "Velqueth"},
        {L"", 1, 0, ""},
        {L"Help Error", 11, 0, "Help Error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.count);
        char destination[64];
        std::memset(destination, '#', sizeof destination);
        EXPECT_EQ(c.status, AppPaths().WideToNarrow(c.source, destination, c.count));
        if (c.text) {
            EXPECT_STREQ(c.text, destination);
        } else {
            for (char ch : destination)
                ASSERT_EQ('#', ch);
        }
    }
}

// Under a code page where a character can take more bytes than the count allows (UTF-8, chosen
// through a manifest beside a copy of pathprobe), the conversion fails with the system's status for
// a destination too small.
TEST(AppPaths, WideToNarrowReportsATooSmallDestination)
{
    ScratchFolder scratch;
    const std::string probe = scratch.Root() + "\\wide.exe";
    ASSERT_TRUE(CopyFileA(BesideExe("pathprobe.exe").c_str(), probe.c_str(), FALSE));
    ASSERT_TRUE(testing_support::WriteFileText(
        probe + ".manifest",
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
        "<assembly manifestVersion=\"1.0\" xmlns=\"urn:schemas-microsoft-com:asm.v1\">\r\n"
        "  <assemblyIdentity type=\"win32\" name=\"Velqueth.PathProbe\" version=\"1.0.0.0\"/>\r\n"
        "  <application xmlns=\"urn:schemas-microsoft-com:asm.v3\">\r\n"
        "    <windowsSettings>\r\n"
        "      <activeCodePage xmlns=\"http://schemas.microsoft.com/SMI/2019/WindowsSettings\">"
        "UTF-8</activeCodePage>\r\n"
        "    </windowsSettings>\r\n"
        "  </application>\r\n"
        "</assembly>\r\n"));
    ProbeOutput out = RunProbe(probe, "--wide");
    ASSERT_TRUE(out.ran);
    if (out.One("acp").at(0) != "65001")
        GTEST_SKIP() << "this system does not run programs under UTF-8 as their ANSI code page";
    const std::vector<std::vector<std::string>> expected = {
        {"4", "00000000", "616263"},      // "abc": fits
        {"4", "8007007A", "C3A97423"},    // "été" needs six bytes: cut, and reported
        {"2", "8007007A", "C3A9"},        // "é" needs three
    };
    EXPECT_EQ(expected, out.All("wide")) << out.raw;
}
