// Support for the Windows tests of the provider library: a private
// installation folder with blacklist files, loading and registering the
// library, a watcher that answers message boxes and dialogs, and child
// processes whose output the test reads.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <string>
#include <vector>

#include "tests/unit/test_support.h"
#include "tests/windows/support/windows_test_util.h"

typedef BOOL(WINAPI *VerifyRevocationFunction)(DWORD, DWORD, DWORD, PVOID[], DWORD, PCERT_REVOCATION_PARA,
                                              PCERT_REVOCATION_STATUS);

// Windows path of the built library (VERILOOM_PROVIDER_DLL).
std::string ProviderPath();

// The library loaded by this process; the reference is held until Release.
class LoadedProvider {
public:
    LoadedProvider();
    ~LoadedProvider();
    HMODULE module;
    VerifyRevocationFunction verify;
};

// A fresh folder that stands in for "ProgramFiles" in this process (and in
// the children it starts): blacklist files go into its "Veriloom" subfolder.
class InstallFolder {
public:
    InstallFolder();
    ~InstallFolder();
    std::string root;         // the "ProgramFiles" stand-in, no trailing backslash
    std::string installDir;   // root + "\\Veriloom\\"
    void Write(const std::string &name, const std::string &content) const;
    void Remove(const std::string &name) const;
};

// Registers the library first among CryptoAPI's default revocation
// providers for as long as the object lives.
class ProviderRegistration {
public:
    ProviderRegistration();
    ~ProviderRegistration();
    bool ok;
};

// A certificate of the committed test set with its expected fingerprint.
struct TestCertificate {
    Bytes der;
    std::string fingerprint;  // 20 hex digits, "" when not RSA
    std::string commonName;
    PCCERT_CONTEXT context;   // owned
};
bool LoadTestCertificate(const std::string &name, TestCertificate *certificate);
void FreeTestCertificate(TestCertificate *certificate);

// One message box or dialog that the watcher met and answered.
struct SeenWindow {
    std::string caption;      // UTF-8
    std::vector<std::string> texts;  // its static texts, UTF-8
    bool isDialog;            // a dialog with more than an OK button
};

// Answers every message box of this process (OK) and every other dialog
// with the given command id (IDCANCEL by default), recording what it saw.
class WindowWatcher {
public:
    explicit WindowWatcher(int dialogAnswer = IDCANCEL);
    ~WindowWatcher();
    std::vector<SeenWindow> Seen();
    void Clear();
private:
    static DWORD WINAPI Run(void *self);
    HANDLE thread;
    volatile LONG stop;
    int answer;
    CRITICAL_SECTION lock;
    std::vector<SeenWindow> seen;
};

// Runs this test program again with the given arguments and extra
// environment entries ("NAME=value"); returns its stdout and stderr.
std::string RunChild(const std::string &arguments, const std::vector<std::string> &environment,
                     DWORD *exitCode);

// The child mode given on the command line ("--child=NAME"), or "".
std::string ChildMode(int argc, char **argv);
