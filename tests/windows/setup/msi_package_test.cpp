// The Windows Installer package under msiexec, quiet and with a verbose
// log, beside another revocation provider: it installs what a quiet Setup
// installs with the package's own Programs and Features entry, upgrades
// an older package of the same product line, uninstalls keeping the other
// providers and cryptnet.dll, and rolls everything back when Setup's
// registration fails.

#include "tests/windows/support/setup_test_support.h"

#include <msi.h>

namespace {

const char kUpgradeCode[] = "{20FB3FB3-A92C-41C7-B279-F3080D4D887F}";
const char kOtherProvider[] = "C:\\Program Files\\Other\\other-provider.dll";
const wchar_t kOtherProviderWide[] = L"C:\\Program Files\\Other\\other-provider.dll";

std::string NewPackage() { return Environment("VERILOOM_MSI"); }          // 1.1.0
std::string OldPackage() { return Environment("VERILOOM_MSI_OLD"); }      // 1.0.9
std::string PackageFolder() { return Environment("VERILOOM_MSI_FOLDER"); }  // what both hold

// The installed packages of the product line, any version.
std::vector<std::string> InstalledProducts()
{
    std::vector<std::string> codes;
    char code[39];
    for (DWORD i = 0; MsiEnumRelatedProductsA(kUpgradeCode, 0, i, code) == ERROR_SUCCESS; ++i)
        codes.push_back(code);
    return codes;
}

std::string ProductVersion(const std::string &code)
{
    char version[64] = "";
    DWORD length = sizeof version;
    if (MsiGetProductInfoA(code.c_str(), INSTALLPROPERTY_VERSIONSTRING, version, &length) != ERROR_SUCCESS)
        return "<none>";
    return version;
}

struct MsiRun {
    DWORD exitCode;
    std::vector<std::string> log;
};

// msiexec with the arguments, quiet (no window may show) and logging
// verbosely; the log's lines come back.
MsiRun RunMsiexec(const std::string &arguments)
{
    const std::string folder = TempFolder("msiexec");
    const std::string logPath = folder + "\\msiexec.log";
    MsiRun run = {STILL_ACTIVE, {}};
    DriveProgram("msiexec.exe " + arguments + " /qn /l*v \"" + logPath + "\"", NULL, 300000, 100,
                 [](HWND window) {
                     ADD_FAILURE() << "a quiet msiexec showed a window: " << ReadDialog(window).caption;
                     PressButton(window, IDCANCEL);
                 },
                 &run.exitCode);
    std::string text;
    ReadTextFile(logPath, &text);
    run.log = Lines(text);
    DeleteTree(folder);
    return run;
}

// What an installation leaves on the machine besides Programs and Features.
std::vector<std::string> CurrentInstallation()
{
    const std::string settings = TEST_INTERNET_SETTINGS;
    std::vector<std::string> state = FileNames(InstallDir());
    for (const std::string &provider : ProviderList())
        state.push_back("provider " + provider);
    state.push_back("switch " + std::to_string(DwordOr(HKEY_CURRENT_USER, settings, "CertificateRevocation")) + " " +
                    std::to_string(DwordOr(HKEY_USERS, ".Default\\" + settings, "CertificateRevocation")));
    state.push_back("CheckUpdate " + std::to_string(DwordOr(HKEY_LOCAL_MACHINE, "SOFTWARE\\Veriloom", "CheckUpdate")));
    state.push_back("events " + ReadString(HKEY_LOCAL_MACHINE, TEST_EVENT_SOURCE_KEY, "EventMessageFile"));
    return state;
}

// The log the package's Setup runs append to.
std::string SetupLogPath()
{
    char windows[MAX_PATH] = "";
    GetWindowsDirectoryA(windows, sizeof windows);
    return std::string(windows) + "\\Logs\\Veriloom-setup.log";
}

// How often that log holds the text (a line of its own each time).
size_t SetupLogCount(const std::string &text)
{
    std::string log;
    ReadTextFile(SetupLogPath(), &log);
    return CountOf(log, text);
}

class MsiPackageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(NewPackage().empty() || OldPackage().empty()) << "VERILOOM_MSI and VERILOOM_MSI_OLD";
        RemoveInstalledProducts();
        SwitchRevocationOff();
        DeleteFileA(SetupLogPath().c_str());
        library = InstallDir() + "\\Veriloom-x64.dll";
    }
    // A failed test leaves no package installed for the next one.
    void TearDown() override { RemoveInstalledProducts(); }
    static void RemoveInstalledProducts()
    {
        for (const std::string &code : InstalledProducts())
            RunMsiexec("/x " + code);
    }
    SetupStateGuard guard;
    std::string library;
};

