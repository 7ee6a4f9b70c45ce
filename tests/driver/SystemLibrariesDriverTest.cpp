// The real program beside copies of the system libraries it loads itself, with Wine told to prefer
// such copies for Velqueth.exe (as Windows takes a library from the program's folder first): none
// of them is loaded, and the log is still the system's rich edit. The version library is not
// planted under Wine, whose own user32 imports it; the program does not import it at all.
#include <windows.h>

#include <gtest/gtest.h>
#include <psapi.h>

#include <string>

#include "driver/Driver.h"
#include "res/Commands.h"
#include "support/TestSupport.h"

namespace {

const char kOverridesKey[] = "Software\\Wine\\AppDefaults\\Velqueth.exe\\DllOverrides";
const char* const kPlanted[] = {"RICHED32.DLL", "RICHED20.DLL", "hhctrl.ocx"};

// Wine's library overrides for Velqueth.exe alone, "native" first, for the span of one test.
class PreferNativeCopies {
public:
    PreferNativeCopies()
    {
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, kOverridesKey, 0, nullptr, 0, KEY_SET_VALUE,
                            nullptr, &key, nullptr) != ERROR_SUCCESS)
            return;
        for (const char* name : {"riched32", "riched20", "hhctrl.ocx"})
            RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>("native,builtin"),
                           sizeof "native,builtin");
        RegCloseKey(key);
    }
    ~PreferNativeCopies() { RegDeleteKeyA(HKEY_CURRENT_USER, kOverridesKey); }
};

// The paths of the libraries loaded in the process, upper case.
std::string LoadedModules(HANDLE process)
{
    HMODULE modules[512];
    DWORD bytes = 0;
    std::string list;
    if (!EnumProcessModules(process, modules, sizeof modules, &bytes))
        return "<cannot list>";
    for (DWORD i = 0; i < bytes / sizeof(HMODULE) && i < 512; ++i) {
        char path[MAX_PATH] = "";
        GetModuleFileNameExA(process, modules[i], path, MAX_PATH);
        list += std::string(CharUpperA(path)) + "\n";
    }
    return list;
}

// The libraries that the program's import table names, upper case, as the loader reads them.
std::string ImportedLibraries(const std::string& program)
{
    HMODULE image = LoadLibraryExA(program.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    if (!image)
        return "<cannot map>";
    const BYTE* base = reinterpret_cast<const BYTE*>(image);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    std::string list;
    for (auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
         directory.VirtualAddress && entry->Name; ++entry) {
        char name[MAX_PATH];
        lstrcpynA(name, reinterpret_cast<const char*>(base + entry->Name), MAX_PATH);
        list += std::string(CharUpperA(name)) + "\n";
    }
    FreeLibrary(image);
    return list;
}

} // namespace

// Copies of the planted library under the system libraries' names in the program's folder, and
// the marks they leave, for the span of one test.
class PlantedCopies {
public:
    explicit PlantedCopies(const std::string& folder) : folder(folder)
    {
        Remove();
        for (const char* name : kPlanted)
            CopyFileA(testing_support::BesideExe("planted.dll").c_str(), (folder + name).c_str(),
                      FALSE);
    }
    ~PlantedCopies() { Remove(); }
    bool Loaded(const char* name) const { return testing_support::FileExists(folder + name + ".loaded"); }

private:
    void Remove() const
    {
        for (const char* name : kPlanted) {
            DeleteFileA((folder + name).c_str());
            DeleteFileA((folder + name + ".loaded").c_str());
        }
    }
    std::string folder;
};

TEST(SystemLibraries, CopiesBesideTheProgramAreNeverLoaded)
{
    Driver app("planted");
    PlantedCopies planted(app.Folder());
    for (const char* name : kPlanted)
        ASSERT_TRUE(testing_support::FileExists(app.Folder() + name)) << name;
    PreferNativeCopies overrides;
    ASSERT_TRUE(app.Start());
    // The help control too, which the program loads only when asked.
    app.Command(ID_USER_GUIDE);
    testing_support::PumpFor(1500);

    char className[64] = "";
    GetClassNameA(app.Pane(), className, sizeof className);
    EXPECT_EQ(0, lstrcmpiA("RichEdit", className)) << className;
    EXPECT_EQ(0u, app.LogText().find("Velqueth Version   1.0.0.0\t"));
    std::string folder = app.Folder();
    CharUpperA(&folder[0]);
    const std::string modules = LoadedModules(app.Process());
    EXPECT_NE(std::string::npos, modules.find("\\SYSTEM32\\RICHED20.DLL\n")) << modules;
    for (const char* name : kPlanted) {
        std::string copy = folder + name;
        CharUpperA(&copy[0]);
        EXPECT_EQ(std::string::npos, modules.find(copy)) << modules;
        EXPECT_FALSE(planted.Loaded(name)) << name;
    }
    EXPECT_EQ(0u, app.Close());
}

TEST(SystemLibraries, TheVersionLibraryIsNotImported)
{
    const std::string imports = ImportedLibraries(testing_support::BesideExe("Velqueth.exe"));
    EXPECT_NE(std::string::npos, imports.find("USER32.DLL\n")) << imports;
    EXPECT_EQ(std::string::npos, imports.find("VERSION.DLL")) << imports;
}
