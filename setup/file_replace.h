// Replacing installed files on a machine in use. A file is copied to a
// staged name in the installation folder first and then moved over the old
// one, so that readers see the old file or the new one, never half of
// either. A file in use that cannot be overwritten (a loaded library) is
// renamed away to "~NAME.N.old" (deleted at once when it can be, else at
// the next restart or the next Setup run); one that cannot even be
// renamed (read by a process that shares no delete access) is waited for
// briefly and, failing that, replaced when Windows restarts.
#pragma once

#include <windows.h>

#include <cstddef>

enum ReplaceResult {
    kReplaced,          // the new file is in place
    kReplacedAtRestart, // it takes the old one's place when Windows restarts
    kReplaceFailed,     // GetLastError tells why; the old file is untouched
};

// True when both paths name one existing file (the same volume and file
// index), however they are spelt.
bool IsSameFile(const char *first, const char *second);

// The staged name of `destination` for this Setup run: "~NAME.PID.new" in
// the destination's folder. False when it does not fit.
bool StagedFileName(const char *destination, char *staged, size_t capacity);

// Copies `source` to its staged name. False, with the copy's error code
// and no staged file left, when it fails.
bool StageFile(const char *source, const char *staged);

// Moves the staged file over `destination` as described above.
ReplaceResult ReplaceWithStagedFile(const char *staged, const char *destination);

// Deletes what earlier runs renamed away ("~*.old" in the folder); files
// still in use stay for the restart.
void DeleteReplacedFiles(const char *folder);
