// Support for the Windows tests of the provider library: the library loaded
// and registered, a stand-in installation folder, test certificates, one
// call of the export with its status record checked, a recorder of the
// library's events, boxes and dialogs, and a watcher that answers this
// process's message boxes and dialogs.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/windows/support/windows_test_util.h"

typedef BOOL(WINAPI *VerifyRevocationFunction)(DWORD, DWORD, DWORD, PVOID[], DWORD, PCERT_REVOCATION_PARA,
                                              PCERT_REVOCATION_STATUS);

const DWORD kRevoked = static_cast<DWORD>(CRYPT_E_REVOKED);
const DWORD kNoCheck = static_cast<DWORD>(CRYPT_E_NO_REVOCATION_CHECK);
// The caption of the library's message boxes, UTF-8.
extern const char kBoxCaption[];
// A message box as the watcher and the recorder give it: "CAPTION|TEXT";
// the error message with the given numbers ("2/0") in the user's language.
std::string ErrorBox(const std::string &numbers);

// Windows path of the built library (VERILOOM_PROVIDER_DLL).
std::string ProviderPath();

// The library loaded by this process and held until destruction (and until
// its index worker has ended, which holds it too). `fresh`:
// it was not loaded before (so its verdict cache is empty); `recording`:
// its calls are recorded (see RecordLibraryCalls).
class LoadedProvider {
public:
    LoadedProvider();
    ~LoadedProvider();
    HMODULE module;
    VerifyRevocationFunction verify;
    bool fresh;
    bool recording;
};

// Waits (at most ten seconds) until the library's index worker thread, if
// one runs in this process, has ended.
void WaitForIndexWorker();

// A fresh folder that stands in for "ProgramFiles" in this process (and in
// children started with RunChild): blacklist files go into its "Veriloom"
// subfolder, installDir. Writing or removing a list waits for the library's
// index worker first, so that its read does not keep the file.
class InstallFolder {
public:
    InstallFolder();
    ~InstallFolder();
    std::string root;        // no trailing backslash
    std::string installDir;  // root + "\\Veriloom\\"
    void Write(const std::string &name, const std::string &content) const;
    void Remove(const std::string &name) const;
    // Puts the repository's shipped list blacklists/NAME in, as it is;
    // false when it cannot be read.
    bool CopyShippedList(const std::string &name) const;
};

// A fixture: a fresh installation folder and a fresh load of the library
// (an empty verdict cache) whose calls are recorded.
class ProviderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(provider.fresh) << "library still loaded, cache not fresh";
        ASSERT_TRUE(provider.verify && provider.recording) << ProviderPath();
    }
    InstallFolder folder;
    LoadedProvider provider;
};

// Registers the library first among CryptoAPI's default revocation
// providers for the object's lifetime.
class ProviderRegistration {
public:
    ProviderRegistration();
    ~ProviderRegistration();
    bool ok;
};

// A certificate of the committed test set with its expected fingerprint
// and common name (tests/data/certs/expected.tsv).
class TestCertificate {
public:
    explicit TestCertificate(const std::string &name);
    ~TestCertificate();
    TestCertificate(const TestCertificate &) = delete;
    TestCertificate &operator=(const TestCertificate &) = delete;
    Bytes der;
    std::string fingerprint;  // 20 hex digits, "" when no key
    std::string commonName;
    PCCERT_CONTEXT context;   // NULL when the file could not be read
};

// A certificate just complete enough for the library (MinimalCertificate):
// a 1024-bit key that follows from the seed, the given common name
// ("key SEED" by default).
class MadeCertificate {
public:
    explicit MadeCertificate(uint32_t seed, const std::string &commonName = "");
    MadeCertificate(const MadeCertificate &) = delete;
    MadeCertificate &operator=(const MadeCertificate &) = delete;
    std::string commonName;
    std::string fingerprint;  // the 20 digits a blacklist lists
    Bytes der;
    CERT_CONTEXT context;     // bare: the library reads only the encoding
};

// The key fingerprint of an RSA modulus as blacklists list it (last 20 hex
// digits of the SHA-1 of "Modulus=HEX\n"), computed with CryptoAPI.
std::string KeyFingerprint(const Bytes &modulus);
// A context that carries nothing but the encoding, as the library reads it.
CERT_CONTEXT BareContext(const Bytes &der);

// One call of the export (or of CertVerifyRevocation, which has the same
// form) with the contexts; the status record, if any, is filled with 0xcc
// first (cbSize set).
BOOL CallExport(VerifyRevocationFunction verify, const std::vector<const CERT_CONTEXT *> &contexts,
                CERT_REVOCATION_STATUS *status, DWORD encoding = X509_ASN_ENCODING,
                DWORD revocationType = CERT_CONTEXT_REVOCATION_TYPE);
// The status fields an answer must leave alone, as text: "cbSize=24 index=cccccccc ...".
std::string UntouchedFields(const CERT_REVOCATION_STATUS &status);
// CallExport once, EXPECTing FALSE and every field but dwError untouched;
// returns dwError.
DWORD VerifyOnce(VerifyRevocationFunction verify, const std::vector<const CERT_CONTEXT *> &contexts,
                 DWORD encoding = X509_ASN_ENCODING, DWORD revocationType = CERT_CONTEXT_REVOCATION_TYPE);
DWORD VerifyOnce(VerifyRevocationFunction verify, const CERT_CONTEXT *context);

// Records the library's events, message boxes and dialogs from now on
// (until it is unloaded) by pointing its imports of RegisterEventSourceA,
// ReportEventA, MessageBoxA and DialogBoxParamA at recorders that pass the
// calls on. Lines: "event TYPE ID SOURCE|TEXT", "messagebox CAPTION|TEXT",
// "dialogbox TEMPLATE". TakeLibraryCalls returns and forgets them.
bool RecordLibraryCalls(HMODULE library);
std::vector<std::string> TakeLibraryCalls();
// For the object's lifetime the library's boxes and dialogs are recorded
// but not shown (a box answers OK, a dialog -1 as when it cannot open);
// with keepRecords false nothing is recorded either.
class HiddenLibraryBoxes {
public:
    explicit HiddenLibraryBoxes(bool keepRecords = true);
    ~HiddenLibraryBoxes();
};
// For the object's lifetime an event's line holds every insertion string:
// "event TYPE ID SOURCE|TEXT|STRING2|...".
class AllEventStrings {
public:
    AllEventStrings();
    ~AllEventStrings();
};
// Records are also printed on stdout as they happen (in a child).
void EchoLibraryCalls();

// Answers every message box of this process (OK) and every other dialog
// with the given command (IDCANCEL by default), remembering what it saw; or
// hands every new dialog and message box, once, to `handle`, which answers.
class WindowWatcher {
public:
    explicit WindowWatcher(int dialogAnswer = IDCANCEL);
    explicit WindowWatcher(std::function<void(HWND)> handle);
    ~WindowWatcher();
    std::vector<std::string> MessageBoxes();  // "CAPTION|TEXT|TEXT..."
    size_t Dialogs();                         // dialogs with more than one button
    void Clear();

private:
    std::mutex lock;
    std::vector<std::string> boxes;
    size_t dialogs = 0;
    std::atomic<bool> stop{false};
    std::thread thread;
};
