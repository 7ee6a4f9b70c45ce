#include "about/HelpLauncher.h"

#include <oleauto.h>

#include <cstdio>
#include <cstring>
#include <cwchar>

#include "base/Seams.h"
#include "base/SystemLibrary.h"
#include "config/AppPaths.h"

namespace {

const char kHelpControlKey[] = "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32";
const char kHelpControlName[] = "hhctrl.ocx";
const WORD kHtmlHelpAOrdinal = 14;
const char kWindowTypeSuffix[] = ">MainWindow";
const char kCannotOpen[] = "Failed to open the Help automatically, please open it manually";

// The loaded help control: written only by the user-interface thread, kept for the process's life.
HMODULE helpLibrary = nullptr;
seams::HtmlHelpFn helpEntry = nullptr;
bool helpLookupFailed = false;

HMODULE LoadRegisteredHelpControl()
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, kHelpControlKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return nullptr;
    char path[MAX_PATH + 1] = "";
    DWORD size = MAX_PATH;  // at most 260 bytes; the spare byte terminates a value that fills it
    DWORD type = 0;
    LONG status = RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(path),
                                   &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ) || size == 0)
        return nullptr;
    path[size < MAX_PATH ? size : MAX_PATH] = '\0';

    if (type == REG_EXPAND_SZ) {
        char expanded[MAX_PATH];
        DWORD needed = ExpandEnvironmentStringsA(path, expanded, MAX_PATH);
        if (needed == 0 || needed > MAX_PATH)
            return nullptr;
        return LoadLibraryA(expanded);
    }
    return LoadLibraryA(path);
}

// Length of the longest start of text that fits in `room` bytes without splitting a double-byte
// character of the ANSI code page.
size_t FittingLength(const char* text, size_t room)
{
    size_t at = 0;
    while (text[at] != '\0') {
        size_t step = (IsDBCSLeadByte(static_cast<BYTE>(text[at])) && text[at + 1] != '\0') ? 2 : 1;
        if (at + step > room)
            break;
        at += step;
    }
    return at;
}

} // namespace

HWND WINAPI CallHtmlHelp(HWND caller, LPCSTR file, UINT command, DWORD_PTR data)
{
    if (helpLookupFailed)
        return nullptr;
    if (!helpEntry) {
        if (!helpLibrary)
            helpLibrary = LoadRegisteredHelpControl();
        if (!helpLibrary)
            helpLibrary = LoadSystemLibrary(kHelpControlName);
        if (helpLibrary)
            helpEntry = reinterpret_cast<seams::HtmlHelpFn>(reinterpret_cast<void*>(
                GetProcAddress(helpLibrary, MAKEINTRESOURCEA(kHtmlHelpAOrdinal))));
        if (!helpEntry) {
            if (helpLibrary)
                FreeLibrary(helpLibrary);
            helpLibrary = nullptr;
            helpLookupFailed = true;
            return nullptr;
        }
    }
    return helpEntry(caller, file, command, data);
}

HelpLauncher::HelpLauncher()
{
    lstrcpynA(topic, "index.html", sizeof topic);
}

HelpLauncher::~HelpLauncher()
{
}

void HelpLauncher::Open()
{
    char helpPath[kTextChars] = "";
    AppPaths paths;
    paths.HelpFilePath(helpPath);

    try {
        if (ShowGuideGuarded(helpPath))
            return;
    } catch (...) {
    }
    seams::messageBox(nullptr, kCannotOpen, nullptr, MB_ICONINFORMATION);
}

// The help control is another component's code, and a fault inside it (an access violation, say)
// is a structured exception, which catch (...) does not see under MSVC's /EHsc. Under MSVC this
// frame catches every exception that leaves ShowGuide, structured or C++, and answers false.
// MinGW has no __try: there a C++ exception that leaves ShowGuide still reaches Open's
// catch (...), but a structured exception is not caught at all and ends the program as in any
// other place.
bool HelpLauncher::ShowGuideGuarded(const char* helpPath)
{
#ifdef _MSC_VER
    __try {
        ShowGuide(helpPath);
    } __except (EXCEPTION_EXECUTE_HANDLER) {
        return false;
    }
#else
    ShowGuide(helpPath);
#endif
    return true;
}

