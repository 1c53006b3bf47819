// Support for the installer's Windows tests (see setup_test_support.h).

#include "setup_test_support.h"

#include "tools/window_capture.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

std::string WindowText(HWND window)
{
    wchar_t text[2048];
    text[0] = L'\0';
    GetWindowTextW(window, text, 2048);
    return ToUtf8(text);
}

std::string ClassName(HWND window)
{
    char name[64];
    if (!GetClassNameA(window, name, sizeof name))
        return "";
    return name;
}

struct Collect {
    DWORD process;
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM param)
{
    Collect *collect = reinterpret_cast<Collect *>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == collect->process && IsWindowVisible(window) && ClassName(window) == "#32770")
        collect->windows.push_back(window);
    return TRUE;
}

BOOL CALLBACK CollectChildren(HWND child, LPARAM param)
{
    reinterpret_cast<std::vector<HWND> *>(param)->push_back(child);
    return TRUE;
}

SetupWindow Inspect(HWND window)
{
    SetupWindow seen;
    seen.window = window;
    seen.caption = WindowText(window);
    seen.comboSelection = -1;
    seen.focusId = 0;
    std::vector<HWND> children;
    EnumChildWindows(window, CollectChildren, reinterpret_cast<LPARAM>(&children));
    for (HWND child : children) {
        const std::string className = ClassName(child);
        const LONG style = GetWindowLongA(child, GWL_STYLE);
        if (_stricmp(className.c_str(), "Static") == 0) {
            const LONG type = style & SS_TYPEMASK;
            if (type == SS_BITMAP || type == SS_ICON)
                continue;
            const std::string text = WindowText(child);
            if (!text.empty())
                seen.texts.push_back(text);
        } else if (_stricmp(className.c_str(), "Button") == 0) {
            seen.buttons.push_back(std::make_pair(GetDlgCtrlID(child), WindowText(child)));
        } else if (_stricmp(className.c_str(), "ComboBox") == 0 && GetDlgCtrlID(child) == 10) {
            const LRESULT count = SendMessageW(child, CB_GETCOUNT, 0, 0);
            for (LRESULT i = 0; i < count; ++i) {
                wchar_t item[512];
                item[0] = L'\0';
                if (SendMessageW(child, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0) < 511)
                    SendMessageW(child, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item));
                seen.comboItems.push_back(ToUtf8(item));
            }
            seen.comboSelection = static_cast<int>(SendMessageW(child, CB_GETCURSEL, 0, 0));
        }
    }
    GUITHREADINFO info;
    ZeroMemory(&info, sizeof info);
    info.cbSize = sizeof info;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(window, NULL), &info) && info.hwndFocus)
        seen.focusId = GetDlgCtrlID(info.hwndFocus);
    return seen;
}


std::string EnvironmentBlock(const std::vector<std::string> &environment)
{
    std::string block;
    for (const std::string &entry : environment)
        block += entry + '\0';
    char *own = GetEnvironmentStringsA();
    for (const char *p = own; *p; p += strlen(p) + 1) {
        const char *equals = strchr(p + 1, '=');
        bool overridden = false;
        for (const std::string &entry : environment)
            overridden = overridden || (equals && _strnicmp(entry.c_str(), p, static_cast<size_t>(equals - p) + 1) == 0);
        if (!overridden)
            block += std::string(p) + '\0';
    }
    FreeEnvironmentStringsA(own);
    block += '\0';
    return block;
}

} // namespace

std::string TestEnvironment(const char *name)
{
    char value[2048];
    const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length > 0 && length < sizeof value ? std::string(value, length) : std::string();
}

std::string SetupExePath() { return TestEnvironment("VERILOOM_SETUP_EXE"); }
std::string LibraryPath() { return TestEnvironment("VERILOOM_PROVIDER_DLL"); }
std::string RecorderExePath() { return TestEnvironment("VERILOOM_RECORDER_EXE"); }

std::string TempFolder(const std::string &tag)
{
    static LONG counter = 0;
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    char name[96];
    snprintf(name, sizeof name, "veriloom-%s-%lu-%ld", tag.c_str(), GetCurrentProcessId(),
             InterlockedIncrement(&counter));
    const std::string folder = std::string(temp) + name;
    DeleteTree(folder);
    CreateDirectoryA(folder.c_str(), NULL);
    return folder;
}

void WriteTextFile(const std::string &path, const std::string &content)
{
    FILE *file = fopen(path.c_str(), "wb");
    if (!file)
        return;
    fwrite(content.data(), 1, content.size(), file);
    fclose(file);
}

bool ReadTextFile(const std::string &path, std::string *content)
{
    FILE *file = fopen(path.c_str(), "rb");
    if (!file)
        return false;
    content->clear();
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0)
        content->append(buffer, got);
    fclose(file);
    return true;
}

std::vector<std::string> FileNames(const std::string &folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                names.push_back(entry.cFileName);
        } while (FindNextFileA(find, &entry));
        FindClose(find);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string InstallDir()
{
    return TestEnvironment("ProgramFiles") + "\\Veriloom";
}

