// The structural key checks (see key_checks.h).

#include "key_checks.h"

#include "big_number.h"

namespace {

// ROCA: the primes up to 167, whose product is the M of the smallest key size
// (every larger key size's M is a multiple of it), and the generator.
const uint32_t kRocaPrimes[] = {2,  3,  5,  7,  11, 13, 17, 19,  23,  29,  31,  37,  41,  43,  47,  53,  59,  61,  67, 71,
                                73, 79, 83, 89, 97, 101, 103, 107, 109, 113, 127, 131, 137, 139, 149, 151, 157, 163, 167};
const uint32_t kRocaPrimeCount = sizeof kRocaPrimes / sizeof kRocaPrimes[0];
const uint32_t kRocaGenerator = 65537;

// Close primes: the square filters, as two products below 2^32 whose
// factors are tested one by one. Together they let about one value in 20000
// through to a full square root.
const uint32_t kFilterModuli[] = {64, 63, 65, 11, 17, 19, 23, 29, 31, 37, 41, 43};
const uint32_t kFilterCount = sizeof kFilterModuli / sizeof kFilterModuli[0];
const uint32_t kFilterGroupEnd = 6;  // filters [0, 6) divide kFilterProducts[0], the rest [1]
const uint32_t kFilterProducts[2] = {64u * 63 * 65 * 11 * 17 * 19, 23u * 29 * 31 * 37 * 41 * 43};
const uint32_t kFilterTableSize = 64 + 63 + 65 + 11 + 17 + 19 + 23 + 29 + 31 + 37 + 41 + 43;

uint32_t GreatestCommonDivisor(uint32_t a, uint32_t b)
{
    while (b != 0) {
        const uint32_t r = a % b;
        a = b;
        b = r;
    }
    return a;
}

// Walks the powers of the generator modulo p: its order, and the exponent
// that gives the residue; false when no power does.
bool RocaDiscreteLog(uint32_t residue, uint32_t p, uint32_t *exponent, uint32_t *order)
{
    const uint32_t generator = kRocaGenerator % p;
    bool found = false;
    uint32_t power = 1, k = 0;
    do {
        if (power == residue && !found) {
            *exponent = k;
            found = true;
        }
        power = power * generator % p;
        k++;
    } while (power != 1);
    *order = k;
    return found;
}

} // namespace

// The modulus has the structure when it is a power of the generator modulo M.
// Modulo each prime p it must be a power g^x_p, x_p determined modulo the
// generator's order there; one exponent fits all of them exactly when every
// two agree modulo the greatest common divisor of their orders. Residues
// that lie in the subgroups one by one but need different exponents are not
// the structure.
KeyCheckOutcome CheckRocaStructure(const uint8_t *modulus, uint32_t length)
{
    BigNumber n;
    if (!BigFromBytes(&n, modulus, length) || BigBitLength(n) < kRocaMinimumBits)
        return kCheckSkipped;

    uint32_t exponents[kRocaPrimeCount];
    uint32_t orders[kRocaPrimeCount];
    uint32_t i = 0;
    while (i < kRocaPrimeCount) {
        // One pass over the modulus for as many primes as fit in a limb.
        uint64_t product = 1;
        uint32_t end = i;
        while (end < kRocaPrimeCount && product * kRocaPrimes[end] <= 0xFFFFFFFFu)
            product *= kRocaPrimes[end++];
        const uint32_t rest = BigRemainderSmall(n, static_cast<uint32_t>(product));
        for (; i < end; i++) {
            if (!RocaDiscreteLog(rest % kRocaPrimes[i], kRocaPrimes[i], &exponents[i], &orders[i]))
                return kCheckPassed;
        }
    }
    for (i = 0; i < kRocaPrimeCount; i++) {
        for (uint32_t j = i + 1; j < kRocaPrimeCount; j++) {
            const uint32_t common = GreatestCommonDivisor(orders[i], orders[j]);
            if (exponents[i] % common != exponents[j] % common)
                return kCheckPassed;
        }
    }
    return kCheckFlagged;
}

// Fermat's method: n = a^2 - b^2 = (a - b)(a + b). The rounds advance a^2 - n
// by 2a + 1 modulo the filter products only; a value that is a square modulo
// every filter is computed in full and its root taken.
KeyCheckOutcome CheckClosePrimes(const uint8_t *modulus, uint32_t length)
{
    BigNumber n, a, square, difference;
    if (!BigFromBytes(&n, modulus, length))
        return kCheckSkipped;
    BigSquareRoot(&a, n);
    BigMultiply(&square, a, a);
    if (BigCompare(square, n) < 0) {
        BigNumber one;
        BigFromSmall(&one, 1);
        BigAdd(&a, a, one);
        BigMultiply(&square, a, a);
    }
    BigSubtract(&difference, square, n);

    // isSquare[offset of modulus m + r]: r is a square modulo m.
    bool isSquare[kFilterTableSize] = {};
    uint32_t offsets[kFilterCount];
    uint32_t offset = 0;
    for (uint32_t f = 0; f < kFilterCount; f++) {
        offsets[f] = offset;
        for (uint32_t x = 0; x < kFilterModuli[f]; x++)
            isSquare[offset + x * x % kFilterModuli[f]] = true;
        offset += kFilterModuli[f];
    }

    uint64_t aRest[2], differenceRest[2];
    for (uint32_t g = 0; g < 2; g++) {
        aRest[g] = BigRemainderSmall(a, kFilterProducts[g]);
        differenceRest[g] = BigRemainderSmall(difference, kFilterProducts[g]);
    }

    for (uint32_t round = 0; round < kFermatRounds; round++) {
        bool candidate = true;
        for (uint32_t f = 0; candidate && f < kFilterCount; f++) {
            const uint64_t rest = differenceRest[f < kFilterGroupEnd ? 0 : 1];
            candidate = isSquare[offsets[f] + rest % kFilterModuli[f]];
        }
        if (candidate) {
            // (a + round)^2 - n
            BigNumber shifted, added, candidateSquare, candidateDifference;
            BigFromSmall(&added, round);
            BigAdd(&shifted, a, added);
            BigMultiply(&candidateSquare, shifted, shifted);
            BigSubtract(&candidateDifference, candidateSquare, n);
            if (BigIsPerfectSquare(candidateDifference))
                return kCheckFlagged;
        }
        for (uint32_t g = 0; g < 2; g++) {
            differenceRest[g] = (differenceRest[g] + 2 * aRest[g] + 1) % kFilterProducts[g];
            aRest[g] = (aRest[g] + 1) % kFilterProducts[g];
        }
    }
    return kCheckPassed;
}

KeyWeakness FindKeyWeakness(const uint8_t *modulus, uint32_t length)
{
    if (CheckRocaStructure(modulus, length) == kCheckFlagged)
        return kWeaknessRoca;
    if (CheckClosePrimes(modulus, length) == kCheckFlagged)
        return kWeaknessClosePrimes;
    return kWeaknessNone;
}
