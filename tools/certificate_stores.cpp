// Reading the system certificate stores (see certificate_stores.h).

#include "tools/certificate_stores.h"

#include <windows.h>
#include <wincrypt.h>

#include <set>

namespace {

const struct {
    DWORD location;
    const char *name;
} kLocations[] = {
    {CERT_SYSTEM_STORE_LOCAL_MACHINE, "LocalMachine"},
    {CERT_SYSTEM_STORE_CURRENT_USER, "CurrentUser"},
};
const char *const kStores[] = {"Root", "AuthRoot", "CA", "My", "TrustedPeople"};

} // namespace

void ReadSystemStores(const std::function<void(const StoreCertificate &)> &visit,
                      const std::function<void(const std::string &store, unsigned long error)> &unreadable)
{
    // A user's store shows the machine's store of the same name too (the
    // user's Root holds the machine's roots): each certificate is handed
    // over once, for the first store that has it.
    std::set<std::string> seen;
    for (const auto &location : kLocations) {
        for (const char *storeName : kStores) {
            const std::string name = std::string(location.name) + "\\" + storeName;
            // The key under which a certificate counts as seen.
            const std::string prefix = std::string(storeName) + "|";
            // Read only, and never created where it does not exist.
            HCERTSTORE store =
                CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0,
                              location.location | CERT_STORE_READONLY_FLAG | CERT_STORE_OPEN_EXISTING_FLAG, storeName);
            if (!store) {
                // A store that does not exist holds nothing.
                const DWORD error = GetLastError();
                if (error != ERROR_FILE_NOT_FOUND)
                    unreadable(name, error);
                continue;
            }
            for (PCCERT_CONTEXT certificate = CertEnumCertificatesInStore(store, NULL); certificate;
                 certificate = CertEnumCertificatesInStore(store, certificate)) {
                const std::string key =
                    prefix + std::string(reinterpret_cast<const char *>(certificate->pbCertEncoded),
                                         certificate->cbCertEncoded);
                if (!seen.insert(key).second)
                    continue;
                StoreCertificate found;
                found.store = name;
                char subject[512] = "";
                CertGetNameStringA(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, NULL, subject, sizeof subject);
                found.subject = subject;
                found.der.assign(certificate->pbCertEncoded, certificate->pbCertEncoded + certificate->cbCertEncoded);
                visit(found);
            }
            CertCloseStore(store, 0);
        }
    }
}
