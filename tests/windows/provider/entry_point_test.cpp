// CertDllVerifyRevocation called directly with the arguments CryptoAPI may
// hand over, and through Wine's crypt32: CertVerifyRevocation and chain
// building.

#include "tests/windows/support/provider_test_support.h"

#include <gtest/gtest.h>

#include <memory>

// The library's events, message boxes and dialogs (lifecycle_test.cpp).
bool RecordLibraryCalls(HMODULE module);
std::vector<std::string> TakeLibraryCalls();

namespace {

const DWORD kUntouched = 0xcccccccc;
const DWORD kRevoked = static_cast<DWORD>(CRYPT_E_REVOKED);
const DWORD kNoCheck = static_cast<DWORD>(CRYPT_E_NO_REVOCATION_CHECK);
const char kCaption[] = "Veriloom V1.1 \xC2\xA9 2026 Veriloom";

// A context that carries nothing but the encoding, as the library reads it.
CERT_CONTEXT Bare(const Bytes &der)
{
    CERT_CONTEXT context;
    memset(&context, 0, sizeof context);
    context.dwCertEncodingType = X509_ASN_ENCODING;
    context.pbCertEncoded = const_cast<BYTE *>(der.data());
    context.cbCertEncoded = static_cast<DWORD>(der.size());
    return context;
}

void FreshStatus(CERT_REVOCATION_STATUS *status)
{
    memset(status, 0xcc, sizeof *status);
    status->cbSize = sizeof *status;
}

// The export returns FALSE and sets dwError alone.
void ExpectAnswer(BOOL result, const CERT_REVOCATION_STATUS &status, DWORD error)
{
    EXPECT_FALSE(result);
    EXPECT_EQ(sizeof status, status.cbSize);
    EXPECT_EQ(kUntouched, status.dwIndex);
    EXPECT_EQ(error, status.dwError) << std::hex << status.dwError;
    EXPECT_EQ(kUntouched, status.dwReason);
    EXPECT_EQ(kUntouched, static_cast<DWORD>(status.fHasFreshnessTime));
    EXPECT_EQ(kUntouched, status.dwFreshnessTime);
}

void ExpectMessage(const SeenWindow &seen, const std::string &text)
{
    EXPECT_EQ(kCaption, seen.caption);
    EXPECT_FALSE(seen.isDialog);
    ASSERT_EQ(1u, seen.texts.size());
    EXPECT_EQ(text, seen.texts[0]);
}

// Direct calls of a freshly loaded library (empty verdict cache) in this
// interactive process; rsa-2048 and the walk-failure certificate's key are
// listed, every message box is answered and recorded.
class ExportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(NULL, GetModuleHandleA(ProviderPath().c_str())) << "library still loaded, cache not fresh";
        provider.reset(new LoadedProvider);
        ASSERT_TRUE(provider->verify != NULL);
        ASSERT_EQ(provider->module, GetModuleHandleA(ProviderPath().c_str()));
        ASSERT_TRUE(RecordLibraryCalls(provider->module));
        TakeLibraryCalls();
        const char *names[4] = {"rsa-2048.der", "rsa-1024.der", "ec-p256.der", "outer-sig-rsaenc.der"};
        TestCertificate *certificates[4] = {&listed, &clean, &ec, &broken};
        for (int i = 0; i < 4; i++) {
            LoadTestCertificate(names[i], certificates[i]);
            ASSERT_FALSE(certificates[i]->der.empty()) << names[i];
        }
        ASSERT_EQ(20u, listed.fingerprint.size());
        folder.Write("BLACKLIST.TXT", listed.fingerprint + "\n" + broken.fingerprint + "\n");
        listedContext = Bare(listed.der);
        cleanContext = Bare(clean.der);
        ecContext = Bare(ec.der);
        brokenContext = Bare(broken.der);
    }

    void TearDown() override
    {
        provider.reset();
        for (TestCertificate *certificate : {&listed, &clean, &ec, &broken})
            FreeTestCertificate(certificate);
    }

    // One call with the given contexts; status filled with 0xcc first.
    BOOL Verify(std::vector<const CERT_CONTEXT *> contexts, CERT_REVOCATION_STATUS *status,
                DWORD encoding = X509_ASN_ENCODING, DWORD revType = CERT_CONTEXT_REVOCATION_TYPE)
    {
        std::vector<PVOID> array;
        for (const CERT_CONTEXT *context : contexts)
            array.push_back(const_cast<CERT_CONTEXT *>(context));
        if (status)
            FreshStatus(status);
        return provider->verify(encoding, revType, static_cast<DWORD>(array.size()), array.data(), 0, NULL,
                                status);
    }

    // What the watcher saw, without the warning dialog (it refuses).
    std::vector<SeenWindow> MessageBoxes()
    {
        std::vector<SeenWindow> boxes;
        for (const SeenWindow &seen : watcher.Seen())
            if (!seen.isDialog)
                boxes.push_back(seen);
        return boxes;
    }

    InstallFolder folder;
    WindowWatcher watcher;
    std::unique_ptr<LoadedProvider> provider;
    TestCertificate listed, clean, ec, broken;
    CERT_CONTEXT listedContext, cleanContext, ecContext, brokenContext;
};

