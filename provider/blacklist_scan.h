// The blacklist scan: looks one key fingerprint up in the BLACKLIST files of
// the installation folder, logs every hit and asks the user or refuses.
#pragma once

#include <windows.h>

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

// Returns true when the certificate's verdict is revoked; *failed tells
// whether the scan met an error (and showed it).
bool ScanBlacklists(const char *fingerprint, const char *commonName, const BYTE *pbCertEncoded,
                    DWORD cbCertEncoded, bool *failed);
