// Blacklist lookups through the export: texts of the shapes that a chunked
// read and an index could get wrong, and a library that stays loaded while
// its lists are rewritten, added, removed or replaced under checking
// threads. Boxes and dialogs are recorded, not shown (a dialog refuses).
// Lists set an hour or so back count as settled: the library may index them.

#include "tests/windows/support/provider_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

// From lifecycle_test.cpp.
bool RecordLibraryCalls(HMODULE module);
std::vector<std::string> TakeLibraryCalls();
Bytes CraftCertificate(const std::string &commonName, uint32_t serial, std::string *fingerprint);
DWORD CheckCertificate(VerifyRevocationFunction verify, const Bytes &der);
void QuietLibraryCalls(bool quiet);

namespace {

const DWORD kRevoked = static_cast<DWORD>(CRYPT_E_REVOKED);
const DWORD kNoCheck = static_cast<DWORD>(CRYPT_E_NO_REVOCATION_CHECK);

struct Key {
    Bytes der;
    std::string fingerprint;
};

Key MakeKey(uint32_t serial)
{
    Key key;
    key.der = CraftCertificate("list-change", serial, &key.fingerprint);
    return key;
}

std::string Filler(size_t bytes)
{
    std::string text;
    for (uint32_t i = 0; text.size() < bytes; i++) {
        char line[32];
        snprintf(line, sizeof line, "%020u\n", i * 2654435761u);
        text += line;
    }
    text.resize(bytes);
    return text;
}

size_t CountPrefix(const std::vector<std::string> &lines, const std::string &prefix)
{
    return static_cast<size_t>(std::count_if(lines.begin(), lines.end(), [&](const std::string &line) {
        return line.compare(0, prefix.size(), prefix) == 0;
    }));
}

class LoadedLibraryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(provider.verify != NULL);
        ASSERT_TRUE(RecordLibraryCalls(provider.module));
        QuietLibraryCalls(true);
        TakeLibraryCalls();
    }
    void TearDown() override { QuietLibraryCalls(false); }

    DWORD Check(const Key &key) { return CheckCertificate(provider.verify, key.der); }

    InstallFolder folder;
    LoadedProvider provider;
};

// The fingerprint across a chunk boundary, at the very end without a line
// feed, before and after a NUL, in upper case, inside a long hex run and in
// a comment.
TEST_F(LoadedLibraryTest, TextShapesGiveTheVerdictOfTheText)
{
    struct Shape {
        const char *what;
        std::string (*text)(const std::string &fingerprint);
        DWORD expected;
    };
    const Shape shapes[] = {
        {"across 64 KiB", [](const std::string &f) { return Filler(65536 - 9) + f + "\n" + Filler(500); }, kRevoked},
        {"last, no line feed", [](const std::string &f) { return Filler(200000) + f; }, kRevoked},
        {"after a NUL", [](const std::string &f) { return Filler(100) + std::string(1, '\0') + f + "\n"; }, kNoCheck},
        {"before a NUL", [](const std::string &f) { return f + std::string(1, '\0') + "\x01\x02"; }, kRevoked},
        {"upper case",
         [](const std::string &f) {
             std::string upper = f;
             std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
             return Filler(1000) + upper + "\n";
         },
         kNoCheck},
        {"in a long hex run",
         [](const std::string &f) {
             std::string run(300000, 'a');
             run.replace(131072 - 7, f.size(), f);
             return run;
         },
         kRevoked},
        {"in a comment", [](const std::string &f) { return "# retired: " + f + " (2008)\n" + Filler(100); }, kRevoked},
    };
    uint32_t serial = 0x300000;
    for (const Shape &shape : shapes) {
        const Key key = MakeKey(serial++);
        folder.Write("BLACKLIST.SHAPE", shape.text(key.fingerprint));
        EXPECT_EQ(shape.expected, Check(key)) << shape.what;
        // Settled and indexed: the same answer from what the library keeps.
        ASSERT_TRUE(BackdateFile(folder.installDir + "BLACKLIST.SHAPE", 3600));
        for (int again = 0; again < 3; again++) {
            const Key other = MakeKey(serial++);
            folder.Write("BLACKLIST.OTHER", shape.text(other.fingerprint));
            EXPECT_EQ(shape.expected, Check(other)) << shape.what << " again " << again;
            folder.Remove("BLACKLIST.OTHER");
        }
    }
    EXPECT_EQ(0u, CountPrefix(TakeLibraryCalls(), "messagebox"));
}