TEST_F(ExportTest, NoContextsIsInvalidArgument)
{
    CERT_REVOCATION_STATUS status;
    FreshStatus(&status);
    PVOID contexts[1] = {&ecContext};
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(provider->verify(X509_ASN_ENCODING, CERT_CONTEXT_REVOCATION_TYPE, 0, contexts, 0, NULL, &status));
    EXPECT_EQ(static_cast<DWORD>(E_INVALIDARG), GetLastError());
    EXPECT_EQ(sizeof status, status.cbSize);
    EXPECT_EQ(kUntouched, status.dwIndex);
    EXPECT_EQ(kUntouched, status.dwError);
    EXPECT_EQ(kUntouched, status.dwReason);
    EXPECT_EQ(kUntouched, static_cast<DWORD>(status.fHasFreshnessTime));
    EXPECT_EQ(kUntouched, status.dwFreshnessTime);
    EXPECT_TRUE(TakeLibraryCalls().empty());
}

// Each refused argument answers "no check" before any certificate is read:
// the listed certificate in the array would otherwise answer revoked.
TEST_F(ExportTest, RefusedArgumentsAnswerNoCheck)
{
    CERT_REVOCATION_STATUS status;
    ExpectAnswer(Verify({&ecContext, &listedContext}, &status, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING), status,
                 kNoCheck);
    ExpectAnswer(Verify({&ecContext, &listedContext}, &status, PKCS_7_ASN_ENCODING), status, kNoCheck);
    ExpectAnswer(Verify({&ecContext, &listedContext}, &status, X509_ASN_ENCODING, 2), status, kNoCheck);

    FreshStatus(&status);
    ExpectAnswer(provider->verify(X509_ASN_ENCODING, CERT_CONTEXT_REVOCATION_TYPE, 1, NULL, 0, NULL, &status),
                 status, kNoCheck);

    ExpectAnswer(Verify({NULL, &ecContext}, &status), status, kNoCheck);
    CERT_CONTEXT noBytes = ecContext;
    noBytes.pbCertEncoded = NULL;
    ExpectAnswer(Verify({&noBytes, &ecContext}, &status), status, kNoCheck);
    CERT_CONTEXT noLength = ecContext;
    noLength.cbCertEncoded = 0;
    ExpectAnswer(Verify({&noLength, &ecContext}, &status), status, kNoCheck);

    EXPECT_TRUE(TakeLibraryCalls().empty());
    EXPECT_TRUE(watcher.Seen().empty());
}

TEST_F(ExportTest, NullStatusStillChecks)
{
    EXPECT_FALSE(Verify({&listedContext}, NULL));
    const std::vector<std::string> expected = {"event 2 100 Veriloom|Weak certificate found: 'RSA 2048'",
                                               "dialogbox 100"};
    EXPECT_EQ(expected, TakeLibraryCalls());
    // The verdict came from that call: the file is gone now.
    folder.Remove("BLACKLIST.TXT");
    CERT_REVOCATION_STATUS status;
    ExpectAnswer(Verify({&listedContext}, &status), status, kRevoked);
    EXPECT_TRUE(TakeLibraryCalls().empty());
}

