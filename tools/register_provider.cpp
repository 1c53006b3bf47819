// register_provider: adds a revocation provider library to CryptoAPI's
// default revocation provider list, first, removes it again, or prints the
// list (the demo uses it to show the list; Setup.exe does the registering).
//   register_provider install PATH     PATH first in the list
//   register_provider uninstall PATH   PATH out of the list
//   register_provider list             the list, one library a line
// Exit code 0 on success, 1 on failure, 2 on a wrong command line.

#include <windows.h>
#include <wincrypt.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

const char kProviderListKey[] =
    "SOFTWARE\\Microsoft\\Cryptography\\OID\\EncodingType 1\\CertDllVerifyRevocation\\DEFAULT";

// Writes wide text to the console as it is, or UTF-8 to a file or pipe.
void PrintWide(const std::wstring &text)
{
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode;
    if (GetConsoleMode(out, &mode)) {
        DWORD written;
        fflush(stdout);
        WriteConsoleW(out, text.c_str(), static_cast<DWORD>(text.size()), &written, NULL);
        return;
    }
    const int needed = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), NULL, 0, NULL,
                                           NULL);
    if (needed <= 0)
        return;
    std::string utf8(static_cast<size_t>(needed), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &utf8[0], needed, NULL, NULL);
    fwrite(utf8.data(), 1, utf8.size(), stdout);
}

void PrintError(const char *what, DWORD error)
{
    fprintf(stderr, "register_provider: %s (error %lu, 0x%08lx)\n", what, error, error);
}

int Install(const wchar_t *path)
{
    // Already listed: taken out first, so that it comes back first.
    if (!CryptUnregisterDefaultOIDFunction(X509_ASN_ENCODING, CRYPT_OID_VERIFY_REVOCATION_FUNC, path) &&
        GetLastError() != ERROR_FILE_NOT_FOUND) {
        PrintError("cannot update the provider list", GetLastError());
        return 1;
    }
    if (!CryptRegisterDefaultOIDFunction(X509_ASN_ENCODING, CRYPT_OID_VERIFY_REVOCATION_FUNC,
                                         CRYPT_REGISTER_FIRST_INDEX, path)) {
        PrintError("cannot register the provider", GetLastError());
        return 1;
    }
    PrintWide(L"registered first: " + std::wstring(path) + L"\n");
    return 0;
}

int Uninstall(const wchar_t *path)
{
    if (!CryptUnregisterDefaultOIDFunction(X509_ASN_ENCODING, CRYPT_OID_VERIFY_REVOCATION_FUNC, path)) {
        const DWORD error = GetLastError();
        PrintError(error == ERROR_FILE_NOT_FOUND ? "the provider is not registered" : "cannot unregister the provider",
                   error);
        return 1;
    }
    PrintWide(L"unregistered: " + std::wstring(path) + L"\n");
    return 0;
}

int List()
{
    HKEY key;
    LONG result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kProviderListKey, 0, KEY_QUERY_VALUE, &key);
    if (result == ERROR_FILE_NOT_FOUND) {
        printf("(no revocation providers registered)\n");
        return 0;
    }
    if (result != ERROR_SUCCESS) {
        PrintError("cannot open the provider list", static_cast<DWORD>(result));
        return 1;
    }

    DWORD type = 0, size = 0;
    result = RegQueryValueExW(key, L"Dll", NULL, &type, NULL, &size);
    std::vector<wchar_t> list;
    if (result == ERROR_SUCCESS && type == REG_MULTI_SZ && size > 0) {
        // Room for the value and a terminating NUL beyond it.
        list.assign(size / sizeof(wchar_t) + 2, L'\0');
        DWORD got = static_cast<DWORD>(list.size() * sizeof(wchar_t));
        result = RegQueryValueExW(key, L"Dll", NULL, &type, reinterpret_cast<BYTE *>(list.data()), &got);
        if (result == ERROR_SUCCESS)
            list.resize(got / sizeof(wchar_t));
        size = got;
    }
    RegCloseKey(key);

    if (result == ERROR_FILE_NOT_FOUND || (result == ERROR_SUCCESS && size == 0)) {
        printf("(no revocation providers registered)\n");
        return 0;
    }
    if (result != ERROR_SUCCESS) {
        PrintError("cannot read the provider list", static_cast<DWORD>(result));
        return 1;
    }
    if (type != REG_MULTI_SZ) {
        fprintf(stderr, "register_provider: the provider list has type %lu, not REG_MULTI_SZ\n", type);
        return 1;
    }

    // The strings follow each other, each ended by a NUL, the list by an
    // empty one; the walk never passes the length the registry returned.
    const size_t count = list.size();
    size_t position = 0, listed = 0;
    while (position < count && list[position] != L'\0') {
        size_t end = position;
        while (end < count && list[end] != L'\0')
            end++;
        wchar_t number[16];
        swprintf(number, 16, L"%2u. ", static_cast<unsigned>(++listed));
        PrintWide(number + std::wstring(list.data() + position, end - position) + L"\n");
        position = end + 1;
    }
    if (listed == 0)
        printf("(no revocation providers registered)\n");
    return 0;
}

int Usage()
{
    fprintf(stderr, "usage: register_provider install PATH | uninstall PATH | list\n"
                    "Puts a revocation provider library first in CryptoAPI's default list, takes it\n"
                    "out again, or prints the list.\n");
    return 2;
}

} // namespace

int main()
{
    int argc = 0;
    wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv)
        return Usage();
    int status;
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"install" && argc == 3)
        status = Install(argv[2]);
    else if (command == L"uninstall" && argc == 3)
        status = Uninstall(argv[2]);
    else if (command == L"list" && argc == 2)
        status = List();
    else
        status = Usage();
    LocalFree(argv);
    return status;
}
