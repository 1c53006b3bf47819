// Bounded string routines: fitting, cutting and refusing, for copy, append,
// format and length.

#include "common/bounded_string.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

namespace {

const size_t kTooLarge = static_cast<size_t>(kBoundedMaxCapacity) + 1;

// A buffer filled with a marker byte, to see exactly what a call wrote.
struct Buffer {
    char text[16];
    Buffer() { memset(text, 'X', sizeof text); }
    bool Untouched() const { return std::string(text, sizeof text) == std::string(sizeof text, 'X'); }
};

// A call on a fresh buffer that holds `start` (NULL: nothing): its result,
// and the text it leaves (NULL: the buffer untouched) with the marker after it.
struct Call {
    const char *start;
    std::function<BoundedResult(char *)> call;
    BoundedResult result;
    const char *text;
};

void ExpectCalls(std::initializer_list<Call> calls)
{
    for (const Call &c : calls) {
        Buffer b;
        if (c.start)
            BoundedCopy(b.text, sizeof b.text, c.start);
        EXPECT_EQ(c.result, c.call(b.text)) << (c.text ? c.text : "untouched");
        if (c.text) {
            EXPECT_STREQ(c.text, b.text);
        }
        EXPECT_TRUE(c.text ? b.text[strlen(c.text) + 1] == 'X' : b.Untouched()) << (c.text ? c.text : "untouched");
    }
}

TEST(BoundedCopy, FitsCutsAndRefuses)
{
    ExpectCalls({
        {NULL, [](char *text) { return BoundedCopy(text, 4, "abc"); }, kBoundedOk, "abc"},
        {NULL, [](char *text) { return BoundedCopy(text, 3, "abc"); }, kBoundedInsufficientBuffer, "ab"},
        {NULL, [](char *text) { return BoundedCopy(text, 1, "abc"); }, kBoundedInsufficientBuffer, ""},
        {NULL, [](char *text) { return BoundedCopy(text, 0, "abc"); }, kBoundedInvalidArg, NULL},
        {NULL, [](char *text) { return BoundedCopy(text, 1, ""); }, kBoundedOk, ""},
    });
}

// Within the whole buffer; a full buffer stays as it is.
TEST(BoundedAppend, JoinsWithinTheWholeBuffer)
{
    ExpectCalls({
        {"abc", [](char *text) { return BoundedAppend(text, 6, "de"); }, kBoundedOk, "abcde"},
        {"abc", [](char *text) { return BoundedAppend(text, 5, "de"); }, kBoundedInsufficientBuffer, "abcd"},
        {"abc", [](char *text) { return BoundedAppend(text, 4, ""); }, kBoundedOk, "abc"},
        {"abc", [](char *text) { return BoundedAppend(text, 4, "d"); }, kBoundedInsufficientBuffer, "abc"},
    });
}

TEST(BoundedAppend, UnterminatedDestinationIsRefused)
{
    ExpectCalls({
        {NULL, [](char *text) { return BoundedAppend(text, 16, "de"); }, kBoundedInvalidArg, NULL},
        {NULL, [](char *text) { return BoundedAppend(text, 16, ""); }, kBoundedInvalidArg, NULL},
        // The NUL must lie within the capacity, not merely somewhere in memory.
        {"XXXX", [](char *text) { return BoundedAppend(text, 4, "de"); }, kBoundedInvalidArg, "XXXX"},
        {"XXXX", [](char *text) { return BoundedAppend(text, 0, "de"); }, kBoundedInvalidArg, "XXXX"},
        {"XXXX", [](char *text) { return BoundedAppend(text, 6, "d"); }, kBoundedOk, "XXXXd"},
    });
}

TEST(BoundedFormat, FitsCutsAndRefuses)
{
    ExpectCalls({
        {NULL, [](char *text) { return BoundedFormat(text, 3, "%02X", 10u); }, kBoundedOk, "0A"},
        {NULL, [](char *text) { return BoundedFormat(text, 2, "%02X", 10u); }, kBoundedInsufficientBuffer, "0"},
        {NULL, [](char *text) { return BoundedFormat(text, 16, "[%u/%u] %s", 12u, 3u, "x"); }, kBoundedOk, "[12/3] x"},
        {NULL, [](char *text) { return BoundedFormat(text, 0, "%s", "abc"); }, kBoundedInvalidArg, NULL},
    });
}

TEST(BoundedRoutines, CapacityAboveLimitTouchesNothing)
{
    ExpectCalls({
        {NULL, [](char *text) { return BoundedCopy(text, kTooLarge, "abc"); }, kBoundedInvalidArg, NULL},
        {NULL, [](char *text) { return BoundedFormat(text, kTooLarge, "%s", "abc"); }, kBoundedInvalidArg, NULL},
        {NULL, [](char *text) { return BoundedCopy(text, static_cast<size_t>(-1), "abc"); }, kBoundedInvalidArg, NULL},
        {"", [](char *text) { return BoundedAppend(text, kTooLarge, "abc"); }, kBoundedInvalidArg, ""},
    });
}

TEST(BoundedLength, CountsWithinTheLimit)
{
    size_t length = 99;
    EXPECT_EQ(kBoundedOk, BoundedLength("abc", 4, &length));
    EXPECT_EQ(3u, length);
    EXPECT_EQ(kBoundedOk, BoundedLength("abc", 4, nullptr));

    length = 99;
    EXPECT_EQ(kBoundedInvalidArg, BoundedLength("abc", 3, &length));
    EXPECT_EQ(kBoundedInvalidArg, BoundedLength("abc", 0, &length));
    EXPECT_EQ(99u, length);
}

} // namespace
