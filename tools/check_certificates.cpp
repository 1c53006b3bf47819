// check_certificates: checks certificate files the way a browser does, by
// building each one's chain with revocation checking of the whole chain, and
// says for each whether CryptoAPI calls it revoked, that is whether an
// installed revocation provider (Veriloom's among them) refused its key.
//   check_certificates FILE...
// For each file (DER or PEM) it prints the subject, the key fingerprint that
// blacklist files list, and the verdict. Exit code 0 when every file was
// read and checked, 1 otherwise.

#include <windows.h>
#include <wincrypt.h>

#include "provider/certificate_walker.h"
#include "tools/file_input.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The DER of the first PEM certificate block, or the bytes themselves when
// there is no PEM block; empty for other PEM blocks.
std::vector<BYTE> CertificateBytes(const std::vector<BYTE> &bytes)
{
    std::string label;
    std::vector<BYTE> der;
    if (!DecodePem(bytes, &label, &der))
        return bytes;
    return label == "CERTIFICATE" ? der : std::vector<BYTE>();
}

// The key fingerprint as the revocation provider computes it (the last 20
// hex digits), or why there is none.
std::string KeyFingerprint(const std::vector<BYTE> &der)
{
    TMyProcessCertificate reader;
    char text[64];
    if (!reader.Process(der.data(), static_cast<uint32_t>(der.size()))) {
        snprintf(text, sizeof text, "(certificate not readable [%d/%d])", static_cast<int>(reader.ParseStatus),
                 static_cast<int>(reader.KeyStatus));
        return text;
    }
    const char *digest = reader.GetKeyDigest();
    return strlen(digest) > 20 ? std::string(digest + 20) : std::string("(no key)");
}

// Prints one file's report; false when the file could not be read or checked.
bool Check(const char *path)
{
    std::vector<BYTE> bytes;
    if (!ReadWholeFile(path, &bytes)) {
        printf("%s: cannot read the file\n", path);
        return false;
    }
    const std::vector<BYTE> der = CertificateBytes(bytes);
    PCCERT_CONTEXT certificate =
        der.empty() ? NULL
                    : CertCreateCertificateContext(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, der.data(),
                                                   static_cast<DWORD>(der.size()));
    if (!certificate) {
        printf("%s: not a certificate (error 0x%08lx)\n", path, GetLastError());
        return false;
    }

    char subject[512] = "";
    if (CertGetNameStringA(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, NULL, subject, sizeof subject) <= 1)
        strcpy(subject, "(none)");

    CERT_CHAIN_PARA chainPara;
    memset(&chainPara, 0, sizeof chainPara);
    chainPara.cbSize = sizeof chainPara;
    PCCERT_CHAIN_CONTEXT chain = NULL;
    const BOOL built = CertGetCertificateChain(NULL, certificate, NULL, NULL, &chainPara,
                                               CERT_CHAIN_REVOCATION_CHECK_CHAIN, NULL, &chain);

    printf("%s\n", path);
    printf("  subject:     %s\n", subject);
    printf("  fingerprint: %s\n", KeyFingerprint(der).c_str());
    if (!built || !chain) {
        printf("  verdict:     chain not built (error 0x%08lx)\n", GetLastError());
        CertFreeCertificateContext(certificate);
        return false;
    }
    const DWORD errorStatus = chain->TrustStatus.dwErrorStatus;
    printf("  verdict:     %s\n", (errorStatus & CERT_TRUST_IS_REVOKED) ? "REVOKED - weak key listed" : "not revoked");
    printf("  chain error status: 0x%08lx\n", errorStatus);
    CertFreeCertificateChain(chain);
    CertFreeCertificateContext(certificate);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: check_certificates FILE...\n"
                        "Builds each certificate's chain with revocation checking (DER or PEM) and prints\n"
                        "its subject, its key fingerprint and whether it is revoked.\n");
        return 2;
    }
    bool allRead = true;
    for (int i = 1; i < argc; i++) {
        if (!Check(argv[i]))
            allRead = false;
    }
    return allRead ? 0 : 1;
}
