// The real Properties dialog (resource 133), opened modally over a real owner window. The dialog's
// own modal loop runs the test's script from a thread timer once the dialog is visible; the
// script edits controls and ends the dialog the way a user would (button, key, close box). Last,
// broken and locked settings files opened by the real main window.
#include <gtest/gtest.h>

#include <windows.h>
#include <commdlg.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "base/Seams.h"
#include "config/AppPaths.h"
#include "config/PropertiesDialog.h"
#include "config/Settings.h"
#include "res/resource.h"
#include "support/App.h"
#include "support/TestSupport.h"

using testing_support::App;
using testing_support::ChildCommand;
using testing_support::Failure;
using testing_support::FileExists;
using testing_support::Garbage;
using testing_support::Header;
using testing_support::IniFileGuard;
using testing_support::kPrompt;
using testing_support::MessageBoxRecorder;
using testing_support::Quoted;
using testing_support::OwnerWindow;
using testing_support::Vqchild;

namespace {

// --- Running a script inside the dialog's modal loop ----------------------------------------

std::function<void(HWND)> pendingScript;
HWND scriptOwner = nullptr;
bool scriptRan = false;
bool watchdogFired = false;

HWND FindPropertiesDialog()
{
    HWND dialog = FindWindowA("#32770", "Properties");
    if (dialog && GetWindow(dialog, GW_OWNER) == scriptOwner)
        return dialog;
    return nullptr;
}

void CALLBACK PollForDialog(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND dialog = FindPropertiesDialog();
    if (!dialog || !IsWindowVisible(dialog) || scriptRan)
        return;
    KillTimer(nullptr, timer);
    scriptRan = true;
    pendingScript(dialog);
}

// A script that forgot to end the dialog fails the test instead of hanging it.
void CALLBACK Watchdog(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    watchdogFired = true;
    if (HWND dialog = FindPropertiesDialog())
        EndDialog(dialog, 0);
}

// Opens the dialog over owner (with `open`, or else as the dialog's own Run), runs script on it,
// and returns when the dialog has closed.
void RunDialog(HWND owner, const std::function<void(HWND)>& script,
               const std::function<void()>& open = nullptr)
{
    pendingScript = script;
    scriptOwner = owner;
    scriptRan = false;
    watchdogFired = false;
    UINT_PTR poll = SetTimer(nullptr, 0, 10, PollForDialog);
    UINT_PTR watchdog = SetTimer(nullptr, 0, 15000, Watchdog);
    if (open) {
        open();
    } else {
        PropertiesDialog dialog;
        dialog.Run(owner);
    }
    KillTimer(nullptr, poll);
    KillTimer(nullptr, watchdog);
    EXPECT_TRUE(scriptRan) << "the dialog never showed";
    EXPECT_FALSE(watchdogFired) << "the dialog did not close";
    EXPECT_EQ(nullptr, FindPropertiesDialog());
    pendingScript = nullptr;
}

// --- Reading and editing the controls ---------------------------------------------------------

int PathId(int slot) { return 1000 + 3 * slot; }
int ArgsId(int slot) { return 1002 + 3 * slot; }
int BrowseId(int slot) { return 1001 + 3 * slot; }

std::string ControlText(HWND dialog, int id)
{
    return testing_support::WindowText(GetDlgItem(dialog, id));
}

void SetText(HWND dialog, int id, const std::string& text)
{
    SetDlgItemTextA(dialog, id, text.c_str());
}

// The sixteen field texts, path and arguments of slot 1 first.
std::vector<std::string> FieldTexts(HWND dialog)
{
    std::vector<std::string> texts;
    for (int k = 0; k < 8; ++k) {
        texts.push_back(ControlText(dialog, PathId(k)));
        texts.push_back(ControlText(dialog, ArgsId(k)));
    }
    return texts;
}

// Ids of the checked default radio buttons.
std::vector<int> CheckedRadios(HWND dialog)
{
    std::vector<int> checked;
    for (int id = 1024; id <= 1031; ++id)
        if (IsDlgButtonChecked(dialog, id) == BST_CHECKED)
            checked.push_back(id);
    return checked;
}

void Click(HWND dialog, int id)
{
    SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

// A settings file with every one of the sixteen values set.
const char kFullIni[] =
    "[Setup]\r\n"
    "Path1=C:\\Tools\\lint.exe\r\nArgs1=-v *.c\r\n"
    "Path2=C:\\Tools\\make.exe\r\nArgs2=all\r\n"
    "Path3=D:\\Tools\\run.exe\r\nArgs3=--fast\r\n"
    "Path4=C:\\four.bat\r\nArgs4=4\r\n"
    "Path5=C:\\five.exe\r\nArgs5=5\r\n"
    "Path6=C:\\six.exe\r\nArgs6=6\r\n"
    "Path7=C:\\seven.exe\r\nArgs7=7\r\n"
    "Path8=C:\\eight.exe\r\nArgs8=-m \"quoted arg\"\r\n"
    "Default=1025\r\n"
    "DisplayProgram=1\r\n";

std::string ReadIni(const std::string& path)
{
    // Make sure nothing is held back in the profile cache.
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());
    return testing_support::ReadFileText(path);
}

// Empty "PathN" and "ArgsN" keys for the slots first to last (numbered from 1).
std::string EmptySlotKeys(int first, int last = 8)
{
    std::string text;
    for (int n = first; n <= last; ++n)
        text += "Path" + std::to_string(n) + "=\r\nArgs" + std::to_string(n) + "=\r\n";
    return text;
}

// --- The file dialog seam ---------------------------------------------------------------------

struct FileDialogCall {
    DWORD structSize;
    HWND owner;
    std::string filter;  // up to and including the terminating empty string
    DWORD filterIndex;
    bool customFilter;
    std::string file;
    DWORD maxFile;
    std::string initialDirectory;
    std::string title;
    DWORD flags;
    bool otherMembersZero;
};

std::vector<FileDialogCall> fileDialogCalls;
const char* fileDialogAnswer = nullptr;  // null: the user cancels

BOOL WINAPI RecordFileDialog(LPOPENFILENAMEA record)
{
    FileDialogCall call = {};
    call.structSize = record->lStructSize;
    call.owner = record->hwndOwner;
    if (record->lpstrFilter) {
        const char* end = record->lpstrFilter;
        while (*end || *(end + 1))
            ++end;
        call.filter.assign(record->lpstrFilter, end + 2);
    }
    call.filterIndex = record->nFilterIndex;
    call.customFilter = record->lpstrCustomFilter != nullptr || record->nMaxCustFilter != 0;
    call.file = record->lpstrFile ? record->lpstrFile : "<null>";
    call.maxFile = record->nMaxFile;
    call.initialDirectory = record->lpstrInitialDir ? record->lpstrInitialDir : "<null>";
    call.title = record->lpstrTitle ? record->lpstrTitle : "<null>";
    call.flags = record->Flags;
    call.otherMembersZero = record->hInstance == nullptr && record->lpstrFileTitle == nullptr &&
                            record->nMaxFileTitle == 0 && record->lpstrDefExt == nullptr &&
                            record->lCustData == 0 && record->lpfnHook == nullptr &&
                            record->lpTemplateName == nullptr;
    fileDialogCalls.push_back(call);
    if (!fileDialogAnswer)
        return FALSE;
    lstrcpynA(record->lpstrFile, fileDialogAnswer, static_cast<int>(record->nMaxFile));
    return TRUE;
}

class FileDialogRecorder {
public:
    explicit FileDialogRecorder(const char* answer)
    {
        fileDialogCalls.clear();
        fileDialogAnswer = answer;
        seams::getOpenFileName = RecordFileDialog;
    }
    ~FileDialogRecorder()
    {
        seams::Restore();
        fileDialogCalls.clear();
    }
};

} // namespace

