// Registration of the library with CryptoAPI (see provider_registration.h).

#include "provider_registration.h"

#include "system_library.h"

#include <wincrypt.h>

namespace {

typedef BOOL(WINAPI *RegisterFunction)(DWORD, LPCSTR, DWORD, LPCWSTR);
typedef BOOL(WINAPI *UnregisterFunction)(DWORD, LPCSTR, LPCWSTR);

// Calls one export of crypt32 with the path; keeps its error code.
bool CallCrypt32(const char *exportName, bool registering, const wchar_t *path)
{
    HMODULE crypt32 = LoadSystemLibrary("crypt32.dll");
    if (!crypt32)
        return false;
    void *function = reinterpret_cast<void *>(GetProcAddress(crypt32, exportName));
    BOOL ok = FALSE;
    DWORD error = ERROR_PROC_NOT_FOUND;
    if (function) {
        SetLastError(ERROR_SUCCESS);
        ok = registering ? reinterpret_cast<RegisterFunction>(function)(
                               X509_ASN_ENCODING, CRYPT_OID_VERIFY_REVOCATION_FUNC, CRYPT_REGISTER_FIRST_INDEX, path)
                         : reinterpret_cast<UnregisterFunction>(function)(X509_ASN_ENCODING,
                                                                          CRYPT_OID_VERIFY_REVOCATION_FUNC, path);
        error = GetLastError();
    }
    FreeLibrary(crypt32);
    SetLastError(error);
    return ok != FALSE;
}

} // namespace

bool RegisterProviderLibrary(const wchar_t *path)
{
    return CallCrypt32("CryptRegisterDefaultOIDFunction", true, path);
}

bool UnregisterProviderLibrary(const wchar_t *path)
{
    return CallCrypt32("CryptUnregisterDefaultOIDFunction", false, path);
}

bool WidenAnsiPath(const char *path, wchar_t *wide, size_t capacity)
{
    if (capacity == 0)
        return false;
    const int written = MultiByteToWideChar(CP_ACP, 0, path, -1, wide, static_cast<int>(capacity));
    if (written == 0) {
        wide[0] = L'\0';
        return false;
    }
    return true;
}