InstallDirGuard::InstallDirGuard()
{
    const std::string folder = InstallDir();
    if (GetFileAttributesA(folder.c_str()) != INVALID_FILE_ATTRIBUTES) {
        char suffix[64];
        snprintf(suffix, sizeof suffix, ".kept-by-test-%lu", GetCurrentProcessId());
        saved = folder + suffix;
        DeleteTree(saved);
        if (!MoveFileA(folder.c_str(), saved.c_str()))
            saved.clear();
    }
    DeleteTree(folder);
}

InstallDirGuard::~InstallDirGuard()
{
    const std::string folder = InstallDir();
    DeleteTree(folder);
    if (!saved.empty())
        MoveFileA(saved.c_str(), folder.c_str());
}

SetupFolder::SetupFolder(const std::string &setupName)
{
    folder = TempFolder("setup");
    setup = folder + "\\" + setupName;
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

bool SetupWindow::IsMessageBox() const
{
    for (const auto &button : buttons)
        if (button.first == 9)
            return false;
    return comboSelection == -1 && !texts.empty();
}

std::vector<std::string> SetupRun::MessageTexts() const
{
    std::vector<std::string> out;
    for (const SetupWindow &window : windows)
        if (window.IsMessageBox())
            out.push_back(window.texts.empty() ? "" : window.texts[0]);
    return out;
}

SetupAnswer Answer(int mainAnswer, bool testPageYes)
{
    return [mainAnswer, testPageYes](const SetupWindow &window) -> int {
        if (!window.IsMessageBox())
            return mainAnswer;
        for (const auto &button : window.buttons)
            if (button.first == IDYES)
                return testPageYes ? IDYES : IDNO;
        return IDOK;
    };
}

SetupRun RunSetupProgram(const std::string &program, const std::string &arguments, const SetupAnswer &answer,
                         const std::vector<std::string> &environment, const std::string &screenshotPrefix)
{
    SetupRun run;
    run.started = false;
    run.finished = false;
    run.exitCode = 0xFFFFFFFF;

    std::string commandLine = "\"" + program + "\"";
    if (!arguments.empty())
        commandLine += " " + arguments;
    std::vector<char> mutableCommand(commandLine.begin(), commandLine.end());
    mutableCommand.push_back('\0');
    std::string block = EnvironmentBlock(environment);
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(program.c_str(), mutableCommand.data(), NULL, NULL, FALSE, 0, &block[0], NULL, &startup,
                        &process))
        return run;
    run.started = true;

    std::vector<HWND> handled;
    int screenshots = 0;
    const DWORD start = GetTickCount();
    while (WaitForSingleObject(process.hProcess, 20) == WAIT_TIMEOUT) {
        if (GetTickCount() - start > 60000) {
            TerminateProcess(process.hProcess, 0xDEAD);
            WaitForSingleObject(process.hProcess, 5000);
            break;
        }
        Collect collect;
        collect.process = process.dwProcessId;
        EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&collect));
        for (HWND window : collect.windows) {
            if (std::find(handled.begin(), handled.end(), window) != handled.end())
                continue;
            Sleep(100);  // let the window finish its start-up messages
            SetupWindow seen = Inspect(window);
            run.windows.push_back(seen);
            handled.push_back(window);
            if (!screenshotPrefix.empty() && !seen.IsMessageBox())
                SaveScreenshot(window, screenshotPrefix + (screenshots++ ? "-2" : "") + ".bmp");
            const int action = answer(seen);
            if (action == kPressEnter) {
                GUITHREADINFO info;
                ZeroMemory(&info, sizeof info);
                info.cbSize = sizeof info;
                HWND target = window;
                if (GetGUIThreadInfo(GetWindowThreadProcessId(window, NULL), &info) && info.hwndFocus)
                    target = info.hwndFocus;
                PostMessageW(target, WM_KEYDOWN, VK_RETURN, 0x001C0001);
                PostMessageW(target, WM_KEYUP, VK_RETURN, 0xC01C0001);
            } else if (action != 0) {
                PostMessageW(window, WM_COMMAND, static_cast<WPARAM>(action), 0);
            }
        }
    }
    DWORD code = 0xFFFFFFFF;
    if (GetExitCodeProcess(process.hProcess, &code) && code != STILL_ACTIVE && code != 0xDEAD) {
        run.finished = true;
        run.exitCode = code;
    }
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return run;
}

bool ReadValue(HKEY root, const std::string &key, const std::string &value, DWORD *type, std::vector<BYTE> *data)
{
    HKEY handle;
    std::wstring wideKey(key.begin(), key.end());
    std::wstring wideValue(value.begin(), value.end());
    if (RegOpenKeyExW(root, wideKey.c_str(), 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS)
        return false;
    DWORD size = 0;
    LONG status = RegQueryValueExW(handle, wideValue.c_str(), NULL, type, NULL, &size);
    if (status == ERROR_SUCCESS) {
        data->assign(size, 0);
        status = RegQueryValueExW(handle, wideValue.c_str(), NULL, type, data->empty() ? NULL : data->data(), &size);
        data->resize(size);
    }
    RegCloseKey(handle);
    return status == ERROR_SUCCESS;
}

std::vector<std::string> ReadMultiString(HKEY root, const std::string &key, const std::string &value)
{
    std::vector<std::string> entries;
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!ReadValue(root, key, value, &type, &data) || type != REG_MULTI_SZ)
        return entries;
    const wchar_t *text = reinterpret_cast<const wchar_t *>(data.data());
    const size_t count = data.size() / sizeof(wchar_t);
    size_t i = 0;
    while (i < count && text[i] != L'\0') {
        std::string entry;
        while (i < count && text[i] != L'\0')
            entry += static_cast<char>(text[i++]);
        entries.push_back(entry);
        ++i;
    }
    return entries;
}

