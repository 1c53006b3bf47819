// Install and uninstall (see install.h).

#include "install.h"

#include "common/bounded_string.h"
#include "common/dialog_support.h"
#include "common/install_folder.h"
#include "post_install.h"
#include "provider_list.h"
#include "provider_registration.h"
#include "resources/setup_ids.h"
#include "revocation_switch.h"
#include "setup.h"
#include "setup_log.h"
#include "system_entries.h"

#include <aclapi.h>
#include <cstring>

namespace {

char AsciiUpper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool IsLibraryFileName(const char *name)
{
    const char *expected = PROVIDER_LIBRARY_NAME;
    for (; *name && *expected; ++name, ++expected)
        if (AsciiUpper(*name) != AsciiUpper(*expected))
            return false;
    return *name == '\0' && *expected == '\0';
}

// The "Dll" entry that names the library, in 16-bit characters.
bool RegisteredLibraryPath(wchar_t *path, size_t capacity)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, PROVIDER_LIST_KEY, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    char list[kProviderListBytes + 1];
    list[kProviderListBytes] = '\0';
    DWORD length = 0;
    DWORD offset = 0;
    DWORD entryLength = 0;
    const bool found = ReadProviderListValue(key, PROVIDER_LIST_VALUE, list, kProviderListBytes, &length) &&
                       FindLibraryEntry(list, length, &offset, &entryLength);
    RegCloseKey(key);
    if (!found)
        return false;
    list[offset + entryLength] = '\0';  // the spare byte ends an entry cut at the end of the data
    return WidenAnsiPath(list + offset, path, capacity);
}

// True when an earlier install took the CRL provider out (the list has
// none, its backup has one): an upgrade keeps that backup, which alone
// tells where the provider stood.
bool KeepsCrlProviderBackup(HKEY key, const char *list, DWORD length)
{
    char copy[kProviderListBytes];
    memcpy(copy, list, length);
    DWORD copyLength = length;
    if (RemoveCrlProviderEntry(copy, &copyLength))
        return false;
    char backup[kProviderListBytes];
    DWORD backupLength = 0;
    return ReadProviderListValue(key, PROVIDER_LIST_BACKUP_VALUE, backup, sizeof backup, &backupLength) &&
           RemoveCrlProviderEntry(backup, &backupLength);
}

// Copies one file of the installation, overwriting an older copy; a failure
// is reported with both paths.
bool CopyInstalledFile(const char *source, const char *destination)
{
    if (!CopyFileA(source, destination, FALSE)) {
        const DWORD error = GetLastError();
        ShowSetupMessagePathsCode(IDS_SETUP_COPY_ERROR, source, destination, error);
        return false;
    }
    LogSetupStepText(IDS_SETUP_LOG_COPIED, destination);
    return true;
}

bool IsAdministrator()
{
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE);
    if (!manager)
        return false;
    CloseServiceHandle(manager);
    return true;
}

} // namespace

bool SetNoCrl(bool on)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, PROVIDER_LIST_KEY, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key) !=
        ERROR_SUCCESS)
        return false;
    bool written = false;
    char list[kProviderListBytes];
    DWORD length = 0;
    if (on) {
        if (ReadProviderListValue(key, PROVIDER_LIST_VALUE, list, sizeof list, &length) &&
            (KeepsCrlProviderBackup(key, list, length) ||
             RegSetValueExA(key, PROVIDER_LIST_BACKUP_VALUE, 0, REG_MULTI_SZ, reinterpret_cast<BYTE *>(list),
                            length) == ERROR_SUCCESS)) {
            RemoveCrlProviderEntry(list, &length);
            written = RegSetValueExA(key, PROVIDER_LIST_VALUE, 0, REG_MULTI_SZ, reinterpret_cast<BYTE *>(list),
                                     length) == ERROR_SUCCESS;
        }
    } else {
        // The backup only tells where the CRL provider stood: the current
        // list keeps every entry registered since the install, and our own
        // entry is left to the unregistration.
        char backup[kProviderListBytes];
        DWORD backupLength = 0;
        if (ReadProviderListValue(key, PROVIDER_LIST_BACKUP_VALUE, backup, sizeof backup, &backupLength) &&
            ReadProviderListValue(key, PROVIDER_LIST_VALUE, list, sizeof list, &length)) {
            written = !RestoreCrlProviderEntry(backup, backupLength, list, &length, sizeof list) ||
                      RegSetValueExA(key, PROVIDER_LIST_VALUE, 0, REG_MULTI_SZ, reinterpret_cast<BYTE *>(list),
                                     length) == ERROR_SUCCESS;
            // The backup goes only once the list is right.
            if (written)
                RegDeleteValueA(key, PROVIDER_LIST_BACKUP_VALUE);
        }
    }
    RegCloseKey(key);
    return written;
}

