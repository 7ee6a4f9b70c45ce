#include "app/LogSave.h"

#include <richedit.h>

#include <cstdio>
#include <cstring>

#include "app/LogText.h"
#include "app/LogWindow.h"
#include "base/Seams.h"

namespace {

const char kDefaultName[] = "Velqueth log.txt";

class FileHolder {
public:
    explicit FileHolder(HANDLE file) : file(file) {}
    ~FileHolder()
    {
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
    }
    HANDLE Handle() const { return file; }
    FileHolder(const FileHolder&) = delete;
    FileHolder& operator=(const FileHolder&) = delete;

private:
    HANDLE file;
};

DWORD WriteBytes(HANDLE file, const char* bytes, size_t count)
{
    while (count > 0) {
        DWORD part = count < 0x100000 ? static_cast<DWORD>(count) : 0x100000;
        DWORD written = 0;
        if (!WriteFile(file, bytes, part, &written, nullptr))
            return GetLastError();
        if (written == 0)
            return ERROR_WRITE_FAULT;
        bytes += written;
        count -= written;
    }
    return 0;
}

// UTF-16 turned into UTF-8 piece by piece, never cutting a surrogate pair.
DWORD WriteUtf8(HANDLE file, const WCHAR* text, size_t length)
{
    const size_t kPiece = 16384;
    char bytes[kPiece * 3];
    while (length > 0) {
        size_t take = length < kPiece ? length : kPiece;
        if (take < length && IS_HIGH_SURROGATE(text[take - 1]))
            --take;
        int made = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(take), bytes,
                                       sizeof bytes, nullptr, nullptr);
        if (made <= 0)
            return GetLastError();
        if (DWORD error = WriteBytes(file, bytes, static_cast<size_t>(made)))
            return error;
        text += take;
        length -= take;
    }
    return 0;
}

// Rich text of a plain edit, which has no colours: its characters and line breaks alone.
DWORD WritePlainAsRichText(HANDLE file, const WCHAR* text, size_t length)
{
    static const char kHead[] = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fmodern Courier New;}}\\f0 ";
    if (DWORD error = WriteBytes(file, kHead, sizeof kHead - 1))
        return error;
    char out[4096];
    size_t used = 0;
    for (size_t i = 0; i < length; ++i) {
        WCHAR unit = text[i];
        char one[16];
        if (unit == L'\r' && i + 1 < length && text[i + 1] == L'\n') {
            std::strcpy(one, "\\par\r\n");
            ++i;
        } else if (unit == L'\\' || unit == L'{' || unit == L'}') {
            std::snprintf(one, sizeof one, "\\%c", static_cast<char>(unit));
        } else if (unit == L'\t') {
            std::strcpy(one, "\\tab ");
        } else if (unit >= 0x20 && unit < 0x80) {
            one[0] = static_cast<char>(unit);
            one[1] = '\0';
        } else {
            std::snprintf(one, sizeof one, "\\u%d?", static_cast<int>(static_cast<short>(unit)));
        }
        size_t size = std::strlen(one);
        if (used + size > sizeof out) {
            if (DWORD error = WriteBytes(file, out, used))
                return error;
            used = 0;
        }
        std::memcpy(out + used, one, size);
        used += size;
    }
    if (DWORD error = WriteBytes(file, out, used))
        return error;
    // A reader takes the last paragraph mark for the end of the document, not for a line break.
    return WriteBytes(file, "\\par}", 5);
}

DWORD CALLBACK StreamToFile(DWORD_PTR cookie, LPBYTE bytes, LONG count, LONG* written)
{
    *written = count;
    return WriteBytes(reinterpret_cast<HANDLE>(cookie), reinterpret_cast<const char*>(bytes),
                      static_cast<size_t>(count));
}

DWORD WriteLog(HANDLE file, HWND pane, bool richText)
{
    if (!IsPlainEdit(pane)) {
        // Streamed straight into the file, never copied whole.
        const WPARAM format = richText ? SF_RTF : SF_TEXT | SF_USECODEPAGE | (CP_UTF8 << 16);
        EDITSTREAM stream = {reinterpret_cast<DWORD_PTR>(file), 0, StreamToFile};
        SendMessageA(pane, EM_STREAMOUT, format, reinterpret_cast<LPARAM>(&stream));
        return stream.dwError;
    }
    LogText log;
    if (DWORD error = log.Read(pane))
        return error;
    return richText ? WritePlainAsRichText(file, log.Text(), log.Length())
                    : WriteUtf8(file, log.Text(), log.Length());
}

DWORD WriteInto(const char* temporary, HWND pane, bool richText)
{
    FileHolder file(CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.Handle() == INVALID_HANDLE_VALUE)
        return GetLastError();
    if (DWORD error = WriteLog(file.Handle(), pane, richText))
        return error;
    return FlushFileBuffers(file.Handle()) ? 0 : GetLastError();
}

// A target that another program holds open without sharing is refused, and stays as it was.
DWORD Replace(const char* temporary, const char* path)
{
    return MoveFileExA(temporary, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
               ? 0
               : GetLastError();
}

} // namespace

const char LogSave::kFilter[] = "Text (*.txt)\0*.txt\0Rich Text (*.rtf)\0*.rtf\0";

LogSave::LogSave() : lastType(kTextType)
{
    folder[0] = '\0';
}

LogSave::~LogSave()
{
}

DWORD LogSave::Write(HWND pane, const char* path, bool richText)
{
    char directory[kPathSize];
    lstrcpynA(directory, path, sizeof directory);
    char* slash = std::strrchr(directory, '\\');
    if (slash)
        slash[1] = '\0';
    else
        lstrcpynA(directory, ".", sizeof directory);
    char temporary[kPathSize];
    if (!GetTempFileNameA(directory, "vql", 0, temporary))
        return GetLastError();
    DWORD error = WriteInto(temporary, pane, richText);
    if (error == 0)
        error = Replace(temporary, path);
    if (error != 0)
        DeleteFileA(temporary);
    return error;
}

void LogSave::Run(HWND owner, const HWND* pane)
{
    char path[kPathSize];
    lstrcpynA(path, kDefaultName, sizeof path);
    OPENFILENAMEA dialog;
    std::memset(&dialog, 0, sizeof dialog);
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = kFilter;
    dialog.nFilterIndex = lastType;
    dialog.lpstrFile = path;
    dialog.nMaxFile = sizeof path;
    dialog.lpstrInitialDir = folder[0] ? folder : nullptr;
    dialog.lpstrDefExt = "txt";
    // The process's current directory is the running job's.
    dialog.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST |
                   OFN_NOCHANGEDIR;
    if (!seams::getSaveFileName(&dialog))
        return;
    lastType = dialog.nFilterIndex == kRichTextType ? kRichTextType : kTextType;
    if (dialog.nFileOffset > 0 && dialog.nFileOffset < sizeof folder)
        lstrcpynA(folder, path, dialog.nFileOffset + 1);
    if (DWORD error = Write(*pane, path, lastType == kRichTextType))
        ReportRefusedSave(owner, path, error);
}

void LogSave::ReportRefusedSave(HWND owner, const char* path, DWORD code) const
{
    AppPaths paths;
    char reason[512];
    paths.FormatReason(reason, sizeof reason, code);
    char text[kPathSize + sizeof reason + 64];
    std::snprintf(text, sizeof text, "Could not save the log to %s\n%s", path, reason);
    seams::messageBox(owner, text, nullptr, MB_OK | MB_ICONERROR);
}
