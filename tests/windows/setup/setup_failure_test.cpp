// Setup.exe when something is missing or in the way: no library beside it
// (install and uninstall) and a file beside it that cannot be read. (Which
// lists count as an installation: ProviderListTest, setup_unit_tests.)

#include "tests/windows/support/setup_test_support.h"

namespace {

class SetupFailureTest : public SetupTest {};

bool IsInstallDialog(const SetupRun &run)
{
    return !run.windows.empty() && run.windows[0].caption.find("Setup Norvel Veriloom") == 0;
}

bool IsUninstallDialog(const SetupRun &run)
{
    return !run.windows.empty() && run.windows[0].caption.find("Uninstall Norvel Veriloom") == 0;
}

} // namespace

TEST_F(SetupFailureTest, InstallWithoutTheLibraryCopiesBlacklistsOnly)
{
    WriteMultiString(HKEY_LOCAL_MACHINE, TEST_PROVIDER_LIST_KEY, "Dll", {"cryptnet.dll"});
    const std::vector<BYTE> listBefore = RawProviderList();
    source.Write("BLACKLIST.one", "0123456789abcdef0123\n");
    source.Write("Veriloom-x64.dll.txt", "not the library\n");

    const SetupRun run = RunSetupProgram(source.setup, "-nocrl", Answer(1));
    EXPECT_TRUE(run.finished);
    EXPECT_EQ(1603u, run.exitCode);
    ASSERT_EQ(1u, run.windows.size());  // the dialog, no message
    EXPECT_TRUE(IsInstallDialog(run));
    EXPECT_EQ(std::vector<std::string>{"BLACKLIST.one"}, FileNames(InstallDir()));
    EXPECT_TRUE(RawProviderList() == listBefore);
    EXPECT_FALSE(HasBackup());
}

TEST_F(SetupFailureTest, UninstallWithoutTheLibraryChangesNothing)
{
    const std::vector<std::string> registered = {"C:\\Program Files\\Veriloom\\Veriloom-x64.dll", "cryptnet.dll"};
    WriteMultiString(HKEY_LOCAL_MACHINE, TEST_PROVIDER_LIST_KEY, "Dll", registered);
    WriteMultiString(HKEY_LOCAL_MACHINE, TEST_PROVIDER_LIST_KEY, "DllOrig", {"cryptnet.dll"});
    source.Write("BLACKLIST", "0123456789abcdef0123\n");

    const SetupRun run = RunSetupProgram(source.setup, "", Answer(1));
    EXPECT_TRUE(run.finished);
    ASSERT_EQ(1u, run.windows.size());
    EXPECT_TRUE(IsUninstallDialog(run));
    EXPECT_EQ(registered, ProviderList());
    EXPECT_EQ(std::vector<std::string>{"cryptnet.dll"}, ProviderList("DllOrig"));
    // The uninstall copies nothing.
    EXPECT_TRUE(FileNames(InstallDir()).empty());
}

TEST_F(SetupFailureTest, CopyFailureIsReportedAndNothingIsRegistered)
{
    const std::vector<BYTE> listBefore = RawProviderList();
    source.AddLibrary();
    source.Write("BLACKLIST", "0123456789abcdef0123\n");
    // The blacklist beside Setup is held open without sharing, so it cannot
    // be read; the installed one stays as it was.
    CreateDirectoryA(InstallDir().c_str(), NULL);
    const std::string installed = InstallDir() + "\\BLACKLIST";
    WriteTextFile(installed, "older\n");
    const std::string blocked = source.folder + "\\BLACKLIST";
    HANDLE file = CreateFileA(blocked.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);

    const SetupRun run = RunSetupProgram(source.setup, "", Answer(1));
    CloseHandle(file);
    EXPECT_TRUE(run.finished);
    EXPECT_EQ(1603u, run.exitCode);
    ASSERT_EQ(2u, run.windows.size());
    const std::string expected = "Error installing file '" + blocked + "' -> '" + installed + "', error code 32!";
    EXPECT_EQ(expected, run.MessageTexts()[0]);
    EXPECT_TRUE(RawProviderList() == listBefore);
    // Nothing was moved into place, and no staged copy is left.
    EXPECT_EQ((std::vector<std::string>{"BLACKLIST"}), FileNames(InstallDir()));
    std::string content;
    EXPECT_TRUE(ReadTextFile(installed, &content));
    EXPECT_EQ("older\n", content);
}
