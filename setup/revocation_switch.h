// The per-user switch that makes Internet Explorer ask for revocation
// checks: "CertificateRevocation" = 1 for this user or for every user hive
// the installer can reach.
#pragma once

#include <windows.h>

#define INTERNET_SETTINGS_KEY "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings"
#define CERTIFICATE_REVOCATION_VALUE "CertificateRevocation"
#define PROFILE_LIST_KEY "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList"
#define PROFILE_MOUNT_POINT "LoadedUser"

// Scope 0: every loaded hive of HKEY_USERS (not the "_Classes" companions)
// and the hive of every profile in the profiles directory; other values:
// the current user. False, with the first failure's code in GetLastError,
// when any hive that could be reached was not written.
bool EnableRevocationCheck(int userScope);

// Scope 0: the switch in HKEY_USERS\<subkey>; other values: in
// HKEY_CURRENT_USER. True when the value was written, else false with the
// reason in GetLastError.
bool SetCertificateRevocation(int scope, const char *subkey);
