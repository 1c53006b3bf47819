// Which files are weak-key lists (see blacklist_name.h).

#include "common/blacklist_name.h"

#include <cstddef>

bool IsBlacklistFileName(const char *name)
{
    static const char kPrefix[] = "BLACKLIST";
    for (size_t i = 0; i < sizeof kPrefix - 1; ++i) {
        char c = name[i];
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        if (c != kPrefix[i])
            return false;  // also at the NUL of a shorter name
    }
    return true;
}