TEST(PropertiesDialog, OpensFilledFromTheSettingsFile)
{
    IniFileGuard ini(kFullIni);
    OwnerWindow owner;
    std::vector<std::string> texts;
    std::vector<int> radios;
    UINT displayBox = 99;
    HWND focus = nullptr;
    HWND firstField = nullptr;
    RunDialog(owner.Handle(), [&](HWND dialog) {
        texts = FieldTexts(dialog);
        radios = CheckedRadios(dialog);
        displayBox = IsDlgButtonChecked(dialog, IDC_DISPLAY_PROGRAM);
        focus = GetFocus();
        firstField = GetDlgItem(dialog, 1000);
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    const std::vector<std::string> expected = {
        "C:\\Tools\\lint.exe", "-v *.c", "C:\\Tools\\make.exe", "all",
        "D:\\Tools\\run.exe",  "--fast", "C:\\four.bat",        "4",
        "C:\\five.exe",        "5",      "C:\\six.exe",         "6",
        "C:\\seven.exe",       "7",      "C:\\eight.exe",       "-m \"quoted arg\"",
    };
    EXPECT_EQ(expected, texts);
    EXPECT_EQ(std::vector<int>{1025}, radios);
    EXPECT_EQ(static_cast<UINT>(BST_CHECKED), displayBox);
    EXPECT_EQ(firstField, focus);
    EXPECT_EQ(kFullIni, ReadIni(ini.Path()));
}

TEST(PropertiesDialog, DefaultAndDisplayProgramSetTheButtons)
{
    struct Case {
        const char* lines;
        std::vector<int> checkedRadios;
        UINT displayBox;
    } cases[] = {
        {"Default=1024\r\nDisplayProgram=0\r\n", {1024}, BST_UNCHECKED},
        {"Default=1028\r\n", {1028}, BST_UNCHECKED},
        {"Default=1031\r\nDisplayProgram=5\r\n", {1031}, BST_CHECKED},
        // No default radio button matches: none is checked.
        {"DisplayProgram=1\r\n", {}, BST_CHECKED},
        {"Default=0\r\n", {}, BST_UNCHECKED},
        {"Default=1023\r\n", {}, BST_UNCHECKED},
        {"Default=1032\r\n", {}, BST_UNCHECKED},
        {"Default=-1024\r\n", {}, BST_UNCHECKED},
    };
    OwnerWindow owner;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines);
        IniFileGuard ini(std::string("[Setup]\r\nPath1=C:\\a.exe\r\n") + c.lines);
        std::vector<int> radios = {-1};
        UINT displayBox = 99;
        std::string path1;
        RunDialog(owner.Handle(), [&](HWND dialog) {
            radios = CheckedRadios(dialog);
            displayBox = IsDlgButtonChecked(dialog, IDC_DISPLAY_PROGRAM);
            path1 = ControlText(dialog, 1000);
            PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        });
        EXPECT_EQ(c.checkedRadios, radios);
        EXPECT_EQ(c.displayBox, displayBox);
        EXPECT_EQ("C:\\a.exe", path1);
    }
}

