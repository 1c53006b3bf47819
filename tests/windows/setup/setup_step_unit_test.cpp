// Setup's entry called in this process with Setup.exe's texts, as if
// started from a folder with the library: every checked step made to fail
// once gives exit code 1603 with its error in the log, the registration
// never leaves the provider list without the library's entry, and the log
// refuses what it must not append to (1639, with the reason on standard
// error).

#include "tests/windows/support/import_redirect.h"
#include "tests/windows/support/setup_test_support.h"

#include "setup/setup.h"

#include <gtest/gtest.h>

#include <cstring>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandTail, int show);

namespace {

// The one call that fails: a value name, a key name part or a crypt32
// export, answered with ERROR_ACCESS_DENIED.
std::string failing;
std::string ownPath;

// The real functions, looked up before any import is redirected.
template <typename Function> Function Real(const char *dll, const char *name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void *>(GetProcAddress(GetModuleHandleA(dll), name)));
}
const auto realSetValue = Real<decltype(&RegSetValueExA)>("advapi32", "RegSetValueExA");
const auto realDeleteKey = Real<decltype(&RegDeleteKeyA)>("advapi32", "RegDeleteKeyA");
const auto realGetProcAddress = Real<decltype(&GetProcAddress)>("kernel32", "GetProcAddress");
const auto realModuleFileName = Real<decltype(&GetModuleFileNameA)>("kernel32", "GetModuleFileNameA");
const auto realFileInformation = Real<decltype(&GetFileInformationByHandle)>("kernel32", "GetFileInformationByHandle");

LONG WINAPI FailingRegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE *data, DWORD size)
{
    if (name && failing == name)
        return ERROR_ACCESS_DENIED;
    return realSetValue(key, name, reserved, type, data, size);
}

LONG WINAPI FailingRegDeleteKeyA(HKEY key, LPCSTR name)
{
    if (name && !failing.empty() && strstr(name, failing.c_str()))
        return ERROR_ACCESS_DENIED;
    return realDeleteKey(key, name);
}

