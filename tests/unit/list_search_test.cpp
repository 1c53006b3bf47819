// The blacklist folder search on an in-memory folder: for generated texts it
// finds a fingerprint exactly where strstr over the text up to its first NUL
// does, read in chunks of any size, from an index once a file version is
// known, and directly for texts of long hex runs; errors and file versions.

#include "provider/list_knowledge.h"
#include "provider/list_search.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

const uint64_t kSettled = 10;

struct FakeFile {
    std::string name;
    std::string content;      // what a read delivers (may be shorter than listed)
    FileVersion version;      // what the listing says
    uint32_t openError;       // non-zero: the open fails with it
};

class FakeFolder : public FolderSource {
public:
    std::vector<FakeFile> files;
    uint32_t listError = 0;
    uint64_t now = 1000;
    int reads = 0;            // files opened

    bool First(ListEntry *entry, uint32_t *error, uint32_t *errorValue) override
    {
        if (listError) {
            *error = listError;
            *errorValue = 77;
            return false;
        }
        position = 0;
        return Next(entry);
    }
    bool Next(ListEntry *entry) override
    {
        if (position >= files.size())
            return false;
        const FakeFile &file = files[position++];
        snprintf(entry->name, sizeof entry->name, "%s", file.name.c_str());
        entry->version = file.version;
        return true;
    }
    bool Open(const char *name, FileVersion *opened, uint32_t *errorValue) override
    {
        for (size_t i = 0; i < files.size(); i++) {
            if (files[i].name != name)
                continue;
            if (files[i].openError) {
                *errorValue = files[i].openError;
                return false;
            }
            open = i;
            offset = 0;
            *opened = files[i].version;
            reads++;
            return true;
        }
        *errorValue = 2;
        return false;
    }
    bool Read(char *buffer, size_t capacity, size_t *got, uint32_t *errorValue) override
    {
        const std::string &content = files[open].content;
        *got = std::min(capacity, content.size() - offset);
        memcpy(buffer, content.data() + offset, *got);
        offset += *got;
        *errorValue = 0;
        return true;
    }
    void Close() override {}
    void End() override {}
    uint64_t Now() override { return now; }
    uint64_t SettledTicks() override { return kSettled; }

    void Add(const std::string &name, const std::string &content, uint64_t lastWrite = 1)
    {
        files.push_back(FakeFile{name, content, FileVersion{content.size(), lastWrite, lastWrite}, 0});
    }

private:
    size_t position = 0;
    size_t open = 0;
    size_t offset = 0;
};

// The names of the files that list the fingerprint, in folder order.
std::vector<std::string> Listing(FakeFolder *folder, ListKnowledge *knowledge, const std::string &fingerprint,
                                 size_t chunk = 0, uint32_t *error = nullptr)
{
    std::vector<std::string> names;
    ListSearch search(folder, knowledge, fingerprint.c_str(), chunk);
    while (search.NextListing())
        names.push_back(search.ListingName());
    search.Finish();
    if (error)
        *error = search.errorCode * 1000 + search.errorValue;
    return names;
}

std::vector<std::string> ByStrstr(const FakeFolder &folder, const std::string &fingerprint)
{
    std::vector<std::string> names;
    for (const FakeFile &file : folder.files) {
        const std::string text(file.content.c_str());  // up to the first NUL
        if (file.version.size < kBlacklistSizeLimit && strstr(text.c_str(), fingerprint.c_str()))
            names.push_back(file.name);
    }
    return names;
}

// Texts in the shapes lists take and a few they should not: fingerprint
// lines, comments holding hex, CR LF, upper case, long hex runs, NULs, the
// key at the very end without a line feed, split anywhere a chunk may end.
std::string MakeText(std::mt19937 &random, const std::string &key)
{
    const char digits[] = "0123456789abcdef";
    auto hex = [&](size_t n) {
        std::string s;
        for (size_t i = 0; i < n; i++)
            s += digits[random() % 16];
        return s;
    };
    std::string text;
    const int lines = static_cast<int>(random() % 60);
    for (int i = 0; i < lines; i++) {
        switch (random() % 10) {
        case 0:
            text += "# list of " + hex(random() % 30) + " keys\n";
            break;
        case 1:
            text += key + "\n";
            break;
        case 2: {
            std::string upper = key;
            for (char &c : upper)
                c = static_cast<char>(toupper(c));
            text += upper + "\n";
            break;
        }
        case 3:
            text += hex(random() % (random() % 8 ? 12 : 200)) + key.substr(0, random() % 21) + hex(random() % 5) + "\r\n";
            break;
        case 4:
            text += key.substr(random() % 20) + "\n";
            break;
        case 5:
            if (random() % 4 == 0)
                text += '\0';
            break;
        default:
            text += hex(20) + "\n";
        }
    }
    if (random() % 3 == 0)
        text += key;  // at the very end, no line feed
    return text;
}

