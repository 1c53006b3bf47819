// Setup.exe runs elevated from the folder it was unpacked into: a
// crypt32.dll planted there must never be loaded, neither at start nor
// when the library is registered or unregistered.

#include "setup_test_support.h"

#include <gtest/gtest.h>

TEST(SetupLibrarySearchTest, PlantedCrypt32BesideSetupIsNotLoaded)
{
    SetupStateGuard guard;
    InstallDirGuard installDirGuard;
    SetupFolder source;
    source.AddLibrary();
    source.Write("BLACKLIST", "0123456789abcdef0123\n");
    ASSERT_TRUE(CopyFileA(TestEnvironment("VERILOOM_PLANTED_CRYPT32").c_str(),
                          (source.folder + "\\crypt32.dll").c_str(), FALSE));
    const std::string recordFolder = TempFolder("planted");
    const std::string recordFile = recordFolder + "\\loads.txt";
    SetEnvironmentVariableA("VERILOOM_RECORD_FILE", recordFile.c_str());
    // As on Windows, where crypt32 is not one of the known DLLs, a
    // crypt32.dll in the program's folder comes first for Setup.exe.
    const std::string overrides = "Software\\Wine\\AppDefaults\\Setup.exe\\DllOverrides";
    SavedValue saved(HKEY_CURRENT_USER, overrides, "crypt32");
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, overrides.c_str(), 0, NULL, 0, KEY_SET_VALUE, NULL,
                                             &key, NULL));
    const char nativeFirst[] = "native,builtin";
    RegSetValueExA(key, "crypt32", 0, REG_SZ, reinterpret_cast<const BYTE *>(nativeFirst), sizeof nativeFirst);
    RegCloseKey(key);

    const SetupRun install = RunSetupProgram(source.setup, "", Answer(1));
    const SetupRun uninstall = RunSetupProgram(source.setup, "", Answer(1));
    EXPECT_TRUE(install.finished);
    EXPECT_TRUE(uninstall.finished);
    EXPECT_EQ(std::vector<std::string>{}, RecordedCommands(recordFile));
    const std::vector<std::string> installMessages = install.MessageTexts();
    ASSERT_FALSE(installMessages.empty());
    EXPECT_EQ("The Revocation Provider Library was installed successfully.", installMessages[0]);
    EXPECT_EQ(std::vector<std::string>{"The Revocation Provider Library was uninstalled successfully."},
              uninstall.MessageTexts());

    SetEnvironmentVariableA("VERILOOM_RECORD_FILE", NULL);
    RegDeleteKeyA(HKEY_CURRENT_USER, overrides.c_str());
    DeleteTree(recordFolder);
}