INT_PTR WINAPI RefusingCrypt32Call()
{
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

FARPROC WINAPI FailingGetProcAddress(HMODULE module, LPCSTR name)
{
    if (!IS_INTRESOURCE(name) && failing == name)
        return reinterpret_cast<FARPROC>(RefusingCrypt32Call);
    return realGetProcAddress(module, name);
}

// Setup's own path is the one in the source folder.
DWORD WINAPI SourceModuleFileNameA(HMODULE module, LPSTR path, DWORD size)
{
    if (module)
        return realModuleFileName(module, path, size);
    lstrcpynA(path, ownPath.c_str(), static_cast<int>(size));
    return static_cast<DWORD>(strlen(path));
}

class SetupStepTest : public SetupTest {
protected:
    void SetUp() override
    {
        texts = LoadLibraryExA(SetupExePath().c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_TRUE(texts != NULL);
        source.AddLibrary();
        source.Write("BLACKLIST", "0123456789abcdef0123\n");
        ownPath = source.setup;
        logFolder = TempFolder("step-log");
        log = logFolder + "\\setup.log";
    }
    void TearDown() override
    {
        FreeLibrary(texts);
        DeleteTree(logFolder);
    }
    // WinMain with the tail; with `failingCall`, that one call fails.
    int Run(std::string tail, const std::string &failingCall = std::string())
    {
        failing = failingCall;
        ImportPatch moduleName("GetModuleFileNameA", reinterpret_cast<void *>(SourceModuleFileNameA));
        ImportPatch setValue("RegSetValueExA", reinterpret_cast<void *>(FailingRegSetValueExA));
        ImportPatch deleteKey("RegDeleteKeyA", reinterpret_cast<void *>(FailingRegDeleteKeyA));
        ImportPatch procedure("GetProcAddress", reinterpret_cast<void *>(FailingGetProcAddress));
        EXPECT_TRUE(moduleName.Patched() && setValue.Patched() && deleteKey.Patched() && procedure.Patched());
        const int exitCode = WinMain(texts, NULL, &tail[0], SW_SHOWNORMAL);
        failing.clear();
        return exitCode;
    }
    std::string LogText()
    {
        std::string content;
        ReadTextFile(log, &content);
        return content;
    }
    HMODULE texts = NULL;
    std::string logFolder, log;
};

const char kOldEntry[] = "C:\\Old Place\\Veriloom-x64.dll";

struct StepCase {
    const char *installFirst;  // an install that succeeds first, or NULL
    const char *tail;
    const char *failingCall;
    const char *message;       // the log line of the failure
    bool registered;           // a library entry is listed afterwards
};

const StepCase kStepCases[] = {
    {NULL, "/quiet /thisuser", "CertificateRevocation", "Error switching revocation checking on, error code 5!",
     true},
    {NULL, "/quiet /thisuser -nocrl", "DllOrig",
     "Error taking the CRL provider out of the provider list, error code 5!", true},
    {NULL, "/quiet /thisuser -nocrl", "CheckUpdate", "Error writing the settings key, error code 5!", true},
    {NULL, "/quiet /thisuser", "EventMessageFile", "Error registering the event source, error code 5!", true},
    {NULL, "/quiet /thisuser", "QuietUninstallString",
     "Error writing the Programs and Features entry, error code 5!", true},
    // Over an entry from another folder: the new one first, the old one
    // out only then; either failure leaves the old entry.
    {NULL, "/quiet /thisuser", "CryptRegisterDefaultOIDFunction",
     "Error installing the Revocation Provider Library, error code 5!", true},
    {NULL, "/quiet /thisuser", "CryptUnregisterDefaultOIDFunction", "Unregistering DLL failed, error code 5!", true},
    // The uninstall stops before its entry leaves when the CRL provider
    // cannot go back.
    {"/quiet /thisuser -nocrl", "/uninstall /quiet", "Dll",
     "Error putting the CRL provider back into the provider list, error code 5!", true},
    {"/quiet /thisuser", "/uninstall /quiet", "Uninstall\\Veriloom",
     "Error removing the Programs and Features entry, error code 5!", false},
};

TEST_F(SetupStepTest, EveryFailedStepEndsWith1603AndItsError)
{
    for (const StepCase &c : kStepCases) {
        SCOPED_TRACE(std::string(c.tail) + " failing " + c.failingCall);
        SetupStateGuard state;
        WriteMultiString(HKEY_LOCAL_MACHINE, TEST_PROVIDER_LIST_KEY, "Dll", {kOldEntry, "cryptnet.dll"});
        if (c.installFirst) {
            ASSERT_EQ(0, Run(c.installFirst));
        }
        DeleteFileA(log.c_str());
        EXPECT_EQ(1603, Run(std::string(c.tail) + " /log " + log, c.failingCall));
        const std::string logged = LogText();
        EXPECT_NE(std::string::npos, logged.find(std::string(" ") + c.message + "\r\n")) << logged;
        EXPECT_EQ(std::string::npos, logged.find("successfully")) << logged;
        EXPECT_EQ(c.registered, IsProviderInstalled());
        // Taking the CRL provider out is undone when a later step fails.
        if (strstr(c.tail, "-nocrl")) {
            EXPECT_EQ(std::string("cryptnet.dll"), ProviderList().back());
        }
    }
}

// What happens to the entry when the registration is replaced: an
// installation from another folder ends with exactly the new entry.
TEST_F(SetupStepTest, UpgradeFromAnotherFolderReplacesTheEntry)
{
    WriteMultiString(HKEY_LOCAL_MACHINE, TEST_PROVIDER_LIST_KEY, "Dll", {kOldEntry, "cryptnet.dll"});
    EXPECT_EQ(0, Run("/quiet /thisuser"));
    EXPECT_EQ((std::vector<std::string>{InstallDir() + "\\Veriloom-x64.dll", "cryptnet.dll"}), ProviderList());
}

// The log: a folder, a second name of a file, a file of another user and
// a link are refused before anything happens; a file of an administrator
// is appended to.
TEST_F(SetupStepTest, LogThatCannotBeTrustedIsRefused)
{
    const std::string target = logFolder + "\\target.txt";
    const std::string other = logFolder + "\\other.log";
    WriteTextFile(target, "target\n");
    ASSERT_TRUE(CreateHardLinkA((logFolder + "\\hard.log").c_str(), target.c_str(), NULL));
    WriteTextFile(other, "other\n");
    // A file a standard user made for everyone to write: Wine shows files
    // of other Unix users as Anonymous Logon's.
    const std::string unixOther = UnixPath(other);
    EXPECT_NE(std::string::npos,
              RunUnixShell("chown nobody '" + unixOther + "' && chmod 666 '" + unixOther + "'").find("exit=0"));
    const struct {
        std::string path;
        int exitCode;
        const char *message;
    } cases[] = {
        {logFolder, 1639, "Cannot open the log file '" },
        {logFolder + "\\hard.log", 1639, "is a link or has more than one name: refused."},
        {other, 1639, "belongs to neither an administrator nor SYSTEM: refused."},
        {logFolder + "\\missing\\setup.log", 1639, "Cannot open the log file '"},
        {target + ".new", 0, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        const std::string errors = logFolder + "\\stderr.txt";
        HANDLE errorFile = CreateFileA(errors.c_str(), GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS, 0, NULL);
        const HANDLE savedError = GetStdHandle(STD_ERROR_HANDLE);
        SetStdHandle(STD_ERROR_HANDLE, errorFile);
        EXPECT_EQ(c.exitCode, Run("/uninstall /quiet /log \"" + c.path + "\""));
        SetStdHandle(STD_ERROR_HANDLE, savedError);
        CloseHandle(errorFile);
        std::string written;
        ReadTextFile(errors, &written);
        EXPECT_NE(std::string::npos, written.find(c.message)) << written;
    }
    std::string content;
    EXPECT_TRUE(ReadTextFile(target, &content));
    EXPECT_EQ("target\n", content);
    EXPECT_TRUE(ReadTextFile(other, &content));
    EXPECT_EQ("other\n", content);
    // The new log belongs to the administrator who made it: appended to.
    EXPECT_EQ(0, Run("/uninstall /quiet /log \"" + target + ".new\""));
    EXPECT_TRUE(ReadTextFile(target + ".new", &content));
    EXPECT_EQ(2u, CountOf(content, "Setup ended with exit code 0.")) << content;
}

// A symbolic link (which Wine cannot make) shows as a reparse point.
BOOL WINAPI ReparsePointInformation(HANDLE file, LPBY_HANDLE_FILE_INFORMATION information)
{
    const BOOL ok = realFileInformation(file, information);
    information->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    return ok;
}

TEST_F(SetupStepTest, LogThatIsASymbolicLinkIsRefused)
{
    ImportPatch link("GetFileInformationByHandle", reinterpret_cast<void *>(ReparsePointInformation));
    ASSERT_TRUE(link.Patched());
    EXPECT_EQ(1639, Run("/uninstall /quiet /log \"" + log + "\""));
}

} // namespace