TEST(PropertiesDialog, WithoutFileOpensEmptyAndOkWritesEveryKeyButDefault)
{
    IniFileGuard ini;
    OwnerWindow owner;
    std::vector<std::string> texts;
    std::vector<int> radios = {-1};
    UINT displayBox = 99;
    RunDialog(owner.Handle(), [&](HWND dialog) {
        texts = FieldTexts(dialog);
        radios = CheckedRadios(dialog);
        displayBox = IsDlgButtonChecked(dialog, IDC_DISPLAY_PROGRAM);
        Click(dialog, IDOK);
    });
    EXPECT_EQ(std::vector<std::string>(16, ""), texts);
    EXPECT_TRUE(radios.empty());
    EXPECT_EQ(static_cast<UINT>(BST_UNCHECKED), displayBox);
    EXPECT_EQ("[Setup]\r\n" + EmptySlotKeys(1) + "DisplayProgram=0\r\n", ReadIni(ini.Path()));
}

TEST(PropertiesDialog, OkWritesEveryKeyInOrder)
{
    struct Case {
        const char* name;
        std::string before;  // empty: no file
        std::function<void(HWND)> edit;
        std::string after;
    } cases[] = {
        {"edits without a file",
         "",
         [](HWND dialog) {
             SetText(dialog, PathId(0), "C:\\Tools\\lint.exe");
             SetText(dialog, ArgsId(0), "-v \"a b\"");
             SetText(dialog, ArgsId(2), "a  b");
             SetText(dialog, PathId(7), "D:\\eight.bat");
             Click(dialog, 1029);
             Click(dialog, IDC_DISPLAY_PROGRAM);
         },
         "[Setup]\r\n"
         "Path1=C:\\Tools\\lint.exe\r\nArgs1=-v \"a b\"\r\n"
         "Path2=\r\nArgs2=\r\n"
         "Path3=\r\nArgs3=a  b\r\n" +
             EmptySlotKeys(4, 7) +
             "Path8=D:\\eight.bat\r\nArgs8=\r\n"
             "Default=1029\r\n"
             "DisplayProgram=1\r\n"},
        {"edits over an existing file",
         "[Setup]\r\nPath1=C:\\old\\one.exe\r\nArgs1=-a\r\nDefault=1027\r\nDisplayProgram=1\r\n"
         "CodePage1=oem\r\nColours1=raw\r\nShowExitCode=1\r\n",
         [](HWND dialog) {
             SetText(dialog, PathId(0), "C:\\new\\one.exe");
             SetText(dialog, ArgsId(1), "--two");
             Click(dialog, 1024);
             Click(dialog, IDC_DISPLAY_PROGRAM);
         },
         "[Setup]\r\nPath1=C:\\new\\one.exe\r\nArgs1=-a\r\nDefault=1024\r\nDisplayProgram=0\r\n"
         "CodePage1=oem\r\nColours1=raw\r\nShowExitCode=1\r\nPath2=\r\nArgs2=--two\r\n" +
             EmptySlotKeys(3)},
        {"no radio button checked keeps Default",
         "[Setup]\r\nDefault=1040\r\nOther=kept\r\n",
         [](HWND dialog) { SetText(dialog, PathId(4), "C:\\five.exe"); },
         "[Setup]\r\nDefault=1040\r\nOther=kept\r\n" + EmptySlotKeys(1, 4) +
             "Path5=C:\\five.exe\r\nArgs5=\r\n" + EmptySlotKeys(6) + "DisplayProgram=0\r\n"},
    };
    OwnerWindow owner;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        IniFileGuard ini;
        if (!c.before.empty())
            testing_support::WriteFileText(ini.Path(), c.before);
        RunDialog(owner.Handle(), [&](HWND dialog) {
            c.edit(dialog);
            Click(dialog, IDOK);
        });
        EXPECT_EQ(c.after, ReadIni(ini.Path()));
    }
}

