// Fixed-width unsigned integers for the structural key checks: enough for an
// 8192-bit RSA modulus and the intermediate values of its checks, kept on the
// stack (no heap, no library). Portable: no Windows header.
#pragma once

#include <cstdint>

const uint32_t kBigNumberMaxModulusBits = 8192;
// Two limbs above the largest modulus: (ceil(sqrt(n)) + 100)^2 exceeds n.
const uint32_t kBigNumberLimbs = kBigNumberMaxModulusBits / 32 + 2;

// Little-endian 32-bit limbs; limbs at and above `used` are not read, and
// limb[used - 1] is non-zero (used is 0 for zero).
struct BigNumber {
    uint32_t used;
    uint32_t limb[kBigNumberLimbs];
};

// Operations that can exceed the width return false and leave their output
// undefined. Outputs may be the same object as an input unless said otherwise.

// Big-endian bytes (leading zero bytes allowed); false when the value is wider
// than kBigNumberMaxModulusBits.
bool BigFromBytes(BigNumber *out, const uint8_t *bytes, uint32_t length);
void BigFromSmall(BigNumber *out, uint32_t value);
uint32_t BigBitLength(const BigNumber &a);
bool BigIsZero(const BigNumber &a);
// -1, 0 or 1 as a is less than, equal to or greater than b.
int BigCompare(const BigNumber &a, const BigNumber &b);

bool BigAdd(BigNumber *out, const BigNumber &a, const BigNumber &b);
// a - b; false (out undefined) when b > a.
bool BigSubtract(BigNumber *out, const BigNumber &a, const BigNumber &b);
bool BigMultiplySmall(BigNumber *out, const BigNumber &a, uint32_t factor);
// out must be neither a nor b.
bool BigMultiply(BigNumber *out, const BigNumber &a, const BigNumber &b);
bool BigShiftLeft(BigNumber *out, const BigNumber &a, uint32_t bits);
void BigShiftRight(BigNumber *out, const BigNumber &a, uint32_t bits);

// floor(a / b) and a mod b (either output may be null); false when b is zero.
bool BigDivide(BigNumber *quotient, BigNumber *remainder, const BigNumber &a, const BigNumber &b);
// a mod divisor, divisor non-zero.
uint32_t BigRemainderSmall(const BigNumber &a, uint32_t divisor);

// floor(sqrt(a)).
void BigSquareRoot(BigNumber *root, const BigNumber &a);
bool BigIsPerfectSquare(const BigNumber &a);