// How the action last ended in the log: "1" success; a failure is "3"
// (Windows) or "0" (Wine); "<not run>".
std::string LastResult(const MsiRun &run, const std::string &action)
{
    const std::string ended = ": " + action + ". Return value ";
    std::string result = "<not run>";
    for (const std::string &line : run.log) {
        const size_t at = line.find(ended);
        if (line.compare(0, 13, "Action ended ") == 0 && at != std::string::npos)
            result = line.substr(at + ended.size(), line.size() - at - ended.size() - 1);
    }
    return result;
}

// A failed custom action fails the installation: Windows Installer ends
// with 1603, Wine's msiexec passes the action's ERROR_FUNCTION_FAILED on.
DWORD FailedInstallationCode()
{
    const bool wine = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != NULL;
    return wine ? ERROR_FUNCTION_FAILED : ERROR_INSTALL_FAILURE;
}

} // namespace

TEST_F(MsiPackageTest, InstallsWhatQuietSetupInstallsAndUninstallKeepsTheOtherProviders)
{
    WriteMultiString(HKEY_LOCAL_MACHINE, TEST_PROVIDER_LIST_KEY, "Dll", {"cryptnet.dll"});

    // What Setup.exe /quiet /allusers of the same package folder installs.
    const SetupRun setup = RunSetupProgram(PackageFolder() + "\\Setup.exe", "/quiet /allusers", Answer(0));
    ASSERT_EQ(0u, setup.exitCode);
    const std::vector<std::string> bySetup = CurrentInstallation();
    EXPECT_EQ((std::vector<std::string>{library, "cryptnet.dll"}), ProviderList());
    ASSERT_EQ(0u, RunSetupProgram(InstallDir() + "\\Setup.exe", "/uninstall /quiet", Answer(0)).exitCode);
    DeleteTree(InstallDir());
    SwitchRevocationOff();

    const MsiRun install = RunMsiexec("/i \"" + NewPackage() + "\"");
    EXPECT_EQ(0u, install.exitCode);
    EXPECT_EQ("1", LastResult(install, "RegisterProvider"));
    EXPECT_EQ(1u, SetupLogCount("Setup ended with exit code 0."));
    EXPECT_EQ(bySetup, CurrentInstallation());
    // Programs and Features: the package's entry, not Setup's.
    const std::vector<std::string> products = InstalledProducts();
    ASSERT_EQ(1u, products.size());
    EXPECT_EQ("1.1.0", ProductVersion(products[0]));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, TEST_UNINSTALL_KEY));

    // Another product registers its provider first meanwhile.
    ASSERT_TRUE(CryptRegisterDefaultOIDFunction(X509_ASN_ENCODING, CRYPT_OID_VERIFY_REVOCATION_FUNC,
                                                CRYPT_REGISTER_FIRST_INDEX, kOtherProviderWide));
    const MsiRun uninstall = RunMsiexec("/x \"" + NewPackage() + "\"");
    EXPECT_EQ(0u, uninstall.exitCode);
    EXPECT_EQ("1", LastResult(uninstall, "UnregisterProvider"));
    EXPECT_EQ(2u, SetupLogCount("Setup ended with exit code 0."));
    EXPECT_EQ((std::vector<std::string>{kOtherProvider, "cryptnet.dll"}), ProviderList());
    EXPECT_TRUE(InstalledProducts().empty());
    EXPECT_TRUE(FileNames(InstallDir()).empty());
}

