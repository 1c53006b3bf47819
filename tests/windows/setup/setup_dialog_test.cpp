// Setup.exe driven as a user would drive it: the install and uninstall
// dialogs, what an install and an uninstall leave on the machine, the
// "-nocrl" option and the German dialogs.

#include "setup_test_support.h"

#include <aclapi.h>
#include <gtest/gtest.h>

namespace {

const char kCaption[] = "Setup Veriloom V1.1 [x64] \xC2\xA9 2026 Veriloom";
const char kInstalled[] = "The Revocation Provider Library was installed successfully.";
const char kUninstalled[] = "The Revocation Provider Library was uninstalled successfully.";
const char kTestPageQuestion[] =
    "Do you want to check Veriloom now by opening a test page with a vulnerable SSL certificate?";
const char kInternetSettings[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

std::string ScreenshotPath(const std::string &name)
{
    const std::string folder = TestEnvironment("VERILOOM_SCREENSHOT_DIR");
    if (folder.empty())
        return "";
    CreateDirectoryA(folder.c_str(), NULL);
    return folder + "\\" + name;
}

std::string ButtonText(const SetupWindow &window, int id)
{
    for (const auto &button : window.buttons)
        if (button.first == id)
            return button.second;
    return "<none>";
}

// A source folder as it ships: the library, two blacklist files, a
// directory whose name begins like one, and files that are not installed.
void FillShippingFolder(const SetupFolder &source, const std::string &libraryName)
{
    source.AddLibrary(libraryName);
    source.Write("BLACKLIST.RSA-2048", "0123456789abcdef0123\n");
    source.Write("blacklist-extra.txt", "fedcba9876543210fedc\n");
    source.MakeDirectory("BLACKLIST.d");
    source.Write("BLACKLIST.d\\inner.txt", "not installed\n");
    source.Write("BLACKLIS", "too short a name\n");
    source.Write("readme.txt", "not installed\n");
}


std::vector<BYTE> RawProviderList()
{
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!ReadValue(HKEY_LOCAL_MACHINE, TEST_PROVIDER_LIST_KEY, "Dll", &type, &data))
        data.clear();
    return data;
}

bool HasBackup()
{
    DWORD type = 0;
    std::vector<BYTE> data;
    return ReadValue(HKEY_LOCAL_MACHINE, TEST_PROVIDER_LIST_KEY, "DllOrig", &type, &data);
}

// The settings key's DACL: ACE count and, for the first ACE, its type,
// mask and whether its SID is Everyone.
void SettingsKeyDacl(DWORD *aceCount, BYTE *aceType, ACCESS_MASK *mask, bool *everyone)
{
    *aceCount = 0xFFFFFFFF;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Veriloom", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    PACL dacl = NULL;
    PSECURITY_DESCRIPTOR descriptor = NULL;
    if (GetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, NULL, NULL, &dacl, NULL, &descriptor) ==
            ERROR_SUCCESS &&
        dacl) {
        *aceCount = dacl->AceCount;
        void *ace = NULL;
        if (dacl->AceCount > 0 && GetAce(dacl, 0, &ace)) {
            ACCESS_ALLOWED_ACE *allowed = static_cast<ACCESS_ALLOWED_ACE *>(ace);
            *aceType = allowed->Header.AceType;
            *mask = allowed->Mask;
            SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
            PSID everyoneSid = NULL;
            AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyoneSid);
            *everyone = EqualSid(&allowed->SidStart, everyoneSid) != FALSE;
            FreeSid(everyoneSid);
        }
    }
    if (descriptor)
        LocalFree(descriptor);
    RegCloseKey(key);
}

std::vector<std::string> HkeyUsersNames()
{
    std::vector<std::string> names;
    HKEY users;
    if (RegOpenKeyExA(HKEY_USERS, NULL, 0, KEY_ENUMERATE_SUB_KEYS, &users) != ERROR_SUCCESS)
        return names;
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD length = sizeof name;
        if (RegEnumKeyExA(users, index, name, &length, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        names.push_back(name);
    }
    RegCloseKey(users);
    return names;
}

void SetDword(HKEY root, const std::string &key, const char *value, DWORD data)
{
    HKEY handle;
    if (RegCreateKeyExA(root, key.c_str(), 0, NULL, 0, KEY_SET_VALUE, NULL, &handle, NULL) != ERROR_SUCCESS)
        return;
    RegSetValueExA(handle, value, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&data), sizeof data);
    RegCloseKey(handle);
}

// Selects an item of the scope combo box of a running Setup.exe.
void SelectScope(HWND dialog, int item)
{
    SendMessageW(GetDlgItem(dialog, 10), CB_SETCURSEL, static_cast<WPARAM>(item), 0);
}

} // namespace

