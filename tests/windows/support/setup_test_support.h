// Support for the installer's Windows tests: a folder that Setup.exe is
// started from, a driver that answers the dialogs and message boxes of a
// running Setup.exe as a user would, the fixture that saves and restores
// what Setup changes, and the record the command recorder leaves.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "tests/windows/support/registry_values.h"
#include "tests/windows/support/windows_test_util.h"

std::string SetupExePath();     // VERILOOM_SETUP_EXE
std::string LibraryPath();      // VERILOOM_PROVIDER_DLL
std::string RecorderExePath();  // VERILOOM_RECORDER_EXE
// Where a screenshot of that name goes (VERILOOM_SCREENSHOT_DIR), "" for none.
std::string ScreenshotPath(const std::string &name);

// The installation folder Setup.exe uses: "ProgramFiles" + "\\Veriloom".
// (Wine sets "ProgramFiles" afresh in every process it starts, so a child
// always installs into the prefix's real folder.)
std::string InstallDir();

// A folder holding Setup.exe (under the given name) and whatever a test
// puts beside it; deleted with the object.
class SetupFolder {
public:
    explicit SetupFolder(const std::string &setupName = "Setup.exe");
    ~SetupFolder();
    std::string folder;  // no trailing backslash
    std::string setup;   // full path of the program
    void AddLibrary(const std::string &name = "Veriloom-x64.dll") const;
    void Write(const std::string &name, const std::string &content) const;
    void MakeDirectory(const std::string &name) const;
};

// The English message boxes after Install (the last one asks for the test
// page) and after Uninstall.
extern const std::vector<std::string> kInstalledMessages;
extern const std::vector<std::string> kUninstalledMessages;

// One window of Setup.exe as the driver found it.
struct SetupWindow : DialogContents {
    HWND window;
};

// What the driver does with a window: press the button with this id, or,
// with kPressEnter, press Enter on the focused control; 0 does nothing.
const int kPressEnter = -100;
typedef std::function<int(const SetupWindow &)> SetupAnswer;
// The main dialog gets `mainAnswer`, a Yes/No box No (or Yes), every other
// message box OK.
SetupAnswer Answer(int mainAnswer, bool testPageYes = false);
// For a quiet run, which must show nothing: any window fails the test and
// is closed.
extern const SetupAnswer kNoWindow;

struct SetupRun {
    bool started;
    bool finished;  // ended by itself within a minute
    DWORD exitCode;
    std::vector<SetupWindow> windows;               // in the order they appeared
    std::vector<std::string> MessageTexts() const;  // first text of every message box
};

// Starts the program with the argument tail, answers every window with
// `answer` (saving a screenshot of each dialog when a prefix is given) and
// waits for its end.
SetupRun RunSetupProgram(const std::string &program, const std::string &arguments, const SetupAnswer &answer,
                         const std::string &screenshotPrefix = std::string());

// The provider list: its entries, its raw bytes, whether a backup exists.
std::vector<std::string> ProviderList(const char *value = "Dll");
std::vector<BYTE> RawProviderList();
bool HasBackup();

// Sets the per-user switch to 0 for the current user and the default user,
// so that a run is seen to set it.
void SwitchRevocationOff();

// Saves the provider list and its backup, the settings key, the per-user
// switch of the current user and of HKEY_USERS' hives, and the installation
// folder (moved aside), and puts them back afterwards; the settings key, the
// uninstall entry and the event source are removed again when they were
// not there before.
class SetupStateGuard {
public:
    SetupStateGuard();
    ~SetupStateGuard();

private:
    std::deque<SavedValue> values;
    std::vector<std::string> absentKeys;
    std::string keptInstallDir;
};

// Each test: the saved state and a folder with Setup.exe.
class SetupTest : public ::testing::Test {
protected:
    SetupStateGuard guard;
    SetupFolder source;
};
