// Opening a message's place: the whole path from the job's directory, then the user's editor, the
// file type's own editing, or Notepad for a file that would run.
#include "app/MessageJump.h"

#include <shellapi.h>

#include <cstdio>
#include <cstring>

#include "base/EditorCommand.h"
#include "base/Seams.h"
#include "config/AppPaths.h"
#include "config/Settings.h"

namespace {

const size_t kBoxTextSize = kEditorCommandSize + 512;

bool IsAbsolute(const char* file)
{
    return file[0] == '\\' || file[0] == '/' || (file[0] && file[1] == ':');
}

// The file of a message, made whole from the directory its job ran in (".." resolved).
bool WholePath(const char* directory, const char* file, char* path)
{
    char joined[kPathSize * 2];
    std::snprintf(joined, sizeof joined, "%s%s", IsAbsolute(file) ? "" : directory, file);
    DWORD length = GetFullPathNameA(joined, kPathSize, path, nullptr);
    return length > 0 && length < static_cast<DWORD>(kPathSize);
}

void ShowReason(const char* opening, const char* subject, DWORD code)
{
    char reason[512];
    AppPaths().FormatReason(reason, sizeof reason, code);
    char text[kBoxTextSize];
    std::snprintf(text, sizeof text, "%s%s\r\n%s", opening, subject, reason);
    seams::messageBox(nullptr, text, nullptr, MB_ICONERROR);
}

// An ordinary process of its own: not a job, outside the job's group, at normal priority, in the
// file's directory, inheriting no handle, and not waited for.
void StartEditor(char* commandLine, const char* path)
{
    char directory[kPathSize];
    AppPaths::DirectoryOf(path, directory);
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started;
    std::memset(&started, 0, sizeof started);
    char shown[kEditorCommandSize];
    lstrcpynA(shown, commandLine, sizeof shown);
    if (!seams::createEditor(nullptr, commandLine, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS,
                             nullptr, directory[0] ? directory : nullptr, &startup, &started)) {
        ShowReason("Could not start the editor:\r\n", shown, GetLastError());
        return;
    }
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
}

// Without an editor of the user's: the type's "edit" verb where it has one, else "open".
void OpenByType(const char* path)
{
    const char* const verbs[] = {"edit", "open"};
    DWORD code = 0;
    for (const char* verb : verbs) {
        SHELLEXECUTEINFOA request;
        std::memset(&request, 0, sizeof request);
        request.cbSize = sizeof request;
        request.fMask = SEE_MASK_FLAG_NO_UI;
        request.lpVerb = verb;
        request.lpFile = path;
        request.nShow = SW_SHOWNORMAL;
        if (seams::shellExecuteEx(&request))
            return;
        code = GetLastError();
    }
    ShowReason("Could not open the file:\r\n", path, code);
}

} // namespace

void OpenPlace(const char* directory, const MessagePlace& place)
{
    char path[kPathSize];
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    if (WholePath(directory, place.file, path))
        attributes = GetFileAttributesA(path);
    else
        lstrcpynA(path, place.file, kPathSize);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        char text[kPathSize + 64];
        std::snprintf(text, sizeof text, "Cannot find the file \"%s\"", path);
        seams::messageBox(nullptr, text, nullptr, MB_ICONINFORMATION);
        return;
    }

    Settings settings;
    settings.Load();
    char command[kEditorCommandSize];
    if (settings.editor[0]) {
        if (!FillEditorCommand(settings.editor, path, place.line, place.column, command, sizeof command)) {
            lstrcpynA(command, settings.editor, sizeof command);
            ShowReason("Could not start the editor:\r\n", command, ERROR_FILENAME_EXCED_RANGE);
            return;
        }
        StartEditor(command, path);
    } else if (WouldRunWhenOpened(path)) {
        // Any program may print a line that names a program: it is shown, never run.
        char system[kPathSize];
        UINT length = GetSystemDirectoryA(system, kPathSize);
        if (length == 0 || length >= static_cast<UINT>(kPathSize))
            system[0] = '\0';
        std::snprintf(command, sizeof command, "\"%s\\notepad.exe\" \"%s\"", system, path);
        StartEditor(command, path);
    } else {
        OpenByType(path);
    }
}
