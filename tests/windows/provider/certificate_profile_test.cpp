// Certificates and moments of today's machines: an empty subject name with
// the names in subjectAltName, elliptic-curve keys among RSA ones, fresh
// keys of other kinds beside the lists of published keys, a scan
// that meets a locked list, and the dialog's resources after it ends.

#include "tests/windows/support/provider_test_support.h"

#include <gtest/gtest.h>

namespace {

class CertificateProfileTest : public ProviderTest {};

// A clean RSA key, an EC key and a listed key behind an empty subject, in
// one call through crypt32: no message box, the warning dialog for the
// listed key (refused), revoked.
TEST_F(CertificateProfileTest, EmptySubjectAndEcKeyAmongRsaThroughCrypt32)
{
    ProviderRegistration registration;
    ASSERT_TRUE(registration.ok);
    const TestCertificate clean("rsa-1024.der"), ec("ec-p256.der"), emptySubject("empty-subject-san.der");
    ASSERT_EQ(20u, emptySubject.fingerprint.size());
    folder.Write("BLACKLIST.TXT", emptySubject.fingerprint + "\n");

    WindowWatcher watcher;
    EXPECT_EQ(kRevoked, VerifyOnce(CertVerifyRevocation, {clean.context, ec.context, emptySubject.context}));
    EXPECT_EQ(1u, watcher.Dialogs());
    EXPECT_TRUE(watcher.MessageBoxes().empty());
}

// Fresh keys of other kinds, with the shipped lists of published and
// keypair keys in place, through crypt32 on the desktop: looked up, not
// listed, so no window, no event and "no revocation check".
TEST_F(CertificateProfileTest, FreshKeysOfOtherKindsPassWithoutAWindow)
{
    ProviderRegistration registration;
    ASSERT_TRUE(registration.ok);
    ASSERT_TRUE(folder.CopyShippedList("BLACKLIST.KEYS-published"));
    ASSERT_TRUE(folder.CopyShippedList("BLACKLIST.RSA-keypair"));
    const TestCertificate p256("ec-p256.der"), ed25519("ed25519.der"), dsa("dsa-2048.der"), pss("rsa-pss-2048.der");
    ASSERT_EQ(20u, p256.fingerprint.size());

    WindowWatcher watcher;
    EXPECT_EQ(kNoCheck, VerifyOnce(CertVerifyRevocation, {p256.context, ed25519.context, dsa.context, pss.context}));
    EXPECT_EQ(0u, watcher.Dialogs());
    EXPECT_TRUE(watcher.MessageBoxes().empty());
    EXPECT_TRUE(TakeLibraryCalls().empty());
}

// A scan that met an error and found nothing stores no verdict: once the
// list can be read, the next check of the same key finds it.
TEST_F(CertificateProfileTest, ScanErrorIsNotCached)
{
    const TestCertificate listed("rsa-4096.der");
    folder.Write("BLACKLIST.TXT", listed.fingerprint + "\n");
    const std::string path = folder.installDir + "BLACKLIST.TXT";

    WindowWatcher watcher;
    HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    EXPECT_EQ(kNoCheck, VerifyOnce(provider.verify, listed.context));
    CloseHandle(writer);
    EXPECT_EQ(std::vector<std::string>{ErrorBox("104/32")}, watcher.MessageBoxes());

    EXPECT_EQ(kRevoked, VerifyOnce(provider.verify, listed.context));
    // The refusal is cached: the list is not read again.
    folder.Remove("BLACKLIST.TXT");
    EXPECT_EQ(kRevoked, VerifyOnce(provider.verify, listed.context));
    EXPECT_EQ(1u, watcher.MessageBoxes().size());
}

bool IconAlive(HICON icon)
{
    ICONINFO info;
    if (!GetIconInfo(icon, &info))
        return false;
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return true;
}

// The warning dialog's icons are destroyed with it.
TEST_F(CertificateProfileTest, DialogIconsEndWithTheDialog)
{
    const TestCertificate listed("rsa-2047-no-leading-00.der");
    folder.Write("BLACKLIST.TXT", listed.fingerprint + "\n");

    HICON big = NULL, small = NULL;
    {
        // Takes the dialog's icons, then closes it.
        WindowWatcher snoop([&](HWND dialog) {
            big = reinterpret_cast<HICON>(SendMessageA(dialog, WM_GETICON, ICON_BIG, 0));
            small = reinterpret_cast<HICON>(SendMessageA(dialog, WM_GETICON, ICON_SMALL, 0));
            PostMessageA(dialog, WM_CLOSE, 0, 0);
        });
        EXPECT_EQ(kRevoked, VerifyOnce(provider.verify, listed.context));
    }
    ASSERT_TRUE(big != NULL);
    ASSERT_TRUE(small != NULL);
    EXPECT_FALSE(IconAlive(big));
    EXPECT_FALSE(IconAlive(small));
}

} // namespace
