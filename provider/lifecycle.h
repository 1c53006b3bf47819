// The library's process-wide state and its lifecycle: attach and detach, the
// interactive test, what is known about the blacklist files, and the warning
// event.
#pragma once

#include <windows.h>

#include "certificate_walker.h"
#include "key_checks.h"

// Written at attach, read-only afterwards.
extern HINSTANCE ModuleHandle;
extern BYTE InteractiveFlag;
// 1 unless the machine policy switches the structural key checks off.
extern BYTE KeyChecksEnabled;

// What the library has learned about the blacklist files while loaded.
class ListKnowledge;
extern ListKnowledge *KnownLists;

bool ProviderAttach();
bool ProviderDetach();

// True when the process runs on the visible window station "Winsta0".
bool IsInteractiveWindowStation();

// True unless HKLM's policy value "KeyChecks" is a DWORD 0.
bool ReadKeyChecksSwitch();

// Writes the warning event for a certificate whose key is blacklisted, or,
// with a weakness, whose key the structural checks found weak: the text
// then names the reason, or else the key's kind when it is not RSA.
void LogWeakCertificate(const char *commonName, KeyWeakness weakness = kWeaknessNone,
                        KeyKind keyKind = kKeyKindRsa);

// Shows "Error checking certificate [code/detail]!" to an interactive user;
// a process without a visible desktop shows nothing, since nobody could
// answer the message box there.
void ShowCheckError(DWORD code, DWORD detail);
