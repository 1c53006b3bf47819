// CertDllVerifyRevocation, the library's one export, and the verdict cache.
// The answer is CRYPT_E_REVOKED when a certificate's RSA key is blacklisted
// and was not accepted, CRYPT_E_NO_REVOCATION_CHECK otherwise: the library
// never vouches for a certificate.

#include <windows.h>
#include <wincrypt.h>

#include "blacklist_scan.h"
#include "certificate_walker.h"
#include "common/bounded_string.h"
#include "lifecycle.h"

#include <cstring>
#include <new>

namespace {

const size_t kFingerprintCapacity = 80;
const size_t kCommonNameCapacity = 256;
const size_t kDigestPrefixSkipped = 20;

// The walk's result for one certificate: fingerprint and common name, or
// the two numbers of the error message.
struct CertificateFacts {
    char fingerprint[kFingerprintCapacity];
    char commonName[kCommonNameCapacity];
    DWORD errorCode;
    DWORD errorDetail;
};

// False when no walker could be created or the walk failed.
bool ReadCertificate(const CERT_CONTEXT *certificate, CertificateFacts *facts, bool *walkerCreated)
{
    facts->fingerprint[0] = '\0';
    facts->commonName[0] = '\0';
    facts->errorCode = 2;
    facts->errorDetail = 0;

    TMyProcessCertificate *reader = new (std::nothrow) TMyProcessCertificate;
    *walkerCreated = reader != NULL;
    if (!reader)
        return false;
    const bool ok = reader->Process(certificate->pbCertEncoded, certificate->cbCertEncoded);
    if (ok) {
        const char *digest = reader->GetModulusDigest();
        if (strlen(digest) > kDigestPrefixSkipped)
            digest += kDigestPrefixSkipped;
        BoundedCopy(facts->fingerprint, kFingerprintCapacity, digest);
        BoundedCopy(facts->commonName, kCommonNameCapacity, reader->GetCommonName());
    } else {
        facts->errorCode = static_cast<DWORD>(reader->ParseStatus);
        facts->errorDetail = static_cast<DWORD>(reader->KeyStatus);
    }
    delete reader;
    return ok;
}

// Looks the fingerprint up; true with the verdict when it is cached.
bool LookUpVerdict(const char *fingerprint, bool *revoked)
{
    bool found = false;
    EnterCriticalSection(&CacheLock);
    for (DWORD i = 0; VerdictTable && i < VerdictCount; i++) {
        const char *entry = VerdictTable + i * kVerdictEntrySize;
        if (strcmp(entry, fingerprint) == 0) {
            *revoked = entry[kFingerprintField] != 0;
            found = true;
            break;
        }
    }
    LeaveCriticalSection(&CacheLock);
    return found;
}

// Adds a verdict while the table has room; a full table stores nothing.
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

} // namespace

extern "C" BOOL WINAPI CertDllVerifyRevocation(DWORD dwEncodingType, DWORD dwRevType, DWORD cContext,
                                               PVOID rgpvContext[], DWORD dwFlags, PCERT_REVOCATION_PARA pRevPara,
                                               PCERT_REVOCATION_STATUS pRevStatus)
{
    (void)dwFlags;
    (void)pRevPara;

    if (cContext == 0) {
        SetLastError(static_cast<DWORD>(E_INVALIDARG));
        return FALSE;
    }

    bool abort = false;
    bool anyRevoked = false;
    if (dwEncodingType != X509_ASN_ENCODING || dwRevType != CERT_CONTEXT_REVOCATION_TYPE || !rgpvContext)
        abort = true;

    for (DWORD position = 0; !abort && position < cContext; position++) {
        const CERT_CONTEXT *certificate = static_cast<const CERT_CONTEXT *>(rgpvContext[position]);
        if (!certificate || !certificate->pbCertEncoded || certificate->cbCertEncoded == 0) {
            abort = true;
            break;
        }

        CertificateFacts facts;
        bool walkerCreated = false;
        if (!ReadCertificate(certificate, &facts, &walkerCreated)) {
            abort = true;
            if (walkerCreated)
                ShowCheckError(facts.errorCode, facts.errorDetail);
            break;
        }
        if (facts.fingerprint[0] == '\0')
            continue;  // not an RSA key: no list covers it

        bool revoked = false;
        if (!LookUpVerdict(facts.fingerprint, &revoked)) {
            bool scanFailed = false;
            revoked = ScanBlacklists(facts.fingerprint, facts.commonName, certificate->pbCertEncoded,
                                     certificate->cbCertEncoded, &scanFailed);
            // A failed scan that found nothing proves nothing: the next
            // check scans again.
            if (revoked || !scanFailed)
                StoreVerdict(facts.fingerprint, revoked);
        }
        if (revoked)
            anyRevoked = true;
    }

    if (pRevStatus)
        pRevStatus->dwError = (!abort && anyRevoked) ? CRYPT_E_REVOKED : CRYPT_E_NO_REVOCATION_CHECK;
    return FALSE;
}
