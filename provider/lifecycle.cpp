// DllMain, attach and detach, the interactive test, the warning event and the
// library's error message.

#include "lifecycle.h"

#include "common/bounded_string.h"
#include "common/dialog_support.h"
#include "common/product.h"
#include "list_knowledge.h"
#include "resources/resource_ids.h"
#include "verdict_cache.h"

#include <cstring>
#include <new>

HINSTANCE ModuleHandle = NULL;
BYTE InteractiveFlag = 0;
BYTE KeyChecksEnabled = 1;
BYTE AuditMode = 0;
ListKnowledge *KnownLists = NULL;

namespace {

bool EqualsIgnoringAsciiCase(const char *a, const char *b)
{
    for (;; a++, b++) {
        char ca = *a, cb = *b;
        if (ca >= 'A' && ca <= 'Z')
            ca = static_cast<char>(ca - 'A' + 'a');
        if (cb >= 'A' && cb <= 'Z')
            cb = static_cast<char>(cb - 'A' + 'a');
        if (ca != cb)
            return false;
        if (ca == '\0')
            return true;
    }
}

} // namespace

bool IsInteractiveWindowStation()
{
    HWINSTA station = GetProcessWindowStation();
    if (!station)
        return false;
    char name[128];
    if (!GetUserObjectInformationA(station, UOI_NAME, name, sizeof name, NULL))
        return false;
    name[sizeof name - 1] = '\0';
    if (!EqualsIgnoringAsciiCase(name, "Winsta0"))
        return false;
    USEROBJECTFLAGS flags;
    if (!GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof flags, NULL))
        return false;
    return (flags.dwFlags & WSF_VISIBLE) != 0;
}

bool ReadPolicyDword(const char *name, DWORD *value)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, VERILOOM_POLICY_KEY, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    DWORD data = 0, type = 0, size = sizeof data;
    const LONG status = RegQueryValueExA(key, name, NULL, &type, reinterpret_cast<BYTE *>(&data), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_DWORD || size != sizeof data)
        return false;
    *value = data;
    return true;
}

bool ProviderAttach()
{
    InteractiveFlag = IsInteractiveWindowStation() ? 1 : 0;
    // Absent or unusable values leave the defaults: checks on, enforce.
    DWORD keyChecks = 1, mode = VERILOOM_MODE_ENFORCE;
    ReadPolicyDword(VERILOOM_KEY_CHECKS_VALUE, &keyChecks);
    ReadPolicyDword(VERILOOM_MODE_VALUE, &mode);
    KeyChecksEnabled = keyChecks == VERILOOM_KEY_CHECKS_OFF ? 0 : 1;
    AuditMode = mode == VERILOOM_MODE_AUDIT ? 1 : 0;
    InitLanguageOffset();
    // Without the knowledge every file is simply read on every miss.
    KnownLists = new (std::nothrow) ListKnowledge;
    return CreateVerdictCache();
}

bool ProviderDetach()
{
    delete KnownLists;
    KnownLists = NULL;
    DestroyVerdictCache();
    return true;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        ModuleHandle = module;
        return ProviderAttach() ? TRUE : FALSE;
    case DLL_PROCESS_DETACH:
        // At process exit the other threads are gone, an index worker
        // perhaps holding the knowledge's lock: nothing is freed then.
        if (!reserved)
            ProviderDetach();
        return TRUE;
    default:
        return TRUE;
    }
}

void LogWeakCertificate(const WeakKeyEvent &event)
{
    char reason[32] = "";
    const char *foundBy = event.listName ? event.listName : "";
    if (event.weakness == kWeaknessRoca) {
        BoundedCopy(reason, sizeof reason, " (ROCA)");
        foundBy = "ROCA check";
    } else if (event.weakness == kWeaknessClosePrimes) {
        BoundedCopy(reason, sizeof reason, " (close primes)");
        foundBy = "close primes check";
    } else if (event.keyKind != kKeyKindRsa && event.keyKind != kKeyKindNone) {
        BoundedFormat(reason, sizeof reason, " (%s key)", KeyKindName(event.keyKind));
    }
    // An RSA list hit's text is cut at the buffer's end; a reason stays
    // whole, the name is cut before it instead.
    char text[256];
    static const char kFrame[] = "Weak certificate found: ''";
    const int nameRoom = static_cast<int>(sizeof text - sizeof kFrame - strlen(reason));
    BoundedFormat(text, sizeof text, "Weak certificate found: '%.*s'%s", reason[0] ? nameRoom : 255,
                  event.commonName, reason);
    char executable[1024];
    const DWORD length = GetModuleFileNameA(NULL, executable, sizeof executable);
    executable[length < sizeof executable ? length : sizeof executable - 1] = '\0';

    HANDLE source = RegisterEventSourceA(NULL, VERILOOM_EVENT_SOURCE);
    if (!source)
        return;
    // Each datum is an insertion string of its own, so that forwarded
    // events and queries see it as a field (EventData/Data[2] to [4]).
    const char *strings[4] = {text, event.fingerprint, foundBy, executable};
    ReportEventA(source, EVENTLOG_WARNING_TYPE, 0, event.onlyReported ? MSG_WEAK_KEY_REPORTED : MSG_WEAK_CERTIFICATE,
                 NULL, 4, 0, strings, NULL);
    DeregisterEventSource(source);
}

void ShowCheckError(DWORD code, DWORD detail)
{
    if (!InteractiveFlag)
        return;
    char format[256];
    char message[256];
    if (LoadStringA(ModuleHandle, IDS_CHECK_ERROR + LanguageOffset, format, sizeof format) == 0)
        BoundedCopy(format, sizeof format, "Error checking certificate [%u/%u]!");
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    BoundedFormat(message, sizeof message, format, static_cast<unsigned>(code), static_cast<unsigned>(detail));
#pragma GCC diagnostic pop
    MessageBoxA(NULL, message, VERILOOM_PROGRAM_CAPTION, MB_OK | MB_TOPMOST | MB_SETFOREGROUND);
}
