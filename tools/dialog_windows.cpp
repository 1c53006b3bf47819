// Finding, reading and answering dialogs and message boxes (see
// dialog_windows.h).

#include "dialog_windows.h"

#include <cstring>
#include <cwchar>

namespace {

struct Search {
    DWORD process;
    std::initializer_list<const wchar_t *> prefixes;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectDialog(HWND window, LPARAM param)
{
    Search *search = reinterpret_cast<Search *>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t className[64], caption[256] = L"";
    if (owner != search->process || !IsWindowVisible(window) || !GetClassNameW(window, className, 64) ||
        wcscmp(className, L"#32770") != 0)
        return TRUE;
    GetWindowTextW(window, caption, 256);
    bool wanted = search->prefixes.size() == 0;
    for (const wchar_t *prefix : search->prefixes)
        wanted = wanted || wcsncmp(caption, prefix, wcslen(prefix)) == 0;
    if (wanted)
        search->found.push_back(window);
    return TRUE;
}

std::string ClassName(HWND window)
{
    char name[64];
    return GetClassNameA(window, name, sizeof name) ? name : "";
}

HWND FocusOf(HWND window)
{
    GUITHREADINFO info;
    ZeroMemory(&info, sizeof info);
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(GetWindowThreadProcessId(window, NULL), &info) ? info.hwndFocus : NULL;
}

} // namespace

std::string ToUtf8(const wchar_t *text)
{
    const int needed = WideCharToMultiByte(CP_UTF8, 0, text, -1, NULL, 0, NULL, NULL);
    if (needed <= 1)
        return "";
    std::string out(static_cast<size_t>(needed), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], needed, NULL, NULL);
    out.resize(static_cast<size_t>(needed - 1));
    return out;
}

std::string WindowTextUtf8(HWND window)
{
    wchar_t text[2048] = L"";
    GetWindowTextW(window, text, 2048);
    return ToUtf8(text);
}

std::vector<HWND> FindDialogs(DWORD process, std::initializer_list<const wchar_t *> captionPrefixes)
{
    Search search = {process, captionPrefixes, {}};
    EnumWindows(CollectDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForDialog(DWORD process, std::initializer_list<const wchar_t *> captionPrefixes, DWORD milliseconds)
{
    const DWORD start = GetTickCount();
    for (;;) {
        const std::vector<HWND> found = FindDialogs(process, captionPrefixes);
        if (!found.empty()) {
            SendMessageTimeoutW(found[0], WM_NULL, 0, 0, SMTO_BLOCK, 5000, NULL);
            return found[0];
        }
        if (GetTickCount() - start > milliseconds)
            return NULL;
        Sleep(10);
    }
}

std::string DialogContents::Button(int id) const
{
    for (const auto &button : buttons)
        if (button.first == id)
            return button.second;
    return "<none>";
}

bool DialogContents::IsMessageBox() const
{
    return comboSelection == -1 && Button(9) == "<none>" && !texts.empty();
}

DialogContents ReadDialog(HWND dialog)
{
    DialogContents seen;
    seen.caption = WindowTextUtf8(dialog);
    seen.comboSelection = -1;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        const std::string className = ClassName(child);
        const LONG type = GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK;
        if (_stricmp(className.c_str(), "Static") == 0 && type != SS_BITMAP && type != SS_ICON) {
            if (!WindowTextUtf8(child).empty())
                seen.texts.push_back(WindowTextUtf8(child));
        } else if (_stricmp(className.c_str(), "Button") == 0) {
            seen.buttons.push_back(std::make_pair(GetDlgCtrlID(child), WindowTextUtf8(child)));
        } else if (_stricmp(className.c_str(), "ComboBox") == 0 && GetDlgCtrlID(child) == 10) {
            // The W messages: an A one sent to another process comes back cut.
            const LRESULT count = SendMessageW(child, CB_GETCOUNT, 0, 0);
            for (LRESULT i = 0; i < count; ++i) {
                wchar_t item[512] = L"";
                if (SendMessageW(child, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0) < 511)
                    SendMessageW(child, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item));
                seen.comboItems.push_back(ToUtf8(item));
            }
            seen.comboSelection = static_cast<int>(SendMessageW(child, CB_GETCURSEL, 0, 0));
        }
    }
    const HWND focus = FocusOf(dialog);
    seen.focusId = focus ? GetDlgCtrlID(focus) : 0;
    return seen;
}

void PressButton(HWND dialog, int id)
{
    PostMessageW(dialog, WM_COMMAND, static_cast<WPARAM>(id), 0);
}

void PressEnter(HWND dialog)
{
    const HWND focus = FocusOf(dialog);
    const HWND target = focus ? focus : dialog;
    PostMessageW(target, WM_KEYDOWN, VK_RETURN, 0x001C0001);
    PostMessageW(target, WM_KEYUP, VK_RETURN, 0xC01C0001);
}

bool DriveProgram(const std::string &commandLine, const char *folder, DWORD limitMs, DWORD settleMs,
                  const std::function<void(HWND)> &onWindow, DWORD *exitCode)
{
    std::string command = commandLine;
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    *exitCode = STILL_ACTIVE;
    if (!CreateProcessA(NULL, &command[0], NULL, NULL, FALSE, 0, NULL, folder, &startup, &process))
        return false;
    std::vector<HWND> handled;
    const DWORD start = GetTickCount();
    while (WaitForSingleObject(process.hProcess, 20) == WAIT_TIMEOUT) {
        if (GetTickCount() - start > limitMs) {
            TerminateProcess(process.hProcess, STILL_ACTIVE);
            WaitForSingleObject(process.hProcess, 5000);
            break;
        }
        for (HWND window : FindDialogs(process.dwProcessId)) {
            bool known = false;
            for (HWND done : handled)
                known = known || done == window;
            if (known)
                continue;
            handled.push_back(window);
            Sleep(settleMs);
            onWindow(window);
        }
    }
    GetExitCodeProcess(process.hProcess, exitCode);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return true;
}

void UseUnmanagedWindows()
{
    char self[MAX_PATH];
    GetModuleFileNameA(NULL, self, sizeof self);
    const char *name = strrchr(self, '\\') ? strrchr(self, '\\') + 1 : self;
    const std::string key = std::string("Software\\Wine\\AppDefaults\\") + name + "\\X11 Driver";
    HKEY handle;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, NULL, 0, KEY_WRITE, NULL, &handle, NULL) == ERROR_SUCCESS) {
        RegSetValueExA(handle, "Managed", 0, REG_SZ, reinterpret_cast<const BYTE *>("N"), 2);
        RegCloseKey(handle);
    }
}
