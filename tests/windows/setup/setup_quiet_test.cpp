// Setup.exe unattended, as deployment tools run it: a quiet install for
// each scope with its log, the Programs and Features entry and the event
// source, an upgrade in place, the uninstall through the entry's
// QuietUninstallString, bad options, and the usage text.

#include "tests/windows/support/setup_test_support.h"

namespace {

// The first line of the event's text as Event Viewer makes it from the
// registered file (the key's data follows on lines of its own).
std::string EventText(const std::string &messageFile, const char *insertion)
{
    HMODULE module = LoadLibraryExA(messageFile.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    if (!module)
        return "<no message file>";
    char text[512] = "";
    DWORD_PTR arguments[] = {reinterpret_cast<DWORD_PTR>(insertion), reinterpret_cast<DWORD_PTR>(""),
                             reinterpret_cast<DWORD_PTR>(""), reinterpret_cast<DWORD_PTR>("")};
    FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, module, 100, 0, text, sizeof text,
                   reinterpret_cast<va_list *>(arguments));
    FreeLibrary(module);
    const std::string result = text;
    return result.substr(0, result.find('\r'));
}

// Log lines with their timestamp ("YYYY-MM-DD HH:MM:SS ") taken off;
// a line without one is kept whole, so that it shows in a failure.
std::vector<std::string> LogLines(const std::string &path)
{
    std::string content;
    ReadTextFile(path, &content);
    std::vector<std::string> lines = Lines(content);
    for (std::string &line : lines)
        if (line.size() > 20 && line[4] == '-' && line[7] == '-' && line[10] == ' ' && line[13] == ':' &&
            line[16] == ':' && line[19] == ' ')
            line.erase(0, 20);
    return lines;
}

class SetupQuietTest : public SetupTest {
protected:
    void SetUp() override
    {
        source.AddLibrary();
        source.Write("BLACKLIST", "0123456789abcdef0123\n");
        logFolder = TempFolder("log");
        log = logFolder + "\\setup log.txt";
    }
    void TearDown() override { DeleteTree(logFolder); }
    std::string logFolder, log;
};

TEST_F(SetupQuietTest, QuietInstallForEachScopeUpgradeAndUninstallThroughTheEntry)
{
    const std::string installDir = InstallDir();
    const std::string library = installDir + "\\Veriloom-x64.dll";
    const std::vector<std::string> before = {"cryptnet.dll"};
    const struct {
        const char *options;
        bool allUsers;
    } scopes[] = {{"/quiet /allusers", true}, {"-QUIET -ThisUser", false}};
    // The second run finds the first one's installation: an upgrade.
    WriteMultiString(HKEY_LOCAL_MACHINE, TEST_PROVIDER_LIST_KEY, "Dll", before);
    for (const auto &scope : scopes) {
        SCOPED_TRACE(scope.options);
        SwitchRevocationOff();
        DeleteFileA(log.c_str());

        const std::string options = std::string(scope.options) + " /log \"" + log + "\"";
        const SetupRun install = RunSetupProgram(source.setup, options, kNoWindow);
        EXPECT_TRUE(install.finished);
        EXPECT_EQ(0u, install.exitCode);
        EXPECT_EQ((std::vector<std::string>{library, "cryptnet.dll"}),
                  ProviderList());
        EXPECT_EQ((std::vector<std::string>{"BLACKLIST", "Setup.exe", "Veriloom-x64.dll"}), FileNames(installDir));
        EXPECT_EQ(1u, DwordOr(HKEY_CURRENT_USER, TEST_INTERNET_SETTINGS, "CertificateRevocation"));
        EXPECT_EQ(scope.allUsers ? 1u : 0u,
                  DwordOr(HKEY_USERS, std::string(".Default\\") + TEST_INTERNET_SETTINGS, "CertificateRevocation"));
        EXPECT_EQ(0u, DwordOr(HKEY_LOCAL_MACHINE, "SOFTWARE\\Veriloom", "CheckUpdate"));
        const std::vector<std::string> lines = {
            "Setup started with the options '" + options + "'.",
            "Installing into '" + installDir + "'.",
            "Copied '" + installDir + "\\BLACKLIST'.",
            "Copied '" + library + "'.",
            "Copied '" + installDir + "\\Setup.exe'.",
            // The second run finds the library registered from the same folder.
            scope.allUsers ? "Registered '" + library + "' as the first revocation provider."
                           : "'" + library + "' stays registered.",
            std::string("Revocation checking switched on for ") + (scope.allUsers ? "all users." : "this user."),
            "Event source registered with '" + library + "'.",
            "Programs and Features entry written.",
            "The Revocation Provider Library was installed successfully.",
            "Setup ended with exit code 0."};
        std::vector<std::string> logged = LogLines(log);
        // The two files beside Setup come in the order the folder lists them.
        if (logged.size() > 3 && logged[2] > logged[3])
            std::swap(logged[2], logged[3]);
        EXPECT_EQ(lines, logged);
    }

    // Programs and Features.
    const std::string setupPath = installDir + "\\Setup.exe";
    const struct {
        const char *name;
        std::string expected;
    } texts[] = {
        {"DisplayName", "Veriloom"},
        {"DisplayVersion", "1.1"},
        {"Publisher", "Veriloom"},
        {"DisplayIcon", library + ",0"},
        {"InstallLocation", installDir},
        {"UninstallString", "\"" + setupPath + "\" /uninstall"},
        {"QuietUninstallString", "\"" + setupPath + "\" /uninstall /quiet"},
    };
    for (const auto &text : texts)
        EXPECT_EQ(text.expected, ReadString(HKEY_LOCAL_MACHINE, TEST_UNINSTALL_KEY, text.name)) << text.name;
    EXPECT_EQ(1u, DwordOr(HKEY_LOCAL_MACHINE, TEST_UNINSTALL_KEY, "NoModify"));
    EXPECT_EQ(1u, DwordOr(HKEY_LOCAL_MACHINE, TEST_UNINSTALL_KEY, "NoRepair"));
    const DWORD size = DwordOr(HKEY_LOCAL_MACHINE, TEST_UNINSTALL_KEY, "EstimatedSize");
    EXPECT_TRUE(size > 0 && size < 100000) << size;

    // The event source: Event Viewer finds the warning's text.
    EXPECT_EQ(library, ReadString(HKEY_LOCAL_MACHINE, TEST_EVENT_SOURCE_KEY, "EventMessageFile"));
    EXPECT_EQ(7u, DwordOr(HKEY_LOCAL_MACHINE, TEST_EVENT_SOURCE_KEY, "TypesSupported"));
    EXPECT_EQ("Weak certificate found: 'weak.example'",
              EventText(library, "Weak certificate found: 'weak.example'"));

    // Uninstall as Programs and Features' command line does it.
    const std::string quietUninstall = ReadString(HKEY_LOCAL_MACHINE, TEST_UNINSTALL_KEY, "QuietUninstallString");
    const size_t programEnd = quietUninstall.find('"', 1);
    ASSERT_NE(std::string::npos, programEnd);
    DeleteFileA(log.c_str());
    const SetupRun uninstall = RunSetupProgram(quietUninstall.substr(1, programEnd - 1),
                                               quietUninstall.substr(programEnd + 2) + " /log \"" + log + "\"",
                                               kNoWindow);
    EXPECT_TRUE(uninstall.finished);
    EXPECT_EQ(0u, uninstall.exitCode);
    EXPECT_EQ(before, ProviderList());
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, TEST_UNINSTALL_KEY));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, TEST_EVENT_SOURCE_KEY));  // old events stay readable
    EXPECT_EQ((std::vector<std::string>{"BLACKLIST", "Setup.exe", "Veriloom-x64.dll"}), FileNames(installDir));
    const std::vector<std::string> lines = LogLines(log);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ("The Revocation Provider Library was uninstalled successfully.", lines[lines.size() - 2]);
    EXPECT_EQ("Setup ended with exit code 0.", lines.back());

    // Once more, with nothing installed: nothing changes, and that is success.
    const SetupRun again = RunSetupProgram(source.setup, "/uninstall /quiet", kNoWindow);
    EXPECT_EQ(0u, again.exitCode);
    EXPECT_EQ(before, ProviderList());
}

