// The verdict cache: the verdict once reached for a key fingerprint, in the
// order reached, for the life of the library. 1000 entries of 42 bytes (the
// fingerprint, at most 40 characters and a NUL, and a verdict byte); a full
// table stores nothing more, and an entry is never changed.
#pragma once

#include <windows.h>

const size_t kFingerprintField = 41;
const size_t kVerdictEntrySize = kFingerprintField + 1;
const DWORD kVerdictCacheEntries = 1000;
const size_t kVerdictCacheBytes = kVerdictEntrySize * kVerdictCacheEntries;

// At attach and detach.
bool CreateVerdictCache();
void DestroyVerdictCache();

// True with the verdict when the fingerprint is cached (the first entry of
// it counts).
bool LookUpVerdict(const char *fingerprint, bool *revoked);
// Adds a verdict while the table has room.
void StoreVerdict(const char *fingerprint, bool revoked);
