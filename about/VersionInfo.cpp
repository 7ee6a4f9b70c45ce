#include "about/VersionInfo.h"

#include <cstdio>
#include <memory>
#include <new>

#include "base/SystemLibrary.h"

namespace {

const int kPathChars = 260;
const int kValueChars = 32;
const int kSubBlockChars = 256;
const WORD kCodePageUtf16 = 1200;
const WORD kCodePageLatin1 = 1252;

// Copies text up to its terminator or `limit` bytes, whichever comes first, cut to capacity - 1.
void CopyBounded(char* out, int capacity, const char* text, size_t limit)
{
    int i = 0;
    while (i < capacity - 1 && static_cast<size_t>(i) < limit && text[i] != '\0') {
        out[i] = text[i];
        ++i;
    }
    out[i] = '\0';
}

// The version library is not one that Windows always takes from its own folder: it is bound here,
// from the system folder, instead of being imported at start. Bound once, on the user-interface
// thread, and kept for the life of the process.
typedef DWORD (WINAPI *GetFileVersionInfoSizeFn)(LPCSTR file, LPDWORD handle);
typedef BOOL (WINAPI *GetFileVersionInfoFn)(LPCSTR file, DWORD handle, DWORD size, LPVOID data);
typedef BOOL (WINAPI *VerQueryValueFn)(LPCVOID block, LPCSTR subBlock, LPVOID* value, PUINT size);

struct VersionLibrary {
    GetFileVersionInfoSizeFn getSize = nullptr;
    GetFileVersionInfoFn getInfo = nullptr;
    VerQueryValueFn query = nullptr;

    VersionLibrary()
    {
        HMODULE library = LoadSystemLibrary("version.dll");
        if (!library)
            return;
        getSize = reinterpret_cast<GetFileVersionInfoSizeFn>(
            reinterpret_cast<void*>(GetProcAddress(library, "GetFileVersionInfoSizeA")));
        getInfo = reinterpret_cast<GetFileVersionInfoFn>(
            reinterpret_cast<void*>(GetProcAddress(library, "GetFileVersionInfoA")));
        query = reinterpret_cast<VerQueryValueFn>(
            reinterpret_cast<void*>(GetProcAddress(library, "VerQueryValueA")));
    }
    bool Complete() const { return getSize && getInfo && query; }
};

const VersionLibrary& Version()
{
    static const VersionLibrary library;
    return library;
}

} // namespace

VersionInfo::VersionInfo() : language(0x0809)
{
}

VersionInfo::~VersionInfo()
{
}

void VersionInfo::GetValue(const char* name, char* out, int capacity) const
{
    char path[kPathChars];
    DWORD got = GetModuleFileNameA(nullptr, path, kPathChars);
    if (got == 0 || got >= static_cast<DWORD>(kPathChars))
        path[0] = '\0';  // no path (or a cut one): the lookup ends with the failure text
    GetValueFrom(path, name, out, capacity);
}

void VersionInfo::GetVersionLine(const char* name, char* out, int capacity) const
{
    if (!out || capacity <= 0)
        return;
    char special[kValueChars];
    char version[kValueChars];
    GetValue("SpecialBuild", special, kValueChars);
    GetValue("FileVersion", version, kValueChars);
    std::snprintf(out, static_cast<size_t>(capacity), "%s Version %s %s", name ? name : "", special,
                  version);
}

void VersionInfo::GetValueFrom(const char* modulePath, const char* name, char* out,
                               int capacity) const
{
    if (!out || capacity <= 0)
        return;
    if (!name)
        name = "";
    std::snprintf(out, static_cast<size_t>(capacity), "Failure getting %s", name);
    // An empty name would address the string table itself, not a value.
    if (!modulePath || modulePath[0] == '\0' || name[0] == '\0')
        return;

    const VersionLibrary& version = Version();
    if (!version.Complete())
        return;
    DWORD handle = 0;
    DWORD size = version.getSize(modulePath, &handle);
    if (size == 0)
        return;
    std::unique_ptr<BYTE[]> block(new (std::nothrow) BYTE[size]);
    if (!block)
        return;
    if (!version.getInfo(modulePath, 0, size, block.get()))
        return;

    const WORD codePages[] = {kCodePageUtf16, kCodePageLatin1};
    for (WORD codePage : codePages) {
        char subBlock[kSubBlockChars];
        int formed = std::snprintf(subBlock, sizeof subBlock, "\\StringFileInfo\\%04X%04X\\%s",
                                   static_cast<unsigned>(language & 0xFFFF),
                                   static_cast<unsigned>(codePage), name);
        if (formed < 0 || formed >= kSubBlockChars)
            return;  // a cut path would name another value
        void* value = nullptr;
        UINT valueLength = 0;
        if (!version.query(block.get(), subBlock, &value, &valueLength) || !value)
            continue;
        // The value lies inside the block; never read past its end.
        const BYTE* text = static_cast<const BYTE*>(value);
        if (text < block.get() || text >= block.get() + size)
            continue;
        CopyBounded(out, capacity, static_cast<const char*>(value),
                    static_cast<size_t>(block.get() + size - text));
        return;
    }
}
