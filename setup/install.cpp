// Install and uninstall (see install.h).

#include "install.h"

#include "common/bounded_string.h"
#include "post_install.h"
#include "provider_list.h"
#include "resources/setup_ids.h"
#include "revocation_switch.h"
#include "setup.h"

#include <aclapi.h>
#include <wincrypt.h>
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

bool IsAdministrator()
{
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE);
    if (!manager)
        return false;
    CloseServiceHandle(manager);
    return true;
}

} // namespace

bool IsBlacklistFileName(const char *name)
{
    const char kPrefix[] = "BLACKLIST";
    for (size_t i = 0; i < sizeof kPrefix - 1; ++i) {
        if (AsciiUpper(name[i]) != kPrefix[i])
            return false;  // also at the NUL of a shorter name
    }
    return true;
}

bool SetNoCrl(bool on)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, PROVIDER_LIST_KEY, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key) !=
        ERROR_SUCCESS)
        return false;
    bool written = false;
    char list[kProviderListBytes];
    memset(list, 0, sizeof list);
    DWORD type = 0;
    DWORD length = sizeof list;
    if (on) {
        if (RegQueryValueExA(key, PROVIDER_LIST_VALUE, NULL, &type, reinterpret_cast<BYTE *>(list), &length) ==
                ERROR_SUCCESS &&
            type == REG_MULTI_SZ &&
            RegSetValueExA(key, PROVIDER_LIST_BACKUP_VALUE, 0, REG_MULTI_SZ, reinterpret_cast<BYTE *>(list),
                           length) == ERROR_SUCCESS) {
            RemoveCrlProviderEntry(list, &length);
            written = RegSetValueExA(key, PROVIDER_LIST_VALUE, 0, REG_MULTI_SZ, reinterpret_cast<BYTE *>(list),
                                     length) == ERROR_SUCCESS;
        }
    } else {
        if (RegQueryValueExA(key, PROVIDER_LIST_BACKUP_VALUE, NULL, &type, reinterpret_cast<BYTE *>(list),
                             &length) == ERROR_SUCCESS &&
            type == REG_MULTI_SZ) {
            written = RegSetValueExA(key, PROVIDER_LIST_VALUE, 0, REG_MULTI_SZ, reinterpret_cast<BYTE *>(list),
                                     length) == ERROR_SUCCESS;
            // The backup goes only once it is back in place.
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

bool InstallOrUninstall(int userScope, bool noCrl, bool useProxy, bool checkUpdate)
{
    if (!IsAdministrator()) {
        ShowSetupMessage(IDS_SETUP_NEED_ADMIN);
        return false;
    }

    char installDir[1024];
    if (GetEnvironmentVariableA("ProgramFiles", installDir, sizeof installDir) == 0)
        return false;
    installDir[sizeof installDir - 1] = '\0';
    BoundedAppend(installDir, sizeof installDir, "\\Veriloom");

    if (!CreateDirectoryA(installDir, NULL)) {
        const DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS) {
            ShowSetupMessagePathCode(IDS_SETUP_DIRECTORY_ERROR, installDir, error);
            return false;
        }
    }

    char srcDir[1024];
    const DWORD ownLength = GetModuleFileNameA(NULL, srcDir, sizeof srcDir);
    srcDir[ownLength < sizeof srcDir ? ownLength : sizeof srcDir - 1] = '\0';
    if (srcDir[0] == '\0')
        return false;
    char *lastBackslash = strrchr(srcDir, '\\');
    if (!lastBackslash)
        return false;
    lastBackslash[1] = '\0';

    const bool uninstall = IsProviderInstalled();

    char pattern[1024];
    BoundedCopy(pattern, sizeof pattern, srcDir);
    BoundedAppend(pattern, sizeof pattern, "*");
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA(pattern, &entry);
    if (find == INVALID_HANDLE_VALUE)
        return false;

    char veriloomFileName[1024];
    veriloomFileName[0] = '\0';
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
        if (!uninstall && !CopyFileA(source, destination, FALSE)) {
            const DWORD error = GetLastError();
            ShowSetupMessagePathsCode(IDS_SETUP_COPY_ERROR, source, destination, error);
            FindClose(find);
            return false;
        }
    } while (FindNextFileA(find, &entry));
    FindClose(find);

    if (veriloomFileName[0] == '\0')
        return false;
    // Byte for byte, no code-page conversion.
    wchar_t widePath[1024];
    size_t i = 0;
    for (; i < 1023 && veriloomFileName[i] != '\0'; ++i)
        widePath[i] = static_cast<wchar_t>(static_cast<unsigned char>(veriloomFileName[i]));
    widePath[i] = L'\0';

    if (uninstall) {
        SetNoCrl(false);
        if (!CryptUnregisterDefaultOIDFunction(X509_ASN_ENCODING, CRYPT_OID_VERIFY_REVOCATION_FUNC, widePath)) {
            ShowSetupMessageCode(IDS_SETUP_UNREGISTER_ERROR, GetLastError());
            return false;
        }
        ShowSetupMessage(IDS_SETUP_UNINSTALLED);
        return true;
    }

    if (!CryptRegisterDefaultOIDFunction(X509_ASN_ENCODING, CRYPT_OID_VERIFY_REVOCATION_FUNC,
                                         CRYPT_REGISTER_FIRST_INDEX, widePath)) {
        ShowSetupMessageCode(IDS_SETUP_REGISTER_ERROR, GetLastError());
        return false;
    }
    ShowSetupMessage(IDS_SETUP_INSTALLED);
    EnableRevocationCheck(userScope);
    if (noCrl)
        SetNoCrl(true);
    HKEY settings = CreateSettingsKey();
    if (settings) {
        const DWORD value = checkUpdate ? 1 : 0;
        RegSetValueExA(settings, SETTINGS_CHECK_UPDATE, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value),
                       sizeof value);
        RegCloseKey(settings);
    }
    if (useProxy)
        ImportProxySettings();
    OfferTestPage();
    return true;
}
