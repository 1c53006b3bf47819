// The inventory of the system certificate stores, cert_fingerprint --stores,
// in the test prefix against the shipped lists of published and keypair
// keys: the stores as they are (Wine's roots among them) give exit 0; a
// certificate with a listed EC key imported into the machine's Root store
// is reported with store, subject, fingerprint and reason, also as CSV, and
// exit 1; removed again, exit 0.

#include "tests/windows/support/provider_test_support.h"

#include <gtest/gtest.h>

namespace {

// cert_fingerprint --stores with the options; its output, "exit=N" last.
std::string Inventory(const std::string &options)
{
    return RunUnixShell("/usr/lib/wine/wine64 '" + UnixPath(Environment("VERILOOM_CERT_FINGERPRINT_EXE")) +
                        "' --stores " + options);
}

// Takes the certificate out of the machine's Root store in the registry,
// where the store keeps it under its SHA-1 thumbprint (Wine's store does
// not delete it there itself).
bool RemoveFromMachineRoot(PCCERT_CONTEXT certificate)
{
    BYTE thumbprint[20];
    DWORD size = sizeof thumbprint;
    if (!CertGetCertificateContextProperty(certificate, CERT_SHA1_HASH_PROP_ID, thumbprint, &size))
        return false;
    const std::string key = "Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\" + ToHex(thumbprint, size);
    const LONG status = RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());  // names ignore case
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

TEST(StoreInventory, WeakRootIsReportedAndCleanStoresPass)
{
    const TestCertificate weak("rfc9500-p256.der");
    ASSERT_TRUE(weak.context);
    ASSERT_TRUE(RemoveFromMachineRoot(weak.context));  // left by an interrupted run
    InstallFolder folder;
    ASSERT_TRUE(folder.CopyShippedList("BLACKLIST.KEYS-published"));
    ASSERT_TRUE(folder.CopyShippedList("BLACKLIST.RSA-keypair"));
    const std::string lists = "--lists '" + folder.installDir + "'";
    const std::string clean = Inventory(lists);
    EXPECT_NE(std::string::npos, clean.find(" lists in ")) << clean;
    EXPECT_NE(std::string::npos, clean.find(": 0 weak")) << clean;
    EXPECT_NE(std::string::npos, clean.find("exit=0")) << clean;

    // The store is written out when it is closed.
    HCERTSTORE root = CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, "Root");
    ASSERT_TRUE(root != NULL);
    EXPECT_TRUE(CertAddEncodedCertificateToStore(root, X509_ASN_ENCODING, weak.der.data(),
                                                 static_cast<DWORD>(weak.der.size()), CERT_STORE_ADD_REPLACE_EXISTING,
                                                 NULL));
    CertCloseStore(root, 0);
    const std::string found = Inventory(lists);
    const std::string csv = Inventory(lists + " --csv");
    EXPECT_TRUE(RemoveFromMachineRoot(weak.context));

    EXPECT_NE(std::string::npos,
              found.find("LocalMachine\\Root: 'rfc9500-p256' 235764a26affe8d5a818: listed in BLACKLIST.KEYS-published"))
        << found;
    EXPECT_NE(std::string::npos, found.find(": 1 weak")) << found;
    EXPECT_NE(std::string::npos, found.find("exit=1")) << found;
    EXPECT_NE(std::string::npos, csv.find("store,subject,fingerprint,reason")) << csv;
    EXPECT_NE(std::string::npos,
              csv.find("LocalMachine\\Root,rfc9500-p256,235764a26affe8d5a818,listed in BLACKLIST.KEYS-published"))
        << csv;
    EXPECT_NE(std::string::npos, csv.find("exit=1")) << csv;

    const std::string removed = Inventory(lists);
    EXPECT_NE(std::string::npos, removed.find("exit=0")) << removed;
}

} // namespace
