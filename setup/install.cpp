// Install and uninstall (see install.h).

#include "install.h"

#include "common/bounded_string.h"
#include "common/dialog_support.h"
#include "common/install_folder.h"
#include "file_replace.h"
#include "install_files.h"
#include "post_install.h"
#include "provider_list.h"
#include "provider_registration.h"
#include "registry_result.h"
#include "resources/setup_ids.h"
#include "revocation_switch.h"
#include "setup.h"
#include "setup_log.h"
#include "system_entries.h"

#include <cstring>

namespace {

// The "Dll" entry that names the library, in 16-bit characters.
bool RegisteredLibraryPath(wchar_t *path, size_t capacity)
{
    char list[kProviderListBytes + 1];
    list[kProviderListBytes] = '\0';
    DWORD length = 0;
    DWORD offset = 0;
    DWORD entryLength = 0;
    if (!ReadRegisteredProviderList(PROVIDER_LIST_VALUE, list, kProviderListBytes, &length) ||
        !FindLibraryEntry(list, length, &offset, &entryLength))
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

bool IsAdministrator()
{
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE);
    if (!manager)
        return false;
    CloseServiceHandle(manager);
    return true;
}

bool WriteSettings(bool checkUpdate)
{
    HKEY settings = CreateSettingsKey();
    if (!settings)
        return false;
    const DWORD value = checkUpdate ? 1 : 0;
    const LONG result = RegSetValueExA(settings, SETTINGS_CHECK_UPDATE, 0, REG_DWORD,
                                       reinterpret_cast<const BYTE *>(&value), sizeof value);
    RegCloseKey(settings);
    return Succeeded(result);
}

// Shows the step's error message with GetLastError; false for the caller.
bool StepFailed(UINT messageId)
{
    ShowSetupMessageCode(messageId, GetLastError());
    return false;
}

void LogScope(int userScope)
{
    char scope[256];
    if (LoadStringA(SetupInstance, (userScope == 0 ? IDS_SETUP_ALL_USERS : IDS_SETUP_THIS_USER) + LanguageOffset,
                    scope, sizeof scope) == 0)
        scope[0] = '\0';
    LogSetupStepText(IDS_SETUP_LOG_SWITCHED_ON, scope);
}

// Everything an uninstall would find: the library's entry, the list's
// backup, the Programs and Features entry. The entry is looked for as
// UndoInstallation finds it: one too long to unregister is no trace.
bool HasInstallationTraces()
{
    wchar_t registered[1024];
    return RegisteredLibraryPath(registered, sizeof registered / sizeof registered[0]) || HasProviderListBackup() ||
           HasUninstallEntry();
}

} // namespace

bool HasProviderListBackup()
{
    char backup[kProviderListBytes];
    DWORD length = 0;
    return ReadRegisteredProviderList(PROVIDER_LIST_BACKUP_VALUE, backup, sizeof backup, &length);
}

bool SetNoCrl(bool on)
{
    HKEY key;
    if (!Succeeded(RegOpenKeyExA(HKEY_LOCAL_MACHINE, PROVIDER_LIST_KEY, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key)))
        return false;
    LONG result = ERROR_INVALID_DATA;  // a list missing or of another type
    char list[kProviderListBytes];
    DWORD length = 0;
    if (on) {
        if (ReadProviderListValue(key, PROVIDER_LIST_VALUE, list, sizeof list, &length)) {
            result = KeepsCrlProviderBackup(key, list, length)
                         ? ERROR_SUCCESS
                         : RegSetValueExA(key, PROVIDER_LIST_BACKUP_VALUE, 0, REG_MULTI_SZ,
                                          reinterpret_cast<BYTE *>(list), length);
            if (result == ERROR_SUCCESS) {
                RemoveCrlProviderEntry(list, &length);
                result = RegSetValueExA(key, PROVIDER_LIST_VALUE, 0, REG_MULTI_SZ, reinterpret_cast<BYTE *>(list),
                                        length);
            }
        }
    } else {
        // The backup only tells where the CRL provider stood: the current
        // list keeps every entry registered since the install, and our own
        // entry is left to the unregistration.
        char backup[kProviderListBytes];
        DWORD backupLength = 0;
        if (ReadProviderListValue(key, PROVIDER_LIST_BACKUP_VALUE, backup, sizeof backup, &backupLength) &&
            ReadProviderListValue(key, PROVIDER_LIST_VALUE, list, sizeof list, &length)) {
            result = RestoreCrlProviderEntry(backup, backupLength, list, &length, sizeof list)
                         ? RegSetValueExA(key, PROVIDER_LIST_VALUE, 0, REG_MULTI_SZ, reinterpret_cast<BYTE *>(list),
                                          length)
                         : ERROR_SUCCESS;
            // The backup goes only once the list is right.
            if (result == ERROR_SUCCESS)
                result = RegDeleteValueA(key, PROVIDER_LIST_BACKUP_VALUE);
        }
    }
    RegCloseKey(key);
    return Succeeded(result);
}

