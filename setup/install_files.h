// The files an install puts into the installation folder: the library and
// the blacklist files beside Setup, walked in the order the folder lists
// them, and Setup itself. Each is copied to a staged name first; only when
// every copy succeeded are the staged files moved into place.
#pragma once

#include <windows.h>

struct InstalledFiles {
    char libraryPath[1024];  // its destination; empty when Setup's folder has no library
    ULONGLONG bytes;         // of every file installed, Setup included
    bool restartNeeded;      // a file in use is replaced when Windows restarts
};

// Finds the library beside Setup (sourceDir ends in a backslash), names
// its destination in installDir and adds up the sizes (with Setup's, when
// ownPath is given). False when the folder cannot be listed.
bool FindInstalledFiles(const char *sourceDir, const char *installDir, const char *ownPath, InstalledFiles *files);

// Copies every file (a source that is its destination already stays as it
// is) and Setup (ownPath) into installDir. False after the failure's
// message; no staged file is left behind.
bool CopyInstalledFiles(const char *sourceDir, const char *installDir, const char *ownPath, InstalledFiles *files);
