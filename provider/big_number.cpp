// Fixed-width unsigned integers (see big_number.h). Schoolbook arithmetic on
// 32-bit limbs with 64-bit intermediates; division is Knuth's algorithm D.

#include "big_number.h"

#include <cstring>

namespace {

const uint64_t kLimbBase = 1ull << 32;

void Trim(BigNumber *a)
{
    while (a->used > 0 && a->limb[a->used - 1] == 0)
        a->used--;
}

uint32_t LeadingZeros(uint32_t x)
{
    uint32_t count = 0;
    for (uint32_t bit = 0x80000000u; bit != 0 && (x & bit) == 0; bit >>= 1)
        count++;
    return count;
}

// Divides by a one-limb divisor; quotient may be null.
uint32_t DivideBySmall(BigNumber *quotient, const BigNumber &a, uint32_t divisor)
{
    uint64_t rest = 0;
    const uint32_t used = a.used;
    for (uint32_t i = used; i-- > 0;) {
        const uint64_t current = rest << 32 | a.limb[i];
        if (quotient)
            quotient->limb[i] = static_cast<uint32_t>(current / divisor);
        rest = current % divisor;
    }
    if (quotient) {
        quotient->used = used;
        Trim(quotient);
    }
    return static_cast<uint32_t>(rest);
}

} // namespace

bool BigFromBytes(BigNumber *out, const uint8_t *bytes, uint32_t length)
{
    while (length > 0 && bytes[0] == 0)
        bytes++, length--;
    if (length > kBigNumberMaxModulusBits / 8)
        return false;
    out->used = (length + 3) / 4;
    for (uint32_t i = 0; i < out->used; i++)
        out->limb[i] = 0;
    for (uint32_t i = 0; i < length; i++) {
        const uint32_t position = length - 1 - i;  // byte significance
        out->limb[position / 4] |= static_cast<uint32_t>(bytes[i]) << (8 * (position % 4));
    }
    return true;
}

void BigFromSmall(BigNumber *out, uint32_t value)
{
    out->limb[0] = value;
    out->used = value != 0 ? 1 : 0;
}

uint32_t BigBitLength(const BigNumber &a)
{
    if (a.used == 0)
        return 0;
    return 32 * a.used - LeadingZeros(a.limb[a.used - 1]);
}

bool BigIsZero(const BigNumber &a)
{
    return a.used == 0;
}

int BigCompare(const BigNumber &a, const BigNumber &b)
{
    if (a.used != b.used)
        return a.used < b.used ? -1 : 1;
    for (uint32_t i = a.used; i-- > 0;) {
        if (a.limb[i] != b.limb[i])
            return a.limb[i] < b.limb[i] ? -1 : 1;
    }
    return 0;
}

bool BigAdd(BigNumber *out, const BigNumber &a, const BigNumber &b)
{
    const BigNumber &longer = a.used >= b.used ? a : b;
    const BigNumber &shorter = a.used >= b.used ? b : a;
    const uint32_t longUsed = longer.used, shortUsed = shorter.used;
    uint64_t carry = 0;
    for (uint32_t i = 0; i < longUsed; i++) {
        const uint64_t sum = carry + longer.limb[i] + (i < shortUsed ? shorter.limb[i] : 0);
        out->limb[i] = static_cast<uint32_t>(sum);
        carry = sum >> 32;
    }
    out->used = longUsed;
    if (carry) {
        if (longUsed == kBigNumberLimbs)
            return false;
        out->limb[out->used++] = 1;
    }
    return true;
}

bool BigSubtract(BigNumber *out, const BigNumber &a, const BigNumber &b)
{
    if (BigCompare(a, b) < 0)
        return false;
    const uint32_t aUsed = a.used, bUsed = b.used;
    uint32_t borrow = 0;
    for (uint32_t i = 0; i < aUsed; i++) {
        const uint64_t subtrahend = static_cast<uint64_t>(i < bUsed ? b.limb[i] : 0) + borrow;
        const uint64_t minuend = a.limb[i];
        out->limb[i] = static_cast<uint32_t>(minuend - subtrahend);
        borrow = minuend < subtrahend ? 1 : 0;
    }
    out->used = aUsed;
    Trim(out);
    return true;
}

