// A watcher for the weak-certificate warning dialog of this process: reads
// what the dialog shows, runs the test's steps on it (report, information)
// and then answers it the way a user would.
#pragma once

#include <windows.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "tests/windows/support/provider_test_support.h"

// What the watcher saw of one warning dialog.
struct WarningDialogView {
    std::string caption;               // UTF-8, like every text below
    std::wstring application;          // control 100
    std::string site;                  // control 101
    std::vector<std::string> texts;    // the other static texts in creation order
    bool hasBitmap;                    // a static bitmap control with its image
    std::vector<std::string> buttons;  // texts of buttons 1, 2, 8 and 9
    bool focusOnNo;                    // keyboard focus of its thread on button 2
    bool active;                       // the active window of its thread
    bool topmost;
    bool hasIcons;                     // big and small icon set
    RECT rect;
    std::vector<std::string> messages; // texts of the message boxes the steps met
    bool openAfterSteps;               // still open and visible after the steps
};

enum class DialogAnswer { Enter, Escape, CloseBox, Yes, No };

// A step run on the open dialog before the answer.
typedef std::function<void(HWND dialog, WarningDialogView *view)> DialogStep;

class WarningDialogWatcher {
public:
    explicit WarningDialogWatcher(DialogAnswer answer, std::vector<DialogStep> steps = {});
    std::vector<WarningDialogView> Views();  // one per dialog answered so far

private:
    void Handle(HWND dialog);
    DialogAnswer answer;
    std::vector<DialogStep> steps;
    std::mutex lock;
    std::vector<WarningDialogView> views;
    WindowWatcher watcher;
};

// Step: clicks the button, waits for the message box the click opens,
// records its text, answers OK and waits until it is gone.
DialogStep ClickAndAnswerMessageBox(int id);
// Step: runs an action (e.g. changing a setting) between other steps.
DialogStep Do(std::function<void()> action);
// Step: clicks the button and waits (up to 30 s) until `done` holds.
DialogStep ClickAndWaitFor(int id, std::function<bool()> done);
