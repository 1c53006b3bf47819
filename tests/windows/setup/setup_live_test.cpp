// Setup.exe on a machine in use: a quiet upgrade while another process
// holds the library loaded and a list is being read, the next check in a
// new process answered by the new library and list, a list held through
// the whole run replaced at the restart (3010), a reinstall from the
// installed copy, and the uninstall of what a half-done run left.

#include "tests/windows/support/provider_test_support.h"
#include "tests/windows/support/setup_test_support.h"
#include "tests/windows/support/test_main.h"

#include <algorithm>
#include <cstdio>
#include <thread>

namespace {

const char kHeldEvent[] = "VeriloomSetupTestHeld";
const char kReleaseEvent[] = "VeriloomSetupTestRelease";

// Child: loads the library at the path, signals, and keeps it loaded until
// the test releases it (a minute at most).
int HoldLibrary(const std::string &path)
{
    HMODULE library = LoadLibraryA(path.c_str());
    HANDLE held = OpenEventA(EVENT_MODIFY_STATE, FALSE, kHeldEvent);
    HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, kReleaseEvent);
    if (!library || !held || !release) {
        printf("cannot hold %s: %lu\n", path.c_str(), GetLastError());
        return 1;
    }
    SetEvent(held);
    WaitForSingleObject(release, 60000);
    FreeLibrary(library);
    return 0;
}
const ChildMode kHoldLibrary("hold-library", HoldLibrary);

// Child: checks the certificate of the seed once through crypt32, on a
// window station of its own (no dialog), and prints "dwError=E".
int VerifySeed(const std::string &seed)
{
    HWINSTA station = CreateWindowStationA("veriloom-setup-test", 0, WINSTA_ALL_ACCESS, NULL);
    if (!station || !SetProcessWindowStation(station))
        return 1;
    const MadeCertificate certificate(static_cast<uint32_t>(std::stoul(seed)));
    CERT_REVOCATION_STATUS status;
    CallExport(CertVerifyRevocation, {&certificate.context}, &status);
    printf("dwError=%08lx\n", status.dwError);
    return 0;
}
const ChildMode kVerifySeed("verify-seed", VerifySeed);

// A child holding the library loaded for the object's lifetime.
class HeldLibrary {
public:
    explicit HeldLibrary(const std::string &path)
        : held(CreateEventA(NULL, TRUE, FALSE, kHeldEvent)), release(CreateEventA(NULL, TRUE, FALSE, kReleaseEvent)),
          child([this, path] { output = RunChild("hold-library:" + path); })
    {
        holding = WaitForSingleObject(held, 30000) == WAIT_OBJECT_0;
    }
    ~HeldLibrary()
    {
        SetEvent(release);
        child.join();
        CloseHandle(held);
        CloseHandle(release);
    }
    bool holding = false;
    std::string output;

private:
    HANDLE held, release;
    std::thread child;
};

const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";

std::string FileText(const std::string &path)
{
    std::string content;
    ReadTextFile(path, &content);
    return content;
}

class SetupLiveTest : public SetupTest {
protected:
    void SetUp() override
    {
        logFolder = TempFolder("live-log");
        log = logFolder + "\\setup.log";
        library = InstallDir() + "\\Veriloom-x64.dll";
        list = InstallDir() + "\\BLACKLIST";
        WriteMultiString(HKEY_LOCAL_MACHINE, TEST_PROVIDER_LIST_KEY, "Dll", {"cryptnet.dll"});
        DeleteValue(HKEY_LOCAL_MACHINE, kSessionManager, "PendingFileRenameOperations");
        // Version 1: a stand-in library without the export, and the old list.
        SetupFolder first;
        CopyFileA(Environment("VERILOOM_PLANTED_CRYPT32").c_str(), (first.folder + "\\Veriloom-x64.dll").c_str(),
                  FALSE);
        first.Write("BLACKLIST", "0123456789abcdef0123\n");
        ASSERT_EQ(0u, RunSetupProgram(first.setup, "/quiet", kNoWindow).exitCode);
        // Version 2 beside this test's Setup.exe: the library and a new list.
        source.AddLibrary();
        source.Write("BLACKLIST", weak.fingerprint + "\n");
    }
    void TearDown() override { DeleteTree(logFolder); }
    SetupRun RunQuiet(const std::string &program, const std::string &options)
    {
        DeleteFileA(log.c_str());
        return RunSetupProgram(program, options + " /log \"" + log + "\"", kNoWindow);
    }
    // Restarts of this prefix must not replace anything.
    SavedValue pending{HKEY_LOCAL_MACHINE, kSessionManager, "PendingFileRenameOperations"};
    const MadeCertificate weak{19};
    std::string logFolder, log, library, list;
};

