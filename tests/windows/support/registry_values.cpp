// Registry values read, written, saved and put back (see registry_values.h).

#include "registry_values.h"

#include "tools/dialog_windows.h"

#include <aclapi.h>
#include <sddl.h>

#include <cstdio>
#include <cstring>

namespace {

std::wstring Wide(const std::string &text)
{
    return std::wstring(text.begin(), text.end());
}

} // namespace

bool ReadValue(HKEY root, const std::string &key, const std::string &value, DWORD *type, std::vector<BYTE> *data)
{
    HKEY handle;
    if (RegOpenKeyExW(root, Wide(key).c_str(), 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS)
        return false;
    DWORD size = 0;
    LONG status = RegQueryValueExW(handle, Wide(value).c_str(), NULL, type, NULL, &size);
    if (status == ERROR_SUCCESS) {
        data->assign(size, 0);
        status = RegQueryValueExW(handle, Wide(value).c_str(), NULL, type, data->empty() ? NULL : data->data(), &size);
        data->resize(size);
    }
    RegCloseKey(handle);
    return status == ERROR_SUCCESS;
}

bool HasValue(HKEY root, const std::string &key, const std::string &value)
{
    DWORD type = 0;
    std::vector<BYTE> data;
    return ReadValue(root, key, value, &type, &data);
}

std::vector<std::string> ReadMultiString(HKEY root, const std::string &key, const std::string &value)
{
    std::vector<std::string> entries;
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!ReadValue(root, key, value, &type, &data) || type != REG_MULTI_SZ)
        return entries;
    const wchar_t *text = reinterpret_cast<const wchar_t *>(data.data());
    const size_t count = data.size() / sizeof(wchar_t);
    for (size_t i = 0; i < count && text[i] != L'\0'; ++i) {
        std::string entry;
        while (i < count && text[i] != L'\0')
            entry += static_cast<char>(text[i++]);
        entries.push_back(entry);
    }
    return entries;
}

std::string ReadString(HKEY root, const std::string &key, const std::string &value)
{
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!ReadValue(root, key, value, &type, &data) || (type != REG_SZ && type != REG_EXPAND_SZ))
        return "<missing>";
    std::wstring wide(reinterpret_cast<const wchar_t *>(data.data()), data.size() / sizeof(wchar_t));
    while (!wide.empty() && wide.back() == L'\0')
        wide.pop_back();
    return ToUtf8(wide.c_str());
}

DWORD DwordOr(HKEY root, const std::string &key, const std::string &value)
{
    DWORD type = 0, out = 0xdeadbeef;
    std::vector<BYTE> data;
    if (ReadValue(root, key, value, &type, &data) && type == REG_DWORD && data.size() == 4)
        memcpy(&out, data.data(), 4);
    return out;
}

bool KeyExists(HKEY root, const std::string &key)
{
    HKEY handle;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return false;
    RegCloseKey(handle);
    return true;
}

std::vector<std::string> UserHives(bool withClasses)
{
    std::vector<std::string> names;
    HKEY users;
    if (RegOpenKeyExA(HKEY_USERS, NULL, 0, KEY_ENUMERATE_SUB_KEYS, &users) != ERROR_SUCCESS)
        return names;
    char name[256];
    for (DWORD index = 0, length = sizeof name;
         RegEnumKeyExA(users, index, name, &length, NULL, NULL, NULL, NULL) == ERROR_SUCCESS;
         ++index, length = sizeof name)
        if (withClasses || !strstr(name, "_Classes"))
            names.push_back(name);
    RegCloseKey(users);
    return names;
}

std::string DaclSummary(HKEY root, const std::string &key)
{
    HKEY handle;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return "no key";
    std::string result = "no DACL";
    PACL dacl = NULL;
    PSECURITY_DESCRIPTOR descriptor = NULL;
    void *ace = NULL;
    if (GetSecurityInfo(handle, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, NULL, NULL, &dacl, NULL, &descriptor) ==
            ERROR_SUCCESS &&
        dacl && GetAce(dacl, 0, &ace)) {
        const ACCESS_ALLOWED_ACE *allowed = static_cast<ACCESS_ALLOWED_ACE *>(ace);
        SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
        PSID everyone = NULL;
        AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
        char text[96];
        snprintf(text, sizeof text, "%u ACE, type %u, mask %08lx, %s", dacl->AceCount, allowed->Header.AceType,
                 allowed->Mask, EqualSid(const_cast<DWORD *>(&allowed->SidStart), everyone) ? "Everyone" : "other");
        result = text;
        FreeSid(everyone);
    }
    if (descriptor)
        LocalFree(descriptor);
    RegCloseKey(handle);
    return result;
}

