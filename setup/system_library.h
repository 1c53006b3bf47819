// The system directory as the only place the installer takes libraries and
// tools from. Setup runs elevated from whatever folder it was unpacked
// into, so nothing may be found beside it by name.
#pragma once

#include <windows.h>

#include <cstddef>

// The system directory, "\" and `name`. False, and an empty path, when the
// directory cannot be read or the path does not fit.
bool SystemDirectoryPath(const char *name, char *path, size_t capacity);

// Loads a library by its full path in the system directory. Null on
// failure, with the reason in GetLastError.
HMODULE LoadSystemLibrary(const char *name);

// Limits the library search of the whole process (the libraries that
// system libraries load later included) to the system directory, where the
// platform can do so, and takes the current directory out of it.
void RestrictDllSearchToSystemDirectory();