TEST_F(MsiPackageTest, PackageTakesOverSetupsInstallationAndANewerOneUpgradesIt)
{
    WriteMultiString(HKEY_LOCAL_MACHINE, TEST_PROVIDER_LIST_KEY, "Dll", {"cryptnet.dll", kOtherProvider});

    // A package over Setup's installation takes over its entry.
    ASSERT_EQ(0u, RunSetupProgram(PackageFolder() + "\\Setup.exe", "/quiet", Answer(0)).exitCode);
    ASSERT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, TEST_UNINSTALL_KEY));
    ASSERT_EQ(0u, RunMsiexec("/i \"" + OldPackage() + "\"").exitCode);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, TEST_UNINSTALL_KEY));
    const std::vector<std::string> old = InstalledProducts();
    ASSERT_EQ(1u, old.size());
    EXPECT_EQ("1.0.9", ProductVersion(old[0]));
    EXPECT_EQ((std::vector<std::string>{library, "cryptnet.dll", kOtherProvider}), ProviderList());

    const MsiRun upgrade = RunMsiexec("/i \"" + NewPackage() + "\"");
    EXPECT_EQ(0u, upgrade.exitCode);
    EXPECT_EQ("1", LastResult(upgrade, "RemoveExistingProducts"));
    EXPECT_EQ("1", LastResult(upgrade, "RegisterProvider"));
    const std::vector<std::string> products = InstalledProducts();
    ASSERT_EQ(1u, products.size());
    EXPECT_NE(old[0], products[0]);
    EXPECT_EQ("1.1.0", ProductVersion(products[0]));
    EXPECT_EQ((std::vector<std::string>{library, "cryptnet.dll", kOtherProvider}), ProviderList());
    EXPECT_FALSE(FileNames(InstallDir()).empty());

    // The older package is refused over the newer one.
    EXPECT_NE(0u, RunMsiexec("/i \"" + OldPackage() + "\"").exitCode);
    EXPECT_EQ(products, InstalledProducts());

    EXPECT_EQ(0u, RunMsiexec("/x \"" + NewPackage() + "\"").exitCode);
    EXPECT_EQ((std::vector<std::string>{"cryptnet.dll", kOtherProvider}), ProviderList());
}

TEST_F(MsiPackageTest, FailedRegistrationFailsTheInstallationAndLeavesNothing)
{
    WriteMultiString(HKEY_LOCAL_MACHINE, TEST_PROVIDER_LIST_KEY, "Dll", {"cryptnet.dll", kOtherProvider});
    const std::vector<BYTE> before = RawProviderList();
    {
        const KeySecurity denial(HKEY_LOCAL_MACHINE, TEST_PROVIDER_LIST_KEY, kDenyValueWrites);
        ASSERT_TRUE(denial.active);
        const MsiRun install = RunMsiexec("/i \"" + NewPackage() + "\"");
        EXPECT_EQ(FailedInstallationCode(), install.exitCode);
        const std::string result = LastResult(install, "RegisterProvider");
        EXPECT_TRUE(result == "3" || result == "0") << result;
    }
    // Setup's log says why. (The rollback's Setup run is not seen under
    // Wine, which removes the files before it runs the rollback actions.)
    EXPECT_EQ(1u, SetupLogCount("Error installing the Revocation Provider Library, error code 5!"));
    EXPECT_EQ(1u, SetupLogCount("Setup ended with exit code 1603."));
    EXPECT_TRUE(RawProviderList() == before);
    EXPECT_TRUE(InstalledProducts().empty());
    EXPECT_TRUE(FileNames(InstallDir()).empty());
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, TEST_UNINSTALL_KEY));
    EXPECT_EQ(0u, DwordOr(HKEY_CURRENT_USER, TEST_INTERNET_SETTINGS, "CertificateRevocation"));
}
