// The run wrapper, the follow-up steps of an install and the platform
// variant (see post_install.h).

#include "post_install.h"

#include "common/bounded_string.h"
#include "install.h"
#include "resources/product_urls.h"
#include "resources/setup_ids.h"
#include "setup.h"
#include "setup_log.h"
#include "system_library.h"

#include <cstring>

namespace {

// Starts a program the installer never waits for.
bool StartDetached(const char *applicationName, char *commandLine)
{
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    ZeroMemory(&process, sizeof process);
    if (!CreateProcessA(applicationName, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process))
        return false;
    if (process.hProcess)
        CloseHandle(process.hProcess);
    if (process.hThread)
        CloseHandle(process.hThread);
    return true;
}

typedef BOOL(WINAPI *IsWow64ProcessFunction)(HANDLE, PBOOL);
typedef void(WINAPI *GetNativeSystemInfoFunction)(LPSYSTEM_INFO);

} // namespace

SetupResult RunSetup(const InstallOptions &options)
{
    const SetupResult result = InstallOrUninstall(options);
    if (result != kSetupFailed)
        LaunchPlatformVariant();
    return result;
}

void ImportProxySettings()
{
    const DWORD major = LOBYTE(LOWORD(GetVersion()));
    const char *tool = major >= 6 ? "netsh.exe" : "proxycfg.exe";
    char appCmdLine[128];
    BoundedCopy(appCmdLine, sizeof appCmdLine, major >= 6 ? "netsh winhttp proxy import" : "proxycfg -u");

    // The tool comes from the system directory, never from the search path,
    // which begins with the folder Setup was started from.
    // Without the system directory the step is skipped.
    char toolPath[1024];
    if (!SystemDirectoryPath(tool, toolPath, sizeof toolPath))
        return;

    if (!StartDetached(toolPath, appCmdLine))
        ShowSetupMessageCode(IDS_SETUP_PROXY_ERROR, GetLastError());
    else
        LogSetupStep(IDS_SETUP_LOG_PROXY);
}

void QuoteProgramPath(const char *path, char *out, size_t capacity)
{
    if (path[0] == '"') {
        BoundedCopy(out, capacity, path);
        return;
    }
    BoundedCopy(out, capacity, "\"");
    BoundedAppend(out, capacity, path);
    BoundedAppend(out, capacity, "\"");
}

void OfferTestPage()
{
    if (ShowSetupMessage(IDS_SETUP_TEST_PAGE_QUESTION, MB_YESNO) != IDYES)
        return;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\iexplore.exe", 0,
                      KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return;
    char browser[1024];
    memset(browser, 0, sizeof browser);
    DWORD type = 0;
    DWORD length = sizeof browser - 1;  // keeps the text terminated
    if (RegQueryValueExA(key, "", NULL, &type, reinterpret_cast<BYTE *>(browser), &length) == ERROR_SUCCESS &&
        type == REG_SZ) {
        // Quoted, so that "C:\Program Files\..." cannot start "C:\Program.exe".
        char commandLine[1024];
        QuoteProgramPath(browser, commandLine, sizeof commandLine);
        BoundedAppend(commandLine, sizeof commandLine, " ");
        BoundedAppend(commandLine, sizeof commandLine, VERILOOM_TEST_PAGE);
        if (!StartDetached(NULL, commandLine))
            ShowSetupMessageCode(IDS_SETUP_BROWSER_ERROR, GetLastError());
    }
    RegCloseKey(key);
}

bool VariantSetupPath(char *path, size_t capacity, const char *suffix)
{
    const size_t length = strlen(path);
    if (length <= 4 || path[length - 4] != '.')
        return false;
    const char *extension = path + length - 3;
    for (int i = 0; i < 3; ++i) {
        char c = extension[i];
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        if (c != "EXE"[i])
            return false;
    }
    path[length - 4] = '\0';
    BoundedAppend(path, capacity, suffix);
    return true;
}

void LaunchPlatformVariant()
{
    HMODULE kernel = GetModuleHandleA("kernel32");
    if (!kernel)
        return;
    IsWow64ProcessFunction isWow64Process =
        reinterpret_cast<IsWow64ProcessFunction>(reinterpret_cast<void *>(GetProcAddress(kernel, "IsWow64Process")));
    BOOL wow64 = FALSE;
    if (!isWow64Process || !isWow64Process(GetCurrentProcess(), &wow64) || !wow64)
        return;
    GetNativeSystemInfoFunction getNativeSystemInfo = reinterpret_cast<GetNativeSystemInfoFunction>(
        reinterpret_cast<void *>(GetProcAddress(kernel, "GetNativeSystemInfo")));
    if (!getNativeSystemInfo)
        return;
    SYSTEM_INFO info;
    ZeroMemory(&info, sizeof info);
    getNativeSystemInfo(&info);
    const char *suffix;
    if (info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_IA64)
        suffix = "-ia64.exe";
    else if (info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64)
        suffix = "-x64.exe";
    else
        return;

    char setupFileName[1024];
    const DWORD length = GetModuleFileNameA(NULL, setupFileName, sizeof setupFileName);
    setupFileName[length < sizeof setupFileName ? length : sizeof setupFileName - 1] = '\0';
    if (!VariantSetupPath(setupFileName, sizeof setupFileName, suffix))
        return;

    // The argument tail as received, with no program name in front.
    char commandLine[1024];
    BoundedCopy(commandLine, sizeof commandLine, SetupCommandTail ? SetupCommandTail : "");
    if (!StartDetached(setupFileName, commandLine))
        ShowSetupMessagePathCode(IDS_SETUP_EXECUTE_ERROR, setupFileName, GetLastError());
}
