// The installer's procedures called directly: the walks over the provider
// list, the "-nocrl" backup, the settings key, the per-user switch over
// HKEY_USERS and the profile hives, and the path helpers of the follow-up
// steps.

#include "tests/windows/support/setup_test_support.h"

#include "setup/install.h"
#include "setup/post_install.h"
#include "setup/provider_list.h"
#include "setup/revocation_switch.h"
#include "setup/setup.h"
#include "setup/setup_options.h"

#include <sddl.h>

#include <cstring>

namespace {

// Data placed so that it ends right before a page that cannot be read: a
// walk that runs past the end faults.
class GuardedBuffer {
public:
    explicit GuardedBuffer(const std::string &content)
    {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        const size_t page = info.dwPageSize;
        const size_t pages = (content.size() + page - 1) / page + 1;
        base = static_cast<char *>(VirtualAlloc(NULL, (pages + 1) * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old;
        VirtualProtect(base + pages * page, page, PAGE_NOACCESS, &old);
        data = base + pages * page - content.size();
        memcpy(data, content.data(), content.size());
        length = static_cast<DWORD>(content.size());
    }
    ~GuardedBuffer() { VirtualFree(base, 0, MEM_RELEASE); }
    char *data;
    DWORD length;
private:
    char *base;
};

std::string List(std::initializer_list<std::string> entries)
{
    std::string data;
    for (const std::string &entry : entries)
        data += entry + '\0';
    return data + '\0';
}

bool EnablePrivilege(const char *name)
{
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return false;
    TOKEN_PRIVILEGES privileges;
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    const bool ok = LookupPrivilegeValueA(NULL, name, &privileges.Privileges[0].Luid) &&
                    AdjustTokenPrivileges(token, FALSE, &privileges, 0, NULL, NULL) &&
                    GetLastError() == ERROR_SUCCESS;
    CloseHandle(token);
    return ok;
}

const char kInternetSettings[] = TEST_INTERNET_SETTINGS;

// A hive file made with RegSaveKey from a scratch key of the current user.
std::string MakeHiveFile(const std::string &folder, const std::string &name, bool withSwitchOff)
{
    const std::string scratch = "Software\\VeriloomHiveScratch";
    RegDeleteTreeA(HKEY_CURRENT_USER, scratch.c_str());
    if (withSwitchOff)
        WriteDword(HKEY_CURRENT_USER, scratch + "\\" + kInternetSettings, "CertificateRevocation", 0);
    HKEY key;
    RegCreateKeyExA(HKEY_CURRENT_USER, scratch.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL);
    const std::string path = folder + "\\" + name;
    DeleteFileA(path.c_str());
    RegSaveKeyA(key, path.c_str(), NULL);
    RegCloseKey(key);
    RegDeleteTreeA(HKEY_CURRENT_USER, scratch.c_str());
    return path;
}

} // namespace

// Lists placed right against an unreadable page: whether they name the
// library (with a folder in front), walked only within their length.
TEST(ProviderListTest, NamesTheLibraryOnlyWithADirectory)
{
    const std::pair<std::string, bool> cases[] = {
        {List({"C:\\Program Files\\Veriloom\\Veriloom-x64.dll"}), true},
        {List({"cryptnet.dll", "D:\\elsewhere\\VERILOOM-X64.DLL"}), true},
        {List({"\\veriloom-x64.dll"}), true},
        {List({"Veriloom-x64.dll"}), false},
        {List({"cryptnet.dll"}), false},
        {List({"C:\\x\\Veriloom-x64.dll.old", "C:\\x\\Veriloom-x64.dl"}), false},
        {List({"C:\\x\\xVeriloom-x64.dll"}), false},
        {List({}), false},
        // An entry after the empty entry that ends the list does not count.
        {List({"cryptnet.dll"}) + "C:\\x\\Veriloom-x64.dll" + '\0' + '\0', false},
        // Without the closing empty entry; the last entry without terminator.
        {std::string("cryptnet.dll") + '\0' + "C:\\x\\Veriloom-x64.dll" + '\0', true},
        {std::string("cryptnet.dll") + '\0' + "C:\\x\\Veriloom-x64.dll", true},
        {std::string(8192 - 20, 'a') + "\\Veriloom-x64.dl", false},
    };
    for (const auto &c : cases) {
        GuardedBuffer buffer(c.first);
        EXPECT_EQ(c.second, ProviderListNamesLibrary(buffer.data, buffer.length)) << c.first.substr(0, 40);
    }
}

// What lies beyond the length is not part of the list.
TEST(ProviderListTest, WalkStopsAtTheLengthTheRegistryReturned)
{
    const std::string full = List({"cryptnet.dll", "C:\\x\\Veriloom-x64.dll"});
    EXPECT_FALSE(ProviderListNamesLibrary(full.data(), 13));
    EXPECT_FALSE(ProviderListNamesLibrary(full.data(), 0));
}

TEST(ProviderListTest, RemovesTheFirstCrlProviderEntryOnly)
{
    struct Case {
        std::string before;
        bool removed;
        std::string after;
    } cases[] = {
        {List({"cryptnet.dll"}), true, List({})},
        {List({"a.dll", "CRYPTNET.DLL", "b.dll"}), true, List({"a.dll", "b.dll"})},
        {List({"CryptNet.Dll", "cryptnet.dll"}), true, List({"cryptnet.dll"})},
        {List({"C:\\windows\\system32\\cryptnet.dll"}), false, List({"C:\\windows\\system32\\cryptnet.dll"})},
        {List({"xcryptnet.dll", "cryptnet.dll2"}), false, List({"xcryptnet.dll", "cryptnet.dll2"})},
        {List({"a.dll"}), false, List({"a.dll"})},
        // The last entry without its terminator.
        {std::string("a.dll") + '\0' + "cryptnet.dll", true, std::string("a.dll") + '\0'},
        // Shorter than the name: nothing is looked at.
        {"cryptnet.dl", false, "cryptnet.dl"},
    };
    for (const Case &c : cases) {
        GuardedBuffer buffer(c.before);
        DWORD length = buffer.length;
        EXPECT_EQ(c.removed, RemoveCrlProviderEntry(buffer.data, &length));
        EXPECT_EQ(c.after, std::string(buffer.data, length));
    }
}

TEST(ProviderListTest, IsProviderInstalledReadsTheRegistryList)
{
    SetupStateGuard guard;
    const struct {
        DWORD type;
        std::string data;
        bool installed;
    } cases[] = {
        {REG_MULTI_SZ, List({"cryptnet.dll", "D:\\Other Place\\VERILOOM-X64.DLL"}), true},
        {REG_MULTI_SZ, List({"Veriloom-x64.dll", "cryptnet.dll"}), false},
        {REG_SZ, std::string("C:\\Program Files\\Veriloom\\Veriloom-x64.dll") + '\0', false},
        // A list that fills the 8192-byte buffer with one entry and no
        // closing empty entry (the registry may add the entry's terminator):
        // the walk ends at the returned length.
        {REG_MULTI_SZ, std::string(8191 - 17, 'a') + "\\Veriloom-x64.dll", true},
        // Longer than the buffer: not installed.
        {REG_MULTI_SZ, std::string(8192, 'a') + "\\Veriloom-x64.dll" + std::string(2, '\0'), false},
    };
    for (const auto &c : cases) {
        WriteValue(HKEY_LOCAL_MACHINE, TEST_PROVIDER_LIST_KEY, "Dll", c.type, c.data.data(),
                   static_cast<DWORD>(c.data.size()));
        EXPECT_EQ(c.installed, IsProviderInstalled()) << c.data.substr(0, 40);
    }
    DeleteValue(HKEY_LOCAL_MACHINE, TEST_PROVIDER_LIST_KEY, "Dll");
    EXPECT_FALSE(IsProviderInstalled());
}

TEST(SetNoCrlTest, BacksUpAndRestoresTheList)
{
    SetupStateGuard guard;
    const std::vector<std::string> full = {"C:\\v\\Veriloom-x64.dll", "first.dll", "cryptnet.dll", "last.dll"};
    WriteMultiString(HKEY_LOCAL_MACHINE, TEST_PROVIDER_LIST_KEY, "Dll", full);
    DeleteValue(HKEY_LOCAL_MACHINE, TEST_PROVIDER_LIST_KEY, "DllOrig");

    EXPECT_TRUE(SetNoCrl(true));
    EXPECT_EQ((std::vector<std::string>{"C:\\v\\Veriloom-x64.dll", "first.dll", "last.dll"}), ProviderList());
    EXPECT_EQ(full, ProviderList("DllOrig"));

    EXPECT_TRUE(SetNoCrl(false));
    EXPECT_EQ(full, ProviderList());
    EXPECT_FALSE(HasBackup());

    // Without a backup, or with one of another type, nothing changes.
    EXPECT_FALSE(SetNoCrl(false));
    EXPECT_EQ(full, ProviderList());
    WriteString(HKEY_LOCAL_MACHINE, TEST_PROVIDER_LIST_KEY, "DllOrig", "cryptnet.dll");
    EXPECT_FALSE(SetNoCrl(false));
    EXPECT_EQ(full, ProviderList());
    DWORD type = 0;
    std::vector<BYTE> data;
    EXPECT_TRUE(ReadValue(HKEY_LOCAL_MACHINE, TEST_PROVIDER_LIST_KEY, "DllOrig", &type, &data));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);

