// The fingerprint index against the windows of its text counted by hand:
// every 20-digit window is found, its neighbours only when they are windows
// too, repeats take no room, and a text of long hex runs is not indexed.
// The texts are fed in pieces that cut lines anywhere.

#include "provider/fingerprint_index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

const char kDigits[] = "0123456789abcdef";

std::string RandomDigits(std::mt19937_64 &random, size_t n)
{
    std::string digits;
    for (size_t i = 0; i < n; i++)
        digits += kDigits[random() % 16];
    return digits;
}

std::set<std::string> Windows(const std::string &text)
{
    std::set<std::string> windows;
    size_t run = 0;
    for (size_t i = 0; i < text.size(); i++) {
        run = strchr(kDigits, text[i]) && text[i] ? run + 1 : 0;
        if (run >= kFingerprintDigits)
            windows.insert(text.substr(i + 1 - kFingerprintDigits, kFingerprintDigits));
    }
    return windows;
}

// The index of the text fed in pieces of the given size; null when it
// was not indexed.
FingerprintIndex *Build(const std::string &text, size_t piece, bool *overflowed = nullptr)
{
    IndexBuilder builder(text.size());
    for (size_t at = 0; at < text.size(); at += piece)
        builder.Add(text.data() + at, std::min(piece, text.size() - at));
    if (overflowed)
        *overflowed = builder.Overflowed();
    return builder.Finish();
}

bool Contains(const FingerprintIndex *index, const std::string &fingerprint)
{
    uint8_t packed[kPackedFingerprintBytes];
    return PackFingerprint(fingerprint.c_str(), packed) && IndexContains(index, packed);
}

std::string Lines(const std::vector<std::string> &fingerprints)
{
    std::string text = "# weak keys 0123\n";
    for (const std::string &fingerprint : fingerprints)
        text += fingerprint + "\n";
    return text;
}

struct IndexCase {
    const char *name;
    std::string text;
};

std::vector<IndexCase> Cases()
{
    std::mt19937_64 random(18);
    std::vector<IndexCase> cases;

    // Every fingerprint three times, shuffled: large enough for the bucket
    // table, and small.
    for (const size_t distinct : {140000, 2000}) {
        std::vector<std::string> lines;
        for (size_t i = 0; i < distinct; i++)
            lines.push_back(RandomDigits(random, kFingerprintDigits));
        for (size_t i = 0; i < 2 * distinct; i++)
            lines.push_back(lines[i % distinct]);
        std::shuffle(lines.begin(), lines.end(), random);
        cases.push_back({distinct > 100000 ? "repeats, bucketed" : "repeats, small", Lines(lines)});
    }

    // One bucket holds everything, repeats among them.
    std::vector<std::string> oneBucket;
    for (size_t i = 0; i < 150000; i++)
        oneBucket.push_back("beef" + RandomDigits(random, 16));
    for (size_t i = 0; i < 1000; i++)
        oneBucket.push_back(oneBucket[i * 7]);
    cases.push_back({"one bucket", Lines(oneBucket)});

    // Every bucket, from 1 to 30 fingerprints (both sides of each sorting
    // method's limit), with the smallest and largest tails and repeats.
    std::vector<std::string> everyBucket;
    for (unsigned bucket = 0; bucket < 65536; bucket++) {
        char head[5];
        snprintf(head, sizeof head, "%04x", bucket);
        const size_t size = bucket % 97 == 0 ? 9 + bucket % 22 : 1 + random() % 9;
        for (size_t i = 0; i < size; i++) {
            const unsigned kind = static_cast<unsigned>(random() % 16);
            everyBucket.push_back(head + (kind == 0   ? std::string(16, '0')
                                          : kind == 1 ? std::string(16, 'f')
                                          : kind == 2 && !everyBucket.empty()
                                              ? everyBucket.back().substr(4)
                                              : RandomDigits(random, 16)));
        }
    }
    std::shuffle(everyBucket.begin(), everyBucket.end(), random);
    cases.push_back({"every bucket", Lines(everyBucket)});

    // Longer runs (each 20-digit window of them counts) among lines, as
    // dense as still indexed; CR LF and upper case.
    std::string mixed;
    for (size_t i = 0; i < 20000; i++) {
        const size_t length = random() % 40 == 0 ? 21 + random() % 3 : 20;
        mixed += RandomDigits(random, length) + (random() % 3 ? "\n" : "\r\n") +
                 (random() % 10 ? "" : "# ABCDEF 2008\n");
    }
    cases.push_back({"longer runs", mixed});
    return cases;
}

TEST(FingerprintIndex, FindsExactlyTheWindowsOfItsText)
{
    std::mt19937_64 random(5);
    for (const IndexCase &c : Cases()) {
        const std::set<std::string> windows = Windows(c.text);
        for (const size_t piece : {size_t{7}, size_t{21}, size_t{0x10000}}) {
            FingerprintIndex *index = Build(c.text, piece);
            ASSERT_NE(nullptr, index) << c.name;
            size_t checked = 0;
            for (const std::string &window : windows) {
                if (checked++ % 7 != 0 && window.compare(0, 4, "0000") && window.compare(0, 4, "ffff"))
                    continue;  // a sample, and the first and last buckets whole
                ASSERT_TRUE(Contains(index, window)) << c.name << " " << window;
                for (const size_t digit : {size_t{0}, size_t{3}, size_t{4}, size_t{19}}) {
                    std::string neighbour = window;
                    neighbour[digit] = kDigits[(strchr(kDigits, window[digit]) - kDigits + 1 + random() % 15) % 16];
                    ASSERT_EQ(windows.count(neighbour) == 1, Contains(index, neighbour)) << c.name << " " << neighbour;
                }
            }
            // Repeats take no room: the index of the windows once each is as large.
            std::vector<std::string> once(windows.begin(), windows.end());
            FingerprintIndex *unique = Build(Lines(once), 0x10000);
            EXPECT_EQ(IndexBytes(unique), IndexBytes(index)) << c.name;
            ReleaseIndex(unique);
            ReleaseIndex(index);
        }
    }
}

// A text with more windows than one per 20 bytes is not indexed; one with
// exactly as many still is.
TEST(FingerprintIndex, DenseTextsAreNotIndexed)
{
    struct Dense {
        std::string text;
        bool indexed;
    } cases[] = {
        {"0123456789abcdef01234", true},                   // 2 windows, room for 2
        {"0123456789abcdef012345", false},                 // 3 windows
        {std::string(39, 'a') + "\n", false},
        {std::string(20, '1') + "\n" + std::string(20, '2'), true},
        {std::string(200000, 'e'), false},
    };
    for (const Dense &c : cases) {
        for (const size_t piece : {size_t{1}, size_t{0x10000}}) {
            bool overflowed = false;
            FingerprintIndex *index = Build(c.text, piece, &overflowed);
            EXPECT_EQ(c.indexed, index != nullptr) << c.text.size();
            EXPECT_EQ(!c.indexed, overflowed) << c.text.size();
            for (const std::string &window : Windows(c.text))
                EXPECT_TRUE(!index || Contains(index, window)) << window;
            ReleaseIndex(index);
        }
    }
}

} // namespace
