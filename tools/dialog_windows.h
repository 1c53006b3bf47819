// Finding, reading and answering the dialogs and message boxes (window class
// "#32770") of a process: shared by the programs that drive windows
// (drive_setup, fetch_https, show_warning) and the Windows tests.
#pragma once

#include <windows.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

std::string ToUtf8(const wchar_t *text);
std::string WindowTextUtf8(HWND window);

// Visible dialogs and message boxes of the process, in z order; with
// prefixes, only those whose caption begins with one of them.
std::vector<HWND> FindDialogs(DWORD process, std::initializer_list<const wchar_t *> captionPrefixes = {});

// Waits (up to `milliseconds`) for the first such dialog; NULL if none came.
// Once found, its thread has finished setting it up (back in its message loop).
HWND WaitForDialog(DWORD process, std::initializer_list<const wchar_t *> captionPrefixes, DWORD milliseconds);

// What a dialog or message box shows.
struct DialogContents {
    std::string caption;                               // UTF-8, as every text here
    std::vector<std::string> texts;                    // static texts in creation order (no images, none empty)
    std::vector<std::pair<int, std::string>> buttons;  // id, text
    std::vector<std::string> comboItems;               // of the combo box with id 10, if any
    int comboSelection;                                // -1 without that combo box
    int focusId;                                       // control with its thread's focus, or 0
    std::string Button(int id) const;                  // "<none>" when missing
    bool IsMessageBox() const;                         // a text, no combo box, no button 9 (a product dialog)
};
DialogContents ReadDialog(HWND dialog);

// Answers as a click on the button (WM_COMMAND) would.
void PressButton(HWND dialog, int id);
// Posts an Enter key press to the control with the focus.
void PressEnter(HWND dialog);

// Runs a program (command line, working folder or NULL) and hands each new
// dialog or message box it shows, once, to `onWindow` (after a short wait,
// so that the window has finished its start-up messages) until the program
// ends. After `limitMs` it is terminated. False when it could not start;
// *exitCode is STILL_ACTIVE when it was terminated.
bool DriveProgram(const std::string &commandLine, const char *folder, DWORD limitMs, DWORD settleMs,
                  const std::function<void(HWND)> &onWindow, DWORD *exitCode);

// Without a window manager (Xvfb) Wine waits two seconds for every managed
// window it hides and draws frames only of unmanaged ones: marks this
// program's windows unmanaged in the prefix (read when the display driver
// loads, so call it first thing).
void UseUnmanagedWindows();
