// The settings key "SOFTWARE\Veriloom" and its access list (see install.h).

#include "install.h"

#include "registry_result.h"

#include <aclapi.h>

namespace {

// Rights that let a holder change the key or its security.
const DWORD kChangeRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC | WRITE_OWNER;

// True when an allowing entry of the key's DACL gives Everyone a right to
// change it: the DACL earlier versions gave the key.
bool EveryoneMayChange(HKEY key, PSID everyone)
{
    PACL dacl = NULL;
    PSECURITY_DESCRIPTOR descriptor = NULL;
    if (GetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, NULL, NULL, &dacl, NULL, &descriptor) !=
        ERROR_SUCCESS)
        return false;
    bool mayChange = false;
    for (DWORD index = 0; dacl && index < dacl->AceCount && !mayChange; ++index) {
        ACCESS_ALLOWED_ACE *entry = NULL;
        if (GetAce(dacl, index, reinterpret_cast<void **>(&entry)) && entry->Header.AceType == ACCESS_ALLOWED_ACE_TYPE)
            mayChange = (entry->Mask & (kChangeRights | GENERIC_WRITE | GENERIC_ALL)) != 0 &&
                        EqualSid(reinterpret_cast<PSID>(&entry->SidStart), everyone);
    }
    LocalFree(descriptor);
    return mayChange;
}

void SetAccess(EXPLICIT_ACCESSA *access, PSID sid, DWORD rights, TRUSTEE_TYPE type)
{
    ZeroMemory(access, sizeof *access);
    access->grfAccessPermissions = rights;
    access->grfAccessMode = SET_ACCESS;
    access->grfInheritance = NO_INHERITANCE;
    access->Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access->Trustee.TrusteeType = type;
    access->Trustee.ptstrName = static_cast<LPSTR>(sid);
}

} // namespace

HKEY CreateSettingsKey()
{
    BYTE everyone[SECURITY_MAX_SID_SIZE];
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    BYTE system[SECURITY_MAX_SID_SIZE];
    DWORD sizes[3] = {sizeof everyone, sizeof administrators, sizeof system};
    if (!CreateWellKnownSid(WinWorldSid, NULL, everyone, &sizes[0]) ||
        !CreateWellKnownSid(WinBuiltinAdministratorsSid, NULL, administrators, &sizes[1]) ||
        !CreateWellKnownSid(WinLocalSystemSid, NULL, system, &sizes[2]))
        return NULL;

    // Everyone reads; nobody but administrators and SYSTEM changes it.
    EXPLICIT_ACCESSA access[3];
    SetAccess(&access[0], everyone, KEY_READ, TRUSTEE_IS_WELL_KNOWN_GROUP);
    SetAccess(&access[1], administrators, KEY_ALL_ACCESS, TRUSTEE_IS_ALIAS);
    SetAccess(&access[2], system, KEY_ALL_ACCESS, TRUSTEE_IS_USER);
    PACL acl = NULL;
    const DWORD aclResult = SetEntriesInAclA(3, access, NULL, &acl);
    if (aclResult != ERROR_SUCCESS) {
        SetLastError(aclResult);
        return NULL;
    }

    HKEY key = NULL;
    LONG result = ERROR_NOT_ENOUGH_MEMORY;
    SECURITY_DESCRIPTOR descriptor;
    if (InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
        SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE)) {
        SECURITY_ATTRIBUTES attributes;
        attributes.nLength = sizeof attributes;
        attributes.lpSecurityDescriptor = &descriptor;
        attributes.bInheritHandle = FALSE;
        char emptyClass[] = "";
        DWORD disposition = 0;
        result = RegCreateKeyExA(HKEY_LOCAL_MACHINE, SETTINGS_KEY, 0, emptyClass, REG_OPTION_NON_VOLATILE,
                                 KEY_READ | KEY_WRITE | WRITE_DAC, &attributes, &key, &disposition);
        // Some platforms (Wine) create the key with default security
        // whatever the attributes say: the DACL is set explicitly as well.
        // An existing key keeps its security unless everyone may change it.
        if (result == ERROR_SUCCESS &&
            (disposition == REG_CREATED_NEW_KEY || EveryoneMayChange(key, everyone)))
            result = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &descriptor);
        if (result != ERROR_SUCCESS && key) {
            RegCloseKey(key);
            key = NULL;
        }
    }
    LocalFree(acl);
    return Succeeded(result) ? key : NULL;
}
