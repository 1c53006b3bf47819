// Substring search (see text_search.h). Where SSE2 is there (every x86-64),
// sixteen positions are tested at once for three of the pattern's bytes, and
// sixty-four at a time with one test for all of them and for a NUL (a chunk
// just read is searched in less time than its read took); only the few
// positions that pass are compared whole. Where the processor has AVX2, 128
// positions at a time are passed over that way first, and only a block with
// something in it goes to the SSE2 tests. Short patterns and other machines
// take the portable search: the text's end by memchr, then
// Boyer-Moore-Horspool.

#include "text_search.h"

#include <cstdint>
#include <cstring>

#include "processor_features.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(VERILOOM_X86_KERNELS)
#include <immintrin.h>
#endif

namespace {

bool HorspoolContains(const char *text, size_t length, const char *pattern, size_t patternLength)
{
    size_t shift[256];
    for (size_t &s : shift)
        s = patternLength;
    for (size_t i = 0; i + 1 < patternLength; i++)
        shift[static_cast<unsigned char>(pattern[i])] = patternLength - 1 - i;

    const unsigned char last = static_cast<unsigned char>(pattern[patternLength - 1]);
    for (size_t at = 0; at + patternLength <= length;) {
        const unsigned char c = static_cast<unsigned char>(text[at + patternLength - 1]);
        if (c == last && memcmp(text + at, pattern, patternLength - 1) == 0)
            return true;
        at += shift[c];
    }
    return false;
}

// The search from `at` on, with stopAtNul up to the text's first NUL, whose
// place goes to *end.
bool PortableSearch(const char *text, size_t length, size_t at, const char *pattern, size_t patternLength,
                    bool stopAtNul, size_t *end)
{
    size_t rest = length - at;
    if (stopAtNul) {
        const void *nul = rest ? memchr(text + at, '\0', rest) : NULL;
        if (nul)
            rest = static_cast<size_t>(static_cast<const char *>(nul) - (text + at));
        *end = at + rest;
    }
    if (patternLength == 0)
        return true;
    return patternLength <= rest && HorspoolContains(text + at, rest, pattern, patternLength);
}

#if defined(__SSE2__)

inline __m128i Load(const char *at)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(at));
}

// First, middle and last byte of a pattern of three or more: in hex text one
// position in about four thousand passes all three and is compared whole.
struct ThreeBytes {
    const char *pattern;
    size_t length;
    size_t middle;
    __m128i first, centre, last;
};

// The positions block .. block + 15 (starts: the 16 bytes there) that pass.
inline __m128i Passing(const ThreeBytes &filter, const char *block, __m128i starts)
{
    const __m128i ends = Load(block + filter.length - 1);
    const __m128i centres = Load(block + filter.middle);
    return _mm_and_si128(_mm_and_si128(_mm_cmpeq_epi8(starts, filter.first), _mm_cmpeq_epi8(centres, filter.centre)),
                         _mm_cmpeq_epi8(ends, filter.last));
}

// The sixteen positions at `at`, each with its last byte inside the text:
// true when they decide the search (a match, or the text's NUL among them),
// with the answer in *found.
template <bool stopAtNul>
bool DecideSixteen(const ThreeBytes &filter, const char *text, size_t length, size_t at, size_t *end, bool *found)
{
    const char *block = text + at;
    const __m128i starts = Load(block);
    if (stopAtNul) {
        const unsigned nuls =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(starts, _mm_setzero_si128())));
        if (nuls) {
            // A match across the NUL cannot be: the pattern has none.
            const size_t before = static_cast<size_t>(__builtin_ctz(nuls));
            *end = at + before;
            *found = before >= filter.length && HorspoolContains(block, before, filter.pattern, filter.length);
            return true;
        }
    }
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(Passing(filter, block, starts)));
    for (; mask; mask &= mask - 1) {
        const char *candidate = block + __builtin_ctz(mask);
        if (memcmp(candidate + 1, filter.pattern + 1, filter.length - 2) == 0) {
            if (stopAtNul)
                *end = at + LengthBeforeNul(block, length - at);
            *found = true;
            return true;
        }
    }
    return false;
}

#if defined(VERILOOM_X86_KERNELS)

// From `at` on, passes over blocks of 128 positions in which no position
// passes the filter and (with stopAtNul) no byte is a NUL; returns the
// first block that is not such, or where fewer than 128 positions with
// their last byte inside the text are left.
template <bool stopAtNul>
__attribute__((target("avx2"))) size_t PassQuietBlocks(const ThreeBytes &filter, const char *text, size_t length,
                                                       size_t at)
{
    const __m256i first = _mm256_set1_epi8(filter.pattern[0]);
    const __m256i centre = _mm256_set1_epi8(filter.pattern[filter.middle]);
    const __m256i last = _mm256_set1_epi8(filter.pattern[filter.length - 1]);
    for (; at + filter.length + 127 <= length; at += 128) {
        __m256i any = _mm256_setzero_si256();
        __m256i least = _mm256_set1_epi8(-1);
        for (size_t step = 0; step < 128; step += 32) {
            const char *block = text + at + step;
            const __m256i starts = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(block));
            const __m256i centres = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(block + filter.middle));
            const __m256i ends = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(block + filter.length - 1));
            any = _mm256_or_si256(any, _mm256_and_si256(_mm256_and_si256(_mm256_cmpeq_epi8(starts, first),
                                                                          _mm256_cmpeq_epi8(centres, centre)),
                                                         _mm256_cmpeq_epi8(ends, last)));
            if (stopAtNul)
                least = _mm256_min_epu8(least, starts);
        }
        if (stopAtNul)
            any = _mm256_or_si256(any, _mm256_cmpeq_epi8(least, _mm256_setzero_si256()));
        if (!_mm256_testz_si256(any, any))
            break;
    }
    return at;
}

