// The blacklist scan: looks one key fingerprint up in the BLACKLIST files of
// the installation folder, logs every hit and asks the user or refuses.
#pragma once

#include <windows.h>

#include "key_checks.h"

// Scan error codes; the error message shows them plus 100.
enum ScanErrorCode : DWORD {
    kScanOk = 0,
    kScanNoInstallDir = 1,
    kScanFindFailed = 2,
    kScanNoBuffer = 3,
    kScanOpenFailed = 4,
    kScanReadFailed = 5,
};

const DWORD kScanErrorShownOffset = 100;

// Files of this size or larger are skipped.
const DWORD kBlacklistSizeLimit = 0x8000000;

// A weak key, listed or found by the structural checks: the warning event
// (naming the weakness, if any), then the user's answer in the warning
// dialog or, in a process without a visible desktop, the refusal. Returns
// true when the certificate's verdict is revoked.
bool WarnOfWeakCertificate(const char *commonName, KeyWeakness weakness, const BYTE *pbCertEncoded,
                           DWORD cbCertEncoded);

// Returns true when the certificate's verdict is revoked.
bool ScanBlacklists(const char *fingerprint, const char *commonName, const BYTE *pbCertEncoded,
                    DWORD cbCertEncoded);