bool RegisterLibraryEntry(const char *libraryPath)
{
    wchar_t widePath[1024];
    if (!WidenAnsiPath(libraryPath, widePath, sizeof widePath / sizeof widePath[0]))
        return StepFailed(IDS_SETUP_REGISTER_ERROR);
    wchar_t registered[1024];
    const bool hasEntry = RegisteredLibraryPath(registered, sizeof registered / sizeof registered[0]);
    if (hasEntry && lstrcmpiW(registered, widePath) == 0) {
        LogSetupStepText(IDS_SETUP_LOG_REGISTRATION_KEPT, libraryPath);
        return true;
    }
    if (!RegisterProviderLibrary(widePath))
        return StepFailed(IDS_SETUP_REGISTER_ERROR);
    LogSetupStepText(IDS_SETUP_LOG_REGISTERED, libraryPath);
    if (hasEntry && !UnregisterProviderLibrary(registered)) {
        StepFailed(IDS_SETUP_UNREGISTER_ERROR);
        if (UnregisterProviderLibrary(widePath))
            LogSetupStepText(IDS_SETUP_LOG_REGISTRATION_UNDONE, libraryPath);
        return false;
    }
    return true;
}

bool FinishInstall(const InstallOptions &options, const char *installDir, const char *libraryPath,
                   DWORD installedKilobytes)
{
    if (!EnableRevocationCheck(options.userScope))
        return StepFailed(IDS_SETUP_SWITCH_ERROR);
    LogScope(options.userScope);

    // A backup made by an earlier install stays for the uninstall.
    const bool takesCrlOut = options.noCrl && !HasProviderListBackup();
    if (options.noCrl) {
        if (!SetNoCrl(true))
            return StepFailed(IDS_SETUP_NO_CRL_ERROR);
        LogSetupStep(IDS_SETUP_LOG_NO_CRL);
    }
    // The Programs and Features entry comes last: it says that an
    // installation is complete. Under the Windows Installer package the
    // package's entry is that one, and one an earlier Setup wrote goes.
    const bool finished =
        (WriteSettings(options.checkUpdate) || StepFailed(IDS_SETUP_SETTINGS_ERROR)) &&
        (RegisterVeriloomEventSource(libraryPath) || StepFailed(IDS_SETUP_EVENT_SOURCE_ERROR)) &&
        (options.byPackage
             ? !HasUninstallEntry() || RemoveUninstallEntry() || StepFailed(IDS_SETUP_ENTRY_REMOVE_ERROR)
             : WriteUninstallEntry(installDir, libraryPath, installedKilobytes) || StepFailed(IDS_SETUP_ENTRY_ERROR));
    if (!finished) {
        if (takesCrlOut && SetNoCrl(false))
            LogSetupStep(IDS_SETUP_LOG_CRL_BACK);
        return false;
    }
    LogSetupStepText(IDS_SETUP_LOG_EVENT_SOURCE, libraryPath);
    if (!options.byPackage)
        LogSetupStep(IDS_SETUP_LOG_UNINSTALL_ENTRY);
    return true;
}

