// Walks over the provider list (see provider_list.h).

#include "provider_list.h"

#include <cstring>

namespace {

// Length of the entry at data[offset], bounded by the end of the data.
DWORD EntryLength(const char *data, DWORD length, DWORD offset)
{
    DWORD n = 0;
    while (offset + n < length && data[offset + n] != '\0')
        ++n;
    return n;
}

bool EqualsIgnoringAsciiCase(const char *text, DWORD textLength, const char *expected)
{
    if (textLength != strlen(expected))
        return false;
    for (DWORD i = 0; i < textLength; ++i) {
        char a = text[i];
        char b = expected[i];
        if (a >= 'a' && a <= 'z')
            a = static_cast<char>(a - 'a' + 'A');
        if (b >= 'a' && b <= 'z')
            b = static_cast<char>(b - 'a' + 'A');
        if (a != b)
            return false;
    }
    return true;
}

} // namespace

bool ProviderListNamesLibrary(const char *data, DWORD length)
{
    DWORD offset = 0;
    while (offset < length) {
        const DWORD entryLength = EntryLength(data, length, offset);
        if (entryLength == 0)
            break;  // the empty entry that ends the list
        const char *entry = data + offset;
        DWORD lastBackslash = entryLength;
        for (DWORD i = 0; i < entryLength; ++i)
            if (entry[i] == '\\')
                lastBackslash = i;
        if (lastBackslash < entryLength &&
            EqualsIgnoringAsciiCase(entry + lastBackslash + 1, entryLength - lastBackslash - 1, PROVIDER_LIBRARY_NAME))
            return true;
        offset += entryLength + 1;
    }
    return false;
}

bool RemoveCrlProviderEntry(char *data, DWORD *length)
{
    const char kCrlProvider[] = "CRYPTNET.DLL";
    const DWORD total = *length;
    if (total < sizeof kCrlProvider - 1)
        return false;
    DWORD offset = 0;
    while (offset < total) {
        const DWORD entryLength = EntryLength(data, total, offset);
        if (entryLength == 0)
            break;
        if (EqualsIgnoringAsciiCase(data + offset, entryLength, kCrlProvider)) {
            // The entry and its terminating NUL, when the data holds one.
            const DWORD removed = offset + entryLength < total ? entryLength + 1 : entryLength;
            memmove(data + offset, data + offset + removed, total - offset - removed);
            *length = total - removed;
            return true;
        }
        offset += entryLength + 1;
    }
    return false;
}
