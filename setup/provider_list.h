// CryptoAPI's default revocation provider list ("Dll", REG_MULTI_SZ) and
// the walks over it. Every walk is bounded by the length the registry
// returned, so a list without its closing empty entry is never read past
// its end.
#pragma once

#include <windows.h>

#define PROVIDER_LIST_KEY "SOFTWARE\\Microsoft\\Cryptography\\OID\\EncodingType 1\\CertDllVerifyRevocation\\DEFAULT"
#define PROVIDER_LIST_VALUE "Dll"
#define PROVIDER_LIST_BACKUP_VALUE "DllOrig"
#define PROVIDER_LIBRARY_NAME "Veriloom-x64.dll"

// Size of the buffers the lists are read into.
const DWORD kProviderListBytes = 8192;

// Reads a provider list value (REG_MULTI_SZ) of an open key into a zeroed
// buffer of `capacity` bytes; false when it is missing or of another type.
// *length is the byte count the registry returned.
bool ReadProviderListValue(HKEY key, const char *name, char *data, DWORD capacity, DWORD *length);
// The same for the value of CryptoAPI's DEFAULT key ("Dll" or "DllOrig").
bool ReadRegisteredProviderList(const char *name, char *data, DWORD capacity, DWORD *length);

// True when a file name is the library's, in any ASCII letter case.
bool IsLibraryFileName(const char *name);

// True when one entry of the list (length bytes of data) has a directory
// part and the file name after its last backslash is the library's name,
// in any ASCII letter case.
bool ProviderListNamesLibrary(const char *data, DWORD length);

// The first entry that names the library as ProviderListNamesLibrary
// does: its offset and length (without the NUL).
bool FindLibraryEntry(const char *data, DWORD length, DWORD *entryOffset, DWORD *entryLength);

// Removes the first entry that reads "cryptnet.dll" in any letter case,
// with its terminating NUL, and moves the rest down. Returns true and the
// new length when an entry was removed.
bool RemoveCrlProviderEntry(char *data, DWORD *length);

// Puts the CRL provider entry of the backup (the list as it was before
// "-nocrl" took it out) back into the list: right after the entry that
// preceded it in the backup when the list still holds that entry, first
// when it was first, else at the end. Nothing happens when the backup has
// no such entry, the list holds one already or the capacity is too small.
// Returns true and the new length when the entry was put back.
bool RestoreCrlProviderEntry(const char *backup, DWORD backupLength, char *data, DWORD *length, DWORD capacity);
