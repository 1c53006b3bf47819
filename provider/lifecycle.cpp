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

bool ReadKeyChecksSwitch()
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, VERILOOM_POLICY_KEY, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return true;
    DWORD value = 1, type = 0, size = sizeof value;
    const LONG status =
        RegQueryValueExA(key, VERILOOM_KEY_CHECKS_VALUE, NULL, &type, reinterpret_cast<BYTE *>(&value), &size);
    RegCloseKey(key);
    return status != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value || value != 0;
}

bool ProviderAttach()
{
    InteractiveFlag = IsInteractiveWindowStation() ? 1 : 0;
    KeyChecksEnabled = ReadKeyChecksSwitch() ? 1 : 0;
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
    (void)reserved;
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        ModuleHandle = module;
        return ProviderAttach() ? TRUE : FALSE;
    case DLL_PROCESS_DETACH:
        ProviderDetach();
        return TRUE;
    default:
        return TRUE;
    }
}

void LogWeakCertificate(const char *commonName, KeyWeakness weakness, KeyKind keyKind)
{
    char reason[32] = "";
    if (weakness == kWeaknessRoca)
        BoundedCopy(reason, sizeof reason, " (ROCA)");
    else if (weakness == kWeaknessClosePrimes)
        BoundedCopy(reason, sizeof reason, " (close primes)");
    else if (keyKind != kKeyKindRsa && keyKind != kKeyKindNone)
        BoundedFormat(reason, sizeof reason, " (%s key)", KeyKindName(keyKind));
    // An RSA list hit's text is cut at the buffer's end; a reason stays
    // whole, the name is cut before it instead.
    char text[256];
    static const char kFrame[] = "Weak certificate found: ''";
    const int nameRoom = static_cast<int>(sizeof text - sizeof kFrame - strlen(reason));
    BoundedFormat(text, sizeof text, "Weak certificate found: '%.*s'%s", reason[0] ? nameRoom : 255, commonName,
                  reason);

    HANDLE source = RegisterEventSourceA(NULL, VERILOOM_EVENT_SOURCE);
    if (!source)
        return;
    const char *strings[1] = {text};
    ReportEventA(source, EVENTLOG_WARNING_TYPE, 0, MSG_WEAK_CERTIFICATE, NULL, 1, 0, strings, NULL);
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