TEST(ListSearch, AgreesWithStrstrOverGeneratedFolders)
{
    std::mt19937 random(11);
    const std::string key = "0123456789abcdef0123";
    const size_t chunks[] = {1, 2, 7, 19, 20, 21, 64, 333, 0};
    int indexedRounds = 0;
    for (int round = 0; round < 1500; round++) {
        FakeFolder folder;
        const int files = 1 + static_cast<int>(random() % 3);
        for (int f = 0; f < files; f++)
            folder.Add("BLACKLIST." + std::to_string(f), MakeText(random, key));
        const std::vector<std::string> expected = ByStrstr(folder, key);
        const size_t chunk = chunks[round % (sizeof chunks / sizeof chunks[0])];

        ASSERT_EQ(expected, Listing(&folder, nullptr, key, chunk)) << "round " << round;
        // With knowledge: read and settled, read again (the index is now
        // wanted), indexed apart, then answered from the index without a read.
        ListKnowledge knowledge;
        for (int pass = 0; pass < 3; pass++) {
            ASSERT_EQ(expected, Listing(&folder, &knowledge, key, chunk)) << "round " << round << " pass " << pass;
            if (pass == 1)
                BuildWantedIndexes(&folder, &knowledge, chunk);
        }
        int dense = 0;  // files of long hex runs, read every time
        for (const FakeFile &file : folder.files) {
            IndexBuilder builder(file.version.size);
            builder.Add(file.content.c_str(), strlen(file.content.c_str()));
            dense += builder.Overflowed() ? 1 : 0;
        }
        folder.reads = 0;
        ASSERT_EQ(expected, Listing(&folder, &knowledge, key, chunk)) << "round " << round;
        EXPECT_EQ(dense, folder.reads) << "round " << round;
        indexedRounds += dense == 0 ? 1 : 0;
    }
    EXPECT_GT(indexedRounds, 500);  // both ways are taken often
}

TEST(ListSearch, LongHexRunsAreSearchedDirectly)
{
    std::mt19937 random(3);
    std::string run(200000, '0');
    for (char &c : run)
        c = "0123456789abcdef"[random() % 16];
    const std::string key = run.substr(123457, 20);
    FakeFolder folder;
    folder.Add("BLACKLIST.RUN", run);
    ListKnowledge knowledge;
    for (int pass = 0; pass < 4; pass++) {
        EXPECT_EQ(std::vector<std::string>{"BLACKLIST.RUN"}, Listing(&folder, &knowledge, key));
        BuildWantedIndexes(&folder, &knowledge);
    }
    EXPECT_LT(knowledge.BytesKept(), 1000u);  // no index for it
    folder.reads = 0;
    Listing(&folder, &knowledge, "fffffffffffffffffffe");
    EXPECT_EQ(1, folder.reads);
}

// Small and large indexes (the large ones bucketed by their first four
// digits) answer every listed fingerprint and its neighbours right, take at
// most 10 bytes a fingerprint, and go with their files.
TEST(ListSearch, IndexTakesTenBytesPerFingerprintAndGoesWithTheFiles)
{
    std::mt19937 random(5);
    const char digits[] = "0123456789abcdef";
    for (const size_t lines : {5000, 150000}) {
        std::vector<std::string> listed;
        std::string text = "# weak keys\n";
        for (size_t i = 0; i < lines; i++) {
            std::string line;
            for (int d = 0; d < 20; d++)
                line += digits[random() % 16];
            listed.push_back(line);
            text += line + "\n";
        }
        FakeFolder folder;
        folder.Add("BLACKLIST.A", text);
        ListKnowledge knowledge;
        EXPECT_EQ(0u, knowledge.BytesKept());
        for (int pass = 0; pass < 2; pass++)
            Listing(&folder, &knowledge, listed[0]);
        BuildWantedIndexes(&folder, &knowledge);
        EXPECT_LE(knowledge.BytesKept(), lines * 10 + 512) << lines;  // and a file record
        folder.reads = 0;
        for (size_t i = 0; i < lines; i += 997) {
            std::string neighbour = listed[i];
            neighbour[19] = neighbour[19] == '0' ? '1' : '0';
            EXPECT_EQ(1u, Listing(&folder, &knowledge, listed[i]).size()) << listed[i];
            EXPECT_EQ(text.find(neighbour) != std::string::npos, Listing(&folder, &knowledge, neighbour).size() == 1)
                << neighbour;
        }
        EXPECT_EQ(0, folder.reads);
        folder.files.clear();
        EXPECT_TRUE(Listing(&folder, &knowledge, listed[0]).empty());
        EXPECT_EQ(0u, knowledge.BytesKept());
    }
}

