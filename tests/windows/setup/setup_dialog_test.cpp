// Setup.exe driven as a user would drive it: the install and uninstall
// dialogs in English and German, what an install and an uninstall leave on
// the machine, and the "-nocrl" option.

#include "tests/windows/support/setup_test_support.h"

namespace {

const char kCaption[] = "Setup Veriloom V1.1 [x64] \xC2\xA9 2026 Veriloom";  // message boxes, in both languages

// What Setup shows in one language: the install and the uninstall dialog
// with the message boxes that follow Install or Uninstall.
struct MainDialog {
    std::string caption;
    std::vector<std::string> texts, scopes;  // no scopes: the uninstall dialog
    std::string runButton;
    std::vector<std::string> messages;
};
struct SetupLanguage {
    std::string tag;  // of the screenshots
    MainDialog install, uninstall;
    std::string proxyButton, exitButton, informationButton;
};

const SetupLanguage kEnglish = {
    "en",
    {"Setup Norvel Veriloom V1.1 \xC2\xA9 2026 Veriloom [x64]",
     {"The application 'Norvel Veriloom' checks for weak SSL",
      "certificates that might threaten secure online connections.", "&Activate certificate check for:"},
     {"all users", "this user"},
     "&Install",
     {"The Revocation Provider Library was installed successfully.",
      "Do you want to check Veriloom now by opening a test page with a vulnerable SSL certificate?"}},
    {"Uninstall Norvel Veriloom V1.1 \xC2\xA9 2026 Veriloom [x64]",
     {"The application 'Norvel Veriloom' is already installed.", "You can uninstall it now."},
     {},
     "&Uninstall",
     {"The Revocation Provider Library was uninstalled successfully."}},
    "Use Internet Explorer &Proxy settings", "&Exit", "&More information on Norvel Security"};

const SetupLanguage kGerman = {
    "de",
    {"Installation Kaptor-Veriloom V1.1 \xC2\xA9 2026 Veriloom [x64]",
     {"Der Kaptor-Veriloom pr\xC3\xBC" "ft auf schwache SSL-Zertifikate,",
      "die sichere Online-Verbindungen gef\xC3\xA4hrden.", "&Zertifikatpr\xC3\xBC" "fung aktivieren f\xC3\xBCr:"},
     {"alle Benutzer", "diesen Benutzer"},
     "&Installieren",
     {"Die Bibliothek f\xC3\xBCr den SSL-Test wurde erfolgreich installiert.",
      "M\xC3\xB6" "chten Sie die Funktionsf\xC3\xA4higkeit des Verilooms jetzt testen und eine Testseite mit einem "
      "angreifbaren SSL-Zertifikat \xC3\xB6" "ffnen?"}},
    {"Deinstallation Kaptor-Veriloom V1.1 \xC2\xA9 2026 Veriloom [x64]",
     {"Der 'Kaptor-Veriloom' ist bereits installiert.", "Sie k\xC3\xB6nnen ihn jetzt deinstallieren."},
     {},
     "&Deinstallieren",
     {"Die Bibliothek f\xC3\xBCr den SSL-Test wurde erfolgreich deinstalliert."}},
    "&Proxy-Einstellungen von Internet Explorer \xC3\xBC" "bernehmen", "&Beenden",
    "&Mehr Informationen auf Norvel Security"};

// One run of Setup answered with its run button: the dialog, then the
// message boxes, all under their captions.
void ExpectRun(const SetupRun &run, const MainDialog &expected, const SetupLanguage &language)
{
    ASSERT_TRUE(run.started);
    EXPECT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode);
    ASSERT_EQ(1 + expected.messages.size(), run.windows.size());
    const SetupWindow &dialog = run.windows[0];
    EXPECT_EQ(expected.caption, dialog.caption);
    EXPECT_EQ(expected.texts, dialog.texts);
    EXPECT_EQ(expected.scopes, dialog.comboItems);
    if (!expected.scopes.empty()) {
        EXPECT_EQ(0, dialog.comboSelection);
        EXPECT_EQ(language.proxyButton, dialog.Button(101));
    }
    EXPECT_EQ(2, dialog.focusId);
    EXPECT_EQ(expected.runButton, dialog.Button(1));
    EXPECT_EQ(language.exitButton, dialog.Button(2));
    EXPECT_EQ(language.informationButton, dialog.Button(9));
    EXPECT_EQ(expected.messages, run.MessageTexts());
    for (size_t i = 1; i < run.windows.size(); i++)
        EXPECT_EQ(kCaption, run.windows[i].caption);
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

// Install, then uninstall, from the shipping folder, all users.
void InstallAndUninstall(const SetupFolder &source, const SetupLanguage &language)
{
    const std::string installDir = InstallDir();
    const std::vector<BYTE> listBefore = RawProviderList();
    const std::vector<std::string> entriesBefore = ProviderList();
    ASSERT_FALSE(HasBackup());
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Veriloom");
    // Switches that the install must turn on.
    const std::vector<std::string> users = UserHives(false);
    for (const std::string &user : users)
        WriteDword(HKEY_USERS, user + "\\" + TEST_INTERNET_SETTINGS, "CertificateRevocation", 0);
    FillShippingFolder(source, "Veriloom-x64.dll");

    ExpectRun(RunSetupProgram(source.setup, "", Answer(1), ScreenshotPath("install-" + language.tag)),
              language.install, language);

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
    EXPECT_EQ(expectedList, ProviderList());
    EXPECT_FALSE(HasBackup());

    // All users: every loaded hive, the current user's included.
    EXPECT_EQ(1u, DwordOr(HKEY_CURRENT_USER, TEST_INTERNET_SETTINGS, "CertificateRevocation"));
    for (const std::string &user : users)
        EXPECT_EQ(1u, DwordOr(HKEY_USERS, user + "\\" + TEST_INTERNET_SETTINGS, "CertificateRevocation")) << user;

    // The settings key: CheckUpdate 0; Everyone reads, administrators and SYSTEM change it.
    EXPECT_EQ(0u, DwordOr(HKEY_LOCAL_MACHINE, "SOFTWARE\\Veriloom", "CheckUpdate"));
    EXPECT_EQ("3 ACE, type 0, mask 00020019, Everyone", DaclSummary(HKEY_LOCAL_MACHINE, "SOFTWARE\\Veriloom"));

    // Started again: the uninstall dialog; Uninstall puts the list back.
    ExpectRun(RunSetupProgram(source.setup, "", Answer(1), ScreenshotPath("uninstall-" + language.tag)),
              language.uninstall, language);
    EXPECT_TRUE(RawProviderList() == listBefore);
    EXPECT_FALSE(HasBackup());
    // Files, settings key and switches stay.
    EXPECT_EQ(installed, FileNames(installDir));
    EXPECT_EQ(0u, DwordOr(HKEY_LOCAL_MACHINE, "SOFTWARE\\Veriloom", "CheckUpdate"));
    EXPECT_EQ(1u, DwordOr(HKEY_CURRENT_USER, TEST_INTERNET_SETTINGS, "CertificateRevocation"));
}

class SetupDialogTest : public SetupTest {};
class SetupNoCrlTest : public SetupTest {};
// Run for a German user only (setup_german_tests): German dialogs and
// messages under the English caption.
class InGermanSetup : public SetupTest {};

TEST_F(SetupDialogTest, InstallAndUninstallFromTheShippingFolder)
{
    InstallAndUninstall(source, kEnglish);
}

TEST_F(InGermanSetup, DialogsAndMessages)
{
    ASSERT_EQ(0x0C07, GetUserDefaultLangID());
    InstallAndUninstall(source, kGerman);
}

TEST_F(SetupDialogTest, EnterExitsWithoutInstalling)
{
    const std::vector<BYTE> listBefore = RawProviderList();
    FillShippingFolder(source, "Veriloom-x64.dll");
    const SetupRun run = RunSetupProgram(source.setup, "", [](const SetupWindow &) { return kPressEnter; });
    ASSERT_TRUE(run.started);
    EXPECT_TRUE(run.finished);
    EXPECT_EQ(1602u, run.exitCode);  // left with Exit
    ASSERT_EQ(1u, run.windows.size());
    EXPECT_EQ(2, run.windows[0].focusId);
    EXPECT_TRUE(RawProviderList() == listBefore);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(InstallDir().c_str()));
}

