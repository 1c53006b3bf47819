// Structural checks of an RSA modulus, for weak keys that no list holds:
//  - ROCA (CVE-2017-15361): the primes of a widely used smart-card library
//    have the form k*M + (65537^a mod M), so the modulus is a power of 65537
//    modulo M = the product of the primes up to 167 (Nemec et al., "The
//    Return of Coppersmith's Attack", CCS 2017).
//  - Close primes (CVE-2022-26320): Fermat's method, a^2 - n a perfect square
//    for one of the first 100 values of a from ceil(sqrt(n)), factors n.
// The checks report what they found; what to do about it is the caller's.
// Portable: no Windows header.
#pragma once

#include <cstdint>

enum KeyCheckOutcome : int32_t {
    kCheckPassed = 0,   // the structure is absent
    kCheckFlagged = 1,  // the key is weak
    kCheckSkipped = 2,  // the modulus is outside the check's range
};

// What the checks together found; the first check that flags decides.
enum KeyWeakness : int32_t {
    kWeaknessNone = 0,
    kWeaknessRoca = 1,
    kWeaknessClosePrimes = 2,
};

// Moduli under this many bits are too short for the ROCA test to be
// meaningful and are skipped by it.
const uint32_t kRocaMinimumBits = 256;
const uint32_t kFermatRounds = 100;

// The modulus as big-endian bytes (leading zero bytes allowed). Moduli wider
// than 8192 bits are skipped by both checks.
KeyCheckOutcome CheckRocaStructure(const uint8_t *modulus, uint32_t length);
KeyCheckOutcome CheckClosePrimes(const uint8_t *modulus, uint32_t length);
KeyWeakness FindKeyWeakness(const uint8_t *modulus, uint32_t length);
