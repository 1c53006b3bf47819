// CertDllVerifyRevocation called directly and through crypt32.

#include "tests/windows/support/provider_test_support.h"

#include <gtest/gtest.h>

int RunChildMode(const std::string &mode)
{
    (void)mode;
    return 2;
}

namespace {

TEST(EntryPoint, ListedKeyIsRevokedThroughCrypt32)
{
    InstallFolder folder;
    TestCertificate weak, clean;
    ASSERT_TRUE(LoadTestCertificate("rsa-2048.der", &weak));
    ASSERT_TRUE(LoadTestCertificate("rsa-1024.der", &clean));
    folder.Write("BLACKLIST.RSA-2048", "# weak keys\n" + weak.fingerprint + "\n");

    WindowWatcher watcher;
    ProviderRegistration registration;
    ASSERT_TRUE(registration.ok);

    CERT_REVOCATION_STATUS status;
    memset(&status, 0xcc, sizeof status);
    status.cbSize = sizeof status;
    PVOID contexts[1] = {const_cast<CERT_CONTEXT *>(weak.context)};
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CertVerifyRevocation(X509_ASN_ENCODING, CERT_CONTEXT_REVOCATION_TYPE, 1, contexts, 0, NULL, &status));
    EXPECT_EQ(static_cast<DWORD>(CRYPT_E_REVOKED), status.dwError);

    contexts[0] = const_cast<CERT_CONTEXT *>(clean.context);
    memset(&status, 0xcc, sizeof status);
    status.cbSize = sizeof status;
    EXPECT_FALSE(CertVerifyRevocation(X509_ASN_ENCODING, CERT_CONTEXT_REVOCATION_TYPE, 1, contexts, 0, NULL, &status));
    EXPECT_NE(static_cast<DWORD>(CRYPT_E_REVOKED), status.dwError);

    FreeTestCertificate(&weak);
    FreeTestCertificate(&clean);
}

} // namespace
