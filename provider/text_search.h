// Substring search over a text buffer of known length, as the blacklist scan
// uses it: the first occurrence, byte for byte, letter case counting.
// Portable: no Windows header.
#pragma once

#include <cstddef>

// True when pattern occurs in the first `length` bytes of text. An empty
// pattern occurs in any text.
bool ContainsText(const char *text, size_t length, const char *pattern);

// The same over the text up to its first NUL (or the given length), whose
// length goes to *textLength, found in the same pass.
bool ContainsTextBeforeNul(const char *text, size_t length, const char *pattern, size_t *textLength);

// The implementations the two searches above run on, for tests that check
// each against the others: the portable one everywhere; where SSE2 is there,
// the vector one; where the processor also has AVX2, the vector one that
// passes over quiet text with it. The searches above use the last one the
// machine has.
enum TextSearchKernel {
    kTextSearchPortable,
    kTextSearchSse2,
    kTextSearchAvx2,
};
bool TextSearchKernelAvailable(TextSearchKernel kernel);
bool ContainsTextOn(TextSearchKernel kernel, const char *text, size_t length, const char *pattern);
bool ContainsTextBeforeNulOn(TextSearchKernel kernel, const char *text, size_t length, const char *pattern,
                             size_t *textLength);

// The number of bytes before the first NUL among the first `length` bytes
// (length when there is none).
size_t LengthBeforeNul(const char *bytes, size_t length);
