// fetch_https: fetches one HTTPS address with WinHTTP and, before reading
// anything, checks the server's certificate as Internet Explorer does: it
// builds the certificate's chain with revocation checking of the whole chain,
// so every installed revocation provider (Veriloom's among them) is asked.
//   fetch_https [--connect-to=ADDRESS] [--answer-warning=no [--ready=FILE --done=FILE]] URL
// Prints the certificate's common name and key fingerprint, then
//   REFUSED URL: the server's certificate is revoked (weak key)   exit 3
//   SERVED URL: HTTP <status>, <n> bytes                          exit 0
// (exit 1 on a connection or protocol error, 2 on bad arguments).
// The demo's certificates are self-signed: unknown issuers, names that do not
// match and dates are ignored; revocation is not.
// --connect-to: connects to ADDRESS (the URL's port) instead of the URL's
//   host, which is still sent as the Host header (names that do not resolve).
// --answer-warning=no: a watcher thread answers Veriloom's warning dialog
//   with "No" as a user would; with --ready and --done it first writes the
//   dialog's place (x y width height) to READY and waits (one minute at most)
//   until DONE exists, so that a screenshot can be taken meanwhile.

#include <windows.h>
#include <wincrypt.h>
#include <winhttp.h>

#include "provider/certificate_walker.h"
#include "dialog_windows.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::string ready, done;

std::wstring Wide(const char *text)
{
    wchar_t out[4096];
    if (!MultiByteToWideChar(CP_UTF8, 0, text, -1, out, 4096))
        return std::wstring();
    return out;
}

