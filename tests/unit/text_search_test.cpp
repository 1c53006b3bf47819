// The blacklist search: first occurrence, byte for byte, within the given
// length; checked against std::string::find and strstr on generated text,
// on every implementation the machine has.

#include "provider/text_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

const TextSearchKernel kKernels[] = {kTextSearchPortable, kTextSearchSse2, kTextSearchAvx2};

class OnEachKernel : public ::testing::TestWithParam<TextSearchKernel> {
protected:
    void SetUp() override
    {
        if (!TextSearchKernelAvailable(GetParam()))
            GTEST_SKIP() << "not on this machine";
    }
    // On a copy of exactly the text's size, so that a read past its end is
    // found by the address sanitizer.
    bool Contains(const std::string &text, const char *pattern)
    {
        const std::vector<char> exact(text.begin(), text.end());
        return ContainsTextOn(GetParam(), exact.data(), exact.size(), pattern);
    }
    bool ContainsBeforeNul(const std::string &text, const char *pattern, size_t *end)
    {
        const std::vector<char> exact(text.begin(), text.end());
        return ContainsTextBeforeNulOn(GetParam(), exact.data(), exact.size(), pattern, end);
    }
};

std::string KernelName(const ::testing::TestParamInfo<TextSearchKernel> &kernel)
{
    const char *const names[] = {"Portable", "Sse2", "Avx2"};
    return names[kernel.param];
}

INSTANTIATE_TEST_SUITE_P(TextSearch, OnEachKernel, ::testing::ValuesIn(kKernels), KernelName);

TEST_P(OnEachKernel, PlacesAndEdges)
{
    const char *fingerprint = "0123456789abcdef0123";
    EXPECT_TRUE(Contains(std::string("0123456789abcdef0123"), fingerprint));
    EXPECT_TRUE(Contains(std::string("# list\n0123456789abcdef0123\n"), fingerprint));
    EXPECT_TRUE(Contains(std::string("ff0123456789abcdef0123ff"), fingerprint));  // inside a longer run
    EXPECT_FALSE(Contains(std::string("0123456789ABCDEF0123"), fingerprint));     // case counts
    EXPECT_FALSE(Contains(std::string("0123456789abcdef012"), fingerprint));      // one short
    EXPECT_FALSE(Contains(std::string(""), fingerprint));
    EXPECT_TRUE(Contains(std::string(""), ""));
    EXPECT_TRUE(Contains(std::string("aaab"), "aab"));
    EXPECT_TRUE(Contains(std::string("abab\xff\x80x"), "\xff\x80"));

    // Only the given length is searched.
    const std::string text = "xx0123456789abcdef0123";
    EXPECT_FALSE(ContainsTextOn(GetParam(), text.data(), text.size() - 1, fingerprint));
}

TEST_P(OnEachKernel, AgreesWithFindOnHexText)
{
    std::mt19937 random(7);
    const char digits[] = "0123456789abcdef";
    for (int round = 0; round < 2000; round++) {
        std::string text;
        const int length = static_cast<int>(random() % 400);
        for (int i = 0; i < length; i++)
            text += (random() % 41 == 0) ? '\n' : digits[random() % 4];  // few symbols: many near misses
        std::string pattern;
        const int patternLength = 1 + static_cast<int>(random() % 8);
        for (int i = 0; i < patternLength; i++)
            pattern += digits[random() % 4];
        ASSERT_EQ(text.find(pattern) != std::string::npos, Contains(text, pattern.c_str())) << text << " / " << pattern;
    }
}

// The search up to the first NUL agrees with strstr, and finds the NUL.
TEST_P(OnEachKernel, BeforeNulAgreesWithStrstr)
{
    std::mt19937 random(9);
    const char symbols[] = "0123\0";
    for (int round = 0; round < 4000; round++) {
        std::string text;
        const int length = static_cast<int>(random() % (round % 2 ? 200 : 400));
        const unsigned nulEvery = round % 2 ? 60 : 300;  // short texts that end soon, long ones that run on
        for (int i = 0; i < length; i++)
            text += random() % nulEvery == 0 ? '\0' : symbols[random() % 4];
        std::string pattern;
        const int patternLength = 1 + static_cast<int>(random() % 22);
        for (int i = 0; i < patternLength; i++)
            pattern += symbols[random() % 4];
        size_t end = 12345;
        const bool found = ContainsBeforeNul(text, pattern.c_str(), &end);
        ASSERT_EQ(strstr(text.c_str(), pattern.c_str()) != nullptr, found) << round;
        ASSERT_EQ(strlen(text.c_str()), end) << round;
    }
}

// A long text with nothing like the pattern (passed over a block at a time
// where the processor allows) and the pattern at each place: found; cut by
// a NUL inside it, or followed by one, at each place as well.
TEST_P(OnEachKernel, EveryPlaceInALongQuietText)
{
    const std::string pattern = "0123456789abcdef0123";
    const size_t length = 700;
    for (size_t at = 0; at + pattern.size() <= length; at++) {
        std::string text(length, 'x');
        text.replace(at, pattern.size(), pattern);
        ASSERT_TRUE(Contains(text, pattern.c_str())) << at;
        size_t end = 0;
        std::string cut = text;
        cut[at + 11] = '\0';
        ASSERT_FALSE(ContainsBeforeNul(cut, pattern.c_str(), &end)) << at;
        ASSERT_EQ(at + 11, end);
        const size_t nul = std::min(length - 1, at + pattern.size() + at % 150);
        cut = text;
        cut[nul] = '\0';
        ASSERT_EQ(nul >= at + pattern.size(), ContainsBeforeNul(cut, pattern.c_str(), &end)) << at;
        ASSERT_EQ(nul, end) << at;
    }
}

TEST(LengthBeforeNul, EveryPlaceOfTheFirstNul)
{
    std::string text(100, 'x');
    EXPECT_EQ(100u, LengthBeforeNul(text.data(), text.size()));
    EXPECT_EQ(0u, LengthBeforeNul(text.data(), 0));
    for (size_t at = 0; at < 100; at++) {
        std::string withNul = text;
        withNul[at] = '\0';
        withNul[std::min<size_t>(at + 3, 99)] = '\0';
        EXPECT_EQ(at, LengthBeforeNul(withNul.data(), withNul.size())) << at;
        EXPECT_EQ(std::min<size_t>(at, 50), LengthBeforeNul(withNul.data(), 50)) << at;
    }
}

} // namespace
