// Support for the installer's Windows tests: a folder that Setup.exe is
// started from, a driver that answers the dialogs and message boxes of a
// running Setup.exe as a user would, registry values saved and put back,
// and the record that the command recorder program leaves.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/windows/support/windows_test_util.h"

// Environment of the test program.
std::string TestEnvironment(const char *name);
std::string SetupExePath();      // VERILOOM_SETUP_EXE
std::string LibraryPath();       // VERILOOM_PROVIDER_DLL
std::string RecorderExePath();   // VERILOOM_RECORDER_EXE

std::string TempFolder(const std::string &tag);
void WriteTextFile(const std::string &path, const std::string &content);
bool ReadTextFile(const std::string &path, std::string *content);
std::vector<std::string> FileNames(const std::string &folder);  // files only, sorted

// The installation folder Setup.exe uses: "ProgramFiles" + "\\Veriloom".
// (Wine sets "ProgramFiles" afresh in every process it starts, so a child
// always installs into the prefix's real folder.)
std::string InstallDir();

// Moves an installation folder that exists aside for the guard's lifetime,
// and removes what the test installed afterwards.
class InstallDirGuard {
public:
    InstallDirGuard();
    ~InstallDirGuard();
private:
    std::string saved;
};

// A folder holding Setup.exe (under the given name) and whatever a test
// puts beside it.
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

// One top-level window of Setup.exe as the driver found it.
struct SetupWindow {
    HWND window;
    std::string caption;                  // UTF-8
    std::vector<std::string> texts;       // static texts in creation order, UTF-8
    std::vector<std::pair<int, std::string>> buttons;  // id, text
    std::vector<std::string> comboItems;  // of control 10
    int comboSelection;                   // -1 without control 10
    int focusId;                          // id of the control with the focus, or 0
    bool IsMessageBox() const;            // no control 10 and no button 9
};

// What the driver does with a window: post WM_COMMAND with this id, or,
// with kPressEnter, post an Enter key press to the focused control.
const int kPressEnter = -100;
typedef std::function<int(const SetupWindow &)> SetupAnswer;

struct SetupRun {
    bool started;
    bool finished;          // ended by itself within the time allowed
    DWORD exitCode;
    std::vector<SetupWindow> windows;  // in the order they appeared
    std::vector<std::string> MessageTexts() const;  // first static text of every message box
};

// Starts the program with the argument tail and extra environment entries,
// answers every window with `answer` and waits for the end.
SetupRun RunSetupProgram(const std::string &program, const std::string &arguments, const SetupAnswer &answer,
                         const std::vector<std::string> &environment = std::vector<std::string>(),
                         const std::string &screenshotPrefix = std::string());

// Answers: the main dialog gets `mainAnswer`, a Yes/No box No (or Yes),
// every other message box OK.
SetupAnswer Answer(int mainAnswer, bool testPageYes = false);

// A registry value saved on construction and put back (or deleted) on
// destruction.
class SavedValue {
public:
    SavedValue(HKEY root, const std::string &key, const std::string &value);
    ~SavedValue();
private:
    HKEY root;
    std::string key, value;
    bool existed;
    DWORD type;
    std::vector<BYTE> data;
};

// Raw bytes of a value (wide form), false when missing.
bool ReadValue(HKEY root, const std::string &key, const std::string &value, DWORD *type, std::vector<BYTE> *data);
// The entries of a REG_MULTI_SZ value, in order.
std::vector<std::string> ReadMultiString(HKEY root, const std::string &key, const std::string &value);
void WriteMultiString(HKEY root, const std::string &key, const std::string &value,
                      const std::vector<std::string> &entries);
bool ReadDword(HKEY root, const std::string &key, const std::string &value, DWORD *data);

#define TEST_PROVIDER_LIST_KEY "SOFTWARE\\Microsoft\\Cryptography\\OID\\EncodingType 1\\CertDllVerifyRevocation\\DEFAULT"
#define TEST_UNINSTALL_KEY "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Veriloom"
#define TEST_EVENT_SOURCE_KEY "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Veriloom"

// Saves the provider list, the settings key and the per-user switch of
// the current user and of HKEY_USERS' hives, and puts them back afterwards;
// the uninstall entry and the event source are removed again when they
// were not there before.
class SetupStateGuard {
public:
    SetupStateGuard();
    ~SetupStateGuard();
private:
    std::vector<SavedValue *> values;
    bool settingsKeyExisted;
    bool uninstallKeyExisted;
    bool eventSourceExisted;
};

// The lines the command recorder wrote to the file named by
// VERILOOM_RECORD_FILE: "<its own path>|<its command line>".
std::vector<std::string> RecordedCommands(const std::string &recordFile);
