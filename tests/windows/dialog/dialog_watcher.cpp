// The warning dialog watcher (see dialog_watcher.h).

#include "dialog_watcher.h"

#include "tests/windows/support/provider_test_support.h"

namespace {

// Waits (up to `seconds`) until the condition holds.
bool WaitUntil(const std::function<bool()> &condition, int seconds)
{
    for (int i = 0; i < seconds * 100 && !condition(); i++)
        Sleep(10);
    return condition();
}

void ClickButton(HWND dialog, int id)
{
    PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void PressKey(BYTE key)
{
    keybd_event(key, 0, 0, 0);
    keybd_event(key, 0, KEYEVENTF_KEYUP, 0);
}

} // namespace

DialogStep ClickAndAnswerMessageBox(int id)
{
    return [id](HWND dialog, WarningDialogView *view) {
        ClickButton(dialog, id);
        const HWND box = WaitForDialog(GetCurrentProcessId(), {L"Veriloom V1.1 \u00A9 2026 Veriloom"}, 30000);
        if (!box) {
            view->messages.push_back("(no message box)");
            return;
        }
        const DialogContents seen = ReadDialog(box);
        view->messages.push_back(seen.caption != kBoxCaption ? "(caption " + seen.caption + ")"
                                 : seen.texts.empty()        ? ""
                                                             : seen.texts.back());
        PressButton(box, IDOK);
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
    : answer(dialogAnswer), steps(dialogSteps), watcher([this](HWND dialog) { Handle(dialog); })
{
}

std::vector<WarningDialogView> WarningDialogWatcher::Views()
{
    std::lock_guard<std::mutex> hold(lock);
    return views;
}

void WarningDialogWatcher::Handle(HWND dialog)
{
    const std::string caption = WindowTextUtf8(dialog);
    if (caption.compare(0, 15, "Norvel Veriloom") != 0 && caption.compare(0, 15, "Kaptor Veriloom") != 0)
        return;  // a message box that a step answers
    // Its thread is back in the modal loop: the dialog is fully set up.
    SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_BLOCK, 5000, NULL);
    const DialogContents contents = ReadDialog(dialog);
    WarningDialogView view;
    view.caption = contents.caption;
    wchar_t text[2048] = L"";
    GetDlgItemTextW(dialog, 100, text, 2048);
    view.application = text;
    view.site = WindowTextUtf8(GetDlgItem(dialog, 101));
    view.hasBitmap = false;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t className[64];
        if (!GetClassNameW(child, className, 64) || _wcsicmp(className, L"Static") != 0)
            continue;
        const int id = GetDlgCtrlID(child);
        if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_BITMAP)
            view.hasBitmap = view.hasBitmap || SendMessageW(child, STM_GETIMAGE, IMAGE_BITMAP, 0) != 0;
        else if (!WindowTextUtf8(child).empty() && id != 100 && id != 101)
            view.texts.push_back(WindowTextUtf8(child));
    }
    for (int id : {1, 2, 8, 9})
        view.buttons.push_back(contents.Button(id));
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

    {
        std::lock_guard<std::mutex> hold(lock);
        views.push_back(view);
    }

    if (answer == DialogAnswer::Enter || answer == DialogAnswer::Escape)
        PressKey(answer == DialogAnswer::Enter ? VK_RETURN : VK_ESCAPE);
    else if (answer == DialogAnswer::CloseBox)
        PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    else
        ClickButton(dialog, answer == DialogAnswer::Yes ? 1 : 2);
    WaitUntil([dialog] { return !IsWindow(dialog); }, 20);
}
