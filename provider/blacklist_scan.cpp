// The blacklist scan (see blacklist_scan.h).

#include "blacklist_scan.h"

#include "common/bounded_string.h"
#include "common/dialog_support.h"
#include "common/product.h"
#include "lifecycle.h"
#include "resources/resource_ids.h"
#include "text_search.h"
#include "warning_dialog.h"

#include <cstdlib>
#include <cstring>

namespace {

const size_t kPathCapacity = 1024;

// The name begins with "BLACKLIST", each character folded by CharUpperA.
bool HasBlacklistPrefix(const char *name)
{
    static const char kPrefix[] = "BLACKLIST";
    for (size_t i = 0; i < sizeof kPrefix - 1; i++) {
        const BYTE c = static_cast<BYTE>(name[i]);
        const char upper = static_cast<char>(reinterpret_cast<UINT_PTR>(CharUpperA(reinterpret_cast<LPSTR>(c))));
        if (upper != kPrefix[i])
            return false;
    }
    return true;
}

struct ScanState {
    const char *fingerprint;
    WarningDialogParam dialogParam;
    bool revoked;
    DWORD errorCode;
    DWORD errorValue;
};

// A hit: the event first, then the user or, without one, the refusal.
void HandleHit(ScanState *scan)
{
    LogWeakCertificate(scan->dialogParam.commonName);
    if (!InteractiveFlag) {
        scan->revoked = true;
        return;
    }
    const INT_PTR answer = DialogBoxParamA(ModuleHandle, MAKEINTRESOURCEA(IDD_WARNING + LanguageOffset), NULL,
                                           WarningDialogProc, reinterpret_cast<LPARAM>(&scan->dialogParam));
    if (answer != kWarningContinue)
        scan->revoked = true;
}

// Reads one blacklist file whole and searches it up to its first NUL.
void SearchFile(ScanState *scan, const char *path, const WIN32_FIND_DATAA &entry)
{
    if (entry.nFileSizeHigh != 0 || entry.nFileSizeLow >= kBlacklistSizeLimit)
        return;

    const DWORD size = entry.nFileSizeLow;
    char *buffer = static_cast<char *>(malloc(static_cast<size_t>(size) + 1));
    HANDLE file = INVALID_HANDLE_VALUE;
    DWORD bytesRead = 0;
    if (!buffer) {
        scan->errorCode = kScanNoBuffer;
        return;
    }
    buffer[size] = '\0';

    file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        scan->errorCode = kScanOpenFailed;
        scan->errorValue = GetLastError();
        goto cleanup;
    }
    if (!ReadFile(file, buffer, size, &bytesRead, NULL) || bytesRead != size) {
        scan->errorCode = kScanReadFailed;
        scan->errorValue = GetLastError();
        goto cleanup;
    }
    {
        const char *end = static_cast<const char *>(memchr(buffer, '\0', static_cast<size_t>(size) + 1));
        if (ContainsText(buffer, static_cast<size_t>(end - buffer), scan->fingerprint))
            HandleHit(scan);
    }

cleanup:
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    free(buffer);
}

} // namespace

bool ScanBlacklists(const char *fingerprint, const char *commonName, const BYTE *pbCertEncoded,
                    DWORD cbCertEncoded, bool *failed)
{
    ScanState scan;
    scan.fingerprint = fingerprint;
    memset(&scan.dialogParam, 0, sizeof scan.dialogParam);
    scan.dialogParam.commonName = commonName;
    scan.dialogParam.pbCertEncoded = pbCertEncoded;
    scan.dialogParam.cbCertEncoded = cbCertEncoded;
    scan.revoked = false;
    scan.errorCode = kScanOk;
    scan.errorValue = 0;

    char installDir[kPathCapacity] = "";
    char pattern[kPathCapacity];
    char fileName[kPathCapacity];
    WIN32_FIND_DATAA entry;
    HANDLE find = INVALID_HANDLE_VALUE;

    const DWORD length = GetEnvironmentVariableA("ProgramFiles", installDir, kPathCapacity);
    if (length != 0 && length < kPathCapacity) {
        BoundedAppend(installDir, kPathCapacity, VERILOOM_INSTALL_FOLDER);
        BoundedAppend(installDir, kPathCapacity, "\\");
    } else {
        installDir[0] = '\0';
    }
    if (installDir[0] == '\0') {
        scan.errorCode = kScanNoInstallDir;
        scan.errorValue = GetLastError();
        goto done;
    }

    BoundedCopy(pattern, kPathCapacity, installDir);
    BoundedAppend(pattern, kPathCapacity, "*");
    find = FindFirstFileA(pattern, &entry);
    if (find == INVALID_HANDLE_VALUE) {
        scan.errorCode = kScanFindFailed;
        scan.errorValue = GetLastError();
        goto done;
    }

    do {
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        if (!HasBlacklistPrefix(entry.cFileName))
            continue;
        BoundedCopy(fileName, kPathCapacity, installDir);
        BoundedAppend(fileName, kPathCapacity, entry.cFileName);
        SearchFile(&scan, fileName, entry);
        if (scan.revoked)
            break;
    } while (FindNextFileA(find, &entry));

done:
    if (find != INVALID_HANDLE_VALUE)
        FindClose(find);
    if (scan.errorCode != kScanOk)
        ShowCheckError(scan.errorCode + kScanErrorShownOffset, scan.errorValue);
    *failed = scan.errorCode != kScanOk;
    return scan.revoked;
}
