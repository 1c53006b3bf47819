// The fixed-width integers: exact values computed with Python for the
// operations and the rare correction step of the division, then the
// defining identities of division and square root on random values up to
// the full width.

#include "provider/big_number.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

BigNumber Big(const std::string &hex)
{
    const Bytes bytes = FromHex(hex.size() % 2 ? "0" + hex : hex);
    BigNumber n;
    EXPECT_TRUE(BigFromBytes(&n, bytes.data(), static_cast<uint32_t>(bytes.size())));
    return n;
}

std::string HexOf(const BigNumber &n)
{
    std::string hex;
    static const char kDigits[] = "0123456789abcdef";
    for (uint32_t i = n.used; i-- > 0;)
        for (int shift = 28; shift >= 0; shift -= 4)
            hex += kDigits[(n.limb[i] >> shift) & 15];
    const size_t first = hex.find_first_not_of('0');
    return first == std::string::npos ? "0" : hex.substr(first);
}

BigNumber Random(std::mt19937 *random, uint32_t bits)
{
    BigNumber n;
    n.used = (bits + 31) / 32;
    for (uint32_t i = 0; i < n.used; i++)
        n.limb[i] = static_cast<uint32_t>((*random)());
    if (bits % 32)
        n.limb[n.used - 1] &= (1u << (bits % 32)) - 1;
    n.limb[n.used - 1] |= 1u << ((bits - 1) % 32);  // exactly `bits` bits
    return n;
}

TEST(BigNumber, ExactValues)
{
    BigNumber product, quotient, remainder, root, sum, difference;
    const BigNumber x = Big("9b3f1c2d4e5f60718293a4b5c6d7e8f90a1b2c3d4e5f6071");
    const BigNumber y = Big("fedcba9876543210f0e1d2c3b4a59687");
    ASSERT_TRUE(BigMultiply(&product, x, y));
    EXPECT_EQ("9a8e79597a65c78e1052d728e419c9e20d4037bd5da0eeefb1a93aaa3c34c82981f2fb9bd3a31197", HexOf(product));

    // The quotient digit estimate is one too large here: the divisor is added back.
    ASSERT_TRUE(BigDivide(&quotient, &remainder, Big("7fffffff8000000100000000fffffffe80000001"),
                          Big("ffffffff00000002fffffffe")));
    EXPECT_EQ("7fffffffffffffff", HexOf(quotient));
    EXPECT_EQ("80000001000000017fffffff", HexOf(remainder));

    BigSquareRoot(&root, Big("800000000000000000000000000000000000000000000000002bdc545d6b4b87"));
    EXPECT_EQ("b504f333f9de6484597d89b3754abe9f", HexOf(root));

    ASSERT_TRUE(BigAdd(&sum, Big("ffffffffffffffff"), Big("1")));
    EXPECT_EQ("10000000000000000", HexOf(sum));
    ASSERT_TRUE(BigSubtract(&difference, sum, Big("1")));
    EXPECT_EQ("ffffffffffffffff", HexOf(difference));
    EXPECT_FALSE(BigSubtract(&difference, Big("1"), sum));
    EXPECT_EQ(0x10000u % 167, BigRemainderSmall(Big("10000"), 167));
    EXPECT_EQ(65u, BigBitLength(sum));
    EXPECT_FALSE(BigDivide(&quotient, &remainder, sum, Big("0")));

    // Width: 8192-bit values and leading zero bytes are taken, wider ones not.
    BigNumber n;
    Bytes bytes(1025, 0xFF);
    bytes[0] = 0;
    EXPECT_TRUE(BigFromBytes(&n, bytes.data(), static_cast<uint32_t>(bytes.size())));
    EXPECT_EQ(8192u, BigBitLength(n));
    bytes[0] = 1;
    EXPECT_FALSE(BigFromBytes(&n, bytes.data(), static_cast<uint32_t>(bytes.size())));

    for (const char *small : {"0", "1", "2", "3", "4", "8", "9", "ffffffff", "100000000"}) {
        SCOPED_TRACE(small);
        BigNumber value = Big(small), square;
        BigSquareRoot(&root, value);
        ASSERT_TRUE(BigMultiply(&square, root, root));
        EXPECT_LE(BigCompare(square, value), 0);
    }
    EXPECT_TRUE(BigIsPerfectSquare(Big("0")));
    EXPECT_TRUE(BigIsPerfectSquare(Big("9")));
    EXPECT_FALSE(BigIsPerfectSquare(Big("8")));
}

// a = q*b + r with r < b; r^2 <= a < (r+1)^2; shifts undo each other.
TEST(BigNumber, IdentitiesOnRandomValues)
{
    std::mt19937 random(20171016);
    const uint32_t sizes[] = {1, 31, 32, 33, 64, 95, 256, 1023, 2048, 4097, 8192};
    for (uint32_t aBits : sizes) {
        for (uint32_t bBits : sizes) {
            SCOPED_TRACE(std::to_string(aBits) + "/" + std::to_string(bBits));
            const BigNumber a = Random(&random, aBits), b = Random(&random, bBits);
            BigNumber q, r, back;
            ASSERT_TRUE(BigDivide(&q, &r, a, b));
            EXPECT_LT(BigCompare(r, b), 0);
            ASSERT_TRUE(BigMultiply(&back, q, b));
            ASSERT_TRUE(BigAdd(&back, back, r));
            EXPECT_EQ(0, BigCompare(back, a));
            if (bBits <= 32) {
                EXPECT_EQ(BigRemainderSmall(a, b.limb[0]), r.used ? r.limb[0] : 0u);
            }
        }
        SCOPED_TRACE(aBits);
        const BigNumber a = Random(&random, aBits);
        BigNumber root, square, next, one;
        BigSquareRoot(&root, a);
        BigFromSmall(&one, 1);
        ASSERT_TRUE(BigMultiply(&square, root, root));
        EXPECT_LE(BigCompare(square, a), 0);
        ASSERT_TRUE(BigAdd(&next, root, one));
        ASSERT_TRUE(BigMultiply(&square, next, next));
        EXPECT_GT(BigCompare(square, a), 0);
        EXPECT_TRUE(BigIsPerfectSquare(square));

        BigNumber shifted, unshifted;
        ASSERT_TRUE(BigShiftLeft(&shifted, a, 37));
        BigShiftRight(&unshifted, shifted, 37);
        EXPECT_EQ(0, BigCompare(unshifted, a));
    }
}

} // namespace