TEST(PropertiesDialog, CancelEscapeAndCloseBoxWriteNothing)
{
    struct Case {
        const char* name;
        std::function<void(HWND)> close;
    } cases[] = {
        {"Cancel button", [](HWND dialog) { Click(dialog, IDCANCEL); }},
        {"Cancel command", [](HWND dialog) { PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0); }},
        {"Escape key",
         [](HWND dialog) { PostMessageA(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0x00010001); }},
        {"close box",
         [](HWND dialog) { PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }},
        {"Alt+F4",
         [](HWND dialog) { PostMessageA(GetFocus(), WM_SYSKEYDOWN, VK_F4, 0x203E0001); }},
    };
    OwnerWindow owner;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (bool withFile : {true, false}) {
            IniFileGuard ini;
            if (withFile)
                testing_support::WriteFileText(ini.Path(), kFullIni);
            RunDialog(owner.Handle(), [&](HWND dialog) {
                SetText(dialog, PathId(0), "C:\\changed.exe");
                SetText(dialog, ArgsId(5), "changed");
                Click(dialog, 1030);
                Click(dialog, IDC_DISPLAY_PROGRAM);
                SetFocus(GetDlgItem(dialog, PathId(0)));
                c.close(dialog);
            });
            if (withFile)
                EXPECT_EQ(kFullIni, ReadIni(ini.Path()));
            else
                EXPECT_FALSE(FileExists(ini.Path()));
        }
    }
}

TEST(PropertiesDialog, EnterInAFieldConfirmsLikeOk)
{
    for (int id : {1000, 1014, 1023}) {
        SCOPED_TRACE(id);
        IniFileGuard ini(kFullIni);
        OwnerWindow owner;
        RunDialog(owner.Handle(), [&](HWND dialog) {
            HWND field = GetDlgItem(dialog, id);
            SetFocus(field);
            SetWindowTextA(field, "typed");
            PostMessageA(field, WM_KEYDOWN, VK_RETURN, 0x001C0001);
        });
        const char* key = id == 1000 ? "Path1" : id == 1014 ? "Args5" : "Args8";
        char value[64] = "";
        ReadIni(ini.Path());
        GetPrivateProfileStringA("Setup", key, "<missing>", value, sizeof value, ini.Path().c_str());
        EXPECT_STREQ("typed", value);
    }
}