    // A "Dll" of another type is neither backed up nor changed.
    DeleteValue(HKEY_LOCAL_MACHINE, TEST_PROVIDER_LIST_KEY, "DllOrig");
    WriteString(HKEY_LOCAL_MACHINE, TEST_PROVIDER_LIST_KEY, "Dll", "cryptnet.dll");
    EXPECT_FALSE(SetNoCrl(true));
    EXPECT_FALSE(HasBackup());
}

// Everyone reads the key, only administrators and SYSTEM change it; an
// existing key keeps its security unless everyone may change it, as
// earlier versions made it.
TEST(SettingsKeyTest, EveryoneReadsOnlyAndAWorldWritableKeyIsMended)
{
    SetupStateGuard guard;
    const std::string readOnly = "3 ACE, type 0, mask 00020019, Everyone";
    const struct {
        const char *existing;  // SDDL of the key before, or NULL: no key
        bool mended;
    } cases[] = {{NULL, true}, {"D:(A;;KA;;;WD)", true}, {"D:(A;;KR;;;WD)(A;;KA;;;BA)", false}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.existing ? c.existing : "no key");
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, SETTINGS_KEY);
        std::string before;
        if (c.existing) {
            PSECURITY_DESCRIPTOR descriptor = NULL;
            ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(c.existing, SDDL_REVISION_1, &descriptor,
                                                                             NULL));
            HKEY key;
            ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, SETTINGS_KEY, 0, NULL, 0, KEY_ALL_ACCESS, NULL,
                                                     &key, NULL));
            EXPECT_EQ(ERROR_SUCCESS, RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor));
            RegCloseKey(key);
            LocalFree(descriptor);
            WriteDword(HKEY_LOCAL_MACHINE, SETTINGS_KEY, SETTINGS_CHECK_UPDATE, 1);
            before = DaclSummary(HKEY_LOCAL_MACHINE, SETTINGS_KEY);
        }
        HKEY key = CreateSettingsKey();
        ASSERT_TRUE(key != NULL);
        RegCloseKey(key);
        EXPECT_EQ(c.mended ? readOnly : before, DaclSummary(HKEY_LOCAL_MACHINE, SETTINGS_KEY));
        // The value stays.
        if (c.existing) {
            EXPECT_EQ(1u, DwordOr(HKEY_LOCAL_MACHINE, SETTINGS_KEY, SETTINGS_CHECK_UPDATE));
        }
    }
}

