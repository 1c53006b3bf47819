// The installation folder of both deliverables: "ProgramFiles" followed by
// "\Veriloom", no trailing backslash.
#pragma once

#include <windows.h>

#include <cstddef>

// False, and an empty folder, when "ProgramFiles" is missing or the folder
// does not fit the capacity: an overlong value is refused, never cut into
// another folder's name.
bool VeriloomInstallFolder(char *folder, size_t capacity);
