// Support for the provider's Windows tests (see provider_test_support.h).

#include "provider_test_support.h"

#include <tlhelp32.h>

#include "common/blacklist_name.h"
#include "provider/index_worker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

const char kBoxCaption[] = "Veriloom V1.1 \xC2\xA9 2026 Veriloom";

std::string ErrorBox(const std::string &numbers)
{
    return std::string(kBoxCaption) + "|" +
           (UserIsGerman() ? "Fehler beim \xC3\x9C" "berpr\xC3\xBC" "fen des Zertifikats ["
                           : "Error checking certificate [") +
           numbers + "]!";
}

std::string ProviderPath()
{
    return Environment("VERILOOM_PROVIDER_DLL");
}

LoadedProvider::LoadedProvider()
    : module(NULL), verify(NULL), fresh(GetModuleHandleA(ProviderPath().c_str()) == NULL), recording(false)
{
    module = LoadLibraryA(ProviderPath().c_str());
    if (!module)
        return;
    verify = reinterpret_cast<VerifyRevocationFunction>(
        reinterpret_cast<void *>(GetProcAddress(module, "CertDllVerifyRevocation")));
    recording = RecordLibraryCalls(module);
    TakeLibraryCalls();
}

LoadedProvider::~LoadedProvider()
{
    WaitForIndexWorker();
    if (module)
        FreeLibrary(module);
}

void WaitForIndexWorker()
{
    typedef HRESULT(WINAPI * GetThreadDescriptionFunction)(HANDLE, PWSTR *);
    const GetThreadDescriptionFunction GetThreadDescription = reinterpret_cast<GetThreadDescriptionFunction>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetThreadDescription")));
    HANDLE snapshot = GetThreadDescription ? CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0) : INVALID_HANDLE_VALUE;
    if (snapshot == INVALID_HANDLE_VALUE)
        return;
    THREADENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != GetCurrentProcessId())
            continue;
        HANDLE thread = OpenThread(SYNCHRONIZE | THREAD_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ThreadID);
        PWSTR description = NULL;
        if (thread && SUCCEEDED(GetThreadDescription(thread, &description)) && description &&
            wcscmp(description, kIndexWorkerDescription) == 0)
            WaitForSingleObject(thread, 10000);
        LocalFree(description);
        if (thread)
            CloseHandle(thread);
    }
    CloseHandle(snapshot);
}

InstallFolder::InstallFolder() : root(TempFolder("install")), installDir(root + "\\Veriloom\\")
{
    CreateDirectoryA(installDir.c_str(), NULL);
    SetEnvironmentVariableA("ProgramFiles", root.c_str());
}

InstallFolder::~InstallFolder()
{
    DeleteTree(root);
    SetEnvironmentVariableA("ProgramFiles", "C:\\Program Files");
}

void InstallFolder::Write(const std::string &name, const std::string &content) const
{
    if (IsBlacklistFileName(name.c_str()))
        WaitForIndexWorker();  // which may be reading the list
    WriteTextFile(installDir + name, content);
}

bool InstallFolder::CopyShippedList(const std::string &name) const
{
    Bytes list;
    if (!ReadWholeFile(TestDataDir() + "/../../blacklists/" + name, &list) || list.empty())
        return false;
    Write(name, std::string(list.begin(), list.end()));
    return true;
}

void InstallFolder::Remove(const std::string &name) const
{
    if (IsBlacklistFileName(name.c_str()))
        WaitForIndexWorker();
    DeleteFileA((installDir + name).c_str());
}

ProviderRegistration::ProviderRegistration()
{
    const std::string path = ProviderPath();
    ok = CryptRegisterDefaultOIDFunction(X509_ASN_ENCODING, CRYPT_OID_VERIFY_REVOCATION_FUNC,
                                         CRYPT_REGISTER_FIRST_INDEX,
                                         std::wstring(path.begin(), path.end()).c_str()) != FALSE;
}

ProviderRegistration::~ProviderRegistration()
{
    const std::string path = ProviderPath();
    CryptUnregisterDefaultOIDFunction(X509_ASN_ENCODING, CRYPT_OID_VERIFY_REVOCATION_FUNC,
                                      std::wstring(path.begin(), path.end()).c_str());
}

TestCertificate::TestCertificate(const std::string &name) : context(NULL)
{
    const std::string dir = TestDataDir() + "/certs/";
    if (!ReadWholeFile(dir + name, &der))
        return;
    for (const auto &row : ReadTsv(dir + "expected.tsv")) {
        if (row.size() == 6 && row[0] == name) {
            fingerprint = row[4] == "-" ? "" : row[4];
            const Bytes cn = row[5] == "-" || row[5] == "?" ? Bytes() : FromHex(row[5]);
            commonName.assign(cn.begin(), cn.end());
        }
    }
    context = CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()));
}