bool UndoInstallation()
{
    // The CRL provider goes back before our entry leaves, so that the list
    // never ends up without both.
    if (HasProviderListBackup()) {
        if (!SetNoCrl(false))
            return StepFailed(IDS_SETUP_CRL_BACK_ERROR);
        LogSetupStep(IDS_SETUP_LOG_CRL_BACK);
    }
    wchar_t registered[1024];
    if (RegisteredLibraryPath(registered, sizeof registered / sizeof registered[0])) {
        if (!UnregisterProviderLibrary(registered))
            return StepFailed(IDS_SETUP_UNREGISTER_ERROR);
        LogSetupStep(IDS_SETUP_LOG_UNREGISTERED);
    }
    if (HasUninstallEntry()) {
        if (!RemoveUninstallEntry())
            return StepFailed(IDS_SETUP_ENTRY_REMOVE_ERROR);
        LogSetupStep(IDS_SETUP_LOG_ENTRY_REMOVED);
    }
    return true;
}

SetupResult InstallOrUninstall(const InstallOptions &options)
{
    if (!IsAdministrator()) {
        ShowSetupMessage(IDS_SETUP_NEED_ADMIN);
        return kSetupFailed;
    }
    // A half-done earlier run counts as installed: its traces are removed.
    if (options.uninstall && !HasInstallationTraces()) {
        LogSetupStep(IDS_SETUP_LOG_NOT_INSTALLED);
        return kSetupSucceeded;
    }

    char installDir[1024];
    if (!VeriloomInstallFolder(installDir, sizeof installDir)) {
        LogSetupStep(IDS_SETUP_LOG_NO_FOLDER);
        return kSetupFailed;
    }
    if (options.uninstall)
        LogSetupStep(IDS_SETUP_LOG_UNINSTALL);
    else
        LogSetupStepText(IDS_SETUP_LOG_INSTALL, installDir);

    if (!CreateDirectoryA(installDir, NULL)) {
        const DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS) {
            ShowSetupMessagePathCode(IDS_SETUP_DIRECTORY_ERROR, installDir, error);
            return kSetupFailed;
        }
    }
    // Files an earlier run renamed away while they were in use.
    DeleteReplacedFiles(installDir);

    char ownPath[1024];
    const DWORD ownLength = GetModuleFileNameA(NULL, ownPath, sizeof ownPath);
    ownPath[ownLength < sizeof ownPath ? ownLength : sizeof ownPath - 1] = '\0';
    char srcDir[1024];
    BoundedCopy(srcDir, sizeof srcDir, ownPath);
    char *lastBackslash = strrchr(srcDir, '\\');
    if (!lastBackslash)
        return kSetupFailed;
    lastBackslash[1] = '\0';

    InstalledFiles files;
    if (!FindInstalledFiles(srcDir, installDir, options.uninstall ? NULL : ownPath, &files))
        return kSetupFailed;
    if (options.uninstall) {
        // The walk only finds the library's name: without it nothing changes.
        if (files.libraryPath[0] == '\0') {
            LogSetupStep(IDS_SETUP_LOG_NO_LIBRARY);
            return kSetupFailed;
        }
        if (!UndoInstallation())
            return kSetupFailed;
        ShowSetupMessage(IDS_SETUP_UNINSTALLED);
        return kSetupSucceeded;
    }

    // Blacklist files beside Setup are installed even without the library;
    // Setup itself only with it.
    if (!CopyInstalledFiles(srcDir, installDir, files.libraryPath[0] ? ownPath : NULL, &files))
        return kSetupFailed;
    if (files.libraryPath[0] == '\0') {
        LogSetupStep(IDS_SETUP_LOG_NO_LIBRARY);
        return kSetupFailed;
    }
    if (!RegisterLibraryEntry(files.libraryPath) ||
        !FinishInstall(options, installDir, files.libraryPath, static_cast<DWORD>((files.bytes + 1023) / 1024)))
        return kSetupFailed;
    ShowSetupMessage(IDS_SETUP_INSTALLED);
    if (files.restartNeeded)
        ShowSetupMessage(IDS_SETUP_RESTART_NEEDED);
    if (options.useProxy)
        ImportProxySettings();
    if (!options.quiet)
        OfferTestPage();
    return files.restartNeeded ? kSetupRestartNeeded : kSetupSucceeded;
}
