// The weak-certificate warning dialog procedure.

#include "warning_dialog.h"

#include "resources/resource_ids.h"

INT_PTR CALLBACK WarningDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    switch (message) {
    case WM_CLOSE:
        EndDialog(dialog, kWarningRefuse);
        return TRUE;
    case WM_COMMAND:
        // Whole wParam: only a click (notification 0) counts.
        if (wParam == IDC_WARNING_YES) {
            EndDialog(dialog, kWarningContinue);
            return TRUE;
        }
        if (wParam == IDC_WARNING_NO) {
            EndDialog(dialog, kWarningRefuse);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}
