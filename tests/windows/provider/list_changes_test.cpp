// Blacklist lookups through the export: texts of the shapes that a chunked
// read and an index could get wrong, and a library that stays loaded while
// its lists are rewritten, added, removed or replaced under checking
// threads. Boxes and dialogs are recorded, not shown (a dialog refuses).
// Lists set an hour or so back count as settled: the library may index them.

#include "tests/windows/support/provider_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <deque>
#include <thread>

namespace {

// Keys made from seeds, at fixed addresses (a context points into its own
// encoding).
typedef std::deque<MadeCertificate> Keys;
const MadeCertificate &AddKey(Keys *keys, uint32_t seed)
{
    keys->emplace_back(seed, "list-change");
    return keys->back();
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

class LoadedLibraryTest : public ProviderTest {
protected:
    DWORD Check(const MadeCertificate &key) { return VerifyOnce(provider.verify, &key.context); }
    size_t MessageBoxCalls() { return CountLines(TakeLibraryCalls(), "messagebox", true); }

    HiddenLibraryBoxes hidden;
    Keys keys;
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
        const MadeCertificate &key = AddKey(&keys, serial++);
        folder.Write("BLACKLIST.SHAPE", shape.text(key.fingerprint));
        EXPECT_EQ(shape.expected, Check(key)) << shape.what;
        // Settled and indexed: the same answer from what the library keeps.
        ASSERT_TRUE(BackdateFile(folder.installDir + "BLACKLIST.SHAPE", 3600));
        for (int again = 0; again < 3; again++) {
            const MadeCertificate &other = AddKey(&keys, serial++);
            folder.Write("BLACKLIST.OTHER", shape.text(other.fingerprint));
            EXPECT_EQ(shape.expected, Check(other)) << shape.what << " again " << again;
            folder.Remove("BLACKLIST.OTHER");
        }
    }
    EXPECT_EQ(0u, MessageBoxCalls());
}

// A list read twice while unchanged is indexed (by the library's worker
// thread) and answers without being read (a list locked against reading
// does not matter then); a rewrite,
// a new list and a removed list count from the next check on.
TEST_F(LoadedLibraryTest, ListChangesCountAtOnce)
{
    for (uint32_t i = 0; i < 8; i++)
        AddKey(&keys, 0x310000 + i);
    const std::string pathA = folder.installDir + "BLACKLIST.A";
    folder.Write("BLACKLIST.A", Filler(4000) + keys[1].fingerprint + "\n");
    ASSERT_TRUE(BackdateFile(pathA, 7200));
    EXPECT_EQ(kNoCheck, Check(keys[0]));
    EXPECT_EQ(kNoCheck, Check(keys[7]));
    WaitForIndexWorker();

    HANDLE locked = CreateFileA(pathA.c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, locked);
    EXPECT_EQ(kRevoked, Check(keys[1]));
    CloseHandle(locked);
    EXPECT_EQ(0u, MessageBoxCalls());

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
    EXPECT_EQ(0u, MessageBoxCalls());
}

// Sixteen threads check new keys while the list is replaced again and again
// (same size, other keys, settled or not): every replacement succeeds (the
// library's reads share delete access), each answer is that of the old or
// the new content or none, and a key in neither is never refused. Key i is in the
// old list when i % 3 == 0, in the new when 1.
TEST_F(LoadedLibraryTest, ListReplacedWhileSixteenThreadsCheck)
{
    const uint32_t count = 3000;
    std::string contents[2];
    for (uint32_t i = 0; i < count; i++) {
        const MadeCertificate &key = AddKey(&keys, 0x320000 + i);
        if (i % 3 < 2)
            contents[i % 3] += key.fingerprint + "\n";
    }
    ASSERT_EQ(contents[0].size(), contents[1].size());
    const std::string list = folder.installDir + "BLACKLIST.SWAP";
    const std::string spare = folder.installDir + "spare.tmp";
    folder.Write("BLACKLIST.SWAP", contents[0]);
    ASSERT_TRUE(BackdateFile(list, 3600));

    std::atomic<uint32_t> next{0};
    std::atomic<int> wrong{0}, checks{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 16; t++)
        threads.emplace_back([&] {
            for (uint32_t i; (i = next++) < count; checks++) {
                CERT_REVOCATION_STATUS status;
                const BOOL result = CallExport(provider.verify, {&keys[i].context}, &status);
                if (result || (status.dwError != kRevoked && status.dwError != kNoCheck) ||
                    (i % 3 == 2 && status.dwError != kNoCheck))
                    wrong++;
            }
        });
    int replaced = 0, rounds = 0;
    for (int round = 1; next < count; round++, rounds++) {
        folder.Write("spare.tmp", contents[round % 2]);
        if (round % 3)
            BackdateFile(spare, 3600 + round);
        // As Setup replaces a list: the old one renamed aside (while the
        // library may be reading it), the new one moved in.
        const std::string aside = folder.installDir + "aside" + std::to_string(round) + ".tmp";
        if (MoveFileExA(list.c_str(), aside.c_str(), 0) && MoveFileExA(spare.c_str(), list.c_str(), 0))
            replaced++;
        DeleteFileA(aside.c_str());
        Sleep(5);
    }
    for (std::thread &thread : threads)
        thread.join();
    EXPECT_EQ(0, wrong) << "of " << checks << " checks";
    EXPECT_EQ(static_cast<int>(count), checks);
    EXPECT_EQ(rounds, replaced);  // never kept from it by the library's reads
}

} // namespace
