// SHA-1 block compression (see sha1_blocks.h). The portable kernel keeps
// the message schedule as a ring of 16 words and passes the five working
// variables to each round in rotated order, so no value moves between
// rounds. The SHA-extension kernel does four rounds an instruction
// (sha1rnds4) with the schedule in vector registers; it is compiled for
// those instructions by function attribute only, so the rest of the code
// runs on any x86-64, and used only when CPUID reports them.

#include "sha1_blocks.h"

#include "processor_features.h"

#if defined(VERILOOM_X86_KERNELS)
#include <immintrin.h>
#endif

namespace {

inline uint32_t RotateLeft(uint32_t value, int bits)
{
    return (value << bits) | (value >> (32 - bits));
}

#define SHA1_LOAD(t)                                                                                           \
    (w[t] = static_cast<uint32_t>(block[4 * (t)]) << 24 | static_cast<uint32_t>(block[4 * (t) + 1]) << 16 |  \
            static_cast<uint32_t>(block[4 * (t) + 2]) << 8 | static_cast<uint32_t>(block[4 * (t) + 3]))
#define SHA1_NEXT(t)                                                                                           \
    (w[(t) & 15] = RotateLeft(w[((t) + 13) & 15] ^ w[((t) + 8) & 15] ^ w[((t) + 2) & 15] ^ w[(t) & 15], 1))

#define SHA1_ROUND(a, b, c, d, e, f, k, x)                                                                     \
    do {                                                                                                        \
        e += RotateLeft(a, 5) + (f) + (k) + (x);                                                                \
        b = RotateLeft(b, 30);                                                                                  \
    } while (0)

#define SHA1_F1(b, c, d) ((d) ^ ((b) & ((c) ^ (d))))
#define SHA1_F2(b, c, d) ((b) ^ (c) ^ (d))
#define SHA1_F3(b, c, d) (((b) & (c)) | ((d) & ((b) | (c))))

// Five rounds, after which the variables are back in their places.
#define SHA1_FIVE(F, k, W, t)                                                                                  \
    SHA1_ROUND(a, b, c, d, e, F(b, c, d), k, W(t));                                                            \
    SHA1_ROUND(e, a, b, c, d, F(a, b, c), k, W((t) + 1));                                                      \
    SHA1_ROUND(d, e, a, b, c, F(e, a, b), k, W((t) + 2));                                                      \
    SHA1_ROUND(c, d, e, a, b, F(d, e, a), k, W((t) + 3));                                                      \
    SHA1_ROUND(b, c, d, e, a, F(c, d, e), k, W((t) + 4))

void PortableBlocks(uint32_t chainingValues[5], const uint8_t *block, size_t count)
{
    uint32_t a = chainingValues[0], b = chainingValues[1], c = chainingValues[2];
    uint32_t d = chainingValues[3], e = chainingValues[4];
    for (; count > 0; count--, block += 64) {
        const uint32_t a0 = a, b0 = b, c0 = c, d0 = d, e0 = e;
        uint32_t w[16];
        SHA1_FIVE(SHA1_F1, 0x5A827999u, SHA1_LOAD, 0);
        SHA1_FIVE(SHA1_F1, 0x5A827999u, SHA1_LOAD, 5);
        SHA1_FIVE(SHA1_F1, 0x5A827999u, SHA1_LOAD, 10);
        SHA1_ROUND(a, b, c, d, e, SHA1_F1(b, c, d), 0x5A827999u, SHA1_LOAD(15));
        SHA1_ROUND(e, a, b, c, d, SHA1_F1(a, b, c), 0x5A827999u, SHA1_NEXT(16));
        SHA1_ROUND(d, e, a, b, c, SHA1_F1(e, a, b), 0x5A827999u, SHA1_NEXT(17));
        SHA1_ROUND(c, d, e, a, b, SHA1_F1(d, e, a), 0x5A827999u, SHA1_NEXT(18));
        SHA1_ROUND(b, c, d, e, a, SHA1_F1(c, d, e), 0x5A827999u, SHA1_NEXT(19));
        SHA1_FIVE(SHA1_F2, 0x6ED9EBA1u, SHA1_NEXT, 20);
        SHA1_FIVE(SHA1_F2, 0x6ED9EBA1u, SHA1_NEXT, 25);
        SHA1_FIVE(SHA1_F2, 0x6ED9EBA1u, SHA1_NEXT, 30);
        SHA1_FIVE(SHA1_F2, 0x6ED9EBA1u, SHA1_NEXT, 35);
        SHA1_FIVE(SHA1_F3, 0x8F1BBCDCu, SHA1_NEXT, 40);
        SHA1_FIVE(SHA1_F3, 0x8F1BBCDCu, SHA1_NEXT, 45);
        SHA1_FIVE(SHA1_F3, 0x8F1BBCDCu, SHA1_NEXT, 50);
        SHA1_FIVE(SHA1_F3, 0x8F1BBCDCu, SHA1_NEXT, 55);
        SHA1_FIVE(SHA1_F2, 0xCA62C1D6u, SHA1_NEXT, 60);
        SHA1_FIVE(SHA1_F2, 0xCA62C1D6u, SHA1_NEXT, 65);
        SHA1_FIVE(SHA1_F2, 0xCA62C1D6u, SHA1_NEXT, 70);
        SHA1_FIVE(SHA1_F2, 0xCA62C1D6u, SHA1_NEXT, 75);
        a += a0;
        b += b0;
        c += c0;
        d += d0;
        e += e0;
    }
    chainingValues[0] = a;
    chainingValues[1] = b;
    chainingValues[2] = c;
    chainingValues[3] = d;
    chainingValues[4] = e;
}

#undef SHA1_FIVE
#undef SHA1_F3
#undef SHA1_F2
#undef SHA1_F1
#undef SHA1_ROUND
#undef SHA1_NEXT
#undef SHA1_LOAD

#if defined(VERILOOM_X86_KERNELS)

// Message words w[g], w[g+1], w[g+2], w[g+3] of round group g (four rounds)
// as one vector, first word in the top lane; group g's is made from the
// four before it.
#define SHA1_SCHEDULE(g)                                                                                       \
    (w[(g) & 3] = _mm_sha1msg2_epu32(                                                                          \
         _mm_xor_si128(_mm_sha1msg1_epu32(w[(g) & 3], w[((g) + 1) & 3]), w[((g) + 2) & 3]), w[((g) + 3) & 3]))
// Round group g with round function f: e for it is taken from a of the
// state four rounds before, plus the group's message words.
#define SHA1_GROUP(g, f, W)                                                                                    \
    do {                                                                                                        \
        const __m128i e = _mm_sha1nexte_epu32(before, W);                                                       \
        before = abcd;                                                                                          \
        abcd = _mm_sha1rnds4_epu32(abcd, e, f);                                                                 \
    } while (0)
#define SHA1_LOADED(g) w[g]

__attribute__((target("sha,sse4.1"))) void ShaExtensionBlocks(uint32_t chainingValues[5], const uint8_t *block,
                                                                size_t count)
{
    const __m128i byteOrder = _mm_set_epi64x(0x0001020304050607LL, 0x08090a0b0c0d0e0fLL);
    __m128i abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i *>(chainingValues)), 0x1B);
    __m128i e0 = _mm_set_epi32(static_cast<int>(chainingValues[4]), 0, 0, 0);
    for (; count > 0; count--, block += 64) {
        const __m128i abcdSaved = abcd, e0Saved = e0;
        __m128i w[4];
        for (int i = 0; i < 4; i++)
            w[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(block + 16 * i)), byteOrder);

        __m128i before = abcd;
        abcd = _mm_sha1rnds4_epu32(abcd, _mm_add_epi32(e0, w[0]), 0);
        SHA1_GROUP(1, 0, SHA1_LOADED(1));
        SHA1_GROUP(2, 0, SHA1_LOADED(2));
        SHA1_GROUP(3, 0, SHA1_LOADED(3));
        SHA1_GROUP(4, 0, SHA1_SCHEDULE(4));
        SHA1_GROUP(5, 1, SHA1_SCHEDULE(5));
        SHA1_GROUP(6, 1, SHA1_SCHEDULE(6));
        SHA1_GROUP(7, 1, SHA1_SCHEDULE(7));
        SHA1_GROUP(8, 1, SHA1_SCHEDULE(8));
        SHA1_GROUP(9, 1, SHA1_SCHEDULE(9));
        SHA1_GROUP(10, 2, SHA1_SCHEDULE(10));
        SHA1_GROUP(11, 2, SHA1_SCHEDULE(11));
        SHA1_GROUP(12, 2, SHA1_SCHEDULE(12));
        SHA1_GROUP(13, 2, SHA1_SCHEDULE(13));
        SHA1_GROUP(14, 2, SHA1_SCHEDULE(14));
        SHA1_GROUP(15, 3, SHA1_SCHEDULE(15));
        SHA1_GROUP(16, 3, SHA1_SCHEDULE(16));
        SHA1_GROUP(17, 3, SHA1_SCHEDULE(17));
        SHA1_GROUP(18, 3, SHA1_SCHEDULE(18));
        SHA1_GROUP(19, 3, SHA1_SCHEDULE(19));

        // e after the block is a of the state four rounds before the end.
        e0 = _mm_sha1nexte_epu32(before, e0Saved);
        abcd = _mm_add_epi32(abcd, abcdSaved);
    }
    _mm_storeu_si128(reinterpret_cast<__m128i *>(chainingValues), _mm_shuffle_epi32(abcd, 0x1B));
    chainingValues[4] = static_cast<uint32_t>(_mm_extract_epi32(e0, 3));
}

