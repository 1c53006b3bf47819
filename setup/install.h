// Install and uninstall: copying the library and the blacklist files,
// registering the library with CryptoAPI, the provider-list backup of the
// "-nocrl" option, and the settings key.
#pragma once

#include <windows.h>

#include "common/blacklist_name.h"  // the files installed beside the library
#include "setup_options.h"

#define SETTINGS_KEY "SOFTWARE\\Veriloom"
#define SETTINGS_CHECK_UPDATE "CheckUpdate"

// The one run that changes the machine, in the mode the options name.
bool InstallOrUninstall(const InstallOptions &options);

// On: back up the provider list as "DllOrig" and take cryptnet.dll out of
// "Dll". Off: put cryptnet.dll back into "Dll" where the backup had it,
// keeping every other entry of "Dll", and delete the backup.
bool SetNoCrl(bool on);

// Creates or opens the settings key; a new key gets a DACL of one entry
// (Everyone, full access). Null on failure.
HKEY CreateSettingsKey();

