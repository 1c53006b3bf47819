// Setup.exe and the provider list it leaves: one run per start however
// often Install is pressed, and an uninstall that takes out only its own
// entry, wherever that was registered from, and keeps what others added.

#include "tests/windows/support/setup_test_support.h"

namespace {

class SetupListTest : public SetupTest {
protected:
    void SetUp() override
    {
        source.AddLibrary();
        source.Write("BLACKLIST", "0123456789abcdef0123\n");
    }
};

TEST_F(SetupListTest, SecondInstallCommandIsIgnored)
{
    WriteMultiString(HKEY_LOCAL_MACHINE, TEST_PROVIDER_LIST_KEY, "Dll", {"cryptnet.dll"});
    // Install is pressed twice before the first run has shown anything.
    const SetupRun run = RunSetupProgram(source.setup, "", [](const SetupWindow &window) {
        if (window.IsMessageBox())
            return Answer(1)(window);
        PostMessageW(window.window, WM_COMMAND, 1, 0);
        return 1;
    });
    EXPECT_TRUE(run.finished);
    EXPECT_EQ(kInstalledMessages, run.MessageTexts());
    EXPECT_EQ((std::vector<std::string>{InstallDir() + "\\Veriloom-x64.dll", "cryptnet.dll"}), ProviderList());
}

// The provider list (and its backup) before an uninstall, and after it.
struct UninstallCase {
    const char *what;
    std::vector<std::string> list, backup, after;
};

TEST_F(SetupListTest, UninstallTakesOutOnlyItsOwnEntry)
{
    const std::string library = InstallDir() + "\\Veriloom-x64.dll";
    const UninstallCase cases[] = {
        // Installed with -nocrl; since then another program put its provider
        // first, and the backup is all that tells where cryptnet.dll stood.
        {"keeps providers added since and puts the CRL provider back",
         {"other.dll", library, "first.dll", "last.dll"},
         {library, "first.dll", "cryptnet.dll", "last.dll"},
         {"other.dll", "first.dll", "cryptnet.dll", "last.dll"}},
        {"removes the library registered from another folder",
         {"D:\\Elsewhere\\VERILOOM-X64.DLL", "cryptnet.dll"},
         {},
         {"cryptnet.dll"}},
    };
    for (const UninstallCase &c : cases) {
        SCOPED_TRACE(c.what);
        WriteMultiString(HKEY_LOCAL_MACHINE, TEST_PROVIDER_LIST_KEY, "Dll", c.list);
        if (c.backup.empty())
            DeleteValue(HKEY_LOCAL_MACHINE, TEST_PROVIDER_LIST_KEY, "DllOrig");
        else
            WriteMultiString(HKEY_LOCAL_MACHINE, TEST_PROVIDER_LIST_KEY, "DllOrig", c.backup);

        const SetupRun run = RunSetupProgram(source.setup, "", Answer(1));
        EXPECT_TRUE(run.finished);
        EXPECT_EQ(kUninstalledMessages, run.MessageTexts());
        EXPECT_EQ(c.after, ProviderList());
        EXPECT_FALSE(HasBackup());
    }
}

// Setup.exe runs elevated from the folder it was unpacked into: a
// crypt32.dll planted there must never be loaded, neither at start nor
// when the library is registered or unregistered.
TEST_F(SetupListTest, PlantedCrypt32BesideSetupIsNotLoaded)
{
    ASSERT_TRUE(CopyFileA(Environment("VERILOOM_PLANTED_CRYPT32").c_str(), (source.folder + "\\crypt32.dll").c_str(),
                          FALSE));
    const std::string recordFolder = TempFolder("planted");
    const std::string recordFile = recordFolder + "\\loads.txt";
    SetEnvironmentVariableA("VERILOOM_RECORD_FILE", recordFile.c_str());
    // As on Windows, where crypt32 is not one of the known DLLs, a
    // crypt32.dll in the program's folder comes first for Setup.exe.
    const SavedValue nativeFirst(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\Setup.exe\\DllOverrides", "crypt32",
                                 "native,builtin");
    ASSERT_TRUE(nativeFirst.written);

    const SetupRun install = RunSetupProgram(source.setup, "", Answer(1));
    const SetupRun uninstall = RunSetupProgram(source.setup, "", Answer(1));
    EXPECT_TRUE(install.finished);
    EXPECT_TRUE(uninstall.finished);
    EXPECT_EQ(std::vector<std::string>{}, RecordedCommands(recordFile));
    EXPECT_EQ(kInstalledMessages, install.MessageTexts());
    EXPECT_EQ(kUninstalledMessages, uninstall.MessageTexts());

    SetEnvironmentVariableA("VERILOOM_RECORD_FILE", NULL);
    DeleteTree(recordFolder);
}

} // namespace
