// The SHA-1 compression function (FIPS 180-1) over whole 64-byte blocks:
// portable C++ everywhere and, where the processor has the SHA extensions
// (x86-64), its SHA-1 instructions, chosen once when the code is loaded.
// Portable: no Windows header.
#pragma once

#include <cstddef>
#include <cstdint>

// Folds `count` blocks into the five chaining values.
void Sha1CompressBlocks(uint32_t chainingValues[5], const uint8_t *blocks, size_t count);

// The implementations, for tests that run each on the same vectors.
enum Sha1Kernel {
    kSha1Portable,
    kSha1ShaExtensions,
};
bool Sha1KernelAvailable(Sha1Kernel kernel);
// Makes Sha1CompressBlocks use the kernel from now on; false (and no
// change) when this processor or build lacks it. Not for concurrent use.
bool UseSha1Kernel(Sha1Kernel kernel);
// The kernel chosen at load: the fastest available.
Sha1Kernel FastestSha1Kernel();