#undef SHA1_LOADED
#undef SHA1_GROUP
#undef SHA1_SCHEDULE

#endif

typedef void (*CompressFunction)(uint32_t chainingValues[5], const uint8_t *blocks, size_t count);

CompressFunction KernelFunction(Sha1Kernel kernel)
{
#if defined(VERILOOM_X86_KERNELS)
    if (kernel == kSha1ShaExtensions)
        return ProcessorHasShaExtensions() ? ShaExtensionBlocks : NULL;
#endif
    return kernel == kSha1Portable ? PortableBlocks : NULL;
}

Sha1Kernel ChooseKernel()
{
    return KernelFunction(kSha1ShaExtensions) ? kSha1ShaExtensions : kSha1Portable;
}

// Chosen while the code is loaded, before any digest is taken (asking the
// processor costs more than a short digest).
const Sha1Kernel kFastestKernel = ChooseKernel();
CompressFunction Compress = KernelFunction(kFastestKernel);

} // namespace

void Sha1CompressBlocks(uint32_t chainingValues[5], const uint8_t *blocks, size_t count)
{
    // Before the choice is made (another file's initialisation) the
    // portable kernel serves.
    (Compress ? Compress : PortableBlocks)(chainingValues, blocks, count);
}

bool Sha1KernelAvailable(Sha1Kernel kernel)
{
    return KernelFunction(kernel) != NULL;
}

bool UseSha1Kernel(Sha1Kernel kernel)
{
    const CompressFunction function = KernelFunction(kernel);
    if (!function)
        return false;
    Compress = function;
    return true;
}

Sha1Kernel FastestSha1Kernel()
{
    return kFastestKernel;
}
