// CertDllVerifyRevocation, the library's one export, and the policy for a
// weak key. The answer is CRYPT_E_REVOKED when a certificate's key is
// blacklisted or, for RSA, found weak by the structural key checks and was
// not accepted, CRYPT_E_NO_REVOCATION_CHECK otherwise: the library never vouches
// for a certificate. In audit mode (machine policy) a weak key is only
// logged, and nothing is ever shown.

#include <windows.h>
#include <wincrypt.h>

#include "certificate_walker.h"
#include "common/bounded_string.h"
#include "common/dialog_support.h"
#include "index_worker.h"
#include "install_folder_source.h"
#include "key_checks.h"
#include "lifecycle.h"
#include "list_search.h"
#include "resources/resource_ids.h"
#include "verdict_cache.h"
#include "warning_dialog.h"

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
    KeyKind keyKind;
    const BYTE *modulus;  // of an RSA key, inside the certificate's bytes
    uint32_t modulusLength;
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
    facts->keyKind = kKeyKindNone;
    facts->modulus = NULL;
    facts->modulusLength = 0;

    TMyProcessCertificate *reader = new (std::nothrow) TMyProcessCertificate;
    *walkerCreated = reader != NULL;
    if (!reader)
        return false;
    const bool ok = reader->Process(certificate->pbCertEncoded, certificate->cbCertEncoded);
    if (ok) {
        const char *digest = reader->GetKeyDigest();
        if (strlen(digest) > kDigestPrefixSkipped)
            digest += kDigestPrefixSkipped;
        BoundedCopy(facts->fingerprint, kFingerprintCapacity, digest);
        BoundedCopy(facts->commonName, kCommonNameCapacity, reader->GetCommonName());
        facts->keyKind = reader->GetKeyKind();
        if (facts->keyKind == kKeyKindRsa)
            reader->GetModulus(&facts->modulus, &facts->modulusLength);
    } else {
        facts->errorCode = static_cast<DWORD>(reader->ParseStatus);
        facts->errorDetail = static_cast<DWORD>(reader->KeyStatus);
    }
    delete reader;
    return ok;
}

// The library's error message, unless audit mode keeps users undisturbed.
void ShowErrorUnlessAuditing(DWORD code, DWORD detail)
{
    if (!AuditMode)
        ShowCheckError(code, detail);
}

// A weak key, listed in a file (listName) or found by the structural checks
// (weakness): the event first, then the user's answer or, without a user,
// the refusal; in audit mode the event only. True when the key is refused.
bool RefuseWeakKey(const CertificateFacts &facts, const CERT_CONTEXT *certificate, const char *listName,
                   KeyWeakness weakness)
{
    const WeakKeyEvent event = {facts.commonName, facts.fingerprint, listName, weakness,
                                facts.keyKind, AuditMode != 0};
    LogWeakCertificate(event);
    if (AuditMode)
        return false;
    if (!InteractiveFlag)
        return true;
    WarningDialogParam dialogParam;
    memset(&dialogParam, 0, sizeof dialogParam);
    dialogParam.commonName = facts.commonName;
    dialogParam.pbCertEncoded = certificate->pbCertEncoded;
    dialogParam.cbCertEncoded = certificate->cbCertEncoded;
    const INT_PTR answer = DialogBoxParamA(ModuleHandle, MAKEINTRESOURCEA(IDD_WARNING + LanguageOffset), NULL,
                                           WarningDialogProc, reinterpret_cast<LPARAM>(&dialogParam));
    return answer != kWarningContinue;
}

// The blacklist files, in folder order, each listing file handled as it is
// found; the first refusal ends the search, and so does the first listing
// in audit mode (one event per key). A search error is shown once, after
// any dialog; *failed tells that one was met, *listed that a file lists it.
bool SearchBlacklists(const CertificateFacts &facts, const CERT_CONTEXT *certificate, bool *failed, bool *listed)
{
    InstallFolderSource folder;
    ListSearch search(&folder, KnownLists, facts.fingerprint);
    bool revoked = false;
    *listed = false;
    while (!revoked && search.NextListing()) {
        *listed = true;
        revoked = RefuseWeakKey(facts, certificate, search.ListingName(), kWeaknessNone);
        if (AuditMode)
            break;
    }
    search.Finish();
    BuildWantedIndexesInBackground();
    *failed = search.errorCode != kSearchOk;
    if (*failed)
        ShowErrorUnlessAuditing(search.errorCode + kSearchErrorShownOffset, search.errorValue);
    return revoked;
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
                ShowErrorUnlessAuditing(facts.errorCode, facts.errorDetail);
            break;
        }
        if (facts.fingerprint[0] == '\0')
            continue;  // no key found: nothing to look up

        bool revoked = false;
        if (!LookUpVerdict(facts.fingerprint, &revoked)) {
            // A key not seen before: for RSA the structural checks first
            // (they need no I/O); a key they find weak is treated as listed
            // and the lists are not searched for it.
            const KeyWeakness weakness = KeyChecksEnabled && facts.modulus
                                             ? FindKeyWeakness(facts.modulus, facts.modulusLength)
                                             : kWeaknessNone;
            bool searchFailed = false, listed = false;
            if (weakness != kWeaknessNone)
                revoked = RefuseWeakKey(facts, certificate, NULL, weakness);
            else
                revoked = SearchBlacklists(facts, certificate, &searchFailed, &listed);
            // A failed search that found nothing proves nothing: the next
            // check searches again. A listing is kept, refused or not, so
            // that it is logged once per process.
            if (listed || !searchFailed)
                StoreVerdict(facts.fingerprint, revoked);
        }
        if (revoked)
            anyRevoked = true;
    }

    if (pRevStatus)
        pRevStatus->dwError = (!abort && anyRevoked) ? CRYPT_E_REVOKED : CRYPT_E_NO_REVOCATION_CHECK;
    return FALSE;
}