TEST_F(SetupLiveTest, UpgradeWhileTheLibraryIsLoadedAndAListIsRead)
{
    {
        HeldLibrary holder(library);
        ASSERT_TRUE(holder.holding) << holder.output;
        // The list is read for a second, sharing no write or delete access.
        HANDLE reading = CreateFileA(list.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
        ASSERT_NE(INVALID_HANDLE_VALUE, reading);
        std::thread reader([reading] {
            Sleep(1000);
            CloseHandle(reading);
        });
        const SetupRun upgrade = RunQuiet(source.setup, "/quiet");
        reader.join();
        EXPECT_EQ(0u, upgrade.exitCode) << FileText(log);
        EXPECT_TRUE(FileText(library) == FileText(LibraryPath()));
        EXPECT_EQ(weak.fingerprint + "\n", FileText(list));
        EXPECT_EQ((std::vector<std::string>{library, "cryptnet.dll"}), ProviderList());
        const std::string logged = FileText(log);
        EXPECT_NE(std::string::npos, logged.find(" Copied '" + library + "'.\r\n")) << logged;
        EXPECT_NE(std::string::npos, logged.find(" Copied '" + list + "'.\r\n")) << logged;
    }
    // A new process checks with the new library and the new list.
    EXPECT_NE(std::string::npos, RunChild("verify-seed:19").find("dwError=80092010"));

    // Setup run again from the installed copy: nothing to copy, the old
    // library renamed away is deleted now, the entry stays as it is.
    const SetupRun again = RunQuiet(InstallDir() + "\\Setup.exe", "/quiet");
    EXPECT_EQ(0u, again.exitCode) << FileText(log);
    EXPECT_EQ((std::vector<std::string>{"BLACKLIST", "Setup.exe", "Veriloom-x64.dll"}), FileNames(InstallDir()));
    EXPECT_EQ((std::vector<std::string>{library, "cryptnet.dll"}), ProviderList());
    const std::string logged = FileText(log);
    EXPECT_NE(std::string::npos, logged.find(" '" + library + "' is in place already.\r\n")) << logged;
    EXPECT_NE(std::string::npos, logged.find(" '" + library + "' stays registered.\r\n")) << logged;
}

TEST_F(SetupLiveTest, ListHeldThroughTheRunIsReplacedAtTheRestart)
{
    HANDLE reading = CreateFileA(list.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, reading);
    const SetupRun upgrade = RunQuiet(source.setup, "/quiet");
    CloseHandle(reading);
    EXPECT_EQ(3010u, upgrade.exitCode);
    const std::string logged = FileText(log);
    EXPECT_NE(std::string::npos, logged.find(" '" + list + "' is in use: it will be replaced when Windows restarts.\r\n"))
        << logged;
    EXPECT_NE(std::string::npos, logged.find(" Setup ended with exit code 3010.\r\n")) << logged;
    // The old list stays until the restart moves the staged copy over it.
    EXPECT_EQ("0123456789abcdef0123\n", FileText(list));
    const std::vector<std::string> renames =
        ReadMultiString(HKEY_LOCAL_MACHINE, kSessionManager, "PendingFileRenameOperations");
    const auto target = std::find(renames.begin(), renames.end(), "!\\??\\" + list);
    ASSERT_NE(renames.end(), target);
    const std::string staged = *(target - 1);
    EXPECT_EQ(weak.fingerprint + "\n", FileText(staged.substr(4)));
    EXPECT_EQ((std::vector<std::string>{library, "cryptnet.dll"}), ProviderList());
}

// A run that stopped between its steps left the uninstall entry and the
// list's backup but no entry of the library, and no CRL provider: the
// uninstall puts the CRL provider back and removes the entry.
TEST_F(SetupLiveTest, UninstallCleansUpAHalfDoneInstallation)
{
    ASSERT_EQ(0u, RunQuiet(source.setup, "/quiet -nocrl").exitCode);
    WriteMultiString(HKEY_LOCAL_MACHINE, TEST_PROVIDER_LIST_KEY, "Dll", {"other.dll"});
    ASSERT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, TEST_UNINSTALL_KEY));

    const SetupRun uninstall = RunQuiet(InstallDir() + "\\Setup.exe", "/uninstall /quiet");
    EXPECT_EQ(0u, uninstall.exitCode) << FileText(log);
    EXPECT_EQ((std::vector<std::string>{"other.dll", "cryptnet.dll"}), ProviderList());
    EXPECT_FALSE(HasBackup());
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, TEST_UNINSTALL_KEY));
}

} // namespace
