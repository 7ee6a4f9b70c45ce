// AppPaths: files beside the executable (same base name, another extension), the system error
// box, and the wide-to-narrow conversion. Stateless; made on the stack for one call.
#ifndef VELQUETH_CONFIG_APPPATHS_H
#define VELQUETH_CONFIG_APPPATHS_H

#include <windows.h>

const int kPathSize = 260;

class AppPaths {
public:
    AppPaths() {}
    virtual ~AppPaths() {}

    // output must hold kPathSize bytes. A composed path over 259 characters is refused: false,
    // output empty and, with reportErrors, the error box for ERROR_FILENAME_EXCED_RANGE.
    bool BuildModulePath(char* output, const char* baseName, const char* extension,
                         bool reportErrors) const;
    bool PathWithExtension(char* output, const char* extension, bool reportErrors) const;
    bool HelpFilePath(char* output) const;

    void ShowSystemError(const char* prefix, DWORD code) const;
    void FormatSystemMessage(char* destination, DWORD size, DWORD code) const;
    // The system's text for a box's second line: without its line break, "Error N" where the
    // system has none.
    void FormatReason(char* destination, DWORD size, DWORD code) const;
    DWORD WideToNarrow(const wchar_t* source, char* destination, int count) const;

    // Splits a path with the runtime's rules (drive, directory, name, extension), and joins drive
    // and directory alone into output (kPathSize bytes). Used for a program's directory.
    static void DirectoryOf(const char* path, char* output);
    // Joins the file name and extension alone (kPathSize bytes).
    static void FileNameOf(const char* path, char* output);
};

#endif
