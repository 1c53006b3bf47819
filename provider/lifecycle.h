// The library's process-wide state and its lifecycle: attach and detach, the
// interactive test, the verdict cache table, and the warning event.
#pragma once

#include <windows.h>

#include "key_checks.h"

// One verdict cache entry: the key fingerprint (NUL-terminated, at most 40
// characters) and a verdict byte (1 revoked, 0 not).
const size_t kFingerprintField = 41;
const size_t kVerdictEntrySize = kFingerprintField + 1;
const DWORD kVerdictCacheEntries = 1000;
const size_t kVerdictCacheBytes = kVerdictEntrySize * kVerdictCacheEntries;

// Written at attach, read-only afterwards.
extern HINSTANCE ModuleHandle;
extern BYTE InteractiveFlag;
// 1 unless the machine policy switches the structural key checks off.
extern BYTE KeyChecksEnabled;

// The verdict cache; table and count only under CacheLock.
extern CRITICAL_SECTION CacheLock;
extern char *VerdictTable;
extern DWORD VerdictCount;

bool ProviderAttach();
bool ProviderDetach();

// True when the process runs on the visible window station "Winsta0".
bool IsInteractiveWindowStation();

// True unless HKLM's policy value "KeyChecks" is a DWORD 0.
bool ReadKeyChecksSwitch();

// Writes the warning event for a certificate whose key is blacklisted, or,
// with a weakness, whose key the structural checks found weak: the text
// then names the reason.
void LogWeakCertificate(const char *commonName, KeyWeakness weakness = kWeaknessNone);

// Shows "Error checking certificate [code/detail]!" to an interactive user;
// a process without a visible desktop shows nothing, since nobody could
// answer the message box there.
void ShowCheckError(DWORD code, DWORD detail);
