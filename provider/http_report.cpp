// SendHttpRequest (see http_report.h).

#include "http_report.h"

#include <winhttp.h>

#include <cstdlib>

namespace {

const size_t kWideCapacity = 1024;

// Widens byte for byte (no code-page translation), cut to 1023 characters.
void Widen(const char *text, wchar_t *wide)
{
    size_t i = 0;
    for (; text && text[i] != '\0' && i < kWideCapacity - 1; i++)
        wide[i] = static_cast<wchar_t>(static_cast<unsigned char>(text[i]));
    wide[i] = L'\0';
}

void StoreError(DWORD *errorCode)
{
    if (errorCode)
        *errorCode = GetLastError();
}

// Reads and discards the response body; false when a query or read fails.
bool DrainResponse(HINTERNET request, DWORD *errorCode)
{
    for (;;) {
        DWORD size = 0;
        if (!WinHttpQueryDataAvailable(request, &size)) {
            StoreError(errorCode);
            return false;
        }
        if (size == 0)
            return true;
        char *chunk = static_cast<char *>(malloc(static_cast<size_t>(size) + 1));
        if (!chunk)
            return false;
        DWORD read = 0;
        const BOOL ok = WinHttpReadData(request, chunk, size, &read);
        if (!ok)
            StoreError(errorCode);
        if (read > 0)
            chunk[read] = '\0';
        free(chunk);
        if (!ok)
            return false;
        if (read == 0)
            return true;
    }
}

} // namespace

bool SendHttpRequest(const char *host, int port, const char *path, bool secure, const BYTE *body, DWORD bodyLength,
                     DWORD *errorCode, const wchar_t *headers, const wchar_t **acceptTypes)
{
    bool success = false;
    HINTERNET session = NULL, connection = NULL, request = NULL;
    wchar_t tmp[kWideCapacity];
    INTERNET_PORT serverPort = static_cast<INTERNET_PORT>(port & 0xFFFF);
    if (serverPort == 0)
        serverPort = secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT;
    if (!body)
        bodyLength = 0;
    if (errorCode)
        *errorCode = 0;

    session = WinHttpOpen(L"", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    if (!session) {
        StoreError(errorCode);
        goto cleanup;
    }

    Widen(host, tmp);
    connection = WinHttpConnect(session, tmp, serverPort, 0);
    if (!connection) {
        StoreError(errorCode);
        goto cleanup;
    }

    Widen(path, tmp);
    request = WinHttpOpenRequest(connection, body ? L"POST" : L"GET", tmp, NULL, WINHTTP_NO_REFERER,
                                 acceptTypes ? acceptTypes : WINHTTP_DEFAULT_ACCEPT_TYPES,
                                 secure ? WINHTTP_FLAG_SECURE : 0);
    if (!request) {
        StoreError(errorCode);
        goto cleanup;
    }

    if (!WinHttpSendRequest(request, headers ? headers : WINHTTP_NO_ADDITIONAL_HEADERS, headers ? static_cast<DWORD>(-1L) : 0,
                            const_cast<BYTE *>(body), bodyLength, bodyLength, 0)) {
        StoreError(errorCode);
        goto cleanup;
    }
    if (!WinHttpReceiveResponse(request, NULL)) {
        StoreError(errorCode);
        goto cleanup;
    }
    success = DrainResponse(request, errorCode);

cleanup:
    if (request)
        WinHttpCloseHandle(request);
    if (connection)
        WinHttpCloseHandle(connection);
    if (session)
        WinHttpCloseHandle(session);
    return success;
}