// "-nocrl" counts inside a longer word, not in another case or with another
// lead: the provider list before the install, after it, and its backup; an
// uninstall puts a backed-up list back.
TEST_F(SetupNoCrlTest, NoCrlOnlyAsWrittenAnywhereInTheArguments)
{
    const std::string library = InstallDir() + "\\Veriloom-x64.dll";
    struct Case {
        const char *installArguments;
        std::vector<std::string> before, after, backup;
    } cases[] = {
        {"x-nocrly", {"first.dll", "CryptNet.dll", "last.dll"}, {library, "first.dll", "last.dll"},
         {library, "first.dll", "CryptNet.dll", "last.dll"}},
        {"-NOCRL", {"cryptnet.dll"}, {library, "cryptnet.dll"}, {}},
        {"/nocrl", {"cryptnet.dll"}, {library, "cryptnet.dll"}, {}},
        {"-noCrl -nocr", {"cryptnet.dll"}, {library, "cryptnet.dll"}, {}},
    };
    FillShippingFolder(source, "Veriloom-x64.dll");
    for (const Case &c : cases) {
        WriteMultiString(HKEY_LOCAL_MACHINE, TEST_PROVIDER_LIST_KEY, "Dll", c.before);
        EXPECT_TRUE(RunSetupProgram(source.setup, c.installArguments, Answer(1)).finished) << c.installArguments;
        EXPECT_EQ(c.after, ProviderList()) << c.installArguments;
        EXPECT_EQ(c.backup, ProviderList("DllOrig")) << c.installArguments;
        EXPECT_EQ(!c.backup.empty(), HasBackup()) << c.installArguments;
        if (c.backup.empty())
            continue;
        EXPECT_TRUE(RunSetupProgram(source.setup, "", Answer(1)).finished) << c.installArguments;
        EXPECT_EQ(c.before, ProviderList()) << c.installArguments;
        EXPECT_FALSE(HasBackup()) << c.installArguments;
    }
}