TEST(SetupDialogTest, InstallAndUninstallFromTheShippingFolder)
{
    SetupStateGuard guard;
    const InstallDirGuard installDirGuard;
    const std::string installDir = InstallDir();
    const std::vector<BYTE> listBefore = RawProviderList();
    const std::vector<std::string> entriesBefore = ReadMultiString(HKEY_LOCAL_MACHINE, TEST_PROVIDER_LIST_KEY, "Dll");
    ASSERT_FALSE(HasBackup());
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Veriloom");
    // Switches that the install must turn on.
    const std::vector<std::string> users = HkeyUsersNames();
    for (const std::string &user : users)
        if (user.find("_Classes") == std::string::npos)
            SetDword(HKEY_USERS, user + "\\" + kInternetSettings, "CertificateRevocation", 0);

    SetupFolder source;
    FillShippingFolder(source, "Veriloom-x64.dll");

    const SetupRun install = RunSetupProgram(source.setup, "", Answer(1), {}, ScreenshotPath("install-en"));
    ASSERT_TRUE(install.started);
    EXPECT_TRUE(install.finished);
    EXPECT_EQ(0u, install.exitCode);
    ASSERT_EQ(3u, install.windows.size());

    const SetupWindow &dialog = install.windows[0];
    EXPECT_EQ("Setup Norvel Veriloom V1.1 \xC2\xA9 2026 Veriloom [x64]", dialog.caption);
    const std::vector<std::string> texts = {"The application 'Norvel Veriloom' checks for weak SSL",
                                            "certificates that might threaten secure online connections.",
                                            "&Activate certificate check for:"};
    EXPECT_EQ(texts, dialog.texts);
    const std::vector<std::string> scopes = {"all users", "this user"};
    EXPECT_EQ(scopes, dialog.comboItems);
    EXPECT_EQ(0, dialog.comboSelection);
    EXPECT_EQ(2, dialog.focusId);
    EXPECT_EQ("Use Internet Explorer &Proxy settings", ButtonText(dialog, 101));
    EXPECT_EQ("&Install", ButtonText(dialog, 1));
    EXPECT_EQ("&Exit", ButtonText(dialog, 2));
    EXPECT_EQ("&More information on Norvel Security", ButtonText(dialog, 9));

    const std::vector<std::string> messages = {kInstalled, kTestPageQuestion};
    EXPECT_EQ(messages, install.MessageTexts());
    EXPECT_EQ(kCaption, install.windows[1].caption);
    EXPECT_EQ(kCaption, install.windows[2].caption);

    // Exactly the library, the two blacklist files and Setup itself (the
    // uninstaller), byte for byte.
    const std::vector<std::string> installed = {"BLACKLIST.RSA-2048", "Setup.exe", "Veriloom-x64.dll",
                                                "blacklist-extra.txt"};
    EXPECT_EQ(installed, FileNames(installDir));
    std::string copied, shipped;
    EXPECT_TRUE(ReadTextFile(installDir + "\\Veriloom-x64.dll", &copied));
    EXPECT_TRUE(ReadTextFile(LibraryPath(), &shipped));
    EXPECT_TRUE(copied == shipped);
    EXPECT_TRUE(ReadTextFile(installDir + "\\blacklist-extra.txt", &copied));
    EXPECT_EQ("fedcba9876543210fedc\n", copied);

    // The library first, the earlier providers after it; no backup.
    std::vector<std::string> expectedList = {installDir + "\\Veriloom-x64.dll"};
    expectedList.insert(expectedList.end(), entriesBefore.begin(), entriesBefore.end());
    EXPECT_EQ(expectedList, ReadMultiString(HKEY_LOCAL_MACHINE, TEST_PROVIDER_LIST_KEY, "Dll"));
    EXPECT_FALSE(HasBackup());

    // All users: every loaded hive, the current user's included.
    DWORD value = 0xdeadbeef;
    EXPECT_TRUE(ReadDword(HKEY_CURRENT_USER, kInternetSettings, "CertificateRevocation", &value));
    EXPECT_EQ(1u, value);
    for (const std::string &user : users) {
        if (user.find("_Classes") != std::string::npos)
            continue;
        value = 0xdeadbeef;
        EXPECT_TRUE(ReadDword(HKEY_USERS, user + "\\" + kInternetSettings, "CertificateRevocation", &value)) << user;
        EXPECT_EQ(1u, value) << user;
    }

    // The settings key: CheckUpdate 0, one ACE granting Everyone full access.
    value = 0xdeadbeef;
    EXPECT_TRUE(ReadDword(HKEY_LOCAL_MACHINE, "SOFTWARE\\Veriloom", "CheckUpdate", &value));
    EXPECT_EQ(0u, value);
    DWORD aceCount = 0;
    BYTE aceType = 0xcc;
    ACCESS_MASK mask = 0xcccccccc;
    bool everyone = false;
    SettingsKeyDacl(&aceCount, &aceType, &mask, &everyone);
    EXPECT_EQ(1u, aceCount);
    EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, aceType);
    EXPECT_EQ(static_cast<ACCESS_MASK>(KEY_ALL_ACCESS), mask);
    EXPECT_TRUE(everyone);

    // Started again: the uninstall dialog; Uninstall puts the list back.
    const SetupRun uninstall = RunSetupProgram(source.setup, "", Answer(1), {}, ScreenshotPath("uninstall-en"));
    ASSERT_TRUE(uninstall.started);
    EXPECT_TRUE(uninstall.finished);
    EXPECT_EQ(0u, uninstall.exitCode);
    ASSERT_EQ(2u, uninstall.windows.size());
    const SetupWindow &second = uninstall.windows[0];
    EXPECT_EQ("Uninstall Norvel Veriloom V1.1 \xC2\xA9 2026 Veriloom [x64]", second.caption);
    const std::vector<std::string> uninstallTexts = {"The application 'Norvel Veriloom' is already installed.",
                                                     "You can uninstall it now."};
    EXPECT_EQ(uninstallTexts, second.texts);
    EXPECT_TRUE(second.comboItems.empty());
    EXPECT_EQ(2, second.focusId);
    EXPECT_EQ("&Uninstall", ButtonText(second, 1));
    EXPECT_EQ("&Exit", ButtonText(second, 2));
    EXPECT_EQ("&More information on Norvel Security", ButtonText(second, 9));
    EXPECT_EQ(std::vector<std::string>{kUninstalled}, uninstall.MessageTexts());
    EXPECT_EQ(kCaption, uninstall.windows[1].caption);

    EXPECT_TRUE(RawProviderList() == listBefore);
    EXPECT_FALSE(HasBackup());
    // Files, settings key and switches stay.
    EXPECT_EQ(installed, FileNames(installDir));
    EXPECT_TRUE(ReadDword(HKEY_LOCAL_MACHINE, "SOFTWARE\\Veriloom", "CheckUpdate", &value));
    value = 0xdeadbeef;
    EXPECT_TRUE(ReadDword(HKEY_CURRENT_USER, kInternetSettings, "CertificateRevocation", &value));
    EXPECT_EQ(1u, value);
}

