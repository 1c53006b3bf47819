// Walks over the provider list (see provider_list.h).

#include "provider_list.h"

#include <cstring>

namespace {

const char kCrlProvider[] = "CRYPTNET.DLL";

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

bool IsLibraryFileName(const char *name)
{
    return EqualsIgnoringAsciiCase(name, static_cast<DWORD>(strlen(name)), PROVIDER_LIBRARY_NAME);
}

bool FindLibraryEntry(const char *data, DWORD length, DWORD *entryOffset, DWORD *entryLength)
{
    DWORD offset = 0;
    while (offset < length) {
        const DWORD n = EntryLength(data, length, offset);
        if (n == 0)
            break;  // the empty entry that ends the list
        const char *entry = data + offset;
        DWORD lastBackslash = n;
        for (DWORD i = 0; i < n; ++i)
            if (entry[i] == '\\')
                lastBackslash = i;
        if (lastBackslash < n && EqualsIgnoringAsciiCase(entry + lastBackslash + 1, n - lastBackslash - 1,
                                                         PROVIDER_LIBRARY_NAME)) {
            *entryOffset = offset;
            *entryLength = n;
            return true;
        }
        offset += n + 1;
    }
    return false;
}

bool ProviderListNamesLibrary(const char *data, DWORD length)
{
    DWORD offset, entryLength;
    return FindLibraryEntry(data, length, &offset, &entryLength);
}

namespace {

// Offset of the first entry that reads `text` (length bytes) exactly, or
// the list's length when there is none.
DWORD FindEntry(const char *data, DWORD length, const char *text, DWORD textLength)
{
    DWORD offset = 0;
    while (offset < length) {
        const DWORD n = EntryLength(data, length, offset);
        if (n == 0)
            break;
        if (n == textLength && memcmp(data + offset, text, n) == 0)
            return offset;
        offset += n + 1;
    }
    return length;
}

// Offset of the first CRL provider entry, or the list's length.
DWORD FindCrlProvider(const char *data, DWORD length, DWORD *entryLength)
{
    DWORD offset = 0;
    while (offset < length) {
        const DWORD n = EntryLength(data, length, offset);
        if (n == 0)
            break;
        if (EqualsIgnoringAsciiCase(data + offset, n, kCrlProvider)) {
            *entryLength = n;
            return offset;
        }
        offset += n + 1;
    }
    return length;
}

// Offset of the list's closing empty entry (or its end when it has none).
DWORD ListEnd(const char *data, DWORD length)
{
    DWORD offset = 0;
    while (offset < length) {
        const DWORD n = EntryLength(data, length, offset);
        if (n == 0)
            break;
        offset += n + 1;
    }
    return offset < length ? offset : length;
}

} // namespace

bool RemoveCrlProviderEntry(char *data, DWORD *length)
{
    const DWORD total = *length;
    DWORD entryLength = 0;
    const DWORD offset = total < sizeof kCrlProvider - 1 ? total : FindCrlProvider(data, total, &entryLength);
    if (offset == total)
        return false;
    // The entry and its terminating NUL, when the data holds one.
    const DWORD removed = offset + entryLength < total ? entryLength + 1 : entryLength;
    memmove(data + offset, data + offset + removed, total - offset - removed);
    *length = total - removed;
    return true;
}

bool RestoreCrlProviderEntry(const char *backup, DWORD backupLength, char *data, DWORD *length, DWORD capacity)
{
    DWORD crlLength = 0;
    const DWORD crlOffset = FindCrlProvider(backup, backupLength, &crlLength);
    DWORD present = 0;
    if (crlOffset == backupLength || FindCrlProvider(data, *length, &present) != *length)
        return false;  // nothing was taken out, or it is back already

    // Right after the entry that preceded it in the backup, when the list
    // still holds that entry; at the front when it led the backup; else at
    // the end of the list.
    DWORD insertAt = 0;
    if (crlOffset > 0) {
        DWORD previous = 0;
        DWORD previousLength = 0;
        for (DWORD offset = 0; offset < crlOffset;) {
            const DWORD n = EntryLength(backup, backupLength, offset);
            previous = offset;
            previousLength = n;
            offset += n + 1;
        }
        const DWORD found = FindEntry(data, *length, backup + previous, previousLength);
        insertAt = found < *length ? found + previousLength + 1 : ListEnd(data, *length);
    }
    if (insertAt > *length || *length + crlLength + 1 > capacity)
        return false;
    memmove(data + insertAt + crlLength + 1, data + insertAt, *length - insertAt);
    memcpy(data + insertAt, backup + crlOffset, crlLength);
    data[insertAt + crlLength] = '\0';
    *length += crlLength + 1;
    return true;
}

bool ReadProviderListValue(HKEY key, const char *name, char *data, DWORD capacity, DWORD *length)
{
    memset(data, 0, capacity);
    DWORD type = 0;
    *length = capacity;
    return RegQueryValueExA(key, name, NULL, &type, reinterpret_cast<BYTE *>(data), length) == ERROR_SUCCESS &&
           type == REG_MULTI_SZ;
}

bool ReadRegisteredProviderList(const char *name, char *data, DWORD capacity, DWORD *length)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, PROVIDER_LIST_KEY, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    const bool read = ReadProviderListValue(key, name, data, capacity, length);
    RegCloseKey(key);
    return read;
}