TEST(RevocationSwitchTest, ThisUserWritesOnlyTheCurrentUser)
{
    SetupStateGuard guard;
    const std::string defaultUser = std::string(".Default\\") + kInternetSettings;
    ASSERT_TRUE(WriteDword(HKEY_USERS, defaultUser, "CertificateRevocation", 0));
    RegDeleteTreeA(HKEY_CURRENT_USER, kInternetSettings);

    EXPECT_TRUE(EnableRevocationCheck(1));
    EXPECT_EQ(1u, DwordOr(HKEY_CURRENT_USER, kInternetSettings, "CertificateRevocation"));
    EXPECT_EQ(0u, DwordOr(HKEY_USERS, defaultUser, "CertificateRevocation"));
}

TEST(RevocationSwitchTest, AllUsersWritesLoadedHivesButNotClassesCompanions)
{
    ASSERT_TRUE(EnablePrivilege("SeBackupPrivilege"));
    ASSERT_TRUE(EnablePrivilege("SeRestorePrivilege"));
    const std::string folder = TempFolder("hives");
    const char *hives[] = {"S-1-5-21-7-7-7-1001", "S-1-5-21-7-7-7-1001_Classes", "S-1-5-21-7-7-7-1002",
                           "S-1-5-21-7-7-7-1002_Classes"};
    for (const char *hive : hives) {
        const std::string file = MakeHiveFile(folder, std::string(hive) + ".dat", strstr(hive, "1002") != NULL);
        ASSERT_EQ(ERROR_SUCCESS, RegLoadKeyA(HKEY_USERS, hive, file.c_str())) << hive;
    }
    {
        SetupStateGuard guard;
        EXPECT_TRUE(EnableRevocationCheck(0));
        for (const char *hive : hives) {
            const std::string key = std::string(hive) + "\\" + kInternetSettings;
            // Companions untouched: 1001's has no such key, 1002's keeps 0.
            if (strstr(hive, "1001_Classes"))
                EXPECT_FALSE(KeyExists(HKEY_USERS, key)) << hive;
            else
                EXPECT_EQ(strstr(hive, "_Classes") ? 0u : 1u, DwordOr(HKEY_USERS, key, "CertificateRevocation")) << hive;
        }
        EXPECT_EQ(1u, DwordOr(HKEY_USERS, std::string(".Default\\") + kInternetSettings, "CertificateRevocation"));
        EXPECT_EQ(1u, DwordOr(HKEY_CURRENT_USER, kInternetSettings, "CertificateRevocation"));
    }
    for (const char *hive : hives)
        EXPECT_EQ(ERROR_SUCCESS, RegUnLoadKeyA(HKEY_USERS, hive)) << hive;
    DeleteTree(folder);
}