bool WriteValue(HKEY root, const std::string &key, const std::string &value, DWORD type, const void *data,
                DWORD size)
{
    HKEY handle;
    if (RegCreateKeyExA(root, key.c_str(), 0, NULL, 0, KEY_SET_VALUE, NULL, &handle, NULL) != ERROR_SUCCESS)
        return false;
    const bool ok =
        RegSetValueExA(handle, value.c_str(), 0, type, static_cast<const BYTE *>(data), size) == ERROR_SUCCESS;
    RegCloseKey(handle);
    return ok;
}

bool WriteString(HKEY root, const std::string &key, const std::string &value, const std::string &text, DWORD type)
{
    return WriteValue(root, key, value, type, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

bool WriteDword(HKEY root, const std::string &key, const std::string &value, DWORD data)
{
    return WriteValue(root, key, value, REG_DWORD, &data, sizeof data);
}

bool WriteMultiString(HKEY root, const std::string &key, const std::string &value,
                      const std::vector<std::string> &entries)
{
    std::string data;
    for (const std::string &entry : entries)
        data += entry + '\0';
    data += '\0';
    return WriteValue(root, key, value, REG_MULTI_SZ, data.data(), static_cast<DWORD>(data.size()));
}

bool DeleteValue(HKEY root, const std::string &key, const std::string &value)
{
    HKEY handle;
    const LONG opened = RegOpenKeyExA(root, key.c_str(), 0, KEY_SET_VALUE, &handle);
    if (opened != ERROR_SUCCESS)
        return opened == ERROR_FILE_NOT_FOUND;
    const LONG status = RegDeleteValueA(handle, value.c_str());
    RegCloseKey(handle);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

SavedValue::SavedValue(HKEY rootKey, const std::string &keyName, const std::string &valueName)
    : written(false), root(rootKey), key(keyName), value(valueName), existed(false), type(0)
{
    existed = ReadValue(root, key, value, &type, &data);
}

SavedValue::SavedValue(HKEY rootKey, const std::string &keyName, const std::string &valueName,
                       const std::string &text, DWORD textType)
    : SavedValue(rootKey, keyName, valueName)
{
    written = WriteString(root, key, value, text, textType);
}

SavedValue::~SavedValue()
{
    HKEY handle;
    if (RegOpenKeyExW(root, Wide(key).c_str(), 0, KEY_SET_VALUE, &handle) != ERROR_SUCCESS)
        return;
    if (existed)
        RegSetValueExW(handle, Wide(value).c_str(), 0, type, data.empty() ? NULL : data.data(),
                       static_cast<DWORD>(data.size()));
    else
        RegDeleteValueW(handle, Wide(value).c_str());
    RegCloseKey(handle);
}

KeySecurity::KeySecurity(HKEY root, const std::string &name, const char *daclSddl)
    : active(false), key(NULL), saved(4096)
{
    DWORD size = static_cast<DWORD>(saved.size());
    PSECURITY_DESCRIPTOR descriptor = NULL;
    if (RegOpenKeyExA(root, name.c_str(), 0, READ_CONTROL | WRITE_DAC, &key) != ERROR_SUCCESS) {
        key = NULL;
        return;
    }
    if (RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, saved.data(), &size) == ERROR_SUCCESS &&
        ConvertStringSecurityDescriptorToSecurityDescriptorA(daclSddl, SDDL_REVISION_1, &descriptor, NULL))
        active = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor) == ERROR_SUCCESS;
    LocalFree(descriptor);
}

KeySecurity::~KeySecurity()
{
    if (active)
        RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, saved.data());
    if (key)
        RegCloseKey(key);
}