bool BigMultiplySmall(BigNumber *out, const BigNumber &a, uint32_t factor)
{
    const uint32_t used = a.used;
    uint64_t carry = 0;
    for (uint32_t i = 0; i < used; i++) {
        const uint64_t product = static_cast<uint64_t>(a.limb[i]) * factor + carry;
        out->limb[i] = static_cast<uint32_t>(product);
        carry = product >> 32;
    }
    out->used = used;
    if (carry) {
        if (used == kBigNumberLimbs)
            return false;
        out->limb[out->used++] = static_cast<uint32_t>(carry);
    }
    Trim(out);
    return true;
}

bool BigMultiply(BigNumber *out, const BigNumber &a, const BigNumber &b)
{
    if (a.used == 0 || b.used == 0) {
        out->used = 0;
        return true;
    }
    // The product has a.used + b.used or one limb fewer.
    if (a.used + b.used - 1 > kBigNumberLimbs)
        return false;
    uint32_t product[2 * kBigNumberLimbs];
    const uint32_t width = a.used + b.used;
    memset(product, 0, width * sizeof product[0]);
    for (uint32_t i = 0; i < a.used; i++) {
        uint64_t carry = 0;
        const uint64_t factor = a.limb[i];
        for (uint32_t j = 0; j < b.used; j++) {
            const uint64_t t = factor * b.limb[j] + product[i + j] + carry;
            product[i + j] = static_cast<uint32_t>(t);
            carry = t >> 32;
        }
        product[i + b.used] = static_cast<uint32_t>(carry);
    }
    uint32_t used = width;
    while (used > 0 && product[used - 1] == 0)
        used--;
    if (used > kBigNumberLimbs)
        return false;
    memcpy(out->limb, product, used * sizeof product[0]);
    out->used = used;
    return true;
}

bool BigShiftLeft(BigNumber *out, const BigNumber &a, uint32_t bits)
{
    if (a.used == 0) {
        out->used = 0;
        return true;
    }
    if (BigBitLength(a) + bits > 32 * kBigNumberLimbs)
        return false;
    const uint32_t limbs = bits / 32, rest = bits % 32;
    const uint32_t used = a.used;
    // From the top down, so that out may be a.
    uint32_t top = 0;
    if (rest)
        top = a.limb[used - 1] >> (32 - rest);
    for (uint32_t i = used; i-- > 0;) {
        uint32_t value = a.limb[i] << rest;
        if (rest && i > 0)
            value |= a.limb[i - 1] >> (32 - rest);
        out->limb[i + limbs] = value;
    }
    for (uint32_t i = 0; i < limbs; i++)
        out->limb[i] = 0;
    out->used = used + limbs;
    if (top)
        out->limb[out->used++] = top;
    Trim(out);
    return true;
}

void BigShiftRight(BigNumber *out, const BigNumber &a, uint32_t bits)
{
    const uint32_t limbs = bits / 32, rest = bits % 32;
    if (limbs >= a.used) {
        out->used = 0;
        return;
    }
    const uint32_t used = a.used - limbs;
    for (uint32_t i = 0; i < used; i++) {
        uint32_t value = a.limb[i + limbs] >> rest;
        if (rest && i + limbs + 1 < a.used)
            value |= a.limb[i + limbs + 1] << (32 - rest);
        out->limb[i] = value;
    }
    out->used = used;
    Trim(out);
}

