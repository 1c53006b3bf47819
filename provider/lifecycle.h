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
// 1 when the machine policy asks for audit mode: weak keys are only logged.
extern BYTE AuditMode;

// What the library has learned about the blacklist files while loaded.
class ListKnowledge;
extern ListKnowledge *KnownLists;

bool ProviderAttach();
bool ProviderDetach();

// True when the process runs on the visible window station "Winsta0".
bool IsInteractiveWindowStation();

// A DWORD of HKLM's policy key; false, *value untouched, when it is absent
// or not a REG_DWORD of four bytes.
bool ReadPolicyDword(const char *name, DWORD *value);

// What the event of a weak key tells the administrator.
struct WeakKeyEvent {
    const char *commonName;
    const char *fingerprint;
    const char *listName;    // the listing file's name; NULL when a check found it
    KeyWeakness weakness;    // the check that found it, kWeaknessNone for a list
    KeyKind keyKind;         // named in the text when it is not RSA
    bool onlyReported;       // audit mode: logged, not refused
};

// Writes the warning event for a weak key: id 100, or 101 when it was only
// reported. The first insertion string is "Weak certificate found: '<CN>'"
// with the check's reason, or else the key's kind when it is not RSA,
// appended; the fingerprint, the list file or check and this process's
// executable follow as insertion strings of their own.
void LogWeakCertificate(const WeakKeyEvent &event);

// Shows "Error checking certificate [code/detail]!" to an interactive user;
// a process without a visible desktop shows nothing, since nobody could
// answer the message box there.
void ShowCheckError(DWORD code, DWORD detail);
