// The per-user revocation switch (see revocation_switch.h).

#include "revocation_switch.h"

#include "common/bounded_string.h"
#include "folder_entries.h"
#include "registry_result.h"

namespace {

void EnablePrivilege(HANDLE token, const char *name)
{
    TOKEN_PRIVILEGES privileges;
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (LookupPrivilegeValueA(NULL, name, &privileges.Privileges[0].Luid))
        AdjustTokenPrivileges(token, FALSE, &privileges, 0, NULL, NULL);
}

// A hive that cannot be written does not stop the others; the first
// failure's code is kept (ERROR_SUCCESS: none yet).
void NoteFailure(DWORD *firstError, DWORD error)
{
    if (*firstError == ERROR_SUCCESS)
        *firstError = error;
}

// Pass 1: every loaded hive but the "_Classes" companions.
void SwitchLoadedHives(DWORD *firstError)
{
    HKEY users;
    const LONG opened = RegOpenKeyExA(HKEY_USERS, NULL, 0, KEY_ENUMERATE_SUB_KEYS, &users);
    if (opened != ERROR_SUCCESS) {
        NoteFailure(firstError, static_cast<DWORD>(opened));
        return;
    }
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD nameLength = sizeof name;
        if (RegEnumKeyExA(users, index, name, &nameLength, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        if (strstr(name, "_Classes"))
            continue;
        if (!SetCertificateRevocation(0, name))
            NoteFailure(firstError, GetLastError());
    }
    RegCloseKey(users);
}

bool ReadProfilesDirectory(char *profileDir, size_t capacity)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, PROFILE_LIST_KEY, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    char raw[1024];
    memset(raw, 0, sizeof raw);
    DWORD type = 0;
    DWORD length = sizeof raw - 1;  // keeps the text terminated
    const bool read = RegQueryValueExA(key, "ProfilesDirectory", NULL, &type, reinterpret_cast<BYTE *>(raw),
                                       &length) == ERROR_SUCCESS &&
                      type == REG_EXPAND_SZ;
    RegCloseKey(key);
    if (!read)
        return false;
    const DWORD expanded = ExpandEnvironmentStringsA(raw, profileDir, static_cast<DWORD>(capacity));
    if (expanded == 0 || expanded > capacity)
        return false;
    return profileDir[0] != '\0';
}

// Pass 2: the hive file of every profile, mounted for the moment of the
// write. A hive that cannot be mounted belongs to a user who is logged on
// (pass 1 wrote it) or is none; a mounted hive that cannot be written is a
// failure.
void SwitchProfileHives(DWORD *firstError)
{
    char profileDir[1024];
    if (!ReadProfilesDirectory(profileDir, sizeof profileDir))
        return;

    HANDLE token;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
        EnablePrivilege(token, "SeBackupPrivilege");
        EnablePrivilege(token, "SeRestorePrivilege");
        CloseHandle(token);
    }

    char pattern[1024];
    BoundedCopy(pattern, sizeof pattern, profileDir);
    BoundedAppend(pattern, sizeof pattern, "\\*");
    ForEachFolderEntry(pattern, [&](const WIN32_FIND_DATAA &entry) {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            return true;
        char hive[1024];
        BoundedCopy(hive, sizeof hive, profileDir);
        BoundedAppend(hive, sizeof hive, "\\");
        BoundedAppend(hive, sizeof hive, entry.cFileName);
        BoundedAppend(hive, sizeof hive, "\\ntuser.dat");
        const DWORD attributes = GetFileAttributesA(hive);
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
            return true;
        if (RegLoadKeyA(HKEY_USERS, PROFILE_MOUNT_POINT, hive) != ERROR_SUCCESS)
            return true;  // the hive of a user who is logged on, or no hive at all
        if (!SetCertificateRevocation(0, PROFILE_MOUNT_POINT))
            NoteFailure(firstError, GetLastError());
        RegUnLoadKeyA(HKEY_USERS, PROFILE_MOUNT_POINT);
        return true;
    });
}

} // namespace

bool SetCertificateRevocation(int scope, const char *subkey)
{
    char keyName[256];
    keyName[0] = '\0';
    // A path that does not fit would name another key: it fails like a key
    // that cannot be opened.
    if ((subkey && (BoundedCopy(keyName, sizeof keyName, subkey) != kBoundedOk ||
                    BoundedAppend(keyName, sizeof keyName, "\\") != kBoundedOk)) ||
        BoundedAppend(keyName, sizeof keyName, INTERNET_SETTINGS_KEY) != kBoundedOk) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }

    HKEY key;
    LONG result = RegCreateKeyExA(scope != 0 ? HKEY_CURRENT_USER : HKEY_USERS, keyName, 0, NULL,
                                  REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, NULL, &key, NULL);
    if (result == ERROR_SUCCESS) {
        const DWORD on = 1;
        result = RegSetValueExA(key, CERTIFICATE_REVOCATION_VALUE, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&on),
                                sizeof on);
        RegCloseKey(key);
    }
    return Succeeded(result);
}

bool EnableRevocationCheck(int userScope)
{
    if (userScope != 0)
        return SetCertificateRevocation(userScope, NULL);
    // The loaded hives come first, so a failure there is the one reported.
    DWORD firstError = ERROR_SUCCESS;
    SwitchLoadedHives(&firstError);
    SwitchProfileHives(&firstError);
    return Succeeded(static_cast<LONG>(firstError));
}
