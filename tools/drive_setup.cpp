// drive_setup: runs Setup.exe and answers its dialog and message boxes as a
// user would, printing one line for every window it answers.
//   drive_setup install PATH\Setup.exe     chooses Install (scope: all users)
//   drive_setup uninstall PATH\Setup.exe   chooses Uninstall
//   drive_setup show-uninstall PATH\Setup.exe
//                                          shows the uninstall dialog and
//                                          leaves it with Exit (exit code 1602)
// The offer to open the test page is answered No, every other message box
// OK. Setup starts in its own folder, where it finds the files it installs.
// Exit code 0 when Setup showed the dialog asked for, reported success and
// ended (show-uninstall: ended with 1602, as a dialog left with Exit does);
// 1 otherwise; 2 on a wrong command line.

#include <windows.h>

#include "dialog_windows.h"
#include "window_capture.h"

#include "setup_ids.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const DWORD kTimeLimitMs = 60000;
// Setup's exit code for a dialog left with Exit.
const DWORD kExitCancelled = 1602;

// A button's text without its '&' marks.
std::string ButtonLabel(HWND dialog, int id)
{
    std::string label = WindowTextUtf8(GetDlgItem(dialog, id));
    label.erase(std::remove(label.begin(), label.end(), '&'), label.end());
    return label;
}

// A string of Setup's own string table, English and German.
std::vector<std::string> SetupStrings(const std::string &setup, UINT id)
{
    std::vector<std::string> texts;
    HMODULE module = LoadLibraryExA(setup.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    if (!module)
        return texts;
    for (UINT offset : {0u, 1000u}) {
        wchar_t text[1024];
        if (LoadStringW(module, id + offset, text, 1024) > 0)
            texts.push_back(ToUtf8(text));
    }
    FreeLibrary(module);
    return texts;
}

int Usage()
{
    fprintf(stderr, "usage: drive_setup install|uninstall|show-uninstall PATH\\Setup.exe [SCREENSHOT.bmp]\n");
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3 && argc != 4)
        return Usage();
    const char *screenshot = argc == 4 ? argv[3] : NULL;
    const std::string action = argv[1];
    if (action != "install" && action != "uninstall" && action != "show-uninstall")
        return Usage();
    const bool install = action == "install";
    const bool onlyShow = action == "show-uninstall";

    char full[MAX_PATH];
    char *namePart = NULL;
    const DWORD length = GetFullPathNameA(argv[2], sizeof full, full, &namePart);
    if (length == 0 || length >= sizeof full || !namePart) {
        fprintf(stderr, "drive_setup: bad path '%s'\n", argv[2]);
        return 2;
    }
    const std::string setup = full;
    const std::string folder(full, static_cast<size_t>(namePart - full - 1));
    const std::vector<std::string> success = SetupStrings(setup, install ? IDS_SETUP_INSTALLED : IDS_SETUP_UNINSTALLED);

    printf("starting %s in %s\n", setup.c_str(), folder.c_str());
    fflush(stdout);
    bool rightDialog = false;
    bool reportedSuccess = false;
    DWORD exitCode = STILL_ACTIVE;
    const bool started = DriveProgram("\"" + setup + "\"", folder.c_str(), kTimeLimitMs, 200, [&](HWND window) {
        const std::string caption = WindowTextUtf8(window);
        int press;
        std::string what;
        if (GetDlgItem(window, IDC_SETUP_MORE_INFORMATION)) {
            // The main dialog: the install dialog has the scope box.
            const bool isInstallDialog = GetDlgItem(window, IDC_SETUP_SCOPE) != NULL;
            what = std::string(isInstallDialog ? "install" : "uninstall") + " dialog '" + caption + "'";
            if (isInstallDialog == install) {
                rightDialog = true;
                press = onlyShow ? IDC_SETUP_EXIT : IDC_SETUP_RUN;
                if (screenshot) {
                    SaveScreenshot(window, screenshot);
                    printf("screenshot of the %s dialog: %s\n", action.c_str(), screenshot);
                }
            } else {
                press = IDC_SETUP_EXIT;  // not the dialog asked for: leave
            }
        } else {
            const std::vector<std::string> texts = ReadDialog(window).texts;
            const std::string text = texts.empty() ? "" : texts[0];
            what = "message box '" + text + "'";
            if (std::find(success.begin(), success.end(), text) != success.end())
                reportedSuccess = true;
            press = GetDlgItem(window, IDNO) ? IDNO : IDOK;
        }
        printf("%s: pressing %s\n", what.c_str(), ButtonLabel(window, press).c_str());
        fflush(stdout);
        PressButton(window, press);
    }, &exitCode);
    if (!started) {
        fprintf(stderr, "drive_setup: cannot start %s (error %lu)\n", setup.c_str(), GetLastError());
        return 1;
    }
    const bool timedOut = exitCode == STILL_ACTIVE;
    if (timedOut) {
        printf("Setup did not end within %lu seconds: stopped\n", kTimeLimitMs / 1000);
        return 1;
    }
    printf("Setup ended (exit code %lu)\n", exitCode);
    if (!rightDialog) {
        printf("drive_setup: Setup did not show its %s dialog\n", action.c_str());
        return 1;
    }
    if (onlyShow)
        return exitCode == kExitCancelled ? 0 : 1;
    if (!reportedSuccess) {
        printf("drive_setup: Setup did not report success\n");
        return 1;
    }
    return exitCode == 0 ? 0 : 1;
}
