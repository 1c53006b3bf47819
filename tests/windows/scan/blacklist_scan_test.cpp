// The blacklist scan: which files are read, what they list, scan errors.
// The export is called directly; every test has its own installation folder
// and its own load of the library (so an empty verdict cache), and every
// case its own key.

#include "tests/windows/support/provider_test_support.h"

#include "provider/sha1_digest.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

const DWORD kRevoked = static_cast<DWORD>(CRYPT_E_REVOKED);
const DWORD kNotChecked = static_cast<DWORD>(CRYPT_E_NO_REVOCATION_CHECK);
const char kCaption[] = "Veriloom V1.1 \xC2\xA9 2026 Veriloom";
// A sysfs file: stat gives 4096 bytes, a read gives a few.
const char kSysFile[] = "/sys/devices/system/cpu/online";

// Wine gives every new process the registry's "ProgramFiles": a child
// takes the test's from this variable.
const char kProgramFilesVariable[] = "VERILOOM_SCAN_PROGRAM_FILES";

typedef std::vector<std::string> Lines;

// A certificate just complete enough for the library: subject common name
// and an RSA key whose 512-bit modulus follows from the seed.
class MadeCertificate {
public:
    explicit MadeCertificate(unsigned seed = NextSeed());
    MadeCertificate(const MadeCertificate &) = delete;
    MadeCertificate &operator=(const MadeCertificate &) = delete;
    static unsigned NextSeed()
    {
        static unsigned seed = 0;
        return ++seed;
    }
    unsigned seed;
    std::string commonName;
    std::string fingerprint;  // the 20 digits a blacklist lists
    Bytes der;
    CERT_CONTEXT context;     // the library reads only pbCertEncoded/cbCertEncoded
};

MadeCertificate::MadeCertificate(unsigned keySeed) : seed(keySeed)
{
    Bytes modulus(64);
    uint32_t state = seed * 2654435761u;
    for (uint8_t &byte : modulus) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<uint8_t>(state >> 23);
    }
    modulus[0] |= 0x80;
    modulus[63] |= 1;
    commonName = "scan-test-" + std::to_string(seed);
    const Bytes cnOid = {0x55, 0x04, 0x03};
    const Bytes rsaOid = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x01};
    const Bytes key = Sequence({Tlv(0x02, Concat({Bytes(1, 0), modulus})), Tlv(0x02, Bytes{0x01, 0x00, 0x01})});
    der = Sequence({Sequence({Tlv(0x31, Sequence({Tlv(0x06, cnOid), Text(0x0C, commonName)}))}),
                    Sequence({Sequence({Tlv(0x06, rsaOid), Tlv(0x05, Bytes())}), Tlv(0x03, Concat({Bytes(1, 0), key}))})});
    char digest[64] = "";
    if (DigestModulus(modulus.data(), static_cast<uint32_t>(modulus.size()), digest, sizeof digest) == kDigestOk &&
        strlen(digest) == 40)
        fingerprint = digest + 20;
    memset(&context, 0, sizeof context);
    context.dwCertEncodingType = X509_ASN_ENCODING;
    context.pbCertEncoded = der.data();
    context.cbCertEncoded = static_cast<DWORD>(der.size());
}

// One call of the export for one certificate; returns dwError and checks
// that nothing else of the status record changed.
DWORD Verify(const LoadedProvider &provider, MadeCertificate &certificate)
{
    EXPECT_EQ(20u, certificate.fingerprint.size());
    CERT_REVOCATION_STATUS status;
    memset(&status, 0xcc, sizeof status);
    status.cbSize = sizeof status;
    PVOID contexts[1] = {&certificate.context};
    EXPECT_FALSE(provider.verify(X509_ASN_ENCODING, CERT_CONTEXT_REVOCATION_TYPE, 1, contexts, 0, NULL, &status));
    EXPECT_EQ(sizeof status, status.cbSize);
    EXPECT_EQ(0xccccccccu, status.dwIndex);
    EXPECT_EQ(0xccccccccu, status.dwReason);
    EXPECT_EQ(0xccccccccu, static_cast<DWORD>(status.fHasFreshnessTime));
    EXPECT_EQ(0xccccccccu, status.dwFreshnessTime);
    return status.dwError;
}