void HelpLauncher::ShowGuide(const char* helpPath)
{
    seams::HtmlHelpFn htmlHelp = seams::htmlHelp ? seams::htmlHelp : CallHtmlHelp;
    DWORD_PTR topicData = reinterpret_cast<DWORD_PTR>(topic);
    HWND helpWindow = htmlHelp(nullptr, helpPath, HH_DISPLAY_TOPIC, topicData);
    if (!helpWindow) {
        ShowLastError(helpPath);
        return;
    }

    char typePath[kTextChars];
    int formed = std::snprintf(typePath, sizeof typePath, "%s%s", helpPath, kWindowTypeSuffix);
    if (formed < 0 || formed >= kTextChars)
        return;  // a cut path would name another file: keep the topic as it is shown
    // The control answers with a pointer to its record; some implementations (Wine's) copy the
    // whole record into the place of the pointer instead, so that place holds either.
    union {
        HH_WINTYPE* pointer;
        HH_WINTYPE record;
    } given;
    std::memset(&given, 0, sizeof given);
    LONG_PTR got = reinterpret_cast<LONG_PTR>(
        htmlHelp(nullptr, typePath, HH_GET_WIN_TYPE, reinterpret_cast<DWORD_PTR>(&given)));
    if (got == 0 || got == -1 || !given.pointer)
        return;
    HH_WINTYPE changed = *given.pointer;
    changed.fNotExpanded = TRUE;
    changed.nShowState = SW_SHOWMAXIMIZED;
    if (!htmlHelp(nullptr, typePath, HH_SET_WIN_TYPE, reinterpret_cast<DWORD_PTR>(&changed)))
        return;
    htmlHelp(nullptr, helpPath, HH_DISPLAY_TOPIC, topicData);
}

void HelpLauncher::ShowLastError(const char* helpPath)
{
    seams::HtmlHelpFn htmlHelp = seams::htmlHelp ? seams::htmlHelp : CallHtmlHelp;
    HH_LAST_ERROR lastError;
    std::memset(&lastError, 0, sizeof lastError);
    lastError.cbStruct = sizeof lastError;
    if (!htmlHelp(nullptr, nullptr, HH_GET_LAST_ERROR, reinterpret_cast<DWORD_PTR>(&lastError)))
        return;
    if (!lastError.description)
        return;
    if (!FAILED(lastError.hr)) {
        SysFreeString(lastError.description);  // allocated for us even when nothing failed
        return;
    }

    // The description is cut to the buffer: at most 259 wide characters are converted, fewer
    // when the code page needs more than one byte for some of them. The buffer is cleared first,
    // so whatever was converted stays terminated.
    char description[kTextChars];
    size_t wideLength = std::wcslen(lastError.description);
    int count = wideLength < static_cast<size_t>(kTextChars) ? static_cast<int>(wideLength) + 1
                                                              : kTextChars - 1;
    AppPaths paths;
    for (;;) {
        std::memset(description, 0, sizeof description);
        if (count <= 0 || paths.WideToNarrow(lastError.description, description, count) == 0)
            break;
        count = count > static_cast<int>(wideLength) ? static_cast<int>(wideLength) : count / 2;
    }

    // Room for the line break and the whole path is kept when the path fits at all, so that the
    // user always learns which file was meant; the description gives way.
    char message[kTextChars];
    size_t pathLength = std::strlen(helpPath);
    size_t room = pathLength + 2 < sizeof message ? sizeof message - 2 - pathLength : 0;
    size_t kept = FittingLength(description, room);
    std::snprintf(message, sizeof message, "%.*s\n%s", static_cast<int>(kept), description,
                  helpPath);
    seams::messageBox(nullptr, message, "Help Error", MB_ICONERROR | MB_OK);
    SysFreeString(lastError.description);
}
