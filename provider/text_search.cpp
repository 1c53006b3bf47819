// Substring search (see text_search.h). Where SSE2 is there (every x86-64),
// sixteen positions are tested at once for three of the pattern's bytes and
// only the few that match all three are compared whole, so a list is
// searched at close to the speed it is read; the rest, short patterns and
// other machines take Boyer-Moore-Horspool.

#include "text_search.h"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
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

// The search; with stopAtNul the text ends at its first NUL, whose place
// goes to *end, found in the same pass.
bool Search(const char *text, size_t length, const char *pattern, bool stopAtNul, size_t *end)
{
    const size_t patternLength = strlen(pattern);
    size_t at = 0;
#if defined(__SSE2__)
    if (patternLength >= 3) {
        // First, middle and last byte: in hex text one position in about
        // four thousand passes all three and is compared whole.
        const size_t middle = patternLength / 2;
        const __m128i zero = _mm_setzero_si128();
        const __m128i first = _mm_set1_epi8(pattern[0]);
        const __m128i centre = _mm_set1_epi8(pattern[middle]);
        const __m128i last = _mm_set1_epi8(pattern[patternLength - 1]);
        // Positions at .. at + 15, each with its last byte inside the text.
        for (; at + patternLength + 15 <= length; at += 16) {
            const char *block = text + at;
            const __m128i starts = _mm_loadu_si128(reinterpret_cast<const __m128i *>(block));
            if (stopAtNul) {
                const unsigned nuls = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(starts, zero)));
                if (nuls) {
                    // A match across the NUL cannot be: the pattern has none.
                    const size_t before = static_cast<size_t>(__builtin_ctz(nuls));
                    *end = at + before;
                    return before >= patternLength &&
                           HorspoolContains(block, before, pattern, patternLength);
                }
            }
            const __m128i centres = _mm_loadu_si128(reinterpret_cast<const __m128i *>(block + middle));
            const __m128i ends = _mm_loadu_si128(reinterpret_cast<const __m128i *>(block + patternLength - 1));
            unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(
                _mm_and_si128(_mm_cmpeq_epi8(starts, first), _mm_cmpeq_epi8(centres, centre)),
                _mm_cmpeq_epi8(ends, last))));
            while (mask) {
                const char *candidate = block + __builtin_ctz(mask);
                size_t i = 1;
                while (i + 1 < patternLength && candidate[i] == pattern[i])
                    i++;
                if (i + 1 >= patternLength) {
                    if (stopAtNul)
                        *end = at + LengthBeforeNul(block, length - at);
                    return true;
                }
                mask &= mask - 1;
            }
        }
    }
#endif
    size_t rest = length - at;
    if (stopAtNul) {
        rest = LengthBeforeNul(text + at, rest);
        *end = at + rest;
    }
    if (patternLength == 0)
        return true;
    return patternLength <= rest && HorspoolContains(text + at, rest, pattern, patternLength);
}

} // namespace

bool ContainsText(const char *text, size_t length, const char *pattern)
{
    return Search(text, length, pattern, false, NULL);
}

bool ContainsTextBeforeNul(const char *text, size_t length, const char *pattern, size_t *textLength)
{
    return Search(text, length, pattern, true, textLength);
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
