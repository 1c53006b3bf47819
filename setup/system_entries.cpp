// Programs and Features entry and event source (see system_entries.h).

#include "system_entries.h"

#include "common/bounded_string.h"
#include "common/product.h"
#include "registry_result.h"

#include <cstring>

namespace {

bool SetText(HKEY key, const char *name, const char *text, DWORD type = REG_SZ)
{
    return Succeeded(RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE *>(text),
                                    static_cast<DWORD>(strlen(text) + 1)));
}

bool SetNumber(HKEY key, const char *name, DWORD number)
{
    return Succeeded(
        RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&number), sizeof number));
}

// Creates the key for writing values; false with the reason in GetLastError.
bool CreateKey(const char *name, HKEY *key)
{
    return Succeeded(RegCreateKeyExA(HKEY_LOCAL_MACHINE, name, 0, NULL, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                                     NULL, key, NULL));
}

// Closes the key keeping the error code of the writes.
bool CloseKeyAfter(HKEY key, bool written)
{
    const DWORD error = GetLastError();
    RegCloseKey(key);
    SetLastError(error);
    return written;
}

} // namespace

bool WriteUninstallEntry(const char *installDir, const char *libraryPath, DWORD estimatedKilobytes)
{
    char icon[1100];
    char uninstall[1100];
    char quietUninstall[1100];
    BoundedCopy(icon, sizeof icon, libraryPath);
    BoundedAppend(icon, sizeof icon, ",0");
    BoundedCopy(uninstall, sizeof uninstall, "\"");
    BoundedAppend(uninstall, sizeof uninstall, installDir);
    BoundedAppend(uninstall, sizeof uninstall, "\\" INSTALLED_SETUP_NAME "\" /uninstall");
    BoundedCopy(quietUninstall, sizeof quietUninstall, uninstall);
    BoundedAppend(quietUninstall, sizeof quietUninstall, " /quiet");

    HKEY key;
    if (!CreateKey(UNINSTALL_ENTRY_KEY, &key))
        return false;
    const bool written = SetText(key, "DisplayName", VERILOOM_DISPLAY_NAME) &&
                         SetText(key, "DisplayVersion", VERILOOM_DISPLAY_VERSION) &&
                         SetText(key, "Publisher", VERILOOM_PUBLISHER) && SetText(key, "DisplayIcon", icon) &&
                         SetText(key, "InstallLocation", installDir) &&
                         SetNumber(key, "EstimatedSize", estimatedKilobytes) && SetNumber(key, "NoModify", 1) &&
                         SetNumber(key, "NoRepair", 1) && SetText(key, "UninstallString", uninstall) &&
                         SetText(key, "QuietUninstallString", quietUninstall);
    return CloseKeyAfter(key, written);
}

bool HasUninstallEntry()
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, UNINSTALL_ENTRY_KEY, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

bool RemoveUninstallEntry()
{
    const LONG result = RegDeleteKeyA(HKEY_LOCAL_MACHINE, UNINSTALL_ENTRY_KEY);
    return Succeeded(result == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : result);
}

bool RegisterVeriloomEventSource(const char *libraryPath)
{
    HKEY key;
    if (!CreateKey(EVENT_SOURCE_KEY, &key))
        return false;
    const bool written = SetText(key, "EventMessageFile", libraryPath, REG_EXPAND_SZ) &&
                         SetNumber(key, "TypesSupported", EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE |
                                                              EVENTLOG_INFORMATION_TYPE);
    return CloseKeyAfter(key, written);
}
