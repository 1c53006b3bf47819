// SHA-1 against the FIPS 180-1 / RFC 3174 vectors, the digest object's states,
// and the modulus digest that key fingerprints are made of.

#include "provider/sha1_blocks.h"
#include "provider/sha1_digest.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string Sha1Hex(const std::string &text, size_t pieceSize)
{
    TSha1Digest sha;
    for (size_t i = 0; i < text.size(); i += pieceSize) {
        const size_t n = std::min(pieceSize, text.size() - i);
        EXPECT_TRUE(sha.Update(reinterpret_cast<const uint8_t *>(text.data() + i), static_cast<int32_t>(n)));
    }
    EXPECT_TRUE(sha.Finish());
    return sha.GetHex();
}

std::string ModulusDigest(const Bytes &modulus)
{
    char destination[80] = "untouched";
    EXPECT_EQ(kDigestOk, DigestModulus(modulus.data(), static_cast<uint32_t>(modulus.size()), destination,
                                       sizeof destination));
    return destination;
}

// The published vectors, 80 times "01234567", and lengths around the length
// field: 55 bytes fit it into the last block, 56 to 64 need one more; on
// every block kernel this build and processor have (the fastest is used).
TEST(Sha1, KnownDigestsWholeAndInPieces)
{
    std::string repeated;
    for (int i = 0; i < 80; i++)
        repeated += "01234567";
    const struct {
        std::string message;
        const char *digest;
    } vectors[] = {
        {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
        {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {repeated, "dea356a2cddd90c7a7ecedc5ebb563934f460452"},
        {std::string(55, 'a'), "c1c8bbdc22796e28c0e15163d20899b65621d65a"},
        {std::string(56, 'a'), "c2db330f6083854c99d4b5bfb6e8f29f201be699"},
        {std::string(63, 'a'), "03f09f5b158a7a8cdad920bddc29b81c18a551f5"},
        {std::string(64, 'a'), "0098ba824b5c16427bd7a1122a5a442a25ec644d"},
    };
    EXPECT_EQ(Sha1KernelAvailable(kSha1ShaExtensions) ? kSha1ShaExtensions : kSha1Portable, FastestSha1Kernel());
    for (const Sha1Kernel kernel : {kSha1Portable, kSha1ShaExtensions}) {
        if (!UseSha1Kernel(kernel))
            continue;
        // Whole, byte by byte, and in pieces that straddle block boundaries.
        for (const auto &v : vectors)
            for (size_t piece : {v.message.size() + 1, size_t(1), size_t(5), size_t(7), size_t(63), size_t(200)})
                EXPECT_EQ(v.digest, Sha1Hex(v.message, piece))
                    << "kernel " << kernel << ", " << v.message.size() << " bytes in pieces of " << piece;
    }
    UseSha1Kernel(FastestSha1Kernel());
}

TEST(Sha1, RoutinesReportArgumentAndStateErrors)
{
    Sha1Context context;
    uint8_t digest[kSha1HashSize];
    const uint8_t byte = 'a';
    EXPECT_EQ(kSha1Null, Sha1Reset(nullptr));
    EXPECT_EQ(kSha1Success, Sha1Reset(&context));
    EXPECT_EQ(kSha1Success, Sha1Input(&context, nullptr, 0));
    EXPECT_EQ(kSha1Null, Sha1Input(&context, nullptr, 1));
    EXPECT_EQ(kSha1Null, Sha1Input(nullptr, &byte, 1));
    EXPECT_EQ(kSha1Null, Sha1Result(&context, nullptr));

    EXPECT_EQ(kSha1Success, Sha1Input(&context, &byte, 1));
    EXPECT_EQ(kSha1Success, Sha1Result(&context, digest));
    EXPECT_EQ(kSha1StateError, Sha1Input(&context, &byte, 1));
    EXPECT_EQ(kSha1StateError, Sha1Result(&context, digest));
}

TEST(Sha1, MessageLongerThanTwoToThe64BitsIsRefused)
{
    Sha1Context context;
    uint8_t block[64] = {0};
    Sha1Reset(&context);
    context.lengthHigh = 0xFFFFFFFFu;
    context.lengthLow = 0xFFFFFC00u;  // 128 bytes short of 2^64 bits
    EXPECT_EQ(kSha1Success, Sha1Input(&context, block, 64));
    EXPECT_EQ(kSha1Success, Sha1Input(&context, block, 63));
    EXPECT_EQ(kSha1Null, Sha1Input(&context, block, 1));
    EXPECT_EQ(kSha1Null, Sha1Input(&context, block, 1));
}

TEST(TSha1Digest, FinishTwiceGivesTheSameDigestAndInputAfterwardsFails)
{
    TSha1Digest sha;
    EXPECT_TRUE(sha.Update(reinterpret_cast<const uint8_t *>("abc"), 3));
    EXPECT_TRUE(sha.Update(nullptr, 0));
    EXPECT_FALSE(sha.Update(reinterpret_cast<const uint8_t *>("abc"), -1));
    EXPECT_TRUE(sha.Finish());
    const std::string first = sha.GetHex();
    EXPECT_TRUE(sha.Finish());
    EXPECT_EQ(first, sha.GetHex());
    EXPECT_EQ("a9993e364706816aba3e25717850c26c9cd0d89d", first);

    EXPECT_FALSE(sha.Update(reinterpret_cast<const uint8_t *>("d"), 1));
    EXPECT_FALSE(sha.Finish());
    EXPECT_TRUE(sha.Reset());
    EXPECT_EQ(std::string(40, '0'), sha.GetHex());
}

TEST(TSha1Digest, WithoutContextEveryOperationFails)
{
    FailNothrowAllocationsAfter(0);
    TSha1Digest sha;
    FailNothrowAllocationsAfter(-1);
    EXPECT_FALSE(sha.Reset());
    EXPECT_FALSE(sha.Update(reinterpret_cast<const uint8_t *>("abc"), 3));
    EXPECT_FALSE(sha.Finish());
    EXPECT_EQ(40u, strlen(sha.GetHex()));
}

TEST(DigestModulus, HashesTheModulusText)
{
    EXPECT_EQ(Sha1Hex("Modulus=0AB0\n", 64), ModulusDigest(Bytes{0x0A, 0xB0}));
    EXPECT_EQ(Sha1Hex("Modulus=\n", 64), ModulusDigest(Bytes{}));
    EXPECT_EQ(Sha1Hex("Modulus=0000FF\n", 64), ModulusDigest(Bytes{0x00, 0x00, 0xFF}));
}

TEST(DigestModulus, LongModuliAreHashedWhole)
{
    // Moduli around the old 4095-character text limit and far beyond it:
    // the digest covers every byte, so keys that differ only at the end differ.
    const size_t lengths[] = {2043, 2044, 2048, 65536};
    for (size_t length : lengths) {
        Bytes modulus(length);
        for (size_t i = 0; i < length; i++)
            modulus[i] = static_cast<uint8_t>(i * 7 + 1);
        std::string text = "Modulus=" + ToHex(modulus.data(), modulus.size()) + "\n";
        for (size_t i = 8; i < text.size(); i++)
            text[i] = static_cast<char>(toupper(static_cast<unsigned char>(text[i])));
        EXPECT_EQ(Sha1Hex(text, text.size()), ModulusDigest(modulus)) << length;

        Bytes changed = modulus;
        changed.back() ^= 1;
        EXPECT_NE(ModulusDigest(modulus), ModulusDigest(changed)) << length;
    }
}

TEST(DigestModulus, MatchesIndependentDigestsOfLargeModuli)
{
    const std::string dir = TestDataDir();
    if (dir.empty())
        GTEST_SKIP() << "VERILOOM_TEST_DATA not set";
    const auto rows = ReadTsv(dir + "/sha1/expected.tsv");
    ASSERT_EQ(2u, rows.size());
    for (const auto &row : rows) {
        Bytes modulus;
        ASSERT_TRUE(ReadWholeFile(dir + "/sha1/" + row[0], &modulus)) << row[0];
        EXPECT_EQ(row[1], ModulusDigest(modulus)) << row[0];
    }
}

TEST(DigestModulus, FailuresLeaveTheDestinationUntouched)
{
    const uint8_t modulus[] = {0x0A, 0xB0};
    char destination[80] = "untouched";

    FailNothrowAllocationsAfter(0);
    EXPECT_EQ(kDigestNoObject, DigestModulus(modulus, 2, destination, sizeof destination));
    FailNothrowAllocationsAfter(1);
    EXPECT_EQ(kDigestUpdateFailed, DigestModulus(modulus, 2, destination, sizeof destination));
    FailNothrowAllocationsAfter(-1);
    EXPECT_EQ(kDigestUpdateFailed, DigestModulus(nullptr, 2, destination, sizeof destination));
    EXPECT_STREQ("untouched", destination);

    // A short destination gets the cut digest, as every bounded copy does.
    char shortDestination[21];
    EXPECT_EQ(kDigestOk, DigestModulus(modulus, 2, shortDestination, sizeof shortDestination));
    EXPECT_EQ(Sha1Hex("Modulus=0AB0\n", 64).substr(0, 20), shortDestination);
}

} // namespace
