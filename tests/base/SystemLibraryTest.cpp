// The search order for libraries named without a path, in this process (one test per process).
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "base/SystemLibrary.h"
#include "support/TestSupport.h"

// Libraries that exist only beside the program: found there at first, never once the program
// takes libraries from the system folder alone, as a system component's load by name would be.
TEST(SystemLibrary, ALibraryOnlyBesideTheProgramIsNoLongerFound)
{
    const std::string before = testing_support::BesideExe("vqbeside1.dll");
    const std::string after = testing_support::BesideExe("vqbeside2.dll");
    const std::string planted = testing_support::BesideExe("planted.dll");
    ASSERT_TRUE(CopyFileA(planted.c_str(), before.c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(planted.c_str(), after.c_str(), FALSE));
    HMODULE found = LoadLibraryA("vqbeside1.dll");
    EXPECT_NE(nullptr, found) << "the program's folder is searched at first";
    UseSystemLibrariesOnly();
    HMODULE stray = LoadLibraryA("vqbeside2.dll");
    EXPECT_EQ(nullptr, stray);
    for (HMODULE module : {found, stray})
        if (module)
            FreeLibrary(module);
    for (const std::string& path : {before, after}) {
        DeleteFileA(path.c_str());
        DeleteFileA((path + ".loaded").c_str());
    }
}
