// The weak-certificate warning dialog procedure: names the application and
// the site, and lets the user continue, stop, report the certificate online
// or open the information page.

#include "warning_dialog.h"

#include "common/bounded_string.h"
#include "common/dialog_support.h"
#include "common/product.h"
#include "http_report.h"
#include "lifecycle.h"
#include "resources/product_urls.h"
#include "resources/resource_ids.h"


namespace {

const char kReportServiceName[] = "Norvel";

void InitWarningDialog(HWND dialog, const WarningDialogParam *param)
{
    SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(param));
    PrepareDialog(ModuleHandle, dialog);

    char tmp[1024];
    if (GetModuleFileNameA(NULL, tmp, sizeof tmp) == 0)
        tmp[0] = '\0';
    tmp[sizeof tmp - 1] = '\0';
    SendDlgItemMessageA(dialog, IDC_APPLICATION, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(tmp));

    const char *site = param->commonName && param->commonName[0] ? param->commonName : "???";
    SendDlgItemMessageA(dialog, IDC_SITE, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(site));

    SetFocus(GetDlgItem(dialog, IDC_WARNING_NO));
}

void ReportCertificate(HWND dialog)
{
    const WarningDialogParam *param =
        reinterpret_cast<const WarningDialogParam *>(GetWindowLongPtrA(dialog, DWLP_USER));
    if (!param || !param->pbCertEncoded)
        return;

    DWORD nativeErrorCode = 0;
    const bool sent = SendHttpRequest(VERILOOM_REPORT_HOST, 0, VERILOOM_REPORT_PATH, false, param->pbCertEncoded,
                                      param->cbCertEncoded, &nativeErrorCode,
                                      L"Content-Type: application/x-x509-ca-cert", NULL);

    const char *name = param->commonName ? param->commonName : "";
    char tmp1[256];
    char tmp[1024];
    const UINT stringId = (sent ? IDS_REPORT_SENT : IDS_REPORT_FAILED) + LanguageOffset;
    if (LoadStringA(ModuleHandle, stringId, tmp1, sizeof tmp1) == 0)
        BoundedCopy(tmp1, sizeof tmp1,
                    sent ? "Certificate '%s' successfully sent to %s%s." :
                           "Error sending certificate '%s' to %s%s, error code %u!");
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    if (sent)
        BoundedFormat(tmp, sizeof tmp, tmp1, name, kReportServiceName, "");
    else
        BoundedFormat(tmp, sizeof tmp, tmp1, name, kReportServiceName, "", static_cast<unsigned>(nativeErrorCode));
#pragma GCC diagnostic pop
    MessageBoxA(NULL, tmp, VERILOOM_PROGRAM_CAPTION, MB_OK | MB_TOPMOST | MB_SETFOREGROUND);
}

} // namespace

INT_PTR CALLBACK WarningDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        if (lParam)
            InitWarningDialog(dialog, reinterpret_cast<const WarningDialogParam *>(lParam));
        // Focus is set (or, without a record, left alone) here.
        return FALSE;
    case WM_CLOSE:
        EndDialog(dialog, kWarningRefuse);
        return TRUE;
    case WM_DESTROY:
        ReleaseDialogIcons(dialog);
        return FALSE;
    case WM_COMMAND:
        // The whole wParam: only a click (notification 0) counts.
        switch (wParam) {
        case IDC_WARNING_YES:
            EndDialog(dialog, kWarningContinue);
            return TRUE;
        case IDC_WARNING_NO:
            EndDialog(dialog, kWarningRefuse);
            return TRUE;
        case IDC_REPORT:
            ReportCertificate(dialog);
            return TRUE;
        case IDC_MORE_INFORMATION:
            OpenInformationPage();
            return TRUE;
        default:
            return FALSE;
        }
    default:
        return FALSE;
    }
}