HKEY CreateSettingsKey()
{
    SID_IDENTIFIER_AUTHORITY worldAuthority = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = NULL;
    if (!AllocateAndInitializeSid(&worldAuthority, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone))
        return NULL;

    EXPLICIT_ACCESSA access;
    ZeroMemory(&access, sizeof access);
    access.grfAccessPermissions = KEY_ALL_ACCESS;
    access.grfAccessMode = SET_ACCESS;
    access.grfInheritance = NO_INHERITANCE;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    access.Trustee.ptstrName = static_cast<LPSTR>(everyone);
    PACL acl = NULL;
    if (SetEntriesInAclA(1, &access, NULL, &acl) != ERROR_SUCCESS) {
        FreeSid(everyone);
        return NULL;
    }

    HKEY key = NULL;
    PSECURITY_DESCRIPTOR descriptor = LocalAlloc(LPTR, SECURITY_DESCRIPTOR_MIN_LENGTH);
    if (descriptor && InitializeSecurityDescriptor(descriptor, SECURITY_DESCRIPTOR_REVISION) &&
        SetSecurityDescriptorDacl(descriptor, TRUE, acl, FALSE)) {
        SECURITY_ATTRIBUTES attributes;
        attributes.nLength = sizeof attributes;
        attributes.lpSecurityDescriptor = descriptor;
        attributes.bInheritHandle = FALSE;
        char emptyClass[] = "";
        DWORD disposition = 0;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, SETTINGS_KEY, 0, emptyClass, REG_OPTION_NON_VOLATILE,
                            KEY_READ | KEY_WRITE, &attributes, &key, &disposition) != ERROR_SUCCESS) {
            key = NULL;
        } else if (disposition == REG_CREATED_NEW_KEY) {
            // Some platforms (Wine) create the key with default security
            // whatever the attributes say: a new key gets its DACL set
            // explicitly as well. An existing key is left as it is.
            HKEY dacl;
            if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SETTINGS_KEY, 0, WRITE_DAC, &dacl) == ERROR_SUCCESS) {
                RegSetKeySecurity(dacl, DACL_SECURITY_INFORMATION, descriptor);
                RegCloseKey(dacl);
            }
        }
    }
    if (descriptor)
        LocalFree(descriptor);
    LocalFree(acl);
    FreeSid(everyone);
    return key;
}