TEST_F(ExportTest, AnswerCoversEveryCertificate)
{
    CERT_REVOCATION_STATUS status;
    ExpectAnswer(Verify({&cleanContext}, &status), status, kNoCheck);
    ExpectAnswer(Verify({&listedContext, &cleanContext}, &status), status, kRevoked);
    ExpectAnswer(Verify({&cleanContext, &listedContext}, &status), status, kRevoked);
    ExpectAnswer(Verify({&cleanContext, &cleanContext}, &status), status, kNoCheck);
    // A refused entry after a refused key: nothing is vouched for either way.
    ExpectAnswer(Verify({&listedContext, NULL}, &status), status, kNoCheck);
    // Only the first look at the listed key reads the blacklist.
    const std::vector<std::string> expected = {"event 2 100 Veriloom|Weak certificate found: 'RSA 2048'",
                                               "dialogbox 100"};
    EXPECT_EQ(expected, TakeLibraryCalls());
}

// A key that no list covers is no error: nothing is shown, the others are
// examined.
TEST_F(ExportTest, KeyOtherThanRsaShowsNothing)
{
    CERT_REVOCATION_STATUS status;
    ExpectAnswer(Verify({&cleanContext, &ecContext, &listedContext}, &status), status, kRevoked);
    ExpectAnswer(Verify({&ecContext, &cleanContext}, &status), status, kNoCheck);
    EXPECT_TRUE(MessageBoxes().empty());
    const std::vector<std::string> expected = {"event 2 100 Veriloom|Weak certificate found: 'RSA 2048'",
                                               "dialogbox 100"};
    EXPECT_EQ(expected, TakeLibraryCalls());
}

// The walk fails after the key (listed) was digested: one message, and the
// call answers "no check" whatever else the array holds.
TEST_F(ExportTest, WalkFailureShowsMessageAndAborts)
{
    CERT_REVOCATION_STATUS status;
    ExpectAnswer(Verify({&brokenContext}, &status), status, kNoCheck);
    std::vector<SeenWindow> seen = MessageBoxes();
    ASSERT_EQ(1u, seen.size());
    ExpectMessage(seen[0], "Error checking certificate [12/4]!");

    ExpectAnswer(Verify({&listedContext, &brokenContext}, &status), status, kNoCheck);
    ExpectAnswer(Verify({&brokenContext, &ecContext, &listedContext}, &status), status, kNoCheck);
    seen = MessageBoxes();
    ASSERT_EQ(3u, seen.size());
    ExpectMessage(seen[1], "Error checking certificate [12/4]!");
    ExpectMessage(seen[2], "Error checking certificate [12/4]!");
}

// Through crypt32 with the library registered first.
class Crypt32Test : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(registration.ok);
        ASSERT_TRUE(LoadTestCertificate("rsa-2048.der", &listed));
        ASSERT_TRUE(LoadTestCertificate("rsa-1024.der", &clean));
        folder.Write("BLACKLIST.RSA-2048", "# weak keys\n" + listed.fingerprint + "\n");
    }
    void TearDown() override
    {
        FreeTestCertificate(&listed);
        FreeTestCertificate(&clean);
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
    TestCertificate listed, clean;
};

TEST_F(Crypt32Test, CertVerifyRevocation)
{
    CERT_REVOCATION_STATUS status;
    FreshStatus(&status);
    PVOID contexts[2] = {const_cast<CERT_CONTEXT *>(listed.context), NULL};
    EXPECT_FALSE(CertVerifyRevocation(X509_ASN_ENCODING, CERT_CONTEXT_REVOCATION_TYPE, 1, contexts, 0, NULL, &status));
    // Wine's crypt32 hands the record over as it is and stops at the first
    // provider that answers FALSE; dwIndex stays as the caller left it.
    ExpectAnswer(FALSE, status, kRevoked);

    contexts[0] = const_cast<CERT_CONTEXT *>(clean.context);
    contexts[1] = const_cast<CERT_CONTEXT *>(listed.context);
    FreshStatus(&status);
    EXPECT_FALSE(CertVerifyRevocation(X509_ASN_ENCODING, CERT_CONTEXT_REVOCATION_TYPE, 2, contexts, 0, NULL, &status));
    ExpectAnswer(FALSE, status, kRevoked);

    FreshStatus(&status);
    EXPECT_FALSE(CertVerifyRevocation(X509_ASN_ENCODING, CERT_CONTEXT_REVOCATION_TYPE, 1, contexts, 0, NULL, &status));
    ExpectAnswer(FALSE, status, kNoCheck);
    for (const SeenWindow &seen : watcher.Seen())
        EXPECT_TRUE(seen.isDialog) << "message box: " << seen.caption;
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
