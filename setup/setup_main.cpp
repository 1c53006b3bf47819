// The installer's entry: language, installed-state detection and the
// install or uninstall dialog.

#include "setup.h"

#include "common/bounded_string.h"
#include "common/dialog_support.h"
#include "post_install.h"
#include "provider_list.h"
#include "setup_log.h"
#include "setup_options.h"
#include "resources/setup_ids.h"
#include "system_library.h"

#include <cstring>

HINSTANCE SetupInstance = NULL;
const char *SetupCommandTail = "";
bool SetupQuiet = false;

bool IsProviderInstalled()
{
    char list[kProviderListBytes];
    DWORD length = 0;
    return ReadRegisteredProviderList(PROVIDER_LIST_VALUE, list, sizeof list, &length) &&
           ProviderListNamesLibrary(list, length);
}

namespace {

// Exit codes as deployment tools (and Windows Installer) read them.
const int kExitSuccess = 0;
const int kExitCancelled = 1602;        // the dialog was left with Exit
const int kExitFailed = 1603;           // a step failed
const int kExitBadOptions = 1639;       // unknown or contradictory options, or a log that cannot be used
const int kExitRestartNeeded = 3010;    // succeeded; a file in use is replaced at the restart

int ExitCodeOf(SetupResult result)
{
    switch (result) {
    case kSetupSucceeded:
        return kExitSuccess;
    case kSetupRestartNeeded:
        return kExitRestartNeeded;
    case kSetupFailed:
        break;
    }
    return kExitFailed;
}

// Read from the command line once; the dialog adds the user's choices.
InstallOptions options;
int exitCode = kExitCancelled;

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
    SendDlgItemMessageA(dialog, IDC_SETUP_SCOPE, CB_SETCURSEL, static_cast<WPARAM>(options.userScope), 0);
    if (options.useProxy)
        CheckDlgButton(dialog, IDC_SETUP_PROXY, BST_CHECKED);

    SetFocus(GetDlgItem(dialog, IDC_SETUP_EXIT));
}

void StartRun(HWND dialog)
{
    // One run per program start: a second Install or Uninstall command
    // (a double click, or one queued while the run shows its messages)
    // is ignored.
    static bool runStarted = false;
    if (runStarted)
        return;
    runStarted = true;
    // No combo box (uninstall dialog): scope 0.
    InstallOptions run = options;
    run.userScope = 0;
    if (GetDlgItem(dialog, IDC_SETUP_SCOPE)) {
        const LRESULT selected = SendDlgItemMessageA(dialog, IDC_SETUP_SCOPE, CB_GETCURSEL, 0, 0);
        run.userScope = selected == CB_ERR ? 0 : static_cast<int>(selected);
    }
    run.useProxy = IsDlgButtonChecked(dialog, IDC_SETUP_PROXY) == BST_CHECKED;
    EndDialog(dialog, 1);
    exitCode = ExitCodeOf(RunSetup(run));
}

// Opens the log; 0, or the message that says why it cannot be used.
UINT OpenLog(const char *path)
{
    switch (OpenSetupLog(path)) {
    case kLogOpened:
        return 0;
    case kLogIsLink:
        return IDS_SETUP_LOG_IS_LINK;
    case kLogNotOwned:
        return IDS_SETUP_LOG_NOT_OWNED;
    case kLogCannotOpen:
        break;
    }
    return IDS_SETUP_LOG_CANNOT_OPEN;
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
    RestrictDllSearchToSystemDirectory();
    SetupInstance = instance;
    SetupCommandTail = commandTail ? commandTail : "";
    InitLanguageOffset();
    const OptionsResult parsed = ParseInstallOptions(SetupCommandTail, &options);
    SetupQuiet = options.quiet;
    // A run that cannot start says so on standard error (a deployment
    // tool's record) and in the log when there is one, never in a message
    // box: the options may not have been read far enough to know whether
    // anyone could answer it (a SYSTEM account has no desktop).
    const UINT logProblem = OpenLog(options.logFile);
    if (logProblem != 0) {
        // Nothing is written into a log that cannot be trusted.
        ReportSetupStepTextNumber(logProblem, options.logFile, static_cast<unsigned>(GetLastError()));
        return kExitBadOptions;
    }
    LogSetupStepText(IDS_SETUP_LOG_STARTED, SetupCommandTail);

    // A word that is no option stops only a quiet run: the dialogs have
    // always ignored them.
    if (parsed == kOptionsContradictory || (parsed == kOptionsUnknownWord && options.quiet)) {
        ReportSetupStepTextNumber(IDS_SETUP_LOG_BAD_OPTIONS, "", 0);  // a text without placeholders
        exitCode = kExitBadOptions;
    } else if (options.showUsage) {
        ShowSetupMessage(IDS_SETUP_USAGE);
        exitCode = kExitSuccess;
    } else if (options.quiet) {
        // The options decide the mode, not detection.
        exitCode = ExitCodeOf(RunSetup(options));
    } else {
        options.uninstall = options.uninstall || IsProviderInstalled();
        const int dialogId = (options.uninstall ? IDD_SETUP_UNINSTALL : IDD_SETUP_INSTALL) + LanguageOffset;
        DialogBoxParamA(instance, MAKEINTRESOURCEA(dialogId), NULL, SetupDlgProc, 0);
    }
    LogSetupStepNumber(IDS_SETUP_LOG_EXIT, static_cast<unsigned>(exitCode));
    CloseSetupLog();
    return exitCode;
}