void WriteMultiString(HKEY root, const std::string &key, const std::string &value,
                      const std::vector<std::string> &entries)
{
    std::string data;
    for (const std::string &entry : entries)
        data += entry + '\0';
    data += '\0';
    HKEY handle;
    if (RegCreateKeyExA(root, key.c_str(), 0, NULL, 0, KEY_SET_VALUE, NULL, &handle, NULL) != ERROR_SUCCESS)
        return;
    RegSetValueExA(handle, value.c_str(), 0, REG_MULTI_SZ, reinterpret_cast<const BYTE *>(data.data()),
                   static_cast<DWORD>(data.size()));
    RegCloseKey(handle);
}

bool ReadDword(HKEY root, const std::string &key, const std::string &value, DWORD *out)
{
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!ReadValue(root, key, value, &type, &data) || type != REG_DWORD || data.size() != 4)
        return false;
    memcpy(out, data.data(), 4);
    return true;
}

SavedValue::SavedValue(HKEY rootKey, const std::string &keyName, const std::string &valueName)
    : root(rootKey), key(keyName), value(valueName), existed(false), type(0)
{
    existed = ReadValue(root, key, value, &type, &data);
}

SavedValue::~SavedValue()
{
    std::wstring wideKey(key.begin(), key.end());
    std::wstring wideValue(value.begin(), value.end());
    HKEY handle;
    if (RegOpenKeyExW(root, wideKey.c_str(), 0, KEY_SET_VALUE, &handle) != ERROR_SUCCESS)
        return;
    if (existed)
        RegSetValueExW(handle, wideValue.c_str(), 0, type, data.empty() ? NULL : data.data(),
                       static_cast<DWORD>(data.size()));
    else
        RegDeleteValueW(handle, wideValue.c_str());
    RegCloseKey(handle);
}

SetupStateGuard::SetupStateGuard()
{
    const char *internetSettings = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
    values.push_back(new SavedValue(HKEY_LOCAL_MACHINE, TEST_PROVIDER_LIST_KEY, "Dll"));
    values.push_back(new SavedValue(HKEY_LOCAL_MACHINE, TEST_PROVIDER_LIST_KEY, "DllOrig"));
    values.push_back(new SavedValue(HKEY_CURRENT_USER, internetSettings, "CertificateRevocation"));
    HKEY users;
    if (RegOpenKeyExA(HKEY_USERS, NULL, 0, KEY_ENUMERATE_SUB_KEYS, &users) == ERROR_SUCCESS) {
        for (DWORD index = 0;; ++index) {
            char name[256];
            DWORD length = sizeof name;
            if (RegEnumKeyExA(users, index, name, &length, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
                break;
            values.push_back(new SavedValue(HKEY_USERS, std::string(name) + "\\" + internetSettings,
                                            "CertificateRevocation"));
        }
        RegCloseKey(users);
    }
    HKEY settings;
    settingsKeyExisted = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Veriloom", 0, KEY_READ, &settings) ==
                         ERROR_SUCCESS;
    if (settingsKeyExisted) {
        RegCloseKey(settings);
        values.push_back(new SavedValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Veriloom", "CheckUpdate"));
    }
    uninstallKeyExisted = RegOpenKeyExA(HKEY_LOCAL_MACHINE, TEST_UNINSTALL_KEY, 0, KEY_READ, &settings) == ERROR_SUCCESS;
    if (uninstallKeyExisted)
        RegCloseKey(settings);
    eventSourceExisted = RegOpenKeyExA(HKEY_LOCAL_MACHINE, TEST_EVENT_SOURCE_KEY, 0, KEY_READ, &settings) ==
                         ERROR_SUCCESS;
    if (eventSourceExisted)
        RegCloseKey(settings);
}

SetupStateGuard::~SetupStateGuard()
{
    for (SavedValue *value : values)
        delete value;
    if (!settingsKeyExisted)
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Veriloom");
    if (!uninstallKeyExisted)
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, TEST_UNINSTALL_KEY);
    if (!eventSourceExisted)
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, TEST_EVENT_SOURCE_KEY);
}

std::vector<std::string> RecordedCommands(const std::string &recordFile)
{
    std::vector<std::string> lines;
    std::string content;
    if (!ReadTextFile(recordFile, &content))
        return lines;
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find('\n', start);
        if (end == std::string::npos)
            end = content.size();
        lines.push_back(content.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}
