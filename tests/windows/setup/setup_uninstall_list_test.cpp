// Setup.exe and the provider list it leaves: one run per start however
// often Install is pressed, and an uninstall that takes out only its own
// entry, wherever that was registered from, and keeps what others added.

#include "setup_test_support.h"

#include <gtest/gtest.h>

namespace {

const char kInstalled[] = "The Revocation Provider Library was installed successfully.";
const char kUninstalled[] = "The Revocation Provider Library was uninstalled successfully.";
const char kTestPageQuestion[] =
    "Do you want to check Veriloom now by opening a test page with a vulnerable SSL certificate?";

std::vector<std::string> ProviderList()
{
    return ReadMultiString(HKEY_LOCAL_MACHINE, TEST_PROVIDER_LIST_KEY, "Dll");
}

bool HasBackup()
{
    DWORD type = 0;
    std::vector<BYTE> data;
    return ReadValue(HKEY_LOCAL_MACHINE, TEST_PROVIDER_LIST_KEY, "DllOrig", &type, &data);
}

class SetupListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        source.AddLibrary();
        source.Write("BLACKLIST", "0123456789abcdef0123\n");
    }
    SetupStateGuard guard;
    InstallDirGuard installDirGuard;
    SetupFolder source;
};

} // namespace

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
    EXPECT_EQ((std::vector<std::string>{kInstalled, kTestPageQuestion}), run.MessageTexts());
    EXPECT_EQ((std::vector<std::string>{InstallDir() + "\\Veriloom-x64.dll", "cryptnet.dll"}), ProviderList());
}

TEST_F(SetupListTest, UninstallKeepsProvidersAddedSinceAndPutsTheCrlProviderBack)
{
    // Installed with -nocrl; since then another program put its provider
    // first, and the backup is all that tells where cryptnet.dll stood.
    const std::string library = InstallDir() + "\\Veriloom-x64.dll";
    WriteMultiString(HKEY_LOCAL_MACHINE, TEST_PROVIDER_LIST_KEY, "Dll", {"other.dll", library, "first.dll", "last.dll"});
    WriteMultiString(HKEY_LOCAL_MACHINE, TEST_PROVIDER_LIST_KEY, "DllOrig",
                     {library, "first.dll", "cryptnet.dll", "last.dll"});

    const SetupRun run = RunSetupProgram(source.setup, "", Answer(1));
    EXPECT_TRUE(run.finished);
    EXPECT_EQ(std::vector<std::string>{kUninstalled}, run.MessageTexts());
    EXPECT_EQ((std::vector<std::string>{"other.dll", "first.dll", "cryptnet.dll", "last.dll"}), ProviderList());
    EXPECT_FALSE(HasBackup());
}

TEST_F(SetupListTest, UninstallRemovesTheLibraryRegisteredFromAnotherFolder)
{
    WriteMultiString(HKEY_LOCAL_MACHINE, TEST_PROVIDER_LIST_KEY, "Dll",
                     {"D:\\Elsewhere\\VERILOOM-X64.DLL", "cryptnet.dll"});

    const SetupRun run = RunSetupProgram(source.setup, "", Answer(1));
    EXPECT_TRUE(run.finished);
    EXPECT_EQ(std::vector<std::string>{kUninstalled}, run.MessageTexts());
    EXPECT_EQ(std::vector<std::string>{"cryptnet.dll"}, ProviderList());
}
