// The installer's procedures where the platform gives awkward answers: the
// library path in the ANSI code page, a user key path that does not fit,
// a system directory that cannot be read, and putting the CRL provider
// back into a list that others changed; a quiet Setup without
// administrator rights (which Wine always grants), its entry called
// directly with Setup.exe's own texts.

#include "tests/windows/support/import_redirect.h"
#include "tests/windows/support/setup_test_support.h"

#include "common/install_folder.h"
#include "setup/post_install.h"
#include "setup/provider_list.h"
#include "setup/provider_registration.h"
#include "setup/revocation_switch.h"

#include <gtest/gtest.h>

#include <cstring>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandTail, int show);

namespace {

std::string List(std::initializer_list<std::string> entries)
{
    std::string data;
    for (const std::string &entry : entries)
        data += entry + '\0';
    return data + '\0';
}

UINT WINAPI FailingGetSystemDirectoryA(LPSTR, UINT)
{
    SetLastError(ERROR_ACCESS_DENIED);
    return 0;
}

int startedPrograms = 0;

BOOL WINAPI CountingCreateProcessA(LPCSTR, LPSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID,
                                   LPCSTR, LPSTARTUPINFOA, LPPROCESS_INFORMATION process)
{
    ++startedPrograms;
    ZeroMemory(process, sizeof *process);
    return TRUE;
}

SC_HANDLE WINAPI RefusingOpenSCManagerA(LPCSTR, LPCSTR, DWORD)
{
    SetLastError(ERROR_ACCESS_DENIED);
    return NULL;
}

} // namespace

TEST(SetupPathTest, LibraryPathIsConvertedWithTheAnsiCodePage)
{
    ASSERT_EQ(1252u, GetACP());
    // 0x80 is the euro sign in code page 1252, not U+0080.
    wchar_t wide[64];
    EXPECT_TRUE(WidenAnsiPath("C:\\Programme \x80\\Veriloom", wide, 64));
    EXPECT_STREQ(L"C:\\Programme \u20ac\\Veriloom", wide);
    EXPECT_TRUE(WidenAnsiPath("C:\\Program Files\\Veriloom\\Veriloom-x64.dll", wide, 64));
    EXPECT_STREQ(L"C:\\Program Files\\Veriloom\\Veriloom-x64.dll", wide);
    EXPECT_FALSE(WidenAnsiPath("C:\\Program Files\\Veriloom\\Veriloom-x64.dll", wide, 8));
}

TEST(SetupPathTest, UserKeyPathThatDoesNotFitIsSkipped)
{
    // 200 characters and "\Software\...\Internet Settings" exceed 255.
    const std::string name(200, 'S');
    EXPECT_FALSE(SetCertificateRevocation(0, name.c_str()));
    HKEY key;
    EXPECT_NE(ERROR_SUCCESS, RegOpenKeyExA(HKEY_USERS, name.c_str(), 0, KEY_READ, &key));
    RegDeleteTreeA(HKEY_USERS, name.c_str());  // what a cut path would have made
}

TEST(SetupPathTest, ProxyStepIsSkippedWithoutTheSystemDirectory)
{
    startedPrograms = 0;
    ImportPatch directory("GetSystemDirectoryA", reinterpret_cast<void *>(FailingGetSystemDirectoryA));
    ImportPatch start("CreateProcessA", reinterpret_cast<void *>(CountingCreateProcessA));
    ASSERT_TRUE(directory.Patched());
    ASSERT_TRUE(start.Patched());
    ImportProxySettings();
    EXPECT_EQ(0, startedPrograms);
}