// The library named in capitals, cryptnet.dll alone, scope "this user".
TEST_F(SetupNoCrlTest, NoCrlTakesCryptnetOutAndUninstallPutsItBack)
{
    const std::string library = InstallDir() + "\\VERILOOM-X64.DLL";
    FillShippingFolder(source, "VERILOOM-X64.DLL");
    WriteMultiString(HKEY_LOCAL_MACHINE, TEST_PROVIDER_LIST_KEY, "Dll", {"cryptnet.dll"});
    const std::vector<BYTE> listBefore = RawProviderList();
    SwitchRevocationOff();
    const SetupRun install = RunSetupProgram(source.setup, "-nocrl", [](const SetupWindow &window) {
        if (!window.IsMessageBox())
            SendMessageW(GetDlgItem(window.window, 10), CB_SETCURSEL, 1, 0);
        return Answer(1)(window);
    });
    EXPECT_TRUE(install.finished);
    EXPECT_EQ(kEnglish.install.messages, install.MessageTexts());
    EXPECT_EQ((std::vector<std::string>{"BLACKLIST.RSA-2048", "Setup.exe", "VERILOOM-X64.DLL", "blacklist-extra.txt"}),
              FileNames(InstallDir()));
    EXPECT_EQ(std::vector<std::string>{library}, ProviderList());
    EXPECT_EQ((std::vector<std::string>{library, "cryptnet.dll"}), ProviderList("DllOrig"));
    EXPECT_EQ(1u, DwordOr(HKEY_CURRENT_USER, TEST_INTERNET_SETTINGS, "CertificateRevocation"));
    EXPECT_EQ(0u, DwordOr(HKEY_USERS, std::string(".Default\\") + TEST_INTERNET_SETTINGS, "CertificateRevocation"));

    const SetupRun uninstall = RunSetupProgram(source.setup, "-nocrl", Answer(1));
    EXPECT_TRUE(uninstall.finished);
    EXPECT_EQ(kEnglish.uninstall.messages, uninstall.MessageTexts());
    EXPECT_EQ(std::vector<std::string>{"cryptnet.dll"}, ProviderList());
    EXPECT_TRUE(RawProviderList() == listBefore);
    EXPECT_FALSE(HasBackup());
}

} // namespace