TEST(SetupDialogTest, EnterExitsWithoutInstalling)
{
    SetupStateGuard guard;
    const InstallDirGuard installDirGuard;
    const std::vector<BYTE> listBefore = RawProviderList();
    SetupFolder source;
    FillShippingFolder(source, "Veriloom-x64.dll");

    const SetupRun run = RunSetupProgram(source.setup, "", [](const SetupWindow &) { return kPressEnter; },
                                         {});
    ASSERT_TRUE(run.started);
    EXPECT_TRUE(run.finished);
    EXPECT_EQ(1602u, run.exitCode);  // left with Exit
    ASSERT_EQ(1u, run.windows.size());
    EXPECT_EQ(2, run.windows[0].focusId);
    EXPECT_TRUE(RawProviderList() == listBefore);
    EXPECT_TRUE(FileNames(InstallDir()).empty());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(InstallDir().c_str()));
}

TEST(SetupNoCrlTest, NoCrlTakesCryptnetOutAndUninstallPutsItBack)
{
    SetupStateGuard guard;
    const InstallDirGuard installDirGuard;
    const std::string library = InstallDir() + "\\VERILOOM-X64.DLL";
    SetupFolder source;
    FillShippingFolder(source, "VERILOOM-X64.DLL");
    const std::vector<std::string> environment;

    // cryptnet.dll alone; scope "this user".
    WriteMultiString(HKEY_LOCAL_MACHINE, TEST_PROVIDER_LIST_KEY, "Dll", {"cryptnet.dll"});
    const std::vector<BYTE> listBefore = RawProviderList();
    SetDword(HKEY_CURRENT_USER, kInternetSettings, "CertificateRevocation", 0);
    SetDword(HKEY_USERS, std::string(".Default\\") + kInternetSettings, "CertificateRevocation", 0);
    const SetupRun install = RunSetupProgram(
        source.setup, "-nocrl",
        [](const SetupWindow &window) {
            if (window.IsMessageBox())
                return Answer(1)(window);
            SelectScope(window.window, 1);
            return 1;
        },
        environment);
    EXPECT_TRUE(install.finished);
    EXPECT_EQ((std::vector<std::string>{kInstalled, kTestPageQuestion}), install.MessageTexts());
    EXPECT_EQ((std::vector<std::string>{"BLACKLIST.RSA-2048", "Setup.exe", "VERILOOM-X64.DLL", "blacklist-extra.txt"}),
              FileNames(InstallDir()));
    EXPECT_EQ(std::vector<std::string>{library}, ReadMultiString(HKEY_LOCAL_MACHINE, TEST_PROVIDER_LIST_KEY, "Dll"));
    EXPECT_EQ((std::vector<std::string>{library, "cryptnet.dll"}),
              ReadMultiString(HKEY_LOCAL_MACHINE, TEST_PROVIDER_LIST_KEY, "DllOrig"));
    DWORD value = 0xdeadbeef;
    EXPECT_TRUE(ReadDword(HKEY_CURRENT_USER, kInternetSettings, "CertificateRevocation", &value));
    EXPECT_EQ(1u, value);
    value = 0xdeadbeef;
    EXPECT_TRUE(ReadDword(HKEY_USERS, std::string(".Default\\") + kInternetSettings, "CertificateRevocation", &value));
    EXPECT_EQ(0u, value);

    const SetupRun uninstall = RunSetupProgram(source.setup, "-nocrl", Answer(1), environment);
    EXPECT_TRUE(uninstall.finished);
    EXPECT_EQ(std::vector<std::string>{kUninstalled}, uninstall.MessageTexts());
    EXPECT_EQ(std::vector<std::string>{"cryptnet.dll"},
              ReadMultiString(HKEY_LOCAL_MACHINE, TEST_PROVIDER_LIST_KEY, "Dll"));
    EXPECT_TRUE(RawProviderList() == listBefore);
    EXPECT_FALSE(HasBackup());
}

