// Replacing installed files on a machine in use (see file_replace.h).

#include "file_replace.h"

#include "common/bounded_string.h"
#include "folder_entries.h"

#include <cstring>

namespace {

// How long a file read by another process is waited for: the library
// holds a list only while it reads it.
const int kInUseRetries = 30;
const DWORD kInUseRetryMilliseconds = 100;

bool IsInUse(DWORD error)
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED || error == ERROR_LOCK_VIOLATION;
}

// "FOLDER\~NAME" + suffix for `path` = "FOLDER\NAME".
bool PrefixedName(const char *path, const char *suffix, char *out, size_t capacity)
{
    const char *name = strrchr(path, '\\');
    if (!name || BoundedCopy(out, capacity, path) != kBoundedOk)
        return false;
    out[name - path + 1] = '\0';
    return BoundedAppend(out, capacity, "~") == kBoundedOk && BoundedAppend(out, capacity, name + 1) == kBoundedOk &&
           BoundedAppend(out, capacity, suffix) == kBoundedOk;
}

// Renames the file in use to a new "~NAME.N.old" and deletes it, or has
// it deleted at the next restart when it is still loaded.
bool MoveAside(const char *destination, char *aside, size_t capacity)
{
    for (unsigned n = 1; n < 1000; ++n) {
        char suffix[32];
        BoundedFormat(suffix, sizeof suffix, ".%u.old", n);
        if (!PrefixedName(destination, suffix, aside, capacity)) {
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
            return false;
        }
        if (MoveFileExA(destination, aside, MOVEFILE_WRITE_THROUGH))
            return true;
        if (GetLastError() != ERROR_ALREADY_EXISTS && GetLastError() != ERROR_FILE_EXISTS)
            return false;
    }
    return false;
}

} // namespace

bool IsSameFile(const char *first, const char *second)
{
    BY_HANDLE_FILE_INFORMATION information[2];
    const char *paths[2] = {first, second};
    for (int i = 0; i < 2; ++i) {
        HANDLE file = CreateFileA(paths[i], FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  NULL, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
        if (file == INVALID_HANDLE_VALUE)
            return false;
        const BOOL read = GetFileInformationByHandle(file, &information[i]);
        CloseHandle(file);
        if (!read)
            return false;
    }
    return information[0].dwVolumeSerialNumber == information[1].dwVolumeSerialNumber &&
           information[0].nFileIndexHigh == information[1].nFileIndexHigh &&
           information[0].nFileIndexLow == information[1].nFileIndexLow;
}

bool StagedFileName(const char *destination, char *staged, size_t capacity)
{
    char suffix[32];
    BoundedFormat(suffix, sizeof suffix, ".%lu.new", static_cast<unsigned long>(GetCurrentProcessId()));
    return PrefixedName(destination, suffix, staged, capacity);
}

bool StageFile(const char *source, const char *staged)
{
    if (CopyFileA(source, staged, FALSE))
        return true;
    const DWORD error = GetLastError();
    DeleteFileA(staged);
    SetLastError(error);
    return false;
}

ReplaceResult ReplaceWithStagedFile(const char *staged, const char *destination)
{
    DWORD error = ERROR_SUCCESS;
    for (int attempt = 0; attempt < kInUseRetries; ++attempt) {
        if (attempt > 0)
            Sleep(kInUseRetryMilliseconds);
        if (MoveFileExA(staged, destination, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return kReplaced;
        error = GetLastError();
        if (!IsInUse(error))
            break;
        // A loaded library can be renamed, not overwritten.
        char aside[1024];
        if (MoveAside(destination, aside, sizeof aside)) {
            if (!MoveFileExA(staged, destination, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
                error = GetLastError();
                MoveFileExA(aside, destination, MOVEFILE_WRITE_THROUGH);  // the old file back
                break;
            }
            if (!DeleteFileA(aside))
                MoveFileExA(aside, NULL, MOVEFILE_DELAY_UNTIL_REBOOT);  // or at the next Setup run
            return kReplaced;
        }
        error = GetLastError();
        if (!IsInUse(error))
            break;
    }
    if (IsInUse(error)) {
        if (MoveFileExA(staged, destination, MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT))
            return kReplacedAtRestart;
        error = GetLastError();
    }
    DeleteFileA(staged);
    SetLastError(error);
    return kReplaceFailed;
}

void DeleteReplacedFiles(const char *folder)
{
    char pattern[1024];
    BoundedCopy(pattern, sizeof pattern, folder);
    if (BoundedAppend(pattern, sizeof pattern, "\\~*.old") != kBoundedOk)
        return;
    ForEachFolderEntry(pattern, [folder](const WIN32_FIND_DATAA &entry) {
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            return true;
        char path[1024];
        BoundedCopy(path, sizeof path, folder);
        BoundedAppend(path, sizeof path, "\\");
        if (BoundedAppend(path, sizeof path, entry.cFileName) == kBoundedOk)
            DeleteFileA(path);
        return true;
    });
}
