// Registry values read, written, and saved and put back by a scoped guard.
// Key names are ASCII; values are read in their wide form.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#define TEST_PROVIDER_LIST_KEY "SOFTWARE\\Microsoft\\Cryptography\\OID\\EncodingType 1\\CertDllVerifyRevocation\\DEFAULT"
#define TEST_UNINSTALL_KEY "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Veriloom"
#define TEST_EVENT_SOURCE_KEY "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Veriloom"
#define TEST_INTERNET_SETTINGS "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings"

// Raw bytes of a value, false when missing.
bool ReadValue(HKEY root, const std::string &key, const std::string &value, DWORD *type, std::vector<BYTE> *data);
bool HasValue(HKEY root, const std::string &key, const std::string &value);
// The entries of a REG_MULTI_SZ value, in order (none when missing or of
// another type).
std::vector<std::string> ReadMultiString(HKEY root, const std::string &key, const std::string &value);
// A REG_SZ or REG_EXPAND_SZ value as UTF-8, "<missing>" when missing or of
// another type.
std::string ReadString(HKEY root, const std::string &key, const std::string &value);
// The DWORD, or 0xdeadbeef when missing or of another type.
DWORD DwordOr(HKEY root, const std::string &key, const std::string &value);
bool KeyExists(HKEY root, const std::string &key);
// The hives under HKEY_USERS, with or without the "_Classes" companions.
std::vector<std::string> UserHives(bool withClasses);
// A key's DACL as "COUNT ACE, type T, mask M, Everyone|other" (of the first
// ACE), "no key" or "no DACL".
std::string DaclSummary(HKEY root, const std::string &key);

// Writers create the key when needed.
bool WriteValue(HKEY root, const std::string &key, const std::string &value, DWORD type, const void *data,
                DWORD size);
bool WriteString(HKEY root, const std::string &key, const std::string &value, const std::string &text,
                 DWORD type = REG_SZ);  // with its terminating NUL
bool WriteDword(HKEY root, const std::string &key, const std::string &value, DWORD data);
bool WriteMultiString(HKEY root, const std::string &key, const std::string &value,
                      const std::vector<std::string> &entries);
bool DeleteValue(HKEY root, const std::string &key, const std::string &value);  // true when gone

// A value saved on construction and put back (or deleted, if it did not
// exist) on destruction; the second form also writes a string at once.
class SavedValue {
public:
    SavedValue(HKEY root, const std::string &key, const std::string &value);
    SavedValue(HKEY root, const std::string &key, const std::string &value, const std::string &text,
               DWORD type = REG_SZ);
    ~SavedValue();
    SavedValue(const SavedValue &) = delete;
    SavedValue &operator=(const SavedValue &) = delete;
    bool written;  // the second form's write succeeded

private:
    HKEY root;
    std::string key, value;
    bool existed;
    DWORD type;
    std::vector<BYTE> data;
};

// A key's DACL replaced, as SDDL, while the object lives; the key's own
// comes back afterwards.
class KeySecurity {
public:
    KeySecurity(HKEY root, const std::string &key, const char *daclSddl);
    ~KeySecurity();
    KeySecurity(const KeySecurity &) = delete;
    KeySecurity &operator=(const KeySecurity &) = delete;
    bool active;  // the DACL was set

private:
    HKEY key;
    std::vector<BYTE> saved;
};
// Everyone may do everything but set values.
const char kDenyValueWrites[] = "D:(D;;0x2;;;WD)(A;;KA;;;WD)";