TEST(RevocationSwitchTest, ProfileHivesAreMountedOneAtATimeAndUnmounted)
{
    SetupStateGuard guard;
    const std::string folder = TempFolder("profiles");
    for (const char *user : {"alice", "bob", "carol", "dave"})  // bob without a hive
        CreateDirectoryA((folder + "\\" + user).c_str(), NULL);
    MakeHiveFile(folder + "\\alice", "ntuser.dat", true);
    // The hive of a user who is logged on: in use, so it cannot be loaded.
    const std::string busy = MakeHiveFile(folder + "\\carol", "ntuser.dat", true);
    HANDLE inUse = CreateFileA(busy.c_str(), GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, inUse);
    CreateDirectoryA((folder + "\\dave\\ntuser.dat").c_str(), NULL);  // a directory, not a hive
    WriteTextFile(folder + "\\plain-file", "not a profile");

    const SavedValue profiles(HKEY_LOCAL_MACHINE, PROFILE_LIST_KEY, "ProfilesDirectory", folder, REG_EXPAND_SZ);
    ASSERT_TRUE(profiles.written);

    EXPECT_TRUE(EnableRevocationCheck(0));
    CloseHandle(inUse);
    // Every hive was unmounted again, and nothing else is left behind.
    EXPECT_FALSE(KeyExists(HKEY_USERS, PROFILE_MOUNT_POINT));
    EXPECT_EQ(1u, DwordOr(HKEY_CURRENT_USER, kInternetSettings, "CertificateRevocation"));
    DeleteTree(folder);
}