TEST(SetupNoCrlTest, NoCrlBetweenTwoProvidersInsideALongerWord)
{
    SetupStateGuard guard;
    const InstallDirGuard installDirGuard;
    const std::string library = InstallDir() + "\\Veriloom-x64.dll";
    SetupFolder source;
    FillShippingFolder(source, "Veriloom-x64.dll");
    const std::vector<std::string> environment;

    const std::vector<std::string> before = {"first.dll", "CryptNet.dll", "last.dll"};
    WriteMultiString(HKEY_LOCAL_MACHINE, TEST_PROVIDER_LIST_KEY, "Dll", before);
    const SetupRun install = RunSetupProgram(source.setup, "x-nocrly", Answer(1), environment);
    EXPECT_TRUE(install.finished);
    EXPECT_EQ((std::vector<std::string>{library, "first.dll", "last.dll"}),
              ReadMultiString(HKEY_LOCAL_MACHINE, TEST_PROVIDER_LIST_KEY, "Dll"));
    EXPECT_EQ((std::vector<std::string>{library, "first.dll", "CryptNet.dll", "last.dll"}),
              ReadMultiString(HKEY_LOCAL_MACHINE, TEST_PROVIDER_LIST_KEY, "DllOrig"));

    const SetupRun uninstall = RunSetupProgram(source.setup, "", Answer(1), environment);
    EXPECT_TRUE(uninstall.finished);
    EXPECT_EQ(before, ReadMultiString(HKEY_LOCAL_MACHINE, TEST_PROVIDER_LIST_KEY, "Dll"));
    EXPECT_FALSE(HasBackup());
}

TEST(SetupNoCrlTest, NoCrlInOtherCaseOrWithAnotherLeadDoesNotCount)
{
    SetupStateGuard guard;
    const InstallDirGuard installDirGuard;
    const std::string library = InstallDir() + "\\Veriloom-x64.dll";
    SetupFolder source;
    FillShippingFolder(source, "Veriloom-x64.dll");
    const std::vector<std::string> environment;

    const char *tails[] = {"-NOCRL", "/nocrl", "-noCrl -nocr"};
    for (const char *tail : tails) {
        WriteMultiString(HKEY_LOCAL_MACHINE, TEST_PROVIDER_LIST_KEY, "Dll", {"cryptnet.dll"});
        const SetupRun install = RunSetupProgram(source.setup, tail, Answer(1), environment);
        EXPECT_TRUE(install.finished) << tail;
        EXPECT_EQ((std::vector<std::string>{library, "cryptnet.dll"}),
                  ReadMultiString(HKEY_LOCAL_MACHINE, TEST_PROVIDER_LIST_KEY, "Dll"))
            << tail;
        EXPECT_FALSE(HasBackup()) << tail;
    }
}

