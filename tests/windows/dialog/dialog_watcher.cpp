// The warning dialog watcher (see dialog_watcher.h).

#include "dialog_watcher.h"

#include "tests/windows/support/provider_test_support.h"

namespace {

const wchar_t kMessageBoxCaption[] = L"Veriloom V1.1 \u00A9 2026 Veriloom";
const int kButtons[] = {1, 2, 8, 9};

struct Search {
    std::wstring prefix;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectDialog(HWND window, LPARAM param)
{
    Search *search = reinterpret_cast<Search *>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t className[64], caption[256];
    if (owner == GetCurrentProcessId() && IsWindowVisible(window) && GetClassNameW(window, className, 64) &&
        wcscmp(className, L"#32770") == 0 && GetWindowTextW(window, caption, 256) >= 0 &&
        wcsncmp(caption, search->prefix.c_str(), search->prefix.size()) == 0)
        search->found.push_back(window);
    return TRUE;
}

std::string Text(HWND window)
{
    wchar_t text[2048] = L"";
    GetWindowTextW(window, text, 2048);
    return ToUtf8(text);
}

bool IsStatic(HWND window)
{
    wchar_t className[64];
    return GetClassNameW(window, className, 64) && _wcsicmp(className, L"Static") == 0;
}

// Waits (up to `seconds`) until the condition holds.
bool WaitUntil(const std::function<bool()> &condition, int seconds)
{
    for (int i = 0; i < seconds * 100; i++) {
        if (condition())
            return true;
        Sleep(10);
    }
    return condition();
}

void PressKey(WORD key)
{
    INPUT inputs[2];
    ZeroMemory(inputs, sizeof inputs);
    inputs[0].type = INPUT_KEYBOARD;
    inputs[0].ki.wVk = key;
    inputs[1] = inputs[0];
    inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, inputs, sizeof(INPUT));
}

} // namespace

std::vector<HWND> FindDialogs(const std::wstring &prefix)
{
    Search search;
    search.prefix = prefix;
    EnumWindows(CollectDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void ClickButton(HWND dialog, int id)
{
    PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

DialogStep ClickAndAnswerMessageBox(int id)
{
    return [id](HWND dialog, WarningDialogView *view) {
        ClickButton(dialog, id);
        HWND box = NULL;
        WaitUntil(
            [&box, dialog] {
                for (HWND window : FindDialogs(kMessageBoxCaption))
                    if (window != dialog && Text(window) == ToUtf8(kMessageBoxCaption))
                        box = window;
                return box != NULL;
            },
            30);
        if (!box) {
            view->messages.push_back("(no message box)");
            return;
        }
        SendMessageTimeoutW(box, WM_NULL, 0, 0, SMTO_BLOCK, 5000, NULL);
        std::string message;
        for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
            if (IsStatic(child) && !Text(child).empty())
                message = Text(child);
        view->messages.push_back(message);
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        WaitUntil([box] { return !IsWindow(box); }, 10);
    };
}

DialogStep Do(std::function<void()> action)
{
    return [action](HWND, WarningDialogView *) { action(); };
}

DialogStep ClickAndWaitFor(int id, std::function<bool()> done)
{
    return [id, done](HWND dialog, WarningDialogView *) {
        ClickButton(dialog, id);
        WaitUntil(done, 30);
    };
}

WarningDialogWatcher::WarningDialogWatcher(DialogAnswer dialogAnswer, std::vector<DialogStep> dialogSteps)
    : thread(NULL), stop(0), answer(dialogAnswer), steps(dialogSteps)
{
    InitializeCriticalSection(&lock);
    thread = CreateThread(NULL, 0, Run, this, 0, NULL);
}

WarningDialogWatcher::~WarningDialogWatcher()
{
    InterlockedExchange(&stop, 1);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    DeleteCriticalSection(&lock);
}

std::vector<WarningDialogView> WarningDialogWatcher::Views()
{
    EnterCriticalSection(&lock);
    std::vector<WarningDialogView> copy = views;
    LeaveCriticalSection(&lock);
    return copy;
}

DWORD WINAPI WarningDialogWatcher::Run(void *self)
{
    WarningDialogWatcher *watcher = static_cast<WarningDialogWatcher *>(self);
    while (!watcher->stop) {
        std::vector<HWND> dialogs = FindDialogs(L"Norvel Veriloom");
        for (HWND dialog : FindDialogs(L"Kaptor Veriloom"))
            dialogs.push_back(dialog);
        for (HWND dialog : dialogs)
            watcher->Handle(dialog);
        Sleep(10);
    }
    return 0;
}

void WarningDialogWatcher::Handle(HWND dialog)
{
    // Its thread is back in the modal loop: the dialog is fully set up.
    SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_BLOCK, 5000, NULL);

    WarningDialogView view;
    view.window = dialog;
    view.caption = Text(dialog);
    wchar_t text[2048] = L"";
    GetDlgItemTextW(dialog, 100, text, 2048);
    view.application = text;
    text[0] = L'\0';
    GetDlgItemTextW(dialog, 101, text, 2048);
    view.site = ToUtf8(text);
    view.hasBitmap = false;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (!IsStatic(child))
            continue;
        if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_BITMAP)
            view.hasBitmap = view.hasBitmap || SendMessageW(child, STM_GETIMAGE, IMAGE_BITMAP, 0) != 0;
        else if (!Text(child).empty() && GetDlgCtrlID(child) != 100 && GetDlgCtrlID(child) != 101)
            view.texts.push_back(Text(child));
    }
    for (int id : kButtons)
        view.buttons.push_back(Text(GetDlgItem(dialog, id)));

    GUITHREADINFO info;
    ZeroMemory(&info, sizeof info);
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(dialog, NULL), &info);
    view.focusOnNo = info.hwndFocus != NULL && info.hwndFocus == GetDlgItem(dialog, 2);
    view.active = info.hwndActive == dialog;
    view.topmost = (GetWindowLongW(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    view.hasIcons = SendMessageW(dialog, WM_GETICON, ICON_BIG, 0) != 0 && SendMessageW(dialog, WM_GETICON, ICON_SMALL, 0) != 0;
    GetWindowRect(dialog, &view.rect);

    for (const DialogStep &step : steps)
        step(dialog, &view);
    view.openAfterSteps = IsWindow(dialog) && IsWindowVisible(dialog);

    EnterCriticalSection(&lock);
    views.push_back(view);
    LeaveCriticalSection(&lock);

    switch (answer) {
    case DialogAnswer::Enter:
        PressKey(VK_RETURN);
        break;
    case DialogAnswer::Escape:
        PressKey(VK_ESCAPE);
        break;
    case DialogAnswer::CloseBox:
        PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
    case DialogAnswer::Yes:
        ClickButton(dialog, 1);
        break;
    case DialogAnswer::No:
        ClickButton(dialog, 2);
        break;
    }
    WaitUntil([dialog] { return !IsWindow(dialog); }, 20);
}
