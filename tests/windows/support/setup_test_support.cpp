// Support for the installer's Windows tests (see setup_test_support.h).

#include "setup_test_support.h"

#include "tools/window_capture.h"

std::string SetupExePath() { return Environment("VERILOOM_SETUP_EXE"); }
std::string LibraryPath() { return Environment("VERILOOM_PROVIDER_DLL"); }
std::string RecorderExePath() { return Environment("VERILOOM_RECORDER_EXE"); }

std::string ScreenshotPath(const std::string &name)
{
    const std::string folder = Environment("VERILOOM_SCREENSHOT_DIR");
    if (folder.empty())
        return "";
    CreateDirectoryA(folder.c_str(), NULL);
    return folder + "\\" + name;
}

std::string InstallDir()
{
    return Environment("ProgramFiles") + "\\Veriloom";
}

SetupFolder::SetupFolder(const std::string &setupName) : folder(TempFolder("setup")), setup(folder + "\\" + setupName)
{
    CopyFileA(SetupExePath().c_str(), setup.c_str(), FALSE);
}

SetupFolder::~SetupFolder()
{
    DeleteTree(folder);
}

void SetupFolder::AddLibrary(const std::string &name) const
{
    CopyFileA(LibraryPath().c_str(), (folder + "\\" + name).c_str(), FALSE);
}

void SetupFolder::Write(const std::string &name, const std::string &content) const
{
    WriteTextFile(folder + "\\" + name, content);
}

void SetupFolder::MakeDirectory(const std::string &name) const
{
    CreateDirectoryA((folder + "\\" + name).c_str(), NULL);
}

const std::vector<std::string> kInstalledMessages = {
    "The Revocation Provider Library was installed successfully.",
    "Do you want to check Veriloom now by opening a test page with a vulnerable SSL certificate?"};
const std::vector<std::string> kUninstalledMessages = {"The Revocation Provider Library was uninstalled successfully."};

std::vector<std::string> SetupRun::MessageTexts() const
{
    std::vector<std::string> out;
    for (const SetupWindow &window : windows)
        if (window.IsMessageBox())
            out.push_back(window.texts[0]);
    return out;
}

SetupAnswer Answer(int mainAnswer, bool testPageYes)
{
    return [mainAnswer, testPageYes](const SetupWindow &window) -> int {
        if (!window.IsMessageBox())
            return mainAnswer;
        if (window.Button(IDYES) != "<none>")
            return testPageYes ? IDYES : IDNO;
        return IDOK;
    };
}

const SetupAnswer kNoWindow = [](const SetupWindow &window) {
    ADD_FAILURE() << "a quiet Setup showed a window: " << window.caption;
    return window.IsMessageBox() ? IDOK : IDCANCEL;
};

SetupRun RunSetupProgram(const std::string &program, const std::string &arguments, const SetupAnswer &answer,
                         const std::string &screenshotPrefix)
{
    SetupRun run = {false, false, STILL_ACTIVE, {}};
    int screenshots = 0;
    run.started = DriveProgram(
        "\"" + program + "\"" + (arguments.empty() ? "" : " " + arguments), NULL, 60000, 100,
        [&](HWND window) {
            SetupWindow seen;
            static_cast<DialogContents &>(seen) = ReadDialog(window);
            seen.window = window;
            run.windows.push_back(seen);
            if (!screenshotPrefix.empty() && !seen.IsMessageBox())
                SaveScreenshot(window, screenshotPrefix + (screenshots++ ? "-2" : "") + ".bmp");
            const int action = answer(seen);
            if (action == kPressEnter)
                PressEnter(window);
            else if (action != 0)
                PressButton(window, action);
        },
        &run.exitCode);
    run.finished = run.started && run.exitCode != STILL_ACTIVE;
    return run;
}

std::vector<std::string> ProviderList(const char *value)
{
    return ReadMultiString(HKEY_LOCAL_MACHINE, TEST_PROVIDER_LIST_KEY, value);
}

std::vector<BYTE> RawProviderList()
{
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!ReadValue(HKEY_LOCAL_MACHINE, TEST_PROVIDER_LIST_KEY, "Dll", &type, &data))
        data.clear();
    return data;
}

bool HasBackup()
{
    return HasValue(HKEY_LOCAL_MACHINE, TEST_PROVIDER_LIST_KEY, "DllOrig");
}

void SwitchRevocationOff()
{
    WriteDword(HKEY_CURRENT_USER, TEST_INTERNET_SETTINGS, "CertificateRevocation", 0);
    WriteDword(HKEY_USERS, std::string(".Default\\") + TEST_INTERNET_SETTINGS, "CertificateRevocation", 0);
}

SetupStateGuard::SetupStateGuard()
{
    values.emplace_back(HKEY_LOCAL_MACHINE, TEST_PROVIDER_LIST_KEY, "Dll");
    values.emplace_back(HKEY_LOCAL_MACHINE, TEST_PROVIDER_LIST_KEY, "DllOrig");
    values.emplace_back(HKEY_CURRENT_USER, TEST_INTERNET_SETTINGS, "CertificateRevocation");
    for (const std::string &hive : UserHives(true))
        values.emplace_back(HKEY_USERS, hive + "\\" + TEST_INTERNET_SETTINGS, "CertificateRevocation");
    if (KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Veriloom"))
        values.emplace_back(HKEY_LOCAL_MACHINE, "SOFTWARE\\Veriloom", "CheckUpdate");
    // Keys Setup makes (settings, uninstall entry, event source) go again
    // when they were not there.
    for (const char *key : {"SOFTWARE\\Veriloom", TEST_UNINSTALL_KEY, TEST_EVENT_SOURCE_KEY})
        if (!KeyExists(HKEY_LOCAL_MACHINE, key))
            absentKeys.push_back(key);
    // An installation folder that exists is moved aside.
    const std::string folder = InstallDir();
    if (GetFileAttributesA(folder.c_str()) != INVALID_FILE_ATTRIBUTES) {
        keptInstallDir = folder + ".kept-by-test-" + std::to_string(GetCurrentProcessId());
        DeleteTree(keptInstallDir);
        if (!MoveFileA(folder.c_str(), keptInstallDir.c_str()))
            keptInstallDir.clear();
    }
    DeleteTree(folder);
}

SetupStateGuard::~SetupStateGuard()
{
    values.clear();
    for (const std::string &key : absentKeys)
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
    DeleteTree(InstallDir());
    if (!keptInstallDir.empty())
        MoveFileA(keptInstallDir.c_str(), InstallDir().c_str());
}
