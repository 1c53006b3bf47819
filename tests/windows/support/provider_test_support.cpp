// Support for the provider's Windows tests (see provider_test_support.h).

#include "provider_test_support.h"

#include <cstdio>
#include <cstdlib>

namespace {

std::string Environment(const char *name)
{
    char value[2048];
    const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length > 0 && length < sizeof value ? std::string(value, length) : std::string();
}

} // namespace

std::string ProviderPath()
{
    return Environment("VERILOOM_PROVIDER_DLL");
}

LoadedProvider::LoadedProvider() : module(LoadLibraryA(ProviderPath().c_str())), verify(NULL)
{
    if (module)
        verify = reinterpret_cast<VerifyRevocationFunction>(
            reinterpret_cast<void *>(GetProcAddress(module, "CertDllVerifyRevocation")));
}

LoadedProvider::~LoadedProvider()
{
    if (module)
        FreeLibrary(module);
}

InstallFolder::InstallFolder()
{
    static LONG counter = 0;
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    char name[64];
    snprintf(name, sizeof name, "veriloom-test-%lu-%ld", GetCurrentProcessId(), InterlockedIncrement(&counter));
    root = std::string(temp) + name;
    installDir = root + "\\Veriloom\\";
    DeleteTree(root);
    CreateDirectoryA(root.c_str(), NULL);
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
    FILE *file = fopen((installDir + name).c_str(), "wb");
    if (!file)
        return;
    fwrite(content.data(), 1, content.size(), file);
    fclose(file);
}

void InstallFolder::Remove(const std::string &name) const
{
    DeleteFileA((installDir + name).c_str());
}

ProviderRegistration::ProviderRegistration()
{
    const std::string path = ProviderPath();
    std::wstring widePath(path.begin(), path.end());
    ok = CryptRegisterDefaultOIDFunction(X509_ASN_ENCODING, CRYPT_OID_VERIFY_REVOCATION_FUNC,
                                         CRYPT_REGISTER_FIRST_INDEX, widePath.c_str()) != FALSE;
}

ProviderRegistration::~ProviderRegistration()
{
    const std::string path = ProviderPath();
    std::wstring widePath(path.begin(), path.end());
    CryptUnregisterDefaultOIDFunction(X509_ASN_ENCODING, CRYPT_OID_VERIFY_REVOCATION_FUNC, widePath.c_str());
}

bool LoadTestCertificate(const std::string &name, TestCertificate *certificate)
{
    certificate->context = NULL;
    const std::string dir = TestDataDir() + "/certs/";
    if (!ReadWholeFile(dir + name, &certificate->der))
        return false;
    certificate->fingerprint.clear();
    certificate->commonName.clear();
    for (const auto &row : ReadTsv(dir + "expected.tsv")) {
        if (row.size() == 6 && row[0] == name) {
            certificate->fingerprint = row[4] == "-" ? "" : row[4];
            const Bytes cn = row[5] == "-" || row[5] == "?" ? Bytes() : FromHex(row[5]);
            certificate->commonName.assign(cn.begin(), cn.end());
        }
    }
    certificate->context = CertCreateCertificateContext(X509_ASN_ENCODING, certificate->der.data(),
                                                        static_cast<DWORD>(certificate->der.size()));
    return certificate->context != NULL;
}

void FreeTestCertificate(TestCertificate *certificate)
{
    if (certificate->context)
        CertFreeCertificateContext(certificate->context);
    certificate->context = NULL;
}