TEST(PropertiesDialog, LongFieldIsSavedAsItsFirst259Characters)
{
    std::string longText;
    for (int i = 0; i < 300; ++i)
        longText += static_cast<char>('0' + i % 10);
    IniFileGuard ini;
    OwnerWindow owner;
    size_t shownLength = 0;
    RunDialog(owner.Handle(), [&](HWND dialog) {
        SetText(dialog, PathId(2), longText);
        SetText(dialog, ArgsId(6), longText);
        shownLength = ControlText(dialog, PathId(2)).size();
        Click(dialog, IDOK);
    });
    EXPECT_EQ(300u, shownLength);
    const std::string text = ReadIni(ini.Path());
    const std::string saved = longText.substr(0, 259);
    EXPECT_NE(std::string::npos, text.find("\r\nPath3=" + saved + "\r\nArgs3=\r\n"));
    EXPECT_NE(std::string::npos, text.find("\r\nArgs7=" + saved + "\r\nPath8="));
}

TEST(PropertiesDialog, BrowseButtonFillsOnlyItsPathField)
{
    struct Case {
        int slot;
        const char* fieldText;
        const char* answer;  // null: the file dialog is cancelled
        const char* initialDirectory;
        const char* fieldAfter;
    } cases[] = {
        {2, "D:\\Tools\\run.exe", "C:\\Chosen\\tool.exe", "D:\\Tools\\", "C:\\Chosen\\tool.exe"},
        {2, "D:\\Tools\\run.exe", nullptr, "D:\\Tools\\", "D:\\Tools\\run.exe"},
        {0, "run.exe", "E:\\x.bat", "", "E:\\x.bat"},
        {7, "C:/fwd/dir/p.exe", "C:\\p2.exe", "C:/fwd/dir/", "C:\\p2.exe"},
        {4, "", "C:\\new.exe", "", "C:\\new.exe"},
        {5, "D:tool.exe", "C:\\t.exe", "D:", "C:\\t.exe"},
    };
    const std::string filter("Exe\0*.exe\0Batch\0*.bat\0All\0*.*\0\0", 31);
    OwnerWindow owner;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.fieldText) + " in slot " + std::to_string(c.slot + 1));
        IniFileGuard ini(kFullIni);
        FileDialogRecorder recorder(c.answer);
        std::vector<std::string> before, after;
        HWND dialogWindow = nullptr;
        RunDialog(owner.Handle(), [&](HWND dialog) {
            dialogWindow = dialog;
            SetText(dialog, PathId(c.slot), c.fieldText);
            before = FieldTexts(dialog);
            Click(dialog, BrowseId(c.slot));
            after = FieldTexts(dialog);
            PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        });
        ASSERT_EQ(1u, fileDialogCalls.size());
        const FileDialogCall& call = fileDialogCalls[0];
        EXPECT_EQ(static_cast<DWORD>(OPENFILENAME_SIZE_VERSION_400A), call.structSize);
        EXPECT_EQ(dialogWindow, call.owner);
        EXPECT_EQ(filter, call.filter);
        EXPECT_EQ(0u, call.filterIndex);
        EXPECT_FALSE(call.customFilter);
        EXPECT_EQ("", call.file);
        EXPECT_EQ(260u, call.maxFile);
        EXPECT_EQ(c.initialDirectory, call.initialDirectory);
        EXPECT_EQ("Open", call.title);
        EXPECT_EQ(static_cast<DWORD>(0x1800), call.flags);
        EXPECT_TRUE(call.otherMembersZero);

        std::vector<std::string> expected = before;
        expected[2 * c.slot] = c.fieldAfter;
        EXPECT_EQ(expected, after);
        EXPECT_EQ(kFullIni, ReadIni(ini.Path()));
    }
}

