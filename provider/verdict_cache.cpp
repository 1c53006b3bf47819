// The verdict cache (see verdict_cache.h). Table and count are used only
// under the lock, which is never held while a certificate is walked, a file
// read or a dialog shown.

#include "verdict_cache.h"

#include "common/bounded_string.h"

#include <cstdlib>
#include <cstring>

namespace {

CRITICAL_SECTION CacheLock;
char *VerdictTable = NULL;
DWORD VerdictCount = 0;

} // namespace

bool CreateVerdictCache()
{
    InitializeCriticalSection(&CacheLock);
    VerdictCount = 0;
    // Entries are read only below the count, so the block is not cleared.
    VerdictTable = static_cast<char *>(malloc(kVerdictCacheBytes));
    return VerdictTable != NULL;
}

void DestroyVerdictCache()
{
    free(VerdictTable);
    VerdictTable = NULL;
    DeleteCriticalSection(&CacheLock);
}

bool LookUpVerdict(const char *fingerprint, bool *revoked)
{
    bool found = false;
    EnterCriticalSection(&CacheLock);
    for (DWORD i = 0; VerdictTable && i < VerdictCount; i++) {
        const char *entry = VerdictTable + i * kVerdictEntrySize;
        if (entry[0] == fingerprint[0] && strcmp(entry, fingerprint) == 0) {
            *revoked = entry[kFingerprintField] != 0;
            found = true;
            break;
        }
    }
    LeaveCriticalSection(&CacheLock);
    return found;
}

void StoreVerdict(const char *fingerprint, bool revoked)
{
    EnterCriticalSection(&CacheLock);
    if (VerdictTable && VerdictCount < kVerdictCacheEntries) {
        char *entry = VerdictTable + VerdictCount * kVerdictEntrySize;
        BoundedCopy(entry, kFingerprintField, fingerprint);
        entry[kFingerprintField] = revoked ? 1 : 0;
        VerdictCount++;
    }
    LeaveCriticalSection(&CacheLock);
}
