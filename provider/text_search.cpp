// Substring search (see text_search.h): Boyer-Moore-Horspool, which skips
// most of a blacklist file's bytes instead of looking at each one.

#include "text_search.h"

#include <cstring>

bool ContainsText(const char *text, size_t length, const char *pattern)
{
    const size_t patternLength = strlen(pattern);
    if (patternLength == 0)
        return true;
    if (patternLength > length)
        return false;

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
