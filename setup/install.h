// Install and uninstall: copying the library and the blacklist files,
// registering the library with CryptoAPI, the provider-list backup of the
// "-nocrl" option, and the settings key.
#pragma once

#include <windows.h>

#define SETTINGS_KEY "SOFTWARE\\Veriloom"
#define SETTINGS_CHECK_UPDATE "CheckUpdate"

bool InstallOrUninstall(int userScope, bool noCrl, bool useProxy, bool checkUpdate);

// On: back up the provider list as "DllOrig" and take cryptnet.dll out of
// "Dll". Off: put cryptnet.dll back into "Dll" where the backup had it,
// keeping every other entry of "Dll", and delete the backup.
bool SetNoCrl(bool on);

// Creates or opens the settings key; a new key gets a DACL of one entry
// (Everyone, full access). Null on failure.
HKEY CreateSettingsKey();

// True for a file name that the installer copies as a blacklist: its first
// nine characters read "BLACKLIST" in any letter case.
bool IsBlacklistFileName(const char *name);