// The message boxes (not dialogs) a watcher answered, as "caption|text".
Lines MessageBoxes(WindowWatcher &watcher)
{
    Lines boxes;
    for (const SeenWindow &window : watcher.Seen()) {
        if (window.isDialog)
            continue;
        std::string text;
        for (const std::string &part : window.texts)
            text += part;
        boxes.push_back(window.caption + "|" + text);
    }
    return boxes;
}

std::string ErrorBox(const std::string &numbers)
{
    return std::string(kCaption) + "|Error checking certificate [" + numbers + "]!";
}

// The names in a folder in the order FindFirstFile/FindNextFile give them.
Lines FolderNames(const std::string &folder)
{
    Lines names;
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((folder + "*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (strcmp(entry.cFileName, ".") != 0 && strcmp(entry.cFileName, "..") != 0)
            names.push_back(entry.cFileName);
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    return names;
}

size_t CountOf(const std::string &text, const std::string &part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        count++;
    return count;
}

// A file of the given size with `head` at its start and a hole after it.
bool WriteSparseFile(const std::string &path, LONGLONG size, const std::string &head)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    LARGE_INTEGER end;
    end.QuadPart = size;
    const bool ok = WriteFile(file, head.data(), static_cast<DWORD>(head.size()), &written, NULL) &&
                    written == head.size() && SetFilePointerEx(file, end, NULL, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    return ok;
}

// The Unix name of a Windows path, "" when Wine does not tell it.
std::string UnixPath(const std::string &path)
{
    typedef char *(CDECL * UnixName)(LPCWSTR);
    UnixName unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    const std::wstring widePath(path.begin(), path.end());
    char *name = unixName ? unixName(widePath.c_str()) : NULL;
    if (!name)
        return "";
    const std::string result = name;
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

// Runs a Unix shell command with this process's environment plus
// `environment` ("NAME=value") and returns its output and "exit=N". Wine
// starts Unix programs too, with the Windows environment, but neither
// connects them to Windows pipes nor follows them to their end: the output
// goes to a file, which is read until the exit line is there (one minute
// at most).
std::string RunUnixShell(const std::string &script, const std::vector<std::string> &environment = {})
{
    static LONG counter = 0;
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    const std::string outputPath = std::string(temp) + "veriloom-scan-" + std::to_string(GetCurrentProcessId()) +
                                   "-" + std::to_string(InterlockedIncrement(&counter)) + ".txt";
    HANDLE created = CreateFileA(outputPath.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (created == INVALID_HANDLE_VALUE)
        return "";
    CloseHandle(created);
    const std::string unixOutput = UnixPath(outputPath);

    std::vector<std::pair<std::string, std::string>> saved;
    for (const std::string &entry : environment) {
        const std::string name = entry.substr(0, entry.find('='));
        char value[2048];
        const DWORD length = GetEnvironmentVariableA(name.c_str(), value, sizeof value);
        saved.push_back(std::make_pair(name, length > 0 && length < sizeof value ? value : ""));
        SetEnvironmentVariableA(name.c_str(), entry.c_str() + name.size() + 1);
    }
    const std::string line = "Z:\\bin\\sh -c \"(" + script + ") >'" + unixOutput + "' 2>&1; echo exit=$? >>'" +
                             unixOutput + "'\"";
    std::vector<char> command(line.begin(), line.end());
    command.push_back('\0');
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    const bool started =
        !unixOutput.empty() && CreateProcessA(NULL, command.data(), NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process);
    for (const auto &entry : saved)
        SetEnvironmentVariableA(entry.first.c_str(), entry.second.empty() ? NULL : entry.second.c_str());
    std::string output;
    if (started) {
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
        Bytes contents;
        for (int i = 0; i < 6000 && output.find("exit=") == std::string::npos; i++) {
            Sleep(10);
            if (ReadWholeFile(outputPath, &contents))
                output.assign(contents.begin(), contents.end());
        }
    }
    DeleteFileA(outputPath.c_str());
    return output;
}

// A Unix symbolic link in a Windows folder, made and removed with ln and
// rm: Wine 8's CreateSymbolicLink succeeds without making anything, and its
// DeleteFile refuses a link to a read-only file (and SetFileAttributes
// would change the target).
class UnixLink {
public:
    UnixLink(const std::string &windowsPath, const char *target)
        : path(windowsPath), unixPath(UnixPath(windowsPath)), made(false)
    {
        if (!unixPath.empty())
            made = RunUnixShell(std::string("ln -s ") + target + " '" + unixPath + "'").find("exit=0") != std::string::npos;
    }
    ~UnixLink()
    {
        if (!unixPath.empty())
            RunUnixShell("rm -f '" + unixPath + "'");
    }
    std::string path;
    std::string unixPath;
    bool made;
};

// Another process that holds a file open for writing, sharing reading and
// writing, from construction until destruction.
class HeldFile {
public:
    explicit HeldFile(const std::string &path) : ready(false), process(NULL), input(NULL)
    {
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
        HANDLE childInput = NULL, childOutput = NULL, output = NULL;
        if (!CreatePipe(&childInput, &input, &inherit, 0))
            return;
        SetHandleInformation(input, HANDLE_FLAG_INHERIT, 0);
        if (!CreatePipe(&output, &childOutput, &inherit, 0)) {
            CloseHandle(childInput);
            return;
        }
        SetHandleInformation(output, HANDLE_FLAG_INHERIT, 0);
        char self[MAX_PATH];
        GetModuleFileNameA(NULL, self, sizeof self);
        const std::string line = std::string("\"") + self + "\" \"--child=hold:" + path + "\"";
        std::vector<char> command(line.begin(), line.end());
        command.push_back('\0');
        STARTUPINFOA startup;
        ZeroMemory(&startup, sizeof startup);
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = childInput;
        startup.hStdOutput = childOutput;
        startup.hStdError = childOutput;
        PROCESS_INFORMATION started;
        if (CreateProcessA(NULL, command.data(), NULL, NULL, TRUE, 0, NULL, NULL, &startup, &started)) {
            process = started.hProcess;
            CloseHandle(started.hThread);
        }
        CloseHandle(childInput);
        CloseHandle(childOutput);
        std::string said;
        char buffer[256];
        DWORD got = 0;
        while (process && said.find("ready") == std::string::npos &&
               ReadFile(output, buffer, sizeof buffer, &got, NULL) && got > 0)
            said.append(buffer, got);
        ready = said.find("ready") != std::string::npos;
        CloseHandle(output);
    }
    ~HeldFile()
    {
        CloseHandle(input);  // the child's signal to close the file and end
        if (process) {
            if (WaitForSingleObject(process, 10000) != WAIT_OBJECT_0)
                TerminateProcess(process, 1);
            CloseHandle(process);
        }
    }
    bool ready;

private:
    HANDLE process;
    HANDLE input;
};

// Child: holds the file open for writing until its input ends.
int HoldFile(const std::string &path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        printf("cannot open %s: %lu\n", path.c_str(), GetLastError());
        return 1;
    }
    printf("ready\n");
    fflush(stdout);
    char byte;
    DWORD got = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), &byte, 1, &got, NULL) && got > 0) {
    }
    CloseHandle(file);
    return 0;
}

