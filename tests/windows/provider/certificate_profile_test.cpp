// Certificates and moments of today's machines: an empty subject name with
// the names in subjectAltName, elliptic-curve keys among RSA ones, a scan
// that meets a locked list, and the dialog's resources after it ends.

#include "tests/windows/support/provider_test_support.h"

#include <gtest/gtest.h>

namespace {

const DWORD kRevoked = static_cast<DWORD>(CRYPT_E_REVOKED);
const DWORD kNoCheck = static_cast<DWORD>(CRYPT_E_NO_REVOCATION_CHECK);

DWORD CheckDirect(VerifyRevocationFunction verify, const TestCertificate &certificate)
{
    CERT_REVOCATION_STATUS status;
    memset(&status, 0xcc, sizeof status);
    status.cbSize = sizeof status;
    PVOID contexts[1] = {const_cast<CERT_CONTEXT *>(certificate.context)};
    EXPECT_FALSE(verify(X509_ASN_ENCODING, CERT_CONTEXT_REVOCATION_TYPE, 1, contexts, 0, NULL, &status));
    return status.dwError;
}

std::vector<SeenWindow> MessageBoxesOf(WindowWatcher *watcher)
{
    std::vector<SeenWindow> boxes;
    for (const SeenWindow &seen : watcher->Seen())
        if (!seen.isDialog)
            boxes.push_back(seen);
    return boxes;
}

// A clean RSA key, an EC key and a listed key behind an empty subject, in
// one call through crypt32: no message box, the warning dialog for the
// listed key (refused), revoked.
TEST(CertificateProfileTest, EmptySubjectAndEcKeyAmongRsaThroughCrypt32)
{
    InstallFolder folder;
    ProviderRegistration registration;
    ASSERT_TRUE(registration.ok);
    TestCertificate clean, ec, emptySubject;
    ASSERT_TRUE(LoadTestCertificate("rsa-1024.der", &clean));
    ASSERT_TRUE(LoadTestCertificate("ec-p256.der", &ec));
    ASSERT_TRUE(LoadTestCertificate("empty-subject-san.der", &emptySubject));
    ASSERT_EQ(20u, emptySubject.fingerprint.size());
    folder.Write("BLACKLIST.TXT", emptySubject.fingerprint + "\n");

    WindowWatcher watcher;
    CERT_REVOCATION_STATUS status;
    memset(&status, 0xcc, sizeof status);
    status.cbSize = sizeof status;
    PVOID contexts[3] = {const_cast<CERT_CONTEXT *>(clean.context), const_cast<CERT_CONTEXT *>(ec.context),
                         const_cast<CERT_CONTEXT *>(emptySubject.context)};
    EXPECT_FALSE(CertVerifyRevocation(X509_ASN_ENCODING, CERT_CONTEXT_REVOCATION_TYPE, 3, contexts, 0, NULL, &status));
    EXPECT_EQ(kRevoked, status.dwError) << std::hex << status.dwError;

    const std::vector<SeenWindow> seen = watcher.Seen();
    ASSERT_EQ(1u, seen.size());
    EXPECT_TRUE(seen[0].isDialog);
    EXPECT_TRUE(MessageBoxesOf(&watcher).empty());
    for (TestCertificate *certificate : {&clean, &ec, &emptySubject})
        FreeTestCertificate(certificate);
}

// A scan that met an error and found nothing stores no verdict: once the
// list can be read, the next check of the same key finds it.
TEST(CertificateProfileTest, ScanErrorIsNotCached)
{
    InstallFolder folder;
    TestCertificate listed;
    ASSERT_TRUE(LoadTestCertificate("rsa-4096.der", &listed));
    folder.Write("BLACKLIST.TXT", listed.fingerprint + "\n");
    const std::string path = folder.installDir + "BLACKLIST.TXT";

    WindowWatcher watcher;
    LoadedProvider provider;
    ASSERT_TRUE(provider.verify != NULL);
    HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    EXPECT_EQ(kNoCheck, CheckDirect(provider.verify, listed));
    CloseHandle(writer);
    std::vector<SeenWindow> boxes = MessageBoxesOf(&watcher);
    ASSERT_EQ(1u, boxes.size());
    ASSERT_EQ(1u, boxes[0].texts.size());
    EXPECT_EQ("Error checking certificate [104/32]!", boxes[0].texts[0]);

    EXPECT_EQ(kRevoked, CheckDirect(provider.verify, listed));
    // The refusal is cached: the list is not read again.
    folder.Remove("BLACKLIST.TXT");
    EXPECT_EQ(kRevoked, CheckDirect(provider.verify, listed));
    EXPECT_EQ(1u, MessageBoxesOf(&watcher).size());
    FreeTestCertificate(&listed);
}

// Takes the icons of this process's first visible dialog, then closes it.
struct IconSnoop {
    HICON big;
    HICON small;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM param)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char className[64];
    if (process != GetCurrentProcessId() || !IsWindowVisible(window) ||
        !GetClassNameA(window, className, sizeof className) || strcmp(className, "#32770") != 0)
        return TRUE;
    *reinterpret_cast<HWND *>(param) = window;
    return FALSE;
}

DWORD WINAPI SnoopAndClose(void *param)
{
    IconSnoop *snoop = static_cast<IconSnoop *>(param);
    for (int i = 0; i < 1000; i++) {
        HWND dialog = NULL;
        EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&dialog));
        if (dialog) {
            snoop->big = reinterpret_cast<HICON>(SendMessageA(dialog, WM_GETICON, ICON_BIG, 0));
            snoop->small = reinterpret_cast<HICON>(SendMessageA(dialog, WM_GETICON, ICON_SMALL, 0));
            PostMessageA(dialog, WM_CLOSE, 0, 0);
            return 0;
        }
        Sleep(10);
    }
    return 1;
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
TEST(CertificateProfileTest, DialogIconsEndWithTheDialog)
{
    InstallFolder folder;
    TestCertificate listed;
    ASSERT_TRUE(LoadTestCertificate("rsa-2047-no-leading-00.der", &listed));
    folder.Write("BLACKLIST.TXT", listed.fingerprint + "\n");
    LoadedProvider provider;
    ASSERT_TRUE(provider.verify != NULL);

    IconSnoop snoop = {NULL, NULL};
    HANDLE thread = CreateThread(NULL, 0, SnoopAndClose, &snoop, 0, NULL);
    ASSERT_TRUE(thread != NULL);
    EXPECT_EQ(kRevoked, CheckDirect(provider.verify, listed));
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);

    ASSERT_TRUE(snoop.big != NULL);
    ASSERT_TRUE(snoop.small != NULL);
    EXPECT_FALSE(IconAlive(snoop.big));
    EXPECT_FALSE(IconAlive(snoop.small));
    FreeTestCertificate(&listed);
}

} // namespace