// Waits for the warning dialog (one minute at most), reports its place when
// asked to, and answers "No".
DWORD WINAPI AnswerWarning(void *)
{
    const HWND dialog = WaitForDialog(GetCurrentProcessId(), {L"Norvel Veriloom", L"Kaptor Veriloom"}, 60000);
    if (!dialog)
        return 1;
    if (!ready.empty()) {
        RedrawWindow(dialog, NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
        Sleep(500);
        RECT rect;
        GetWindowRect(dialog, &rect);
        const std::string temporary = ready + ".tmp";
        FILE *file = fopen(temporary.c_str(), "wb");
        if (file) {
            fprintf(file, "%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
            fclose(file);
            MoveFileExA(temporary.c_str(), ready.c_str(), MOVEFILE_REPLACE_EXISTING);
        }
        for (int i = 0; i < 600 && GetFileAttributesA(done.c_str()) == INVALID_FILE_ATTRIBUTES; i++)
            Sleep(100);
    } else {
        Sleep(500);
    }
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);  // "No"
    return 0;
}

int Fail(const char *what, const char *url)
{
    printf("ERROR %s: %s failed (error %lu)\n", url, what, GetLastError());
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    const char *url = NULL;
    std::string connectTo;
    bool answerNo = false;
    for (int i = 1; i < argc; i++) {
        const std::string arg = argv[i];
        if (arg.compare(0, 13, "--connect-to=") == 0)
            connectTo = arg.substr(13);
        else if (arg == "--answer-warning=no")
            answerNo = true;
        else if (arg.compare(0, 8, "--ready=") == 0)
            ready = arg.substr(8);
        else if (arg.compare(0, 7, "--done=") == 0)
            done = arg.substr(7);
        else if (!url && arg.compare(0, 2, "--") != 0)
            url = argv[i];
        else
            url = NULL, i = argc + 1;
    }
    if (!url || ready.empty() != done.empty()) {
        fprintf(stderr, "usage: fetch_https [--connect-to=ADDRESS] [--answer-warning=no [--ready=FILE --done=FILE]] URL\n");
        return 2;
    }

    const std::wstring wideUrl = Wide(url);
    wchar_t host[256] = L"", path[2048] = L"";
    URL_COMPONENTS parts;
    ZeroMemory(&parts, sizeof parts);
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = 256;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = 2048;
    if (!WinHttpCrackUrl(wideUrl.c_str(), 0, 0, &parts) || parts.nScheme != INTERNET_SCHEME_HTTPS) {
        fprintf(stderr, "fetch_https: %s is not an https:// address\n", url);
        return 2;
    }
    if (!path[0])
        wcscpy(path, L"/");

    if (answerNo) {
        UseUnmanagedWindows();
        HANDLE watcher = CreateThread(NULL, 0, AnswerWarning, NULL, 0, NULL);
        if (watcher)
            CloseHandle(watcher);
    }

    HINTERNET session = WinHttpOpen(L"Veriloom fetch_https/1.0", WINHTTP_ACCESS_TYPE_NO_PROXY,
                                    WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    if (!session)
        return Fail("WinHttpOpen", url);
    const std::wstring server = connectTo.empty() ? std::wstring(host) : Wide(connectTo.c_str());
    HINTERNET connection = WinHttpConnect(session, server.c_str(), parts.nPort, 0);
    if (!connection)
        return Fail("WinHttpConnect", url);
    HINTERNET request = WinHttpOpenRequest(connection, L"GET", path, NULL, WINHTTP_NO_REFERER,
                                           WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_SECURE);
    if (!request)
        return Fail("WinHttpOpenRequest", url);
    DWORD flags = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_CN_INVALID |
                  SECURITY_FLAG_IGNORE_CERT_DATE_INVALID | SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE;
    if (!WinHttpSetOption(request, WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof flags))
        return Fail("setting the security flags", url);
    if (!connectTo.empty()) {
        const std::wstring header = L"Host: " + std::wstring(host) + L":" + std::to_wstring(parts.nPort);
        WinHttpAddRequestHeaders(request, header.c_str(), static_cast<DWORD>(-1L),
                                 WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE);
    }
    if (!WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0))
        return Fail("WinHttpSendRequest", url);

    PCCERT_CONTEXT certificate = NULL;
    DWORD size = sizeof certificate;
    if (!WinHttpQueryOption(request, WINHTTP_OPTION_SERVER_CERT_CONTEXT, &certificate, &size) || !certificate)
        return Fail("taking the server's certificate", url);

    TMyProcessCertificate reader;
    const bool read = reader.Process(certificate->pbCertEncoded, certificate->cbCertEncoded);
    const char *digest = reader.GetKeyDigest();
    printf("%s: subject CN \"%s\", key fingerprint %s\n", url, read ? reader.GetCommonName() : "",
           read && strlen(digest) > 20 ? digest + 20 : "(none)");
    fflush(stdout);

    CERT_CHAIN_PARA chainPara;
    ZeroMemory(&chainPara, sizeof chainPara);
    chainPara.cbSize = sizeof chainPara;
    PCCERT_CHAIN_CONTEXT chain = NULL;
    if (!CertGetCertificateChain(NULL, certificate, NULL, certificate->hCertStore, &chainPara,
                                 CERT_CHAIN_REVOCATION_CHECK_CHAIN, NULL, &chain) ||
        !chain)
        return Fail("building the certificate chain", url);
    const bool revoked = (chain->TrustStatus.dwErrorStatus & CERT_TRUST_IS_REVOKED) != 0;
    CertFreeCertificateChain(chain);
    CertFreeCertificateContext(certificate);

    if (revoked) {
        printf("REFUSED %s: the server's certificate is revoked (weak key)\n", url);
        WinHttpCloseHandle(request);
        WinHttpCloseHandle(connection);
        WinHttpCloseHandle(session);
        return 3;
    }

    if (!WinHttpReceiveResponse(request, NULL))
        return Fail("WinHttpReceiveResponse", url);
    DWORD status = 0;
    size = sizeof status;
    WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                        &status, &size, WINHTTP_NO_HEADER_INDEX);
    unsigned long long total = 0;
    char buffer[8192];
    for (;;) {
        DWORD got = 0;
        if (!WinHttpReadData(request, buffer, sizeof buffer, &got))
            return Fail("WinHttpReadData", url);
        if (got == 0)
            break;
        total += got;
    }
    printf("SERVED %s: HTTP %lu, %llu bytes\n", url, status, total);
    WinHttpCloseHandle(request);
    WinHttpCloseHandle(connection);
    WinHttpCloseHandle(session);
    return 0;
}