// Child: checks the certificate of the seed once, on a window station of its
// own (not visible: the library sees no interactive user) or on the
// parent's; prints dwError and the message boxes it answered.
int VerifyInChild(unsigned seed, bool hidden)
{
    if (hidden) {
        HWINSTA station = CreateWindowStationA("veriloom-scan-test", 0, WINSTA_ALL_ACCESS, NULL);
        if (!station || !SetProcessWindowStation(station)) {
            printf("no window station: %lu\n", GetLastError());
            return 1;
        }
    }
    char programFiles[2048];
    const DWORD length = GetEnvironmentVariableA(kProgramFilesVariable, programFiles, sizeof programFiles);
    if (length > 0 && length < sizeof programFiles)
        SetEnvironmentVariableA("ProgramFiles", programFiles);
    USEROBJECTFLAGS flags = {};
    GetUserObjectInformationA(GetProcessWindowStation(), UOI_FLAGS, &flags, sizeof flags, NULL);
    printf("visible=%d\n", (flags.dwFlags & WSF_VISIBLE) ? 1 : 0);
    std::unique_ptr<WindowWatcher> watcher(hidden ? NULL : new WindowWatcher);
    {
        LoadedProvider provider;
        if (!provider.verify) {
            printf("library not loaded\n");
            return 1;
        }
        MadeCertificate certificate(seed);
        printf("dwError=%08lx\n", Verify(provider, certificate));
    }
    if (watcher) {
        for (const std::string &box : MessageBoxes(*watcher))
            printf("box=%s\n", box.c_str());
    }
    fflush(stdout);
    return 0;
}

