// Shows the library's warning dialog for a certificate, for screenshots:
// lists the certificate's key in a private blacklist folder, checks the
// certificate through the library's export in this interactive process, and
// while the dialog is open writes its place and how its texts fit to READY,
// then waits for DONE to appear (one minute at most) and answers "No".
//   show_warning.exe LIBRARY CERTIFICATE.der READY DONE

#include <windows.h>
#include <wincrypt.h>

#include "provider/certificate_walker.h"
#include "dialog_windows.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

typedef BOOL(WINAPI *VerifyFunction)(DWORD, DWORD, DWORD, PVOID[], DWORD, PCERT_REVOCATION_PARA,
                                     PCERT_REVOCATION_STATUS);

std::string ready, done;

// "fits" or "clipped" for one control: its text drawn with its font in its
// client area (statics wrap, buttons keep one line inside their frame).
std::string Fit(HWND control, bool button)
{
    wchar_t text[1024];
    if ((GetWindowLongW(control, GWL_STYLE) & SS_TYPEMASK) == SS_BITMAP && !button)
        return "";
    if (GetWindowTextW(control, text, 1024) == 0)
        return "";
    RECT client;
    GetClientRect(control, &client);
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    RECT need = client;
    if (button)
        InflateRect(&need, -4, -4);
    const LONG width = need.right - need.left, height = need.bottom - need.top;
    DrawTextW(dc, text, -1, &need,
              DT_CALCRECT | (button ? DT_SINGLELINE : DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS));
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    const LONG needWidth = need.right - need.left, needHeight = need.bottom - need.top;
    char line[1400];
    snprintf(line, sizeof line, "%s %ldx%ld needs %ldx%ld: %s\n",
             needWidth <= width && needHeight <= height ? "fits" : "CLIPPED", width, height, needWidth, needHeight,
             ToUtf8(text).c_str());
    return line;
}

DWORD WINAPI Watch(void *)
{
    const HWND dialog = WaitForDialog(GetCurrentProcessId(), {L"Norvel Veriloom", L"Kaptor Veriloom"}, 60000);
    if (!dialog)
        return 1;
    RedrawWindow(dialog, NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    Sleep(500);

    RECT rect;
    GetWindowRect(dialog, &rect);
    char line[512];
    snprintf(line, sizeof line, "%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left,
             rect.bottom - rect.top);
    std::string report = line;

    HFONT font = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
    LOGFONTW requested;
    ZeroMemory(&requested, sizeof requested);
    GetObjectW(font, sizeof requested, &requested);
    HDC dc = GetDC(dialog);
    HGDIOBJ old = SelectObject(dc, font);
    wchar_t face[LF_FACESIZE] = L"";
    GetTextFaceW(dc, LF_FACESIZE, face);
    TEXTMETRICW metrics;
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(dialog, dc);
    snprintf(line, sizeof line, "font: requested \"%s\" height %ld, drawn with \"%s\" (%ld pixels high)\n",
             ToUtf8(requested.lfFaceName).c_str(), requested.lfHeight, ToUtf8(face).c_str(), metrics.tmHeight);
    report += line;

    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t className[64];
        GetClassNameW(child, className, 64);
        report += Fit(child, _wcsicmp(className, L"Button") == 0);
    }

    const std::string temporary = ready + ".tmp";
    FILE *file = fopen(temporary.c_str(), "wb");
    if (file) {
        fwrite(report.data(), 1, report.size(), file);
        fclose(file);
        MoveFileExA(temporary.c_str(), ready.c_str(), MOVEFILE_REPLACE_EXISTING);
    }
    for (int i = 0; i < 600 && GetFileAttributesA(done.c_str()) == INVALID_FILE_ATTRIBUTES; i++)
        Sleep(100);
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    return 0;
}


} // namespace

int main(int argc, char **argv)
{
    if (argc != 5) {
        fprintf(stderr, "usage: show_warning.exe LIBRARY CERTIFICATE.der READY DONE\n");
        return 2;
    }
    UseUnmanagedWindows();
    ready = argv[3];
    done = argv[4];

    std::vector<BYTE> der;
    FILE *file = fopen(argv[2], "rb");
    if (!file) {
        fprintf(stderr, "cannot read %s\n", argv[2]);
        return 1;
    }
    int c;
    while ((c = fgetc(file)) != EOF)
        der.push_back(static_cast<BYTE>(c));
    fclose(file);
    TMyProcessCertificate reader;
    if (!reader.Process(der.data(), static_cast<uint32_t>(der.size())) || strlen(reader.GetKeyDigest()) <= 20) {
        fprintf(stderr, "%s: no key\n", argv[2]);
        return 1;
    }

    // A private "ProgramFiles" whose Veriloom folder lists this key.
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    const std::string root = std::string(temp) + "veriloom-show-" + std::to_string(GetCurrentProcessId());
    const std::string list = root + "\\Veriloom\\BLACKLIST.SHOW";
    CreateDirectoryA(root.c_str(), NULL);
    CreateDirectoryA((root + "\\Veriloom").c_str(), NULL);
    file = fopen(list.c_str(), "wb");
    if (!file)
        return 1;
    fprintf(file, "%s\n", reader.GetKeyDigest() + 20);
    fclose(file);
    SetEnvironmentVariableA("ProgramFiles", root.c_str());

    HMODULE library = LoadLibraryA(argv[1]);
    VerifyFunction verify = library ? reinterpret_cast<VerifyFunction>(reinterpret_cast<void *>(
                                          GetProcAddress(library, "CertDllVerifyRevocation")))
                                    : NULL;
    PCCERT_CONTEXT certificate =
        CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()));
    int result = 1;
    if (verify && certificate) {
        HANDLE watcher = CreateThread(NULL, 0, Watch, NULL, 0, NULL);
        CERT_REVOCATION_STATUS status;
        ZeroMemory(&status, sizeof status);
        status.cbSize = sizeof status;
        PVOID contexts[1] = {const_cast<CERT_CONTEXT *>(certificate)};
        verify(X509_ASN_ENCODING, CERT_CONTEXT_REVOCATION_TYPE, 1, contexts, 0, NULL, &status);
        printf("answered, dwError=%08lx\n", status.dwError);
        WaitForSingleObject(watcher, INFINITE);
        CloseHandle(watcher);
        result = 0;
    }
    if (certificate)
        CertFreeCertificateContext(certificate);
    DeleteFileA(list.c_str());
    RemoveDirectoryA((root + "\\Veriloom").c_str());
    RemoveDirectoryA(root.c_str());
    return result;
}