bool BigDivide(BigNumber *quotient, BigNumber *remainder, const BigNumber &a, const BigNumber &b)
{
    if (b.used == 0)
        return false;
    if (BigCompare(a, b) < 0) {
        if (remainder && remainder != &a)
            *remainder = a;
        if (quotient)
            quotient->used = 0;
        return true;
    }
    if (b.used == 1) {
        const uint32_t rest = DivideBySmall(quotient, a, b.limb[0]);
        if (remainder)
            BigFromSmall(remainder, rest);
        return true;
    }

    // Normalise so that the divisor's top bit is set; the dividend gets one
    // more limb.
    const uint32_t n = b.used, m = a.used;
    const uint32_t shift = LeadingZeros(b.limb[n - 1]);
    uint32_t v[kBigNumberLimbs];
    uint32_t u[kBigNumberLimbs + 1];
    for (uint32_t i = n - 1; i > 0; i--)
        v[i] = shift ? (b.limb[i] << shift | b.limb[i - 1] >> (32 - shift)) : b.limb[i];
    v[0] = b.limb[0] << shift;
    u[m] = shift ? a.limb[m - 1] >> (32 - shift) : 0;
    for (uint32_t i = m - 1; i > 0; i--)
        u[i] = shift ? (a.limb[i] << shift | a.limb[i - 1] >> (32 - shift)) : a.limb[i];
    u[0] = a.limb[0] << shift;

    uint32_t q[kBigNumberLimbs];
    for (uint32_t j = m - n + 1; j-- > 0;) {
        // Estimate the quotient digit from the top two limbs, then correct it
        // with the third; it is then at most one too large.
        const uint64_t top = static_cast<uint64_t>(u[j + n]) << 32 | u[j + n - 1];
        uint64_t qhat = top / v[n - 1];
        uint64_t rhat = top % v[n - 1];
        while (qhat >= kLimbBase || qhat * v[n - 2] > (rhat << 32 | u[j + n - 2])) {
            qhat--;
            rhat += v[n - 1];
            if (rhat >= kLimbBase)
                break;
        }
        // u[j..j+n] -= qhat * v
        uint64_t carry = 0;
        uint32_t borrow = 0;
        for (uint32_t i = 0; i < n; i++) {
            const uint64_t product = qhat * v[i] + carry;
            carry = product >> 32;
            const uint64_t subtrahend = (product & 0xFFFFFFFFu) + borrow;
            borrow = u[i + j] < subtrahend ? 1 : 0;
            u[i + j] = static_cast<uint32_t>(u[i + j] - subtrahend);
        }
        const uint64_t subtrahend = carry + borrow;
        const bool negative = u[j + n] < subtrahend;
        u[j + n] = static_cast<uint32_t>(u[j + n] - subtrahend);
        if (negative) {
            // One too large: add the divisor back.
            qhat--;
            uint64_t sum = 0;
            for (uint32_t i = 0; i < n; i++) {
                sum += static_cast<uint64_t>(u[i + j]) + v[i];
                u[i + j] = static_cast<uint32_t>(sum);
                sum >>= 32;
            }
            u[j + n] = static_cast<uint32_t>(u[j + n] + sum);
        }
        q[j] = static_cast<uint32_t>(qhat);
    }

    if (quotient) {
        quotient->used = m - n + 1;
        memcpy(quotient->limb, q, quotient->used * sizeof q[0]);
        Trim(quotient);
    }
    if (remainder) {
        for (uint32_t i = 0; i < n; i++)
            remainder->limb[i] = shift ? (u[i] >> shift | u[i + 1] << (32 - shift)) : u[i];
        remainder->used = n;
        Trim(remainder);
    }
    return true;
}

uint32_t BigRemainderSmall(const BigNumber &a, uint32_t divisor)
{
    return DivideBySmall(NULL, a, divisor);
}

// Newton's iteration with the precision doubled at every step, so that most
// steps divide short numbers: after the step for d, x is within one of the
// root of the top 2d+2 bits of a.
void BigSquareRoot(BigNumber *root, const BigNumber &a)
{
    if (a.used == 0) {
        root->used = 0;
        return;
    }
    const uint32_t c = (BigBitLength(a) - 1) / 2;
    uint32_t steps = 0;
    while ((c >> steps) != 0)
        steps++;

    BigNumber x, part, quotient;
    BigFromSmall(&x, 1);
    uint32_t d = 0;
    for (uint32_t s = steps; s-- > 0;) {
        const uint32_t e = d;
        d = c >> s;
        BigShiftRight(&part, a, 2 * c - e - d + 1);
        BigDivide(&quotient, NULL, part, x);
        BigShiftLeft(&x, x, d - e - 1);
        BigAdd(&x, x, quotient);
    }
    // x is the root or one above it.
    BigNumber square;
    if (!BigMultiply(&square, x, x) || BigCompare(square, a) > 0) {
        BigNumber one;
        BigFromSmall(&one, 1);
        BigSubtract(&x, x, one);
    }
    *root = x;
}

bool BigIsPerfectSquare(const BigNumber &a)
{
    BigNumber root, square;
    BigSquareRoot(&root, a);
    return BigMultiply(&square, root, root) && BigCompare(square, a) == 0;
}