TEST(RevocationSwitchTest, WithoutAProfilesDirectoryOnlyLoadedHivesAreWritten)
{
    SetupStateGuard guard;
    const SavedValue profiles(HKEY_LOCAL_MACHINE, PROFILE_LIST_KEY, "ProfilesDirectory", "C:\\users");
    ASSERT_TRUE(profiles.written);
    RegDeleteTreeA(HKEY_CURRENT_USER, kInternetSettings);

    EXPECT_TRUE(EnableRevocationCheck(0));
    EXPECT_EQ(1u, DwordOr(HKEY_CURRENT_USER, kInternetSettings, "CertificateRevocation"));
    EXPECT_FALSE(KeyExists(HKEY_USERS, PROFILE_MOUNT_POINT));
}

// The final ".exe" in any case gives way to the suffix; other paths stay as
// they are; a buffer too small for the suffix gets it cut, never overrun.
TEST(VariantPathTest, ReplacesTheFinalExeWhateverItsCase)
{
    const struct {
        const char *path;
        size_t size;
        const char *suffix, *variant;  // NULL: none
    } cases[] = {
        {"C:\\Downloads\\SETUP.EXE", 1024, "-x64.exe", "C:\\Downloads\\SETUP-x64.exe"},
        {"C:\\d\\setup.exe", 1024, "-ia64.exe", "C:\\d\\setup-ia64.exe"},
        {"C:\\d\\Setup.eXe", 1024, "-x64.exe", "C:\\d\\Setup-x64.exe"},
        {"C:\\ab\\setup.exe", 16, "-x64.exe", "C:\\ab\\setup-x64"},
        {"C:\\d\\setup", 1024, "-x64.exe", NULL},      {"C:\\d\\setup.ex", 1024, "-x64.exe", NULL},
        {"C:\\d\\setupexe", 1024, "-x64.exe", NULL},   {"C:\\d\\setup.exe.txt", 1024, "-x64.exe", NULL},
        {".exe", 1024, "-x64.exe", NULL},              {"C:\\d\\setup.com", 1024, "-x64.exe", NULL},
    };
    for (const auto &c : cases) {
        char path[1025];
        memset(path, 'X', sizeof path);
        strcpy(path, c.path);
        EXPECT_EQ(c.variant != NULL, VariantSetupPath(path, c.size, c.suffix)) << c.path;
        EXPECT_STREQ(c.variant ? c.variant : c.path, path);
        EXPECT_EQ('X', path[c.size]) << c.path;
    }
}

TEST(BrowserCommandTest, ProgramPathIsQuotedOnce)
{
    char out[1024];
    QuoteProgramPath("C:\\Program Files\\Internet Explorer\\iexplore.exe", out, sizeof out);
    EXPECT_STREQ("\"C:\\Program Files\\Internet Explorer\\iexplore.exe\"", out);
    QuoteProgramPath("\"C:\\Program Files\\Internet Explorer\\iexplore.exe\"", out, sizeof out);
    EXPECT_STREQ("\"C:\\Program Files\\Internet Explorer\\iexplore.exe\"", out);
}

// The file after "/log" is the next word: never an option in its place,
// never cut; "-nocrl" counts only written exactly so, anywhere.
TEST(SetupOptionsTest, LogFileAndNoCrlSpelling)
{
    const std::string longest = "C:\\" + std::string(1020, 'l');  // 1,023 characters
    const struct {
        std::string tail;
        OptionsResult result;
        std::string logFile;
        bool noCrl;
    } cases[] = {
        {"/quiet /log \"C:\\a b\\setup.log\" -nocrl", kOptionsOk, "C:\\a b\\setup.log", true},
        {"/log /quiet", kOptionsContradictory, "", false},
        {"/quiet /log -nocrl", kOptionsContradictory, "", true},
        {"/quiet /log " + longest, kOptionsOk, longest, false},
        {"/quiet /log " + longest + "x", kOptionsContradictory, "", false},
        {"/quiet /NOCRL", kOptionsUnknownWord, "", false},
        {"/quiet x-nocrly", kOptionsOk, "", true},
    };
    for (const auto &c : cases) {
        InstallOptions options;
        EXPECT_EQ(c.result, ParseInstallOptions(c.tail.c_str(), &options)) << c.tail.substr(0, 40);
        if (c.result != kOptionsContradictory) {
            EXPECT_EQ(c.logFile, options.logFile) << c.tail.substr(0, 40);
        }
        EXPECT_EQ(c.noCrl, options.noCrl) << c.tail.substr(0, 40);
    }
}

