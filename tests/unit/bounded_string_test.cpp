// Bounded string routines: fitting, cutting and refusing, for copy, append,
// format and length.

#include "common/bounded_string.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

const size_t kTooLarge = static_cast<size_t>(kBoundedMaxCapacity) + 1;

// A buffer filled with a marker byte, to see exactly what a call wrote.
struct Buffer {
    char text[16];
    Buffer() { memset(text, 'X', sizeof text); }
    bool Untouched() const
    {
        for (char c : text)
            if (c != 'X')
                return false;
        return true;
    }
};

TEST(BoundedCopy, FitsCutsAndRefuses)
{
    Buffer b;
    EXPECT_EQ(kBoundedOk, BoundedCopy(b.text, 4, "abc"));
    EXPECT_STREQ("abc", b.text);

    Buffer cut;
    EXPECT_EQ(kBoundedInsufficientBuffer, BoundedCopy(cut.text, 3, "abc"));
    EXPECT_STREQ("ab", cut.text);
    EXPECT_EQ('X', cut.text[3]);

    Buffer one;
    EXPECT_EQ(kBoundedInsufficientBuffer, BoundedCopy(one.text, 1, "abc"));
    EXPECT_STREQ("", one.text);
    EXPECT_EQ('X', one.text[1]);

    Buffer none;
    EXPECT_EQ(kBoundedInvalidArg, BoundedCopy(none.text, 0, "abc"));
    EXPECT_TRUE(none.Untouched());

    Buffer empty;
    EXPECT_EQ(kBoundedOk, BoundedCopy(empty.text, 1, ""));
    EXPECT_STREQ("", empty.text);
}

TEST(BoundedAppend, JoinsWithinTheWholeBuffer)
{
    Buffer b;
    BoundedCopy(b.text, sizeof b.text, "abc");
    EXPECT_EQ(kBoundedOk, BoundedAppend(b.text, 6, "de"));
    EXPECT_STREQ("abcde", b.text);

    Buffer cut;
    BoundedCopy(cut.text, sizeof cut.text, "abc");
    EXPECT_EQ(kBoundedInsufficientBuffer, BoundedAppend(cut.text, 5, "de"));
    EXPECT_STREQ("abcd", cut.text);
}

TEST(BoundedAppend, FullBufferStaysAsItIs)
{
    Buffer full;
    BoundedCopy(full.text, 4, "abc");
    EXPECT_EQ(kBoundedOk, BoundedAppend(full.text, 4, ""));
    EXPECT_STREQ("abc", full.text);
    EXPECT_EQ(kBoundedInsufficientBuffer, BoundedAppend(full.text, 4, "d"));
    EXPECT_STREQ("abc", full.text);
}

TEST(BoundedAppend, UnterminatedDestinationIsRefused)
{
    Buffer b;
    EXPECT_EQ(kBoundedInvalidArg, BoundedAppend(b.text, sizeof b.text, "de"));
    EXPECT_EQ(kBoundedInvalidArg, BoundedAppend(b.text, sizeof b.text, ""));
    EXPECT_TRUE(b.Untouched());
    // The NUL must lie within the capacity, not merely somewhere in memory.
    b.text[4] = '\0';
    EXPECT_EQ(kBoundedInvalidArg, BoundedAppend(b.text, 4, "de"));
    EXPECT_EQ(kBoundedInvalidArg, BoundedAppend(b.text, 0, "de"));
    EXPECT_EQ(kBoundedOk, BoundedAppend(b.text, 6, "d"));
    EXPECT_STREQ("XXXXd", b.text);
}

TEST(BoundedFormat, FitsCutsAndRefuses)
{
    Buffer b;
    EXPECT_EQ(kBoundedOk, BoundedFormat(b.text, 3, "%02X", 10u));
    EXPECT_STREQ("0A", b.text);

    Buffer cut;
    EXPECT_EQ(kBoundedInsufficientBuffer, BoundedFormat(cut.text, 2, "%02X", 10u));
    EXPECT_STREQ("0", cut.text);

    Buffer message;
    EXPECT_EQ(kBoundedOk, BoundedFormat(message.text, sizeof message.text, "[%u/%u] %s", 12u, 3u, "x"));
    EXPECT_STREQ("[12/3] x", message.text);

    Buffer none;
    EXPECT_EQ(kBoundedInvalidArg, BoundedFormat(none.text, 0, "%s", "abc"));
    EXPECT_TRUE(none.Untouched());
}

TEST(BoundedRoutines, CapacityAboveLimitTouchesNothing)
{
    Buffer b;
    EXPECT_EQ(kBoundedInvalidArg, BoundedCopy(b.text, kTooLarge, "abc"));
    EXPECT_EQ(kBoundedInvalidArg, BoundedFormat(b.text, kTooLarge, "%s", "abc"));
    EXPECT_EQ(kBoundedInvalidArg, BoundedCopy(b.text, static_cast<size_t>(-1), "abc"));
    EXPECT_TRUE(b.Untouched());
    b.text[0] = '\0';
    EXPECT_EQ(kBoundedInvalidArg, BoundedAppend(b.text, kTooLarge, "abc"));
    EXPECT_EQ('X', b.text[1]);
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