TEST_F(SetupQuietTest, BadOptionsChangeNothing)
{
    WriteMultiString(HKEY_LOCAL_MACHINE, TEST_PROVIDER_LIST_KEY, "Dll", {"cryptnet.dll"});
    // An option where the log file belongs, a path over 1,023 characters,
    // and "-nocrl" in another spelling (it is the one option written
    // exactly so).
    const std::string tails[] = {"/quiet /bogus", "/quiet /allusers /thisuser", "/quiet /log", "/allusers -THISUSER",
                                 "/quiet quiet", "/log /quiet", "/quiet /log C:\\" + std::string(1100, 'x'),
                                 "/quiet /nocrl", "/quiet -NOCRL"};
    for (const std::string &tail : tails) {
        const SetupRun run = RunSetupProgram(source.setup, tail, kNoWindow);
        EXPECT_TRUE(run.finished) << tail.substr(0, 40);
        EXPECT_EQ(1639u, run.exitCode) << tail.substr(0, 40);
        EXPECT_EQ(std::vector<std::string>{"cryptnet.dll"}, ProviderList()) << tail.substr(0, 40);
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(InstallDir().c_str())) << tail.substr(0, 40);
    }
}

TEST_F(SetupQuietTest, UsageTextAndExitZero)
{
    const SetupRun run = RunSetupProgram(source.setup, "/?", Answer(IDOK));
    EXPECT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode);
    ASSERT_EQ(1u, run.windows.size());
    EXPECT_EQ(0u, run.MessageTexts()[0].find("Setup.exe [/quiet] [/uninstall] [/allusers | /thisuser] [/proxy] "
                                             "[/log FILE] [-nocrl]"));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(InstallDir().c_str()));
}

} // namespace