namespace {

struct EnumState {
    DWORD process;
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectDialogs(HWND window, LPARAM param)
{
    EnumState *state = reinterpret_cast<EnumState *>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char className[64];
    if (owner == state->process && IsWindowVisible(window) && GetClassNameA(window, className, sizeof className) &&
        strcmp(className, "#32770") == 0)
        state->windows.push_back(window);
    return TRUE;
}

BOOL CALLBACK CollectTexts(HWND child, LPARAM param)
{
    SeenWindow *seen = reinterpret_cast<SeenWindow *>(param);
    char className[64];
    if (GetClassNameA(child, className, sizeof className) && _stricmp(className, "Static") == 0) {
        wchar_t text[2048];
        if (GetWindowTextW(child, text, 2048) > 0)
            seen->texts.push_back(ToUtf8(text));
    }
    return TRUE;
}

BOOL CALLBACK CountButtons(HWND child, LPARAM param)
{
    char className[64];
    if (GetClassNameA(child, className, sizeof className) && _stricmp(className, "Button") == 0)
        ++*reinterpret_cast<int *>(param);
    return TRUE;
}

} // namespace

WindowWatcher::WindowWatcher(int dialogAnswer) : thread(NULL), stop(0), answer(dialogAnswer)
{
    InitializeCriticalSection(&lock);
    thread = CreateThread(NULL, 0, Run, this, 0, NULL);
}

WindowWatcher::~WindowWatcher()
{
    InterlockedExchange(&stop, 1);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    DeleteCriticalSection(&lock);
}

std::vector<SeenWindow> WindowWatcher::Seen()
{
    EnterCriticalSection(&lock);
    std::vector<SeenWindow> copy = seen;
    LeaveCriticalSection(&lock);
    return copy;
}

void WindowWatcher::Clear()
{
    EnterCriticalSection(&lock);
    seen.clear();
    LeaveCriticalSection(&lock);
}

DWORD WINAPI WindowWatcher::Run(void *self)
{
    WindowWatcher *watcher = static_cast<WindowWatcher *>(self);
    std::vector<HWND> answered;
    while (!watcher->stop) {
        EnumState state;
        state.process = GetCurrentProcessId();
        EnumWindows(CollectDialogs, reinterpret_cast<LPARAM>(&state));
        for (HWND window : state.windows) {
            bool known = false;
            for (HWND done : answered)
                known = known || done == window;
            if (known && IsWindow(window))
                continue;
            SeenWindow seen;
            wchar_t caption[512];
            GetWindowTextW(window, caption, 512);
            seen.caption = ToUtf8(caption);
            EnumChildWindows(window, CollectTexts, reinterpret_cast<LPARAM>(&seen));
            int buttons = 0;
            EnumChildWindows(window, CountButtons, reinterpret_cast<LPARAM>(&buttons));
            seen.isDialog = buttons > 1;
            EnterCriticalSection(&watcher->lock);
            watcher->seen.push_back(seen);
            LeaveCriticalSection(&watcher->lock);
            PostMessageA(window, WM_COMMAND, seen.isDialog ? watcher->answer : IDOK, 0);
            answered.push_back(window);
        }
        Sleep(20);
    }
    return 0;
}

std::string ChildMode(int argc, char **argv)
{
    for (int i = 1; i < argc; i++)
        if (strncmp(argv[i], "--child=", 8) == 0)
            return argv[i] + 8;
    return "";
}

std::string RunChild(const std::string &arguments, const std::vector<std::string> &environment, DWORD *exitCode)
{
    *exitCode = 0xFFFFFFFF;
    char self[MAX_PATH];
    GetModuleFileNameA(NULL, self, sizeof self);
    std::string commandLine = std::string("\"") + self + "\" " + arguments;

    // The child's environment: ours with the extra entries put first.
    std::string block;
    for (const std::string &entry : environment)
        block += entry + '\0';
    char *own = GetEnvironmentStringsA();
    for (const char *p = own; *p; p += strlen(p) + 1) {
        bool overridden = false;
        const char *equals = strchr(p + 1, '=');
        for (const std::string &entry : environment)
            overridden = overridden || (equals && entry.compare(0, static_cast<size_t>(equals - p) + 1, p,
                                                                 static_cast<size_t>(equals - p) + 1) == 0);
        if (!overridden)
            block += std::string(p) + '\0';
    }
    FreeEnvironmentStringsA(own);
    block += '\0';

    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    HANDLE readEnd = NULL, writeEnd = NULL;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        return "";
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process;
    std::vector<char> mutableCommand(commandLine.begin(), commandLine.end());
    mutableCommand.push_back('\0');
    const BOOL started = CreateProcessA(NULL, mutableCommand.data(), NULL, NULL, TRUE, 0, &block[0], NULL,
                                        &startup, &process);
    CloseHandle(writeEnd);
    std::string output;
    if (started) {
        // Read while the child runs and drain once it has ended; never wait
        // for the end of the pipe: a process that Wine starts meanwhile (its
        // desktop process on a new display) may inherit the write end.
        char buffer[4096];
        for (;;) {
            const bool ended = WaitForSingleObject(process.hProcess, 10) == WAIT_OBJECT_0;
            DWORD available = 0, got = 0;
            while (PeekNamedPipe(readEnd, NULL, 0, NULL, &available, NULL) && available > 0 &&
                   ReadFile(readEnd, buffer, sizeof buffer, &got, NULL) && got > 0)
                output.append(buffer, got);
            if (ended)
                break;
        }
        GetExitCodeProcess(process.hProcess, exitCode);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    CloseHandle(readEnd);
    return output;
}