#endif

template <bool stopAtNul>
bool VectorSearch(const char *text, size_t length, const char *pattern, size_t patternLength, bool wide,
                  size_t *end)
{
    ThreeBytes filter;
    filter.pattern = pattern;
    filter.length = patternLength;
    filter.middle = patternLength / 2;
    filter.first = _mm_set1_epi8(pattern[0]);
    filter.centre = _mm_set1_epi8(pattern[filter.middle]);
    filter.last = _mm_set1_epi8(pattern[patternLength - 1]);

    bool found = false;
    size_t at = 0;
    // Sixty-four positions at a time: one test tells whether any of them
    // passes the filter or the text ends among them; only then are they
    // looked at sixteen at a time.
    for (; at + patternLength + 63 <= length; at += 64) {
#if defined(VERILOOM_X86_KERNELS)
        if (wide) {
            at = PassQuietBlocks<stopAtNul>(filter, text, length, at);
            if (at + patternLength + 63 > length)
                break;
        }
#else
        (void)wide;
#endif
        const char *block = text + at;
        const __m128i s0 = Load(block), s1 = Load(block + 16), s2 = Load(block + 32), s3 = Load(block + 48);
        __m128i any = _mm_or_si128(_mm_or_si128(Passing(filter, block, s0), Passing(filter, block + 16, s1)),
                                   _mm_or_si128(Passing(filter, block + 32, s2), Passing(filter, block + 48, s3)));
        if (stopAtNul)
            any = _mm_or_si128(any, _mm_cmpeq_epi8(_mm_min_epu8(_mm_min_epu8(s0, s1), _mm_min_epu8(s2, s3)),
                                                   _mm_setzero_si128()));
        if (_mm_movemask_epi8(any) == 0)
            continue;
        for (size_t step = 0; step < 64; step += 16)
            if (DecideSixteen<stopAtNul>(filter, text, length, at + step, end, &found))
                return found;
    }
    for (; at + patternLength + 15 <= length; at += 16)
        if (DecideSixteen<stopAtNul>(filter, text, length, at, end, &found))
            return found;
    return PortableSearch(text, length, at, pattern, patternLength, stopAtNul, end);
}

#endif

bool Search(TextSearchKernel kernel, const char *text, size_t length, const char *pattern, bool stopAtNul,
            size_t *end)
{
    const size_t patternLength = strlen(pattern);
#if defined(__SSE2__)
    if ((kernel == kTextSearchSse2 || kernel == kTextSearchAvx2) && patternLength >= 3) {
        const bool wide = kernel == kTextSearchAvx2;
        return stopAtNul ? VectorSearch<true>(text, length, pattern, patternLength, wide, end)
                         : VectorSearch<false>(text, length, pattern, patternLength, wide, end);
    }
#endif
    (void)kernel;
    return PortableSearch(text, length, 0, pattern, patternLength, stopAtNul, end);
}

TextSearchKernel ChooseKernel()
{
#if defined(__SSE2__) && defined(VERILOOM_X86_KERNELS)
    return ProcessorHasAvx2() ? kTextSearchAvx2 : kTextSearchSse2;
#elif defined(__SSE2__)
    return kTextSearchSse2;
#else
    return kTextSearchPortable;
#endif
}

// Chosen while the code is loaded, as the SHA-1 kernel is; before that (in
// another file's initialisation) it reads as the portable kernel.
const TextSearchKernel kFastestKernel = ChooseKernel();

} // namespace

bool ContainsText(const char *text, size_t length, const char *pattern)
{
    return Search(kFastestKernel, text, length, pattern, false, NULL);
}

bool ContainsTextBeforeNul(const char *text, size_t length, const char *pattern, size_t *textLength)
{
    return Search(kFastestKernel, text, length, pattern, true, textLength);
}

bool TextSearchKernelAvailable(TextSearchKernel kernel)
{
    switch (kernel) {
    case kTextSearchPortable:
        return true;
    case kTextSearchSse2:
        return kFastestKernel != kTextSearchPortable;
    case kTextSearchAvx2:
        return kFastestKernel == kTextSearchAvx2;
    }
    return false;
}

bool ContainsTextBeforeNulOn(TextSearchKernel kernel, const char *text, size_t length, const char *pattern,
                             size_t *textLength)
{
    return Search(kernel, text, length, pattern, true, textLength);
}

bool ContainsTextOn(TextSearchKernel kernel, const char *text, size_t length, const char *pattern)
{
    return Search(kernel, text, length, pattern, false, NULL);
}

size_t LengthBeforeNul(const char *bytes, size_t length)
{
    size_t at = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; at + 16 <= length; at += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes + at));
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, zero)));
        if (mask)
            return at + static_cast<size_t>(__builtin_ctz(mask));
    }
#endif
    for (; at < length; at++)
        if (bytes[at] == '\0')
            return at;
    return length;
}