// A list read twice while unchanged is indexed and answers without being
// read (a list locked against reading does not matter then); a rewrite,
// a new list and a removed list count from the next check on.
TEST_F(LoadedLibraryTest, ListChangesCountAtOnce)
{
    std::vector<Key> keys;
    for (uint32_t i = 0; i < 8; i++)
        keys.push_back(MakeKey(0x310000 + i));
    const std::string pathA = folder.installDir + "BLACKLIST.A";
    folder.Write("BLACKLIST.A", Filler(4000) + keys[1].fingerprint + "\n");
    ASSERT_TRUE(BackdateFile(pathA, 7200));
    EXPECT_EQ(kNoCheck, Check(keys[0]));
    EXPECT_EQ(kNoCheck, Check(keys[7]));

    HANDLE locked = CreateFileA(pathA.c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, locked);
    EXPECT_EQ(kRevoked, Check(keys[1]));
    CloseHandle(locked);
    EXPECT_EQ(0u, CountPrefix(TakeLibraryCalls(), "messagebox"));

    // Rewritten, same size, still an hour old.
    folder.Write("BLACKLIST.A", Filler(4000) + keys[2].fingerprint + "\n");
    ASSERT_TRUE(BackdateFile(pathA, 3600));
    EXPECT_EQ(kRevoked, Check(keys[2]));
    EXPECT_EQ(kNoCheck, Check(keys[3]));

    folder.Write("BLACKLIST.B", keys[4].fingerprint + "\n");
    EXPECT_EQ(kRevoked, Check(keys[4]));

    folder.Write("BLACKLIST.A", Filler(4000) + keys[5].fingerprint + "\n");
    ASSERT_TRUE(BackdateFile(pathA, 1800));
    EXPECT_EQ(kNoCheck, Check(keys[6]));
    folder.Remove("BLACKLIST.A");
    EXPECT_EQ(kNoCheck, Check(keys[5]));
    EXPECT_EQ(0u, CountPrefix(TakeLibraryCalls(), "messagebox"));
}

// Sixteen threads check new keys while the list is replaced again and again
// (same size, other keys, settled or not): each answer is that of the old or
// the new content, and a key in neither is never refused.
struct ReplaceShared {
    VerifyRevocationFunction verify;
    std::vector<Key> keys;          // key i is in the old list when i % 3 == 0, in the new when 1
    volatile LONG next;
    volatile LONG wrong;
    volatile LONG checks;
};

DWORD WINAPI ReplaceWorker(void *param)
{
    ReplaceShared *shared = static_cast<ReplaceShared *>(param);
    for (;;) {
        const LONG i = InterlockedIncrement(&shared->next) - 1;
        if (i >= static_cast<LONG>(shared->keys.size()))
            return 0;
        const DWORD answer = CheckCertificate(shared->verify, shared->keys[static_cast<size_t>(i)].der);
        if ((answer != kRevoked && answer != kNoCheck) || (i % 3 == 2 && answer != kNoCheck))
            InterlockedIncrement(&shared->wrong);
        InterlockedIncrement(&shared->checks);
    }
}

TEST_F(LoadedLibraryTest, ListReplacedWhileSixteenThreadsCheck)
{
    ReplaceShared shared;
    shared.verify = provider.verify;
    shared.next = 0;
    shared.wrong = 0;
    shared.checks = 0;
    std::string contents[2];
    for (uint32_t i = 0; i < 3000; i++) {
        shared.keys.push_back(MakeKey(0x320000 + i));
        if (i % 3 < 2)
            contents[i % 3] += shared.keys.back().fingerprint + "\n";
    }
    ASSERT_EQ(contents[0].size(), contents[1].size());
    const std::string list = folder.installDir + "BLACKLIST.SWAP";
    const std::string spare = folder.installDir + "spare.tmp";
    folder.Write("BLACKLIST.SWAP", contents[0]);
    ASSERT_TRUE(BackdateFile(list, 3600));

    HANDLE threads[16];
    for (HANDLE &thread : threads) {
        thread = CreateThread(NULL, 0, ReplaceWorker, &shared, 0, NULL);
        ASSERT_TRUE(thread != NULL);
    }
    int replaced = 0;
    for (int round = 1; shared.next < static_cast<LONG>(shared.keys.size()); round++) {
        folder.Write("spare.tmp", contents[round % 2]);
        if (round % 3)
            BackdateFile(spare, 3600 + round);
        if (MoveFileExA(spare.c_str(), list.c_str(), MOVEFILE_REPLACE_EXISTING))
            replaced++;
        Sleep(5);
    }
    EXPECT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(16, threads, TRUE, 120000));
    for (HANDLE thread : threads)
        CloseHandle(thread);
    EXPECT_EQ(0, shared.wrong) << "of " << shared.checks << " checks";
    EXPECT_EQ(static_cast<LONG>(shared.keys.size()), shared.checks);
    EXPECT_GT(replaced, 0);
}

} // namespace
