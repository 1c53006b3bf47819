// The blacklist scan: which files are read, what they list, scan errors.
// The export is called directly; every test has its own installation folder
// and its own load of the library (so an empty verdict cache), and every
// case its own key.

#include "tests/windows/support/provider_test_support.h"

#include <gtest/gtest.h>

namespace {

typedef std::vector<std::string> Lines;

// A sysfs file: stat gives 4096 bytes, a read gives a few.
const char kSysFile[] = "/sys/devices/system/cpu/online";

// The names in a folder in the order FindFirstFile/FindNextFile give them.
Lines FolderNames(const std::string &folder)
{
    Lines names;
    for (const WIN32_FIND_DATAA &entry : FindEntries(folder + "*"))
        names.push_back(entry.cFileName);
    return names;
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

// A Unix symbolic link in a Windows folder, made and removed with ln and
// rm: Wine 8's CreateSymbolicLink succeeds without making anything, and its
// DeleteFile refuses a link to a read-only file (and SetFileAttributes
// would change the target).
class UnixLink {
public:
    UnixLink(const std::string &windowsPath, const char *target) : path(windowsPath), unixPath(UnixPath(windowsPath))
    {
        made = !unixPath.empty() &&
               RunUnixShell(std::string("ln -s ") + target + " '" + unixPath + "'").find("exit=0") != std::string::npos;
    }
    ~UnixLink()
    {
        if (!unixPath.empty())
            RunUnixShell("rm -f '" + unixPath + "'");
    }
    std::string path, unixPath;
    bool made;
};

// A file held open for writing (sharing reading and writing), as a program
// that is updating it would; the scan opens it for reading without sharing
// writes, which fails with a sharing violation whoever holds the handle.
class HeldFile {
public:
    explicit HeldFile(const std::string &path)
        : file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, NULL))
    {
    }
    ~HeldFile() { CloseHandle(file); }
    bool Ready() const { return file != INVALID_HANDLE_VALUE; }

private:
    HANDLE file;
};

