// Install and uninstall: copying the library and the blacklist files,
// registering the library with CryptoAPI, the provider-list backup of the
// "-nocrl" option, and the settings key.
#pragma once

#include <windows.h>

#include "common/blacklist_name.h"  // the files installed beside the library
#include "setup_options.h"

#define SETTINGS_KEY "SOFTWARE\\Veriloom"
#define SETTINGS_CHECK_UPDATE "CheckUpdate"

// How a run ended; the exit code follows from it.
enum SetupResult {
    kSetupSucceeded,
    kSetupRestartNeeded,  // succeeded; a file in use is replaced when Windows restarts
    kSetupFailed,         // a step failed; its message (with the error code) was shown and logged
};

// The one run that changes the machine, in the mode the options name.
SetupResult InstallOrUninstall(const InstallOptions &options);

// Registers the library path as the first revocation provider unless that
// very path is registered already. An entry of the library from another
// folder is unregistered only after the new one is in, so that some entry
// protects the machine at every moment; when it cannot be, the new entry
// is taken back and the old one stays. False after a message.
bool RegisterLibraryEntry(const char *libraryPath);

// The steps after the registration, each checked: the per-user switch,
// "-nocrl", the settings key, the event source and the Programs and
// Features entry. A failure shows its message, puts back the CRL provider
// when this run took it out, and returns false.
bool FinishInstall(const InstallOptions &options, const char *installDir, const char *libraryPath,
                   DWORD installedKilobytes);

// Undoes an installation, also a half-done one: the CRL provider back
// when a backup says where it stood, the library's entry out of the
// provider list (from whatever folder it was registered), the Programs and
// Features entry removed. Stops at the first failure, after its message.
bool UndoInstallation();

// On: back up the provider list as "DllOrig" and take cryptnet.dll out of
// "Dll". Off: put cryptnet.dll back into "Dll" where the backup had it,
// keeping every other entry of "Dll", and delete the backup. False, with
// the reason in GetLastError, when the list or the backup cannot be read or
// written.
bool SetNoCrl(bool on);
// True when "DllOrig" holds a provider list.
bool HasProviderListBackup();

// Creates or opens the settings key. A new key, and an existing one that
// lets everyone change it (as earlier versions made it), gets a DACL that
// lets everyone read and administrators and SYSTEM do everything. Null on
// failure, with the reason in GetLastError.
HKEY CreateSettingsKey();