TEST(PropertiesDialog, OpensAtTheOwnersClientOriginAndGivesTheFocusBack)
{
    IniFileGuard ini;
    OwnerWindow owner;
    ASSERT_EQ(owner.Edit(), GetFocus());
    POINT ownerOrigin = {0, 0};
    ClientToScreen(owner.Handle(), &ownerOrigin);
    POINT dialogOrigin = {-1, -1};
    HWND dialogOwner = nullptr;
    RunDialog(owner.Handle(), [&](HWND dialog) {
        // Position 0, 0 places the dialog's client area at the owner's client origin.
        dialogOrigin = POINT{0, 0};
        ClientToScreen(dialog, &dialogOrigin);
        dialogOwner = GetWindow(dialog, GW_OWNER);
        SetFocus(GetDlgItem(dialog, ArgsId(3)));
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_EQ(owner.Handle(), dialogOwner);
    EXPECT_EQ(ownerOrigin.x, dialogOrigin.x);
    EXPECT_EQ(ownerOrigin.y, dialogOrigin.y);
    EXPECT_EQ(owner.Edit(), GetFocus());
}

// Not run by default: holds the dialog open for a few seconds so that a screenshot can be taken.
TEST(PropertiesDialog, DISABLED_HoldsOpenForAScreenshot)
{
    IniFileGuard ini(kFullIni);
    OwnerWindow owner;
    const char* seconds = std::getenv("VELQUETH_HOLD_SECONDS");
    const DWORD holdMs = 1000 * static_cast<DWORD>(seconds ? std::atoi(seconds) : 5);
    RunDialog(owner.Handle(), [&](HWND dialog) {
        testing_support::PumpFor(holdMs);
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    });
}

// --- Broken and locked settings files, through the main window's Properties command ------------

namespace {

class SettingsFileFaults : public testing_support::ChildTest {};

void RunProperties(const App& app, const std::function<void(HWND)>& script)
{
    RunDialog(app.Main(), script, [&app] { app.Command(ID_PROPERTIES); });
}

bool Terminated(const char* text)
{
    return std::memchr(text, '\0', kValueSize) != nullptr;
}

} // namespace

TEST_F(SettingsFileFaults, BrokenSettingsFilesLoadRunAndOpenInTheDialog)
{
    const std::string vq = Vqchild();
    const std::string emptySlot = "\"\" ";
    struct Case {
        const char* name;
        std::string contents;
        std::string command;  // the default job's command line
        std::string output;   // what it prints; empty: the start fails
    };
    const Case cases[] = {
        {"binary garbage", Garbage(4096, 1), emptySlot, ""},
        {"a UTF-16 mark before garbage", std::string("\xFF\xFE", 2) + Garbage(4096, 3), emptySlot,
         ""},
        // Lines of garbage do not hide a section that follows them.
        {"garbage, then the section", Garbage(4096, 2) + "\r\n[Setup]\r\nPath2=" + vq +
                                          "\r\nArgs2=out ok\r\n",
         Quoted(vq) + " out ok", "ok"},
        {"a 1 MB path line", "[Setup]\r\nPath1=" + std::string(1 << 20, 'a') + "\r\nPath2=" + vq +
                                 "\r\nArgs2=out after\r\n",
         Quoted(vq) + " out after", "after"},
        // A 1 MB argument string arrives cut to 259 characters.
        {"a 1 MB argument line",
         "[Setup]\r\nPath2=" + vq + "\r\nArgs2=out " + std::string(1 << 20, 'b') + "\r\n",
         Quoted(vq) + " out " + std::string(255, 'b'), std::string(255, 'b')},
        {"no Setup section", "[Other]\r\nPath2=" + vq + "\r\nArgs2=out other\r\n", emptySlot, ""},
        // The first of two equal keys counts, and so does the first of two equal sections.
        {"duplicate keys",
         "[Setup]\r\nPath2=" + vq + "\r\nArgs2=out first\r\nArgs2=out second\r\nPath2=x.exe\r\n",
         Quoted(vq) + " out first", "first"},
        {"duplicate sections",
         "[Setup]\r\nPath2=" + vq + "\r\nArgs2=out first\r\n[Setup]\r\nArgs2=out second\r\n",
         Quoted(vq) + " out first", "first"},
        {"Default of 99999999999",
         "[Setup]\r\nPath1=" + vq + "\r\nArgs1=out one\r\nPath2=" + vq +
             "\r\nArgs2=out two\r\nDefault=99999999999\r\n",
         Quoted(vq) + " out two", "two"},
        {"Default of -99999999999",
         "[Setup]\r\nPath1=" + vq + "\r\nArgs1=out one\r\nPath2=" + vq +
             "\r\nArgs2=out two\r\nDefault=-99999999999\r\n",
         Quoted(vq) + " out two", "two"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        IniFileGuard ini(c.contents);
        App app;
        ASSERT_TRUE(app.created);
        const Settings& loaded = app.frame->settings;
        for (int k = 0; k < kSlotCount; ++k) {
            EXPECT_TRUE(Terminated(loaded.paths[k]) && Terminated(loaded.args[k])) << k;
        }

        app.Command(ID_RUN_DEFAULT);
        ASSERT_TRUE(app.WaitForJob());
        std::string ending = c.output.empty() ? Failure(c.command) : c.output + kPrompt;
        EXPECT_EQ(Header(c.command) + ending, app.JobLog());

        // The dialog shows whatever was read and, cancelled, leaves the file as it was.
        RunProperties(app, [](HWND dialog) { Click(dialog, IDCANCEL); });
        EXPECT_TRUE(c.contents == ini.Text());
        EXPECT_TRUE(IsWindow(app.frame->mainWindow));
        ExpectNoChildLeft();
    }
}

TEST_F(SettingsFileFaults, RefusedSaveIsReportedAndTheDialogKeepsWhatWasTyped)
{
    const std::string contents = "[Setup]\r\nPath2=" + Vqchild() + "\r\nArgs2=out kept\r\n";
    IniFileGuard ini(contents);
    ASSERT_TRUE(SetFileAttributesA(ini.Path().c_str(), FILE_ATTRIBUTE_READONLY));
    // Wine run by root writes a read-only file all the same, so the file is also held open
    // without write sharing, as an editor that locks it would: every write is then refused, here
    // as on Windows, while reading still works.
    HANDLE lock = CreateFileA(ini.Path().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, lock);
    MessageBoxRecorder boxes;
    std::string slotTwoArguments, typedAfterOk;
    HWND dialogWindow = nullptr;
    bool openAfterOk = false;
    {
        App app;
        ASSERT_TRUE(app.created);
        RunProperties(app, [&](HWND dialog) {
            dialogWindow = dialog;
            slotTwoArguments = ControlText(dialog, ArgsId(1));
            SetText(dialog, ArgsId(1), "out changed");
            Click(dialog, IDC_DISPLAY_PROGRAM);
            Click(dialog, IDOK);
            openAfterOk = IsWindowVisible(dialog) != FALSE;
            typedAfterOk = ControlText(dialog, ArgsId(1));
            Click(dialog, IDCANCEL);
        });
        EXPECT_EQ("out kept", slotTwoArguments);
        EXPECT_TRUE(openAfterOk);
        EXPECT_EQ("out changed", typedAfterOk);
        char because[512] = "";
        AppPaths().FormatSystemMessage(because, sizeof because, ERROR_SHARING_VIOLATION);
        *std::find_if(because, because + sizeof because, [](char c) { return c == '\r' || !c; }) = 0;
        ASSERT_EQ(1u, boxes.Boxes().size());
        EXPECT_EQ(dialogWindow, boxes.Boxes()[0].owner);
        EXPECT_EQ("Could not save the settings to " + ini.Path() + "\n" + std::string(because),
                  boxes.Boxes()[0].text);
        EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONERROR), boxes.Boxes()[0].style);
        EXPECT_EQ(contents, ini.Text());

        // The Run menu and the slot follow the file, which holds what it held.
        app.Command(ID_RUN_SLOT_1 + 1);
        ASSERT_TRUE(app.WaitForJob());
        EXPECT_EQ(Header(ChildCommand("out kept")) + "kept" + kPrompt, app.JobLog());
    }
    CloseHandle(lock);
    ASSERT_TRUE(SetFileAttributesA(ini.Path().c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(contents, ini.Text());
    ExpectNoChildLeft();
}

namespace {

int profileWrites = 0;

// The settings file refuses its first write only.
BOOL WINAPI RefuseTheFirstWrite(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file)
{
    if (profileWrites++ == 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return WritePrivateProfileStringA(section, key, value, file);
}

} // namespace

TEST_F(SettingsFileFaults, AFirstRefusedWriteIsReportedThoughTheLaterOnesSucceed)
{
    IniFileGuard ini;
    MessageBoxRecorder boxes;
    profileWrites = 0;
    seams::writeProfileString = RefuseTheFirstWrite;
    bool openAfterOk = false;
    {
        App app;
        ASSERT_TRUE(app.created);
        RunProperties(app, [&](HWND dialog) {
            Click(dialog, IDOK);
            openAfterOk = IsWindowVisible(dialog) != FALSE;
            Click(dialog, IDCANCEL);
        });
    }
    seams::writeProfileString = WritePrivateProfileStringA;
    EXPECT_TRUE(openAfterOk);
    char because[512] = "";
    AppPaths().FormatSystemMessage(because, sizeof because, ERROR_ACCESS_DENIED);
    *std::find_if(because, because + sizeof because, [](char c) { return c == '\r' || !c; }) = 0;
    ASSERT_EQ(1u, boxes.Boxes().size());
    EXPECT_EQ("Could not save the settings to " + ini.Path() + "\n" + std::string(because),
              boxes.Boxes()[0].text);
}