// A changed listing (size or time) is read again; a file that had not
// settled when read (written within the time stamp's resolution) is never
// indexed, so a rewrite with the same size and time stamp is still seen.
TEST(ListSearch, FileVersionsDecideWhatIsRead)
{
    const std::string a = "aaaaaaaaaaaaaaaaaaaa", b = "bbbbbbbbbbbbbbbbbbbb";
    FakeFolder folder;
    folder.Add("BLACKLIST", a + "\n");
    ListKnowledge knowledge;
    for (int pass = 0; pass < 3; pass++) {
        EXPECT_EQ(1u, Listing(&folder, &knowledge, a).size());
        BuildWantedIndexes(&folder, &knowledge);
    }
    folder.files[0] = FakeFile{"BLACKLIST", b + "\n", FileVersion{21, 2, 1}, 0};
    EXPECT_TRUE(Listing(&folder, &knowledge, a).empty());
    EXPECT_EQ(1u, Listing(&folder, &knowledge, b).size());

    // A build that cannot read the file gives it up: the file is read until
    // its next read wants the index again and a build makes it.
    EXPECT_TRUE(knowledge.BuildWanted());
    folder.files[0].openError = 5;
    BuildWantedIndexes(&folder, &knowledge);
    folder.files[0].openError = 0;
    EXPECT_FALSE(knowledge.BuildWanted());
    folder.reads = 0;
    EXPECT_EQ(1u, Listing(&folder, &knowledge, b).size());
    BuildWantedIndexes(&folder, &knowledge);
    EXPECT_EQ(1u, Listing(&folder, &knowledge, b).size());
    EXPECT_EQ(2, folder.reads);  // the search's and the build's

    folder.files[0].version = FileVersion{21, 3, 3};
    folder.now = 5;  // it changed less than the settling time ago
    for (int pass = 0; pass < 3; pass++) {
        EXPECT_EQ(1u, Listing(&folder, &knowledge, b).size());
        BuildWantedIndexes(&folder, &knowledge);
    }
    folder.files[0].content = a + "\n";  // same size and time stamp
    folder.reads = 0;
    EXPECT_EQ(1u, Listing(&folder, &knowledge, a).size());
    EXPECT_EQ(1, folder.reads);
}

TEST(ListSearch, ErrorsAndSkippedFiles)
{
    const std::string key = "0123456789abcdef0123";
    FakeFolder folder;
    uint32_t error = 0;
    folder.listError = kSearchFindFailed;
    EXPECT_TRUE(Listing(&folder, nullptr, key, 0, &error).empty());
    EXPECT_EQ(2077u, error);

    folder.listError = 0;
    folder.Add("BLACKLIST.1", key);
    folder.files[0].openError = 32;
    folder.Add("BLACKLIST.2", key);
    folder.files[1].version.size = 30;  // shrank after the listing
    folder.Add("BLACKLIST.3", key);
    folder.files[2].version.size = kBlacklistSizeLimit;
    folder.Add("BLACKLIST.4", key);
    EXPECT_EQ(std::vector<std::string>{"BLACKLIST.4"}, Listing(&folder, nullptr, key, 0, &error));
    EXPECT_EQ(5000u, error);  // the last error met
    folder.files.resize(1);
    ListKnowledge knowledge;
    EXPECT_TRUE(Listing(&folder, &knowledge, key, 0, &error).empty());
    EXPECT_EQ(4032u, error);
}

} // namespace
