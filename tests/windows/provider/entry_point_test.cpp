// CertDllVerifyRevocation called directly with the arguments CryptoAPI may
// hand over, and through Wine's crypt32: CertVerifyRevocation and chain
// building.

#include "tests/windows/support/provider_test_support.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

const std::vector<std::string> kListedOnce = {"event 2 100 Veriloom|Weak certificate found: 'RSA 2048'",
                                              "dialogbox 100"};

// Direct calls of a freshly loaded library (empty verdict cache) in this
// interactive process; rsa-2048 and the walk-failure certificate's key are
// listed, every message box is answered and recorded.
class ExportTest : public ProviderTest {
protected:
    void SetUp() override
    {
        ProviderTest::SetUp();
        for (const TestCertificate *certificate : {&listed, &clean, &ec, &broken})
            ASSERT_FALSE(certificate->der.empty());
        ASSERT_EQ(20u, listed.fingerprint.size());
        folder.Write("BLACKLIST.TXT", listed.fingerprint + "\n" + broken.fingerprint + "\n");
    }

    DWORD Verify(std::vector<const CERT_CONTEXT *> contexts, DWORD encoding = X509_ASN_ENCODING,
                 DWORD revocationType = CERT_CONTEXT_REVOCATION_TYPE)
    {
        return VerifyOnce(provider.verify, contexts, encoding, revocationType);
    }

    WindowWatcher watcher;
    TestCertificate listed{"rsa-2048.der"}, clean{"rsa-1024.der"}, ec{"ec-p256.der"}, broken{"outer-sig-rsaenc.der"};
    CERT_CONTEXT listedContext = BareContext(listed.der), cleanContext = BareContext(clean.der),
                 ecContext = BareContext(ec.der), brokenContext = BareContext(broken.der);
};

TEST_F(ExportTest, NoContextsIsInvalidArgument)
{
    CERT_REVOCATION_STATUS status;
    PVOID contexts[1] = {&ecContext};
    SetLastError(0xdeadbeef);
    memset(&status, 0xcc, sizeof status);
    status.cbSize = sizeof status;
    EXPECT_FALSE(provider.verify(X509_ASN_ENCODING, CERT_CONTEXT_REVOCATION_TYPE, 0, contexts, 0, NULL, &status));
    EXPECT_EQ(static_cast<DWORD>(E_INVALIDARG), GetLastError());
    EXPECT_EQ("cbSize=24 index=cccccccc reason=cccccccc fresh=cccccccc time=cccccccc", UntouchedFields(status));
    EXPECT_EQ(0xccccccccu, status.dwError);
    EXPECT_TRUE(TakeLibraryCalls().empty());
}

// Each refused argument answers "no check" before any certificate is read:
// the listed certificate in the array would otherwise answer revoked.
TEST_F(ExportTest, RefusedArgumentsAnswerNoCheck)
{
    EXPECT_EQ(kNoCheck, Verify({&ecContext, &listedContext}, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING));
    EXPECT_EQ(kNoCheck, Verify({&ecContext, &listedContext}, PKCS_7_ASN_ENCODING));
    EXPECT_EQ(kNoCheck, Verify({&ecContext, &listedContext}, X509_ASN_ENCODING, 2));

    CERT_REVOCATION_STATUS status;
    memset(&status, 0xcc, sizeof status);
    status.cbSize = sizeof status;
    EXPECT_FALSE(provider.verify(X509_ASN_ENCODING, CERT_CONTEXT_REVOCATION_TYPE, 1, NULL, 0, NULL, &status));
    EXPECT_EQ("cbSize=24 index=cccccccc reason=cccccccc fresh=cccccccc time=cccccccc", UntouchedFields(status));
    EXPECT_EQ(kNoCheck, status.dwError);

    EXPECT_EQ(kNoCheck, Verify({NULL, &ecContext}));
    CERT_CONTEXT noBytes = ecContext;
    noBytes.pbCertEncoded = NULL;
    EXPECT_EQ(kNoCheck, Verify({&noBytes, &ecContext}));
    CERT_CONTEXT noLength = ecContext;
    noLength.cbCertEncoded = 0;
    EXPECT_EQ(kNoCheck, Verify({&noLength, &ecContext}));

    EXPECT_TRUE(TakeLibraryCalls().empty());
    EXPECT_TRUE(watcher.MessageBoxes().empty());
    EXPECT_EQ(0u, watcher.Dialogs());
}

TEST_F(ExportTest, NullStatusStillChecks)
{
    EXPECT_FALSE(CallExport(provider.verify, {&listedContext}, NULL));
    EXPECT_EQ(kListedOnce, TakeLibraryCalls());
    // The verdict came from that call: the file is gone now.
    folder.Remove("BLACKLIST.TXT");
    EXPECT_EQ(kRevoked, Verify({&listedContext}));
    EXPECT_TRUE(TakeLibraryCalls().empty());
}

