// The follow-up steps of an install, seen from the programs they start:
// the proxy tool comes from the system directory, never from Setup's own
// folder; the browser is started with its path quoted and the test page's
// address; answering No starts nothing. Small recorder programs stand in
// for the tool and the browser.

#include "tests/windows/support/setup_test_support.h"

#include "resources/product_urls.h"

namespace {

const char kAppPaths[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\iexplore.exe";

// A record with the program's path in lower case (Wine's path case varies).
std::string LowerPath(const std::string &record)
{
    std::string text = record;
    const size_t bar = text.find('|');
    CharLowerBuffA(&text[0], static_cast<DWORD>(bar == std::string::npos ? text.size() : bar));
    return text;
}

std::string SystemDirectory()
{
    char path[MAX_PATH];
    const UINT length = GetSystemDirectoryA(path, sizeof path);
    return std::string(path, length);
}

// Replaces a file by the recorder for the object's lifetime.
class PlantedRecorder {
public:
    explicit PlantedRecorder(const std::string &where) : path(where), backup(where + ".kept-by-test")
    {
        hadOriginal = MoveFileExA(path.c_str(), backup.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
        ok = CopyFileA(RecorderExePath().c_str(), path.c_str(), FALSE) != FALSE;
    }
    ~PlantedRecorder()
    {
        DeleteFileA(path.c_str());
        if (hadOriginal)
            MoveFileA(backup.c_str(), path.c_str());
    }
    bool ok;
private:
    std::string path, backup;
    bool hadOriginal;
};

class FollowUpTest : public SetupTest {
protected:
    void SetUp() override
    {
        recordFolder = TempFolder("records");
        recordFile = recordFolder + "\\commands.txt";
        SetEnvironmentVariableA("VERILOOM_RECORD_FILE", recordFile.c_str());
        source.AddLibrary();
        source.Write("BLACKLIST", "0123456789abcdef0123\n");
    }
    void TearDown() override
    {
        SetEnvironmentVariableA("VERILOOM_RECORD_FILE", NULL);
        DeleteTree(recordFolder);
    }
    std::string recordFolder, recordFile;
};

// Ticks the proxy check box, then clicks Install.
int InstallWithProxy(const SetupWindow &window)
{
    if (window.IsMessageBox())
        return Answer(1)(window);
    SendMessageW(GetDlgItem(window.window, 101), BM_SETCHECK, BST_CHECKED, 0);
    return 1;
}

} // namespace

// The proxy tool, planted in the system directory, starts once when the
// proxy option is ticked: netsh, or proxycfg for a Windows that reports
// itself as XP (Wine does so for programs named Setup.exe when told). A
// tool of the same name beside Setup never runs, nor, in a 64-bit process,
// the platform variant of Setup.
TEST_F(FollowUpTest, ProxyToolComesFromTheSystemDirectory)
{
    ASSERT_TRUE(CopyFileA(RecorderExePath().c_str(), (source.folder + "\\netsh.exe").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(RecorderExePath().c_str(), (source.folder + "\\Setup-x64.exe").c_str(), FALSE));
    const struct {
        const char *tool, *version, *command;  // NULL command: nothing starts
        bool proxy;
    } cases[] = {
        {"netsh", "", "netsh winhttp proxy import", true},
        {"netsh", "", NULL, false},
        {"proxycfg", "winxp64", "proxycfg -u", true},
    };
    for (const auto &c : cases) {
        const SetupStateGuard rowGuard;
        const std::string tool = SystemDirectory() + "\\" + c.tool + ".exe";
        // Wine starts the planted program instead of its own built-in tool.
        const SavedValue native(HKEY_CURRENT_USER, "Software\\Wine\\DllOverrides", std::string(c.tool) + ".exe",
                                "native");
        const SavedValue version(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\Setup.exe", "Version");
        if (*c.version) {
            ASSERT_TRUE(WriteString(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\Setup.exe", "Version", c.version));
        }
        PlantedRecorder systemTool(tool);
        ASSERT_TRUE(systemTool.ok);
        DeleteFileA(recordFile.c_str());
        const SetupRun run = RunSetupProgram(source.setup, "", c.proxy ? InstallWithProxy : Answer(1));
        EXPECT_TRUE(run.finished) << c.tool;
        EXPECT_EQ(kInstalledMessages, run.MessageTexts()) << c.tool;
        std::vector<std::string> records = WaitForRecords(recordFile, c.command ? 1 : 0);
        for (std::string &record : records)
            record = LowerPath(record);
        EXPECT_EQ(c.command ? std::vector<std::string>{LowerPath(tool + "|" + c.command)} : std::vector<std::string>(),
                  records)
            << c.tool;
    }
}

TEST_F(FollowUpTest, MissingProxyToolIsReported)
{
    const std::string tool = SystemDirectory() + "\\netsh.exe";
    const std::string moved = tool + ".kept-by-test";
    ASSERT_TRUE(MoveFileExA(tool.c_str(), moved.c_str(), MOVEFILE_REPLACE_EXISTING));
    const SetupRun run = RunSetupProgram(source.setup, "", InstallWithProxy);
    MoveFileA(moved.c_str(), tool.c_str());
    EXPECT_TRUE(run.finished);
    const std::vector<std::string> messages = run.MessageTexts();
    ASSERT_EQ(3u, messages.size());
    EXPECT_EQ("Error setting proxy configuration, error code 2!", messages[1]);
}

TEST_F(FollowUpTest, TestPageOpensInTheBrowserWithItsPathQuoted)
{
    // A browser path with a blank, and a program where the unquoted path
    // would find one first.
    const std::string &root = recordFolder;  // deleted after the test
    CreateDirectoryA((root + "\\Program Files").c_str(), NULL);
    const std::string browser = root + "\\Program Files\\iexplore.exe";
    ASSERT_TRUE(CopyFileA(RecorderExePath().c_str(), browser.c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(RecorderExePath().c_str(), (root + "\\Program.exe").c_str(), FALSE));
    const SavedValue appPath(HKEY_LOCAL_MACHINE, kAppPaths, "", browser);
    ASSERT_TRUE(appPath.written);

    const SetupRun run = RunSetupProgram(source.setup, "", Answer(1, true));
    EXPECT_TRUE(run.finished);
    const std::vector<std::string> records = WaitForRecords(recordFile, 1);
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(LowerPath(browser + "|\"" + browser + "\" " + VERILOOM_TEST_PAGE), LowerPath(records[0]));
}

TEST_F(FollowUpTest, AnsweringNoStartsNothing)
{
    const std::string &root = recordFolder;  // deleted after the test
    const std::string browser = root + "\\iexplore.exe";
    ASSERT_TRUE(CopyFileA(RecorderExePath().c_str(), browser.c_str(), FALSE));
    const SavedValue appPath(HKEY_LOCAL_MACHINE, kAppPaths, "", browser);
    ASSERT_TRUE(appPath.written);

    // The platform variant beside Setup never starts from a 64-bit
    // process, after the install as after the uninstall.
    ASSERT_TRUE(CopyFileA(RecorderExePath().c_str(), (source.folder + "\\Setup-x64.exe").c_str(), FALSE));
    const SetupRun run = RunSetupProgram(source.setup, "", Answer(1, false));
    EXPECT_TRUE(run.finished);
    const SetupRun uninstall = RunSetupProgram(source.setup, "-nocrl", Answer(1));
    EXPECT_TRUE(uninstall.finished);
    EXPECT_EQ(std::vector<std::string>{"The Revocation Provider Library was uninstalled successfully."},
              uninstall.MessageTexts());
    EXPECT_TRUE(WaitForRecords(recordFile, 0).empty());
}

TEST_F(FollowUpTest, UnstartableBrowserIsReported)
{
    const SavedValue appPath(HKEY_LOCAL_MACHINE, kAppPaths, "", "C:\\no such folder\\iexplore.exe");
    ASSERT_TRUE(appPath.written);

    const SetupRun run = RunSetupProgram(source.setup, "", Answer(1, true));
    EXPECT_TRUE(run.finished);
    const std::vector<std::string> messages = run.MessageTexts();
    ASSERT_EQ(3u, messages.size());
    EXPECT_EQ(0u, messages[2].find("Error starting Internet Explorer, error code ")) << messages[2];
}