std::string ProgramFilesEntry()
{
    char value[2048] = "";
    GetEnvironmentVariableA("ProgramFiles", value, sizeof value);
    return std::string(kProgramFilesVariable) + "=" + value;
}

// Runs this program again as a child that checks the certificate of the
// seed, with extra environment entries. Wine's loader is started as a Unix
// program: unlike a Windows child, it takes LC_ALL and WINEDEBUG from the
// environment it is given, and Wine's own messages reach its output.
std::string VerifyChildOutput(unsigned seed, bool hidden, const std::string &environment)
{
    char self[MAX_PATH];
    GetModuleFileNameA(NULL, self, sizeof self);
    const std::string output =
        RunUnixShell("/usr/lib/wine/wine64 '" + UnixPath(self) + "' --child=" +
                         (hidden ? "verify-hidden:" : "verify:") + std::to_string(seed),
                     {ProgramFilesEntry(), environment});
    EXPECT_NE(std::string::npos, output.find("exit=0")) << output;
    return output;
}

bool HaveSysFile()
{
    return GetFileAttributesA((std::string("Z:") + kSysFile).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string DwErrorLine(DWORD error)
{
    char line[32];
    snprintf(line, sizeof line, "dwError=%08lx", error);
    return line;
}

// Each test: a fresh installation folder, a watcher for the message boxes
// of this (interactive) process, and a load of the library of its own.
class BlacklistScan : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(provider.verify != NULL) << ProviderPath();
    }
    DWORD Check(MadeCertificate &certificate)
    {
        return Verify(provider, certificate);
    }
    Lines Boxes() { return MessageBoxes(watcher); }
    void List(const std::string &name, const MadeCertificate &certificate)
    {
        folder.Write(name, certificate.fingerprint + "\n");
    }

    InstallFolder folder;
    WindowWatcher watcher;
    LoadedProvider provider;
};

TEST_F(BlacklistScan, NamePrefixIgnoresLetterCase)
{
    MadeCertificate lower, mixed, unlisted;
    List("blacklist.txt", lower);
    List("BlackList-x", mixed);
    EXPECT_EQ(kRevoked, Check(lower));
    EXPECT_EQ(kRevoked, Check(mixed));
    EXPECT_EQ(kNotChecked, Check(unlisted));
    EXPECT_EQ(Lines(), Boxes());
}

TEST_F(BlacklistScan, OtherNamesAndFoldersAreNotRead)
{
    MadeCertificate shortName, laterPrefix, inFolder;
    List("BLACKLIS", shortName);
    List("xBLACKLIST", laterPrefix);
    ASSERT_TRUE(CreateDirectoryA((folder.installDir + "BLACKLIST.dir").c_str(), NULL));
    List("BLACKLIST.dir\\BLACKLIST", inFolder);
    EXPECT_EQ(kNotChecked, Check(shortName));
    EXPECT_EQ(kNotChecked, Check(laterPrefix));
    EXPECT_EQ(kNotChecked, Check(inFolder));
    EXPECT_EQ(Lines(), Boxes());  // the folder is not opened either
}

TEST_F(BlacklistScan, FilesFromTheSizeLimitOnAreSkipped)
{
    MadeCertificate atLimit, beyond4GiB, belowLimit;
    // Sparse: only the first block is written to disk.
    ASSERT_TRUE(WriteSparseFile(folder.installDir + "BLACKLIST-big", 0x8000000, atLimit.fingerprint + "\n"));
    // Its size's low half alone is small.
    ASSERT_TRUE(WriteSparseFile(folder.installDir + "BLACKLIST-huge", 0x100000040LL, beyond4GiB.fingerprint + "\n"));
    ASSERT_TRUE(WriteSparseFile(folder.installDir + "BLACKLIST-limit", 0x7FFFFFF, belowLimit.fingerprint + "\n"));
    EXPECT_EQ(kNotChecked, Check(atLimit));
    EXPECT_EQ(kNotChecked, Check(beyond4GiB));
    EXPECT_EQ(kRevoked, Check(belowLimit));
    EXPECT_EQ(Lines(), Boxes());
}

