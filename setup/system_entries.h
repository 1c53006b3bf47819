// What Windows' management tools read about an installation: the entry in
// Programs and Features (with the command lines that uninstall) and the
// event source that lets Event Viewer show the library's warnings as text.
#pragma once

#include <windows.h>

#define UNINSTALL_ENTRY_KEY "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Veriloom"
#define EVENT_SOURCE_KEY "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Veriloom"
#define INSTALLED_SETUP_NAME "Setup.exe"

// Each false result leaves the reason in GetLastError.

// Writes the entry for the installation folder (which holds Setup.exe and
// the library); the size in KiB. False when the key cannot be written.
bool WriteUninstallEntry(const char *installDir, const char *libraryPath, DWORD estimatedKilobytes);
bool HasUninstallEntry();
// True also when there is no entry.
bool RemoveUninstallEntry();

// Registers the library as the message file of the event source.
bool RegisterVeriloomEventSource(const char *libraryPath);