TEST(SetupPathTest, CrlProviderGoesBackWhereTheBackupHadIt)
{
    const std::string lib = "C:\\v\\Veriloom-x64.dll";
    struct Case {
        std::string backup, list, expected;
        bool restored;
    } cases[] = {
        // after its old predecessor, whatever came in front since
        {List({lib, "first.dll", "cryptnet.dll", "last.dll"}), List({"other.dll", lib, "first.dll", "last.dll"}),
         List({"other.dll", lib, "first.dll", "cryptnet.dll", "last.dll"}), true},
        // its predecessor is gone: at the end
        {List({lib, "gone.dll", "CryptNet.dll"}), List({lib, "new.dll"}), List({lib, "new.dll", "CryptNet.dll"}),
         true},
        // it led the backup: first again
        {List({"cryptnet.dll", "x.dll"}), List({lib, "x.dll"}), List({"cryptnet.dll", lib, "x.dll"}), true},
        // back already, or never there: unchanged
        {List({lib, "cryptnet.dll"}), List({"cryptnet.dll", lib}), List({"cryptnet.dll", lib}), false},
        {List({lib, "x.dll"}), List({lib}), List({lib}), false},
    };
    for (const Case &c : cases) {
        char data[256];
        memset(data, 0xcc, sizeof data);
        memcpy(data, c.list.data(), c.list.size());
        DWORD length = static_cast<DWORD>(c.list.size());
        EXPECT_EQ(c.restored, RestoreCrlProviderEntry(c.backup.data(), static_cast<DWORD>(c.backup.size()), data,
                                                      &length, sizeof data))
            << c.list;
        EXPECT_EQ(c.expected, std::string(data, length)) << c.list;
    }
    // No room: unchanged.
    const std::string backup = List({lib, "cryptnet.dll"});
    std::string list = List({lib});
    DWORD length = static_cast<DWORD>(list.size());
    EXPECT_FALSE(RestoreCrlProviderEntry(backup.data(), static_cast<DWORD>(backup.size()), &list[0], &length,
                                         static_cast<DWORD>(list.size())));
    EXPECT_EQ(List({lib}), list);
}

TEST(SetupPathTest, InstallFolderThatDoesNotFitIsRefused)
{
    char saved[1024];
    const DWORD savedLength = GetEnvironmentVariableA("ProgramFiles", saved, sizeof saved);
    ASSERT_TRUE(savedLength > 0 && savedLength < sizeof saved);
    char folder[1024];
    memset(folder, 0xcc, sizeof folder);
    EXPECT_TRUE(VeriloomInstallFolder(folder, sizeof folder));
    EXPECT_EQ(std::string(saved) + "\\Veriloom", folder);

    // Room for the value but not for "\Veriloom": refused, never cut.
    SetEnvironmentVariableA("ProgramFiles", std::string(1015, 'P').c_str());
    memset(folder, 0xcc, sizeof folder);
    EXPECT_FALSE(VeriloomInstallFolder(folder, sizeof folder));
    EXPECT_STREQ("", folder);
    SetEnvironmentVariableA("ProgramFiles", saved);
}

TEST(SetupQuietUnitTest, WithoutAdministratorRightsQuietSetupFailsWithMessage11)
{
    SetupStateGuard guard;
    const std::vector<std::string> listBefore = ProviderList();
    HMODULE texts = LoadLibraryExA(SetupExePath().c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(texts != NULL);
    const std::string folder = TempFolder("quiet-unit");
    const std::string log = folder + "\\setup.log";
    std::string tail = "/quiet /log " + log;

    int exitCode;
    {
        ImportPatch refuse("OpenSCManagerA", reinterpret_cast<void *>(RefusingOpenSCManagerA));
        ASSERT_TRUE(refuse.Patched());
        exitCode = WinMain(texts, NULL, &tail[0], SW_SHOWNORMAL);
    }
    EXPECT_EQ(1603, exitCode);
    std::string content;
    EXPECT_TRUE(ReadTextFile(log, &content));
    EXPECT_NE(std::string::npos, content.find(" You need admin privileges to run setup!\r\n")) << content;
    EXPECT_NE(std::string::npos, content.find(" Setup ended with exit code 1603.\r\n")) << content;
    EXPECT_EQ(listBefore, ProviderList());
    FreeLibrary(texts);
    DeleteTree(folder);
}