TEST(InstalledFilesTest, BlacklistNames)
{
    EXPECT_TRUE(IsBlacklistFileName("BLACKLIST"));
    EXPECT_TRUE(IsBlacklistFileName("blacklist.RSA-1024"));
    EXPECT_TRUE(IsBlacklistFileName("BlackListExtra.txt"));
    EXPECT_FALSE(IsBlacklistFileName("BLACKLIS"));
    EXPECT_FALSE(IsBlacklistFileName("XBLACKLIST"));
    EXPECT_FALSE(IsBlacklistFileName(""));
}

TEST(SetupResourcesTest, VersionBlockIconBitmapNoManifest)
{
    const std::string setup = SetupExePath();
    HMODULE module = LoadLibraryExA(setup.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(module != NULL);
    EXPECT_TRUE(FindResourceA(module, MAKEINTRESOURCEA(1), RT_MANIFEST) == NULL);
    EXPECT_TRUE(FindResourceA(module, MAKEINTRESOURCEA(2), RT_MANIFEST) == NULL);
    EXPECT_TRUE(FindResourceA(module, MAKEINTRESOURCEA(1), RT_GROUP_ICON) != NULL);
    EXPECT_TRUE(FindResourceA(module, MAKEINTRESOURCEA(100), RT_BITMAP) != NULL);
    // Dialogs in the neutral language, strings in English (United States),
    // both languages told apart by the identifier alone.
    const WORD neutral = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL);
    const WORD english = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
    for (int id : {100, 101, 1100, 1101})
        EXPECT_TRUE(FindResourceExA(module, RT_DIALOG, MAKEINTRESOURCEA(id), neutral) != NULL) << id;
    // Strings 1-15 live in block 1, 1001-1015 in blocks 63 and 64.
    for (int block : {1, 63, 64})
        EXPECT_TRUE(FindResourceExA(module, RT_STRING, MAKEINTRESOURCEA(block), english) != NULL) << block;

    // String 4 does not exist; the others do, in both languages.
    char text[1024];
    EXPECT_EQ(0, LoadStringA(module, 4, text, sizeof text));
    EXPECT_EQ(0, LoadStringA(module, 1004, text, sizeof text));
    for (UINT id : {1u, 2u, 3u, 5u, 6u, 7u, 9u, 10u, 11u, 12u, 13u, 14u, 15u}) {
        EXPECT_GT(LoadStringA(module, id, text, sizeof text), 0) << id;
        EXPECT_GT(LoadStringA(module, id + 1000, text, sizeof text), 0) << id + 1000;
    }
    EXPECT_GT(LoadStringA(module, 1, text, sizeof text), 0);
    EXPECT_STREQ("Error creating installation directory '%s', error code %u.\nYou need admin privileges to run setup!",
                 text);
    FreeLibrary(module);

    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(setup.c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(setup.c_str(), 0, size, info.data()));
    VS_FIXEDFILEINFO *fixed = NULL;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void **>(&fixed), &length));
    EXPECT_EQ(0x00010001u, fixed->dwFileVersionMS);
    EXPECT_EQ(0u, fixed->dwFileVersionLS);
    EXPECT_EQ(0x00010001u, fixed->dwProductVersionMS);
    struct {
        const char *name;
        const char *value;
    } strings[] = {{"FileDescription", "Setup Veriloom"}, {"InternalName", "Setup Veriloom"},
                   {"ProductName", "Setup Veriloom"},     {"OriginalFilename", "Setup.exe"},
                   {"FileVersion", "1.01.000"},           {"ProductVersion", "1.01.000"}};
    for (const auto &entry : strings) {
        char *value = NULL;
        const std::string path = std::string("\\StringFileInfo\\040904E4\\") + entry.name;
        ASSERT_TRUE(VerQueryValueA(info.data(), path.c_str(), reinterpret_cast<void **>(&value), &length))
            << entry.name;
        EXPECT_STREQ(entry.value, value) << entry.name;
    }
    DWORD *translation = NULL;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void **>(&translation),
                               &length));
    EXPECT_EQ(0x04E40409u, *translation);
}