TEST_F(BlacklistScan, EmptyFileListsNothing)
{
    MadeCertificate certificate;
    folder.Write("BLACKLIST", "");
    EXPECT_EQ(kNotChecked, Check(certificate));
    EXPECT_EQ(Lines(), Boxes());
}

TEST_F(BlacklistScan, TextEndsAtTheFirstNul)
{
    MadeCertificate hidden, before;
    folder.Write("BLACKLIST", before.fingerprint + "\n" + std::string(1, '\0') + hidden.fingerprint + "\n");
    EXPECT_EQ(kNotChecked, Check(hidden));
    EXPECT_EQ(kRevoked, Check(before));
    EXPECT_EQ(Lines(), Boxes());
}

TEST_F(BlacklistScan, FingerprintMatchesInLowerCaseAnywhereInText)
{
    MadeCertificate upper, embedded;
    std::string upperText = upper.fingerprint;
    for (char &c : upperText)
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    ASSERT_NE(upper.fingerprint, upperText);  // the digits hold a letter
    folder.Write("BLACKLIST-upper", upperText + "\n");
    folder.Write("BLACKLIST-run", "# weak\n0123456789abcdef" + embedded.fingerprint + "fedcba9876543210\n");
    EXPECT_EQ(kNotChecked, Check(upper));
    EXPECT_EQ(kRevoked, Check(embedded));
    EXPECT_EQ(Lines(), Boxes());
}

TEST_F(BlacklistScan, KeyInTwoFilesIsRevokedAtTheFirstFile)
{
    MadeCertificate certificate;
    List("BLACKLIST-1", certificate);
    List("BLACKLIST-2", certificate);
    EXPECT_EQ(kRevoked, Check(certificate));
    EXPECT_EQ(Lines(), Boxes());

    // The same in a child that shows its events: one hit, one event.
    const std::string output = VerifyChildOutput(certificate.seed, false, "WINEDEBUG=warn+eventlog");
    EXPECT_NE(std::string::npos, output.find("visible=1")) << output;
    EXPECT_NE(std::string::npos, output.find(DwErrorLine(kRevoked))) << output;
    EXPECT_EQ(1u, CountOf(output, "Weak certificate found: '" + certificate.commonName + "'")) << output;
    EXPECT_EQ(0u, CountOf(output, "box=")) << output;
}

TEST_F(BlacklistScan, KeyInTwoFilesLogsOneEventWithoutUser)
{
    MadeCertificate certificate;
    List("BLACKLIST-1", certificate);
    List("BLACKLIST-2", certificate);
    const std::string output = VerifyChildOutput(certificate.seed, true, "WINEDEBUG=warn+eventlog");
    EXPECT_NE(std::string::npos, output.find("visible=0")) << output;
    EXPECT_NE(std::string::npos, output.find(DwErrorLine(kRevoked))) << output;
    EXPECT_EQ(1u, CountOf(output, "Weak certificate found: '" + certificate.commonName + "'")) << output;
}

TEST_F(BlacklistScan, MissingInstallFolderIsReported)
{
    MadeCertificate certificate;
    ASSERT_TRUE(RemoveDirectoryA((folder.root + "\\Veriloom").c_str()));
    EXPECT_EQ(kNotChecked, Check(certificate));
    EXPECT_EQ(Lines{ErrorBox("102/3")}, Boxes());  // ERROR_PATH_NOT_FOUND
}

TEST_F(BlacklistScan, MissingProgramFilesIsReported)
{
    MadeCertificate certificate;
    ASSERT_TRUE(SetEnvironmentVariableA("ProgramFiles", NULL));
    EXPECT_EQ(kNotChecked, Check(certificate));
    EXPECT_EQ(Lines{ErrorBox("101/203")}, Boxes());  // ERROR_ENVVAR_NOT_FOUND
}

