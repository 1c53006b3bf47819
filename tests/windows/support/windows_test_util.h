// Small Win32 chores shared by the Windows test programs and the benchmark:
// environment, files and folders, Unix paths and the Unix shell, and this
// program started again as a child.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tests/unit/test_support.h"
#include "tools/dialog_windows.h"

// The user's language is German (any country).
bool UserIsGerman();

// A variable of this process's environment, "" when unset.
std::string Environment(const char *name);

// A new empty folder under the temporary folder, named after the tag.
std::string TempFolder(const std::string &tag);
// Deletes a folder with everything in it.
void DeleteTree(const std::string &folder);
// What matches a FindFirstFile pattern ("FOLDER\\*"), without "." and "..",
// in the order FindFirstFile and FindNextFile give it.
std::vector<WIN32_FIND_DATAA> FindEntries(const std::string &pattern);
bool WriteTextFile(const std::string &path, const std::string &content);
bool ReadTextFile(const std::string &path, std::string *content);
// The files (no folders) of a folder, sorted.
std::vector<std::string> FileNames(const std::string &folder);
// Sets a file's last-write and creation times the given seconds back.
bool BackdateFile(const std::string &path, int seconds);

// The complete lines the command recorder (command_recorder.exe) appended
// to the file named by VERILOOM_RECORD_FILE: "<its own path>|<its command
// line>". WaitForRecords waits (15 s at most) until there are `count`, then
// half a second more for any that should not come.
std::vector<std::string> RecordedCommands(const std::string &recordFile);
std::vector<std::string> WaitForRecords(const std::string &recordFile, size_t count);

// Lines of a text, without their "\r"; how many equal `text` (or begin
// with it).
std::vector<std::string> Lines(const std::string &text);
size_t CountLines(const std::vector<std::string> &lines, const std::string &text, bool prefix = false);
// How often `part` occurs in the text (overlapping occurrences too).
size_t CountOf(const std::string &text, const std::string &part);

// The Unix name of a Windows path, "" when Wine does not tell it.
std::string UnixPath(const std::string &path);

// Runs a Unix shell command with this process's environment plus
// `environment` ("NAME=value") and returns its output, "exit=N" last. Wine
// starts Unix programs with the Windows environment but neither connects
// them to Windows pipes nor follows them to their end: the output goes to a
// file, read until the exit line is there (one minute at most).
std::string RunUnixShell(const std::string &script, const std::vector<std::string> &environment = {});

// Runs this program again as a child in the given mode (see test_main.h),
// started through Wine's loader from the Unix shell so that its Unix
// environment (LC_ALL, WINEDEBUG) is the one given here; "ProgramFiles"
// is passed on. Returns the child's output; EXPECTs that it ended with 0.
std::string RunChild(const std::string &mode, const std::vector<std::string> &environment = {});