TestCertificate::~TestCertificate()
{
    if (context)
        CertFreeCertificateContext(context);
}

std::string KeyFingerprint(const Bytes &modulus)
{
    std::string text = "Modulus=" + ToHex(modulus.data(), modulus.size()) + "\n";
    for (size_t i = 8; i < text.size(); i++)
        text[i] = static_cast<char>(toupper(static_cast<unsigned char>(text[i])));
    BYTE hash[20];
    DWORD hashSize = sizeof hash;
    if (!CryptHashCertificate(0, CALG_SHA1, 0, reinterpret_cast<const BYTE *>(text.data()),
                              static_cast<DWORD>(text.size()), hash, &hashSize) ||
        hashSize != 20)
        return "";
    return ToHex(hash + 10, 10);
}

CERT_CONTEXT BareContext(const Bytes &der)
{
    CERT_CONTEXT context;
    memset(&context, 0, sizeof context);
    context.dwCertEncodingType = X509_ASN_ENCODING;
    context.pbCertEncoded = const_cast<BYTE *>(der.data());
    context.cbCertEncoded = static_cast<DWORD>(der.size());
    return context;
}

MadeCertificate::MadeCertificate(uint32_t seed, const std::string &name)
    : commonName(name.empty() ? "key " + std::to_string(seed) : name)
{
    const Bytes modulus = SeededModulus(seed, 128);
    fingerprint = KeyFingerprint(modulus);
    der = MinimalCertificate(modulus, commonName);
    context = BareContext(der);
}

BOOL CallExport(VerifyRevocationFunction verify, const std::vector<const CERT_CONTEXT *> &contexts,
                CERT_REVOCATION_STATUS *status, DWORD encoding, DWORD revocationType)
{
    std::vector<PVOID> array;
    for (const CERT_CONTEXT *context : contexts)
        array.push_back(const_cast<CERT_CONTEXT *>(context));
    if (status) {
        memset(status, 0xcc, sizeof *status);
        status->cbSize = sizeof *status;
    }
    return verify(encoding, revocationType, static_cast<DWORD>(array.size()), array.data(), 0, NULL, status);
}

std::string UntouchedFields(const CERT_REVOCATION_STATUS &status)
{
    char text[128];
    snprintf(text, sizeof text, "cbSize=%lu index=%08lx reason=%08lx fresh=%08lx time=%08lx", status.cbSize,
             status.dwIndex, status.dwReason, static_cast<DWORD>(status.fHasFreshnessTime), status.dwFreshnessTime);
    return text;
}

DWORD VerifyOnce(VerifyRevocationFunction verify, const std::vector<const CERT_CONTEXT *> &contexts, DWORD encoding,
                 DWORD revocationType)
{
    CERT_REVOCATION_STATUS status;
    EXPECT_FALSE(CallExport(verify, contexts, &status, encoding, revocationType));
    EXPECT_EQ("cbSize=24 index=cccccccc reason=cccccccc fresh=cccccccc time=cccccccc", UntouchedFields(status));
    return status.dwError;
}

DWORD VerifyOnce(VerifyRevocationFunction verify, const CERT_CONTEXT *context)
{
    return VerifyOnce(verify, std::vector<const CERT_CONTEXT *>{context});
}

WindowWatcher::WindowWatcher(std::function<void(HWND)> handle)
    : thread([this, handle] {
          std::vector<HWND> answered;
          for (; !stop; Sleep(10)) {
              for (HWND window : FindDialogs(GetCurrentProcessId())) {
                  if (std::find(answered.begin(), answered.end(), window) != answered.end() && IsWindow(window))
                      continue;
                  answered.push_back(window);
                  handle(window);
              }
          }
      })
{
}

WindowWatcher::WindowWatcher(int dialogAnswer)
    : WindowWatcher([this, dialogAnswer](HWND window) {
          const DialogContents seen = ReadDialog(window);
          const bool isDialog = seen.buttons.size() > 1;
          std::string box = seen.caption;
          for (const std::string &text : seen.texts)
              box += "|" + text;
          {
              std::lock_guard<std::mutex> hold(lock);
              if (isDialog)
                  dialogs++;
              else
                  boxes.push_back(box);
          }
          PressButton(window, isDialog ? dialogAnswer : IDOK);
      })
{
}

WindowWatcher::~WindowWatcher()
{
    stop = true;
    thread.join();
}

std::vector<std::string> WindowWatcher::MessageBoxes()
{
    std::lock_guard<std::mutex> hold(lock);
    return boxes;
}

size_t WindowWatcher::Dialogs()
{
    std::lock_guard<std::mutex> hold(lock);
    return dialogs;
}

void WindowWatcher::Clear()
{
    std::lock_guard<std::mutex> hold(lock);
    boxes.clear();
    dialogs = 0;
}