TEST_F(BlacklistScan, FileHeldForWritingIsReportedAndOthersAreStillRead)
{
    MadeCertificate certificate;
    folder.Write("BLACKLIST-1-held", "# being updated\n");
    List("BLACKLIST-2", certificate);
    ASSERT_EQ((Lines{"BLACKLIST-1-held", "BLACKLIST-2"}), FolderNames(folder.installDir));
    HeldFile held(folder.installDir + "BLACKLIST-1-held");
    ASSERT_TRUE(held.ready);
    EXPECT_EQ(kRevoked, Check(certificate));
    EXPECT_EQ(Lines{ErrorBox("104/32")}, Boxes());  // ERROR_SHARING_VIOLATION
}

TEST_F(BlacklistScan, FileShorterThanListedIsReportedAndOthersAreStillRead)
{
    if (!HaveSysFile())
        GTEST_SKIP() << kSysFile << " is missing";
    MadeCertificate certificate;
    UnixLink shrinking(folder.installDir + "BLACKLIST-1-sys", kSysFile);
    ASSERT_TRUE(shrinking.made);
    List("BLACKLIST-2", certificate);
    ASSERT_EQ((Lines{"BLACKLIST-1-sys", "BLACKLIST-2"}), FolderNames(folder.installDir));
    // What makes it short: the listed size is more than a read delivers.
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA(shrinking.path.c_str(), &entry);
    ASSERT_NE(INVALID_HANDLE_VALUE, find);
    FindClose(find);
    HANDLE file = CreateFileA(shrinking.path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    std::vector<char> buffer(entry.nFileSizeLow + 1);
    DWORD got = 0;
    EXPECT_TRUE(ReadFile(file, buffer.data(), entry.nFileSizeLow, &got, NULL));
    CloseHandle(file);
    ASSERT_LT(got, entry.nFileSizeLow);

    EXPECT_EQ(kRevoked, Check(certificate));
    EXPECT_EQ(Lines{ErrorBox("105/0")}, Boxes());  // a short read leaves no error code
}

TEST_F(BlacklistScan, LastFailureWinsAndIsShownOncePerScan)
{
    if (!HaveSysFile())
        GTEST_SKIP() << kSysFile << " is missing";
    MadeCertificate first, second;
    folder.Write("BLACKLIST-m-held", "# being updated\n");
    HeldFile held(folder.installDir + "BLACKLIST-m-held");
    ASSERT_TRUE(held.ready);
    {
        UnixLink before(folder.installDir + "BLACKLIST-a-sys", kSysFile);
        ASSERT_TRUE(before.made);
        ASSERT_EQ((Lines{"BLACKLIST-a-sys", "BLACKLIST-m-held"}), FolderNames(folder.installDir));
        EXPECT_EQ(kNotChecked, Check(first));
        EXPECT_EQ(Lines{ErrorBox("104/32")}, Boxes());
    }
    watcher.Clear();
    UnixLink after(folder.installDir + "BLACKLIST-z-sys", kSysFile);
    ASSERT_TRUE(after.made);
    ASSERT_EQ((Lines{"BLACKLIST-m-held", "BLACKLIST-z-sys"}), FolderNames(folder.installDir));
    EXPECT_EQ(kNotChecked, Check(second));
    EXPECT_EQ(Lines{ErrorBox("105/0")}, Boxes());
}

TEST_F(BlacklistScan, ErrorMessageInGerman)
{
    MadeCertificate certificate;
    ASSERT_TRUE(RemoveDirectoryA((folder.root + "\\Veriloom").c_str()));
    const std::string output = VerifyChildOutput(certificate.seed, false, "LC_ALL=de_AT.UTF-8");
    EXPECT_NE(std::string::npos, output.find(DwErrorLine(kNotChecked))) << output;
    const std::string box = std::string("box=") + kCaption +
                            "|Fehler beim \xC3\x9C" "berpr\xC3\xBC" "fen des Zertifikats [102/3]!";
    EXPECT_EQ(1u, CountOf(output, box)) << output;
    EXPECT_EQ(1u, CountOf(output, "box=")) << output;
}

} // namespace

int RunChildMode(const std::string &mode)
{
    if (mode.compare(0, 5, "hold:") == 0)
        return HoldFile(mode.substr(5));
    if (mode.compare(0, 7, "verify:") == 0)
        return VerifyInChild(static_cast<unsigned>(atoi(mode.c_str() + 7)), false);
    if (mode.compare(0, 14, "verify-hidden:") == 0)
        return VerifyInChild(static_cast<unsigned>(atoi(mode.c_str() + 14)), true);
    return 2;
}
