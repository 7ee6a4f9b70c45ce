// The real program beside copies of the libraries it loads itself, with Wine told to prefer such
// copies for Velqueth.exe (as Windows takes a library from the program's folder first): none is
// loaded, and the log is still the system's rich edit. (The version library is not planted: Wine's
// own user32 imports it; the program binds it at run time and does not import it.)
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "driver/Driver.h"
#include "res/Commands.h"
#include "support/TestSupport.h"

TEST(SystemLibraries, CopiesBesideTheProgramAreNeverLoaded)
{
    const char* const planted[] = {"RICHED32.DLL", "RICHED20.DLL", "hhctrl.ocx"};
    const char kOverrides[] = "Software\\Wine\\AppDefaults\\Velqueth.exe\\DllOverrides";
    Driver app("planted");
    auto removeCopies = [&] {
        for (const char* name : planted) {
            DeleteFileA((app.Folder() + name).c_str());
            DeleteFileA((app.Folder() + name + ".loaded").c_str());  // left by tests/helpers/planted.cpp
        }
        RegDeleteKeyA(HKEY_CURRENT_USER, kOverrides);
    };
    removeCopies();
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, kOverrides, 0, nullptr, 0,
                                             KEY_SET_VALUE, nullptr, &key, nullptr));
    for (const char* name : {"riched32", "riched20", "hhctrl.ocx"})
        RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>("native,builtin"), 15);
    RegCloseKey(key);
    for (const char* name : planted)
        EXPECT_TRUE(CopyFileA(testing_support::BesideExe("planted.dll").c_str(),
                              (app.Folder() + name).c_str(), FALSE));

    EXPECT_TRUE(app.Start());
    app.Command(ID_USER_GUIDE);  // the help control is loaded only when asked for
    testing_support::PumpFor(1500);
    char className[64] = "";
    GetClassNameA(app.Pane(), className, sizeof className);
    EXPECT_EQ(0, lstrcmpiA("RichEdit", className)) << className;
    EXPECT_EQ(0u, app.LogText().find("Velqueth Version   1.0.0.0\t"));
    for (const char* name : planted)
        EXPECT_FALSE(testing_support::FileExists(app.Folder() + name + ".loaded")) << name;
    EXPECT_EQ(0u, app.Close());
    removeCopies();
}

// The import table as the loader reads it: the system's libraries, not the version library.
TEST(SystemLibraries, TheVersionLibraryIsNotImported)
{
    HMODULE image = LoadLibraryExA(testing_support::BesideExe("Velqueth.exe").c_str(), nullptr,
                                   DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_NE(nullptr, image);
    const BYTE* base = reinterpret_cast<const BYTE*>(image);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    DWORD at = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    std::string imports;
    for (auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + at); at && entry->Name; ++entry)
        imports += std::string(reinterpret_cast<const char*>(base + entry->Name)) + ";";
    FreeLibrary(image);
    CharUpperA(&imports[0]);
    EXPECT_NE(std::string::npos, imports.find("USER32.DLL;")) << imports;
    EXPECT_EQ(std::string::npos, imports.find("VERSION.DLL")) << imports;
}