bool HaveSysFile()
{
    return GetFileAttributesA((std::string("Z:") + kSysFile).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Each test: a fresh installation folder, a watcher for the message boxes
// of this (interactive) process, and a load of the library of its own.
class BlacklistScan : public ProviderTest {
protected:
    DWORD Check(const MadeCertificate &certificate)
    {
        EXPECT_EQ(20u, certificate.fingerprint.size());
        return VerifyOnce(provider.verify, &certificate.context);
    }
    static uint32_t NextSeed()
    {
        static uint32_t seed = 0;
        return ++seed;
    }

    WindowWatcher watcher;
    MadeCertificate first{NextSeed()}, second{NextSeed()};
};

// The installation folder's files as rows; "{1}", "{2}", "{3}" stand for the
// fingerprints of three new keys, "{U1}" for the first in upper case. A row
// with a size is a sparse file of that size with the content at its start.
struct FileRow {
    std::string name, content;
    LONGLONG sparseSize;
};
struct ListingCase {
    const char *what;
    std::vector<FileRow> files;
    DWORD verdicts[3];
};

const ListingCase kListings[] = {
    {"prefix in any case", {{"blacklist.txt", "{1}\n", 0}, {"BlackList-x", "{2}\n", 0}}, {kRevoked, kRevoked, kNoCheck}},
    {"other names and folders",
     {{"BLACKLIS", "{1}\n", 0}, {"xBLACKLIST", "{2}\n", 0}, {"BLACKLIST.dir\\BLACKLIST", "{3}\n", 0}},
     {kNoCheck, kNoCheck, kNoCheck}},
    {"sizes from the limit on are skipped (0x8000000; beyond 4 GiB with a small low half)",
     {{"BLACKLIST-big", "{1}\n", 0x8000000}, {"BLACKLIST-huge", "{2}\n", 0x100000040LL},
      {"BLACKLIST-limit", "{3}\n", 0x7FFFFFF}},
     {kNoCheck, kNoCheck, kRevoked}},
    {"empty file", {{"BLACKLIST", "", 0}}, {kNoCheck, kNoCheck, kNoCheck}},
    {"text ends at the first NUL", {{"BLACKLIST", std::string("{2}\n\0{1}\n", 9), 0}}, {kNoCheck, kRevoked, kNoCheck}},
    {"lower case only, anywhere in a line",
     {{"BLACKLIST-upper", "{U1}\n", 0}, {"BLACKLIST-run", "# weak\n0123456789abcdef{2}fedcba9876543210\n", 0}},
     {kNoCheck, kRevoked, kNoCheck}},
    {"a key in two files: revoked at the first, one event", {{"BLACKLIST-1", "{1}\n", 0}, {"BLACKLIST-2", "{1}\n", 0}},
     {kRevoked, kNoCheck, kNoCheck}},
};

void Replace(std::string *text, const std::string &mark, const std::string &by)
{
    for (size_t at = text->find(mark); at != std::string::npos; at = text->find(mark))
        text->replace(at, mark.size(), by);
}

// Every row in a folder of its own with new keys (the library stays loaded);
// a refused key writes exactly one event, and no row shows a message box.
TEST_F(BlacklistScan, FileNamesAndContents)
{
    for (const ListingCase &c : kListings) {
        const InstallFolder rowFolder;
        const MadeCertificate keys[3] = {MadeCertificate(NextSeed()), MadeCertificate(NextSeed()),
                                         MadeCertificate(NextSeed())};
        std::string upper = keys[0].fingerprint;
        CharUpperBuffA(&upper[0], static_cast<DWORD>(upper.size()));
        ASSERT_NE(keys[0].fingerprint, upper);  // the digits hold a letter
        for (const FileRow &file : c.files) {
            std::string content = file.content;
            Replace(&content, "{U1}", upper);
            for (int k = 0; k < 3; k++)
                Replace(&content, "{" + std::to_string(k + 1) + "}", keys[k].fingerprint);
            if (file.name.find('\\') != std::string::npos)
                CreateDirectoryA((rowFolder.installDir + file.name.substr(0, file.name.find('\\'))).c_str(), NULL);
            if (file.sparseSize)
                ASSERT_TRUE(WriteSparseFile(rowFolder.installDir + file.name, file.sparseSize, content)) << c.what;
            else
                rowFolder.Write(file.name, content);
        }
        size_t refused = 0;
        for (int k = 0; k < 3; k++) {
            EXPECT_EQ(c.verdicts[k], Check(keys[k])) << c.what << ": key " << k + 1;
            refused += c.verdicts[k] == kRevoked ? 1 : 0;
        }
        EXPECT_EQ(refused, CountLines(TakeLibraryCalls(), "event ", true)) << c.what;
    }
    EXPECT_EQ(Lines(), watcher.MessageBoxes());  // the folder is not opened either
}

TEST_F(BlacklistScan, MissingInstallFolderOrProgramFilesIsReported)
{
    ASSERT_TRUE(RemoveDirectoryA((folder.root + "\\Veriloom").c_str()));
    EXPECT_EQ(kNoCheck, Check(first));
    ASSERT_TRUE(SetEnvironmentVariableA("ProgramFiles", NULL));
    EXPECT_EQ(kNoCheck, Check(second));
    // ERROR_PATH_NOT_FOUND, ERROR_ENVVAR_NOT_FOUND
    EXPECT_EQ((Lines{ErrorBox("102/3"), ErrorBox("101/203")}), watcher.MessageBoxes());
}

TEST_F(BlacklistScan, FileHeldForWritingIsReportedAndOthersAreStillRead)
{
    folder.Write("BLACKLIST-1-held", "# being updated\n");
    folder.Write("BLACKLIST-2", first.fingerprint + "\n");
    ASSERT_EQ((Lines{"BLACKLIST-1-held", "BLACKLIST-2"}), FolderNames(folder.installDir));
    HeldFile held(folder.installDir + "BLACKLIST-1-held");
    ASSERT_TRUE(held.Ready());
    EXPECT_EQ(kRevoked, Check(first));
    EXPECT_EQ(Lines{ErrorBox("104/32")}, watcher.MessageBoxes());  // ERROR_SHARING_VIOLATION
}

TEST_F(BlacklistScan, FileShorterThanListedIsReportedAndOthersAreStillRead)
{
    if (!HaveSysFile())
        GTEST_SKIP() << kSysFile << " is missing";
    UnixLink shrinking(folder.installDir + "BLACKLIST-1-sys", kSysFile);
    ASSERT_TRUE(shrinking.made);
    folder.Write("BLACKLIST-2", first.fingerprint + "\n");
    ASSERT_EQ((Lines{"BLACKLIST-1-sys", "BLACKLIST-2"}), FolderNames(folder.installDir));
    // What makes it short: the listed size is more than a read delivers.
    const std::vector<WIN32_FIND_DATAA> listed = FindEntries(shrinking.path);
    ASSERT_EQ(1u, listed.size());
    std::string content;
    ASSERT_TRUE(ReadTextFile(shrinking.path, &content));
    ASSERT_LT(content.size(), listed[0].nFileSizeLow);

    EXPECT_EQ(kRevoked, Check(first));
    EXPECT_EQ(Lines{ErrorBox("105/0")}, watcher.MessageBoxes());  // a short read leaves no error code
}

TEST_F(BlacklistScan, LastFailureWinsAndIsShownOncePerScan)
{
    if (!HaveSysFile())
        GTEST_SKIP() << kSysFile << " is missing";
    folder.Write("BLACKLIST-m-held", "# being updated\n");
    HeldFile held(folder.installDir + "BLACKLIST-m-held");
    ASSERT_TRUE(held.Ready());
    {
        UnixLink before(folder.installDir + "BLACKLIST-a-sys", kSysFile);
        ASSERT_TRUE(before.made);
        ASSERT_EQ((Lines{"BLACKLIST-a-sys", "BLACKLIST-m-held"}), FolderNames(folder.installDir));
        EXPECT_EQ(kNoCheck, Check(first));
        EXPECT_EQ(Lines{ErrorBox("104/32")}, watcher.MessageBoxes());
    }
    watcher.Clear();
    UnixLink after(folder.installDir + "BLACKLIST-z-sys", kSysFile);
    ASSERT_TRUE(after.made);
    ASSERT_EQ((Lines{"BLACKLIST-m-held", "BLACKLIST-z-sys"}), FolderNames(folder.installDir));
    EXPECT_EQ(kNoCheck, Check(second));
    EXPECT_EQ(Lines{ErrorBox("105/0")}, watcher.MessageBoxes());
}

// Run for a German user only (scan_german_tests): the library's messages
// in German, for a certificate the walker refuses and for a scan error.
class InGermanScan : public BlacklistScan {};

TEST_F(InGermanScan, ErrorMessages)
{
    ASSERT_EQ(0x0C07, GetUserDefaultLangID());
    const TestCertificate broken("outer-sig-rsaenc.der");
    EXPECT_EQ(kNoCheck, VerifyOnce(provider.verify, broken.context));
    ASSERT_TRUE(RemoveDirectoryA((folder.root + "\\Veriloom").c_str()));
    EXPECT_EQ(kNoCheck, Check(first));
    EXPECT_EQ((Lines{ErrorBox("12/4"), ErrorBox("102/3")}), watcher.MessageBoxes());
}

} // namespace