TEST_F(ExportTest, AnswerCoversEveryCertificate)
{
    EXPECT_EQ(kNoCheck, Verify({&cleanContext}));
    EXPECT_EQ(kRevoked, Verify({&listedContext, &cleanContext}));
    EXPECT_EQ(kRevoked, Verify({&cleanContext, &listedContext}));
    EXPECT_EQ(kNoCheck, Verify({&cleanContext, &cleanContext}));
    // A refused entry after a refused key: nothing is vouched for either way.
    EXPECT_EQ(kNoCheck, Verify({&listedContext, NULL}));
    // Only the first look at the listed key reads the blacklist.
    EXPECT_EQ(kListedOnce, TakeLibraryCalls());
}

// A key that no list covers is no error: nothing is shown, the others are
// examined.
TEST_F(ExportTest, KeyOtherThanRsaShowsNothing)
{
    EXPECT_EQ(kRevoked, Verify({&cleanContext, &ecContext, &listedContext}));
    EXPECT_EQ(kNoCheck, Verify({&ecContext, &cleanContext}));
    EXPECT_TRUE(watcher.MessageBoxes().empty());
    EXPECT_EQ(kListedOnce, TakeLibraryCalls());
}

// The walk fails after the key (listed) was digested: one message, and the
// call answers "no check" whatever else the array holds.
TEST_F(ExportTest, WalkFailureShowsMessageAndAborts)
{
    EXPECT_EQ(kNoCheck, Verify({&brokenContext}));
    EXPECT_EQ(std::vector<std::string>{ErrorBox("12/4")}, watcher.MessageBoxes());
    EXPECT_EQ(kNoCheck, Verify({&listedContext, &brokenContext}));
    EXPECT_EQ(kNoCheck, Verify({&brokenContext, &ecContext, &listedContext}));
    EXPECT_EQ(std::vector<std::string>(3, ErrorBox("12/4")), watcher.MessageBoxes());
}

// Through crypt32 with the library registered first.
class Crypt32Test : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(registration.ok);
        ASSERT_TRUE(listed.context && clean.context);
        folder.Write("BLACKLIST.RSA-2048", "# weak keys\n" + listed.fingerprint + "\n");
    }

    static DWORD TrustErrors(PCCERT_CONTEXT certificate, DWORD *endErrors)
    {
        CERT_CHAIN_PARA para;
        memset(&para, 0, sizeof para);
        para.cbSize = sizeof para;
        PCCERT_CHAIN_CONTEXT chain = NULL;
        if (!CertGetCertificateChain(NULL, certificate, NULL, NULL, &para, CERT_CHAIN_REVOCATION_CHECK_CHAIN, NULL,
                                     &chain))
            return 0xffffffff;
        const DWORD errors = chain->TrustStatus.dwErrorStatus;
        *endErrors = chain->rgpChain[0]->rgpElement[0]->TrustStatus.dwErrorStatus;
        CertFreeCertificateChain(chain);
        return errors;
    }

    InstallFolder folder;
    WindowWatcher watcher;
    ProviderRegistration registration;
    TestCertificate listed{"rsa-2048.der"}, clean{"rsa-1024.der"};
};

// Wine's crypt32 hands the record over as it is and stops at the first
// provider that answers FALSE; dwIndex stays as the caller left it.
TEST_F(Crypt32Test, CertVerifyRevocation)
{
    EXPECT_EQ(kRevoked, VerifyOnce(CertVerifyRevocation, listed.context));
    EXPECT_EQ(kRevoked, VerifyOnce(CertVerifyRevocation, {clean.context, listed.context}));
    EXPECT_EQ(kNoCheck, VerifyOnce(CertVerifyRevocation, clean.context));
    EXPECT_TRUE(watcher.MessageBoxes().empty());
}

TEST_F(Crypt32Test, ChainOfListedCertificateIsRevoked)
{
    DWORD endErrors = 0;
    const DWORD listedErrors = TrustErrors(listed.context, &endErrors);
    ASSERT_NE(0xffffffff, listedErrors) << GetLastError();
    EXPECT_TRUE(listedErrors & CERT_TRUST_IS_REVOKED) << std::hex << listedErrors;
    EXPECT_TRUE(endErrors & CERT_TRUST_IS_REVOKED) << std::hex << endErrors;

    const DWORD cleanErrors = TrustErrors(clean.context, &endErrors);
    ASSERT_NE(0xffffffff, cleanErrors) << GetLastError();
    EXPECT_FALSE(cleanErrors & CERT_TRUST_IS_REVOKED) << std::hex << cleanErrors;
    EXPECT_FALSE(endErrors & CERT_TRUST_IS_REVOKED) << std::hex << endErrors;
}

} // namespace
