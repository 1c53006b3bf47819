// The installer's entry: language, installed-state detection and the
// install or uninstall dialog.

#include "setup.h"

#include "common/bounded_string.h"
#include "common/dialog_support.h"
#include "post_install.h"
#include "provider_list.h"
#include "resources/setup_ids.h"

#include <cstring>

HINSTANCE SetupInstance = NULL;
const char *SetupCommandTail = "";

bool IsProviderInstalled()
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, PROVIDER_LIST_KEY, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    bool installed = false;
    char list[kProviderListBytes];
    memset(list, 0, sizeof list);
    DWORD type = 0;
    DWORD length = sizeof list;
    if (RegQueryValueExA(key, PROVIDER_LIST_VALUE, NULL, &type, reinterpret_cast<BYTE *>(list), &length) ==
            ERROR_SUCCESS &&
        type == REG_MULTI_SZ)
        installed = ProviderListNamesLibrary(list, length);
    RegCloseKey(key);
    return installed;
}

namespace {

void InitSetupDialog(HWND dialog)
{
    PrepareDialog(SetupInstance, dialog);

    char title[256];
    if (GetWindowTextA(dialog, title, sizeof title) == 0)
        title[0] = '\0';
    BoundedAppend(title, sizeof title, " [x64]");
    SetWindowTextA(dialog, title);

    char scope[256];
    if (LoadStringA(SetupInstance, IDS_SETUP_ALL_USERS + LanguageOffset, scope, sizeof scope) == 0)
        scope[0] = '\0';
    SendDlgItemMessageA(dialog, IDC_SETUP_SCOPE, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(scope));
    if (LoadStringA(SetupInstance, IDS_SETUP_THIS_USER + LanguageOffset, scope, sizeof scope) == 0)
        scope[0] = '\0';
    SendDlgItemMessageA(dialog, IDC_SETUP_SCOPE, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(scope));
    SendDlgItemMessageA(dialog, IDC_SETUP_SCOPE, CB_SETCURSEL, 0, 0);

    SetFocus(GetDlgItem(dialog, IDC_SETUP_EXIT));
}

void StartRun(HWND dialog)
{
    // No combo box (uninstall dialog): scope 0.
    int userScope = 0;
    if (GetDlgItem(dialog, IDC_SETUP_SCOPE)) {
        const LRESULT selected = SendDlgItemMessageA(dialog, IDC_SETUP_SCOPE, CB_GETCURSEL, 0, 0);
        userScope = selected == CB_ERR ? 0 : static_cast<int>(selected);
    }
    const bool noCrl = SetupCommandTail && strstr(SetupCommandTail, "-nocrl") != NULL;
    const bool useProxy = IsDlgButtonChecked(dialog, IDC_SETUP_PROXY) == BST_CHECKED;
    EndDialog(dialog, 1);
    RunSetup(userScope, noCrl, useProxy, false);
}

} // namespace

INT_PTR CALLBACK SetupDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM /*lParam*/)
{
    switch (message) {
    case WM_INITDIALOG:
        InitSetupDialog(dialog);
        return FALSE;  // the focus stays on Exit
    case WM_CLOSE:
        EndDialog(dialog, 0);
        return TRUE;
    case WM_DESTROY:
        ReleaseDialogIcons(dialog);
        return FALSE;
    case WM_COMMAND:
        // The whole wParam: only the click notification of a button acts.
        switch (wParam) {
        case IDC_SETUP_RUN:
            StartRun(dialog);
            return TRUE;
        case IDC_SETUP_EXIT:
            EndDialog(dialog, 0);
            return TRUE;
        case IDC_SETUP_MORE_INFORMATION:
            OpenInformationPage();
            return TRUE;
        default:
            return FALSE;
        }
    default:
        return FALSE;
    }
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR commandTail, int /*show*/)
{
    SetupInstance = instance;
    SetupCommandTail = commandTail ? commandTail : "";
    InitLanguageOffset();
    const int dialogId = (IsProviderInstalled() ? IDD_SETUP_UNINSTALL : IDD_SETUP_INSTALL) + LanguageOffset;
    DialogBoxParamA(instance, MAKEINTRESOURCEA(dialogId), NULL, SetupDlgProc, 0);
    return 0;
}