bool InstallOrUninstall(const InstallOptions &options)
{
    if (!IsAdministrator()) {
        ShowSetupMessage(IDS_SETUP_NEED_ADMIN);
        return false;
    }
    if (options.uninstall && !IsProviderInstalled()) {
        LogSetupStep(IDS_SETUP_LOG_NOT_INSTALLED);
        return true;
    }

    char installDir[1024];
    if (!VeriloomInstallFolder(installDir, sizeof installDir)) {
        LogSetupStep(IDS_SETUP_LOG_NO_FOLDER);
        return false;
    }
    if (options.uninstall)
        LogSetupStep(IDS_SETUP_LOG_UNINSTALL);
    else
        LogSetupStepText(IDS_SETUP_LOG_INSTALL, installDir);

    if (!CreateDirectoryA(installDir, NULL)) {
        const DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS) {
            ShowSetupMessagePathCode(IDS_SETUP_DIRECTORY_ERROR, installDir, error);
            return false;
        }
    }

    char ownPath[1024];
    const DWORD ownLength = GetModuleFileNameA(NULL, ownPath, sizeof ownPath);
    ownPath[ownLength < sizeof ownPath ? ownLength : sizeof ownPath - 1] = '\0';
    char srcDir[1024];
    BoundedCopy(srcDir, sizeof srcDir, ownPath);
    if (srcDir[0] == '\0')
        return false;
    char *lastBackslash = strrchr(srcDir, '\\');
    if (!lastBackslash)
        return false;
    lastBackslash[1] = '\0';

    char pattern[1024];
    BoundedCopy(pattern, sizeof pattern, srcDir);
    BoundedAppend(pattern, sizeof pattern, "*");
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA(pattern, &entry);
    if (find == INVALID_HANDLE_VALUE)
        return false;

    char veriloomFileName[1024];
    veriloomFileName[0] = '\0';
    ULONGLONG installedBytes = 0;
    do {
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        const bool isBlacklist = IsBlacklistFileName(entry.cFileName);
        const bool isLibrary = !isBlacklist && IsLibraryFileName(entry.cFileName);
        if (!isBlacklist && !isLibrary)
            continue;
        char source[1024];
        BoundedCopy(source, sizeof source, srcDir);
        BoundedAppend(source, sizeof source, entry.cFileName);
        char destination[1024];
        BoundedCopy(destination, sizeof destination, installDir);
        BoundedAppend(destination, sizeof destination, "\\");
        BoundedAppend(destination, sizeof destination, entry.cFileName);
        if (isLibrary)
            BoundedCopy(veriloomFileName, sizeof veriloomFileName, destination);
        // Started from the installation folder (as the Windows Installer
        // package starts it) Setup finds its files in place.
        const bool inPlace = lstrcmpiA(source, destination) == 0;
        if (!options.uninstall && !inPlace && !CopyInstalledFile(source, destination)) {
            FindClose(find);
            return false;
        }
        installedBytes += (static_cast<ULONGLONG>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
    } while (FindNextFileA(find, &entry));
    FindClose(find);

    if (veriloomFileName[0] == '\0') {
        LogSetupStep(IDS_SETUP_LOG_NO_LIBRARY);
        return false;
    }

    if (options.uninstall) {
        // The registered entry, from whatever folder it was registered.
        wchar_t registered[1024];
        const bool found = RegisteredLibraryPath(registered, sizeof registered / sizeof registered[0]);
        SetNoCrl(false);
        if (found && !UnregisterProviderLibrary(registered)) {
            ShowSetupMessageCode(IDS_SETUP_UNREGISTER_ERROR, GetLastError());
            return false;
        }
        LogSetupStep(IDS_SETUP_LOG_UNREGISTERED);
        RemoveUninstallEntry();
        LogSetupStep(IDS_SETUP_LOG_ENTRY_REMOVED);
        ShowSetupMessage(IDS_SETUP_UNINSTALLED);
        return true;
    }

    // An uninstaller on the machine: Setup itself beside the library.
    char installedSetup[1024];
    BoundedCopy(installedSetup, sizeof installedSetup, installDir);
    BoundedAppend(installedSetup, sizeof installedSetup, "\\" INSTALLED_SETUP_NAME);
    if (lstrcmpiA(ownPath, installedSetup) != 0 && !CopyInstalledFile(ownPath, installedSetup))
        return false;
    WIN32_FILE_ATTRIBUTE_DATA setupData;
    if (GetFileAttributesExA(installedSetup, GetFileExInfoStandard, &setupData))
        installedBytes += setupData.nFileSizeLow;

    // An upgrade in place replaces the registered entry: never a second one.
    wchar_t registered[1024];
    if (RegisteredLibraryPath(registered, sizeof registered / sizeof registered[0]))
        UnregisterProviderLibrary(registered);
    wchar_t widePath[1024];
    if (!WidenAnsiPath(veriloomFileName, widePath, sizeof widePath / sizeof widePath[0]) ||
        !RegisterProviderLibrary(widePath)) {
        ShowSetupMessageCode(IDS_SETUP_REGISTER_ERROR, GetLastError());
        return false;
    }
    LogSetupStepText(IDS_SETUP_LOG_REGISTERED, veriloomFileName);
    ShowSetupMessage(IDS_SETUP_INSTALLED);
    EnableRevocationCheck(options.userScope);
    char scope[256];
    if (LoadStringA(SetupInstance, (options.userScope == 0 ? IDS_SETUP_ALL_USERS : IDS_SETUP_THIS_USER) +
                                       LanguageOffset, scope, sizeof scope) == 0)
        scope[0] = '\0';
    LogSetupStepText(IDS_SETUP_LOG_SWITCHED_ON, scope);
    if (options.noCrl) {
        SetNoCrl(true);
        LogSetupStep(IDS_SETUP_LOG_NO_CRL);
    }
    HKEY settings = CreateSettingsKey();
    if (settings) {
        const DWORD value = options.checkUpdate ? 1 : 0;
        RegSetValueExA(settings, SETTINGS_CHECK_UPDATE, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value),
                       sizeof value);
        RegCloseKey(settings);
    }
    // Under the Windows Installer package its own entry replaces Setup's.
    if (options.byPackage)
        RemoveUninstallEntry();
    else if (WriteUninstallEntry(installDir, veriloomFileName, static_cast<DWORD>((installedBytes + 1023) / 1024)))
        LogSetupStep(IDS_SETUP_LOG_UNINSTALL_ENTRY);
    if (RegisterVeriloomEventSource(veriloomFileName))
        LogSetupStepText(IDS_SETUP_LOG_EVENT_SOURCE, veriloomFileName);
    if (options.useProxy)
        ImportProxySettings();
    if (!options.quiet)
        OfferTestPage();
    return true;
}
