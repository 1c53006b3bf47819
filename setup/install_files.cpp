// The files an install puts into the installation folder (see
// install_files.h).

#include "install_files.h"

#include "common/blacklist_name.h"
#include "common/bounded_string.h"
#include "file_replace.h"
#include "folder_entries.h"
#include "provider_list.h"
#include "resources/setup_ids.h"
#include "setup.h"
#include "setup_log.h"
#include "system_entries.h"

namespace {

struct InstalledFile {
    char source[1024];
    char destination[1024];
    char staged[1024];
    bool isLibrary;
    ULONGLONG bytes;
};

// What a pass does with one file; false stops the walk, after the
// failure's message.
typedef bool (*FileStep)(const InstalledFile &file, InstalledFiles *files);

bool CopyFailed(const InstalledFile &file, DWORD error)
{
    ShowSetupMessagePathsCode(IDS_SETUP_COPY_ERROR, file.source, file.destination, error);
    return false;
}

// A file whose paths did not fit has no staged name: it is refused.
bool PathsFit(const InstalledFile &file)
{
    return file.staged[0] != '\0' || CopyFailed(file, ERROR_FILENAME_EXCED_RANGE);
}

bool FindStep(const InstalledFile &file, InstalledFiles *files)
{
    if (file.isLibrary)
        BoundedCopy(files->libraryPath, sizeof files->libraryPath, file.destination);
    files->bytes += file.bytes;
    return true;
}

// A source that is its destination already stays as it is.
bool StageStep(const InstalledFile &file, InstalledFiles * /*files*/)
{
    return PathsFit(file) && (IsSameFile(file.source, file.destination) || StageFile(file.source, file.staged) ||
                              CopyFailed(file, GetLastError()));
}

bool ReplaceStep(const InstalledFile &file, InstalledFiles *files)
{
    if (!PathsFit(file))
        return false;
    if (IsSameFile(file.source, file.destination)) {
        LogSetupStepText(IDS_SETUP_LOG_IN_PLACE, file.destination);
        return true;
    }
    switch (ReplaceWithStagedFile(file.staged, file.destination)) {
    case kReplaced:
        LogSetupStepText(IDS_SETUP_LOG_COPIED, file.destination);
        return true;
    case kReplacedAtRestart:
        LogSetupStepText(IDS_SETUP_LOG_AT_RESTART, file.destination);
        files->restartNeeded = true;
        return true;
    case kReplaceFailed:
        break;
    }
    return CopyFailed(file, GetLastError());
}

bool DiscardStep(const InstalledFile &file, InstalledFiles * /*files*/)
{
    if (file.staged[0] != '\0' && !IsSameFile(file.source, file.destination))
        DeleteFileA(file.staged);
    return true;
}

// The file's three paths; a path that does not fit leaves the staged name
// empty, and the file is refused rather than copied under a cut name.
void FillFile(InstalledFile *file, const char *sourceDir, const char *name, const char *installDir)
{
    const bool fits = BoundedCopy(file->source, sizeof file->source, sourceDir) == kBoundedOk &&
                      BoundedAppend(file->source, sizeof file->source, name) == kBoundedOk &&
                      BoundedCopy(file->destination, sizeof file->destination, installDir) == kBoundedOk &&
                      BoundedAppend(file->destination, sizeof file->destination, "\\") == kBoundedOk &&
                      BoundedAppend(file->destination, sizeof file->destination, name) == kBoundedOk &&
                      StagedFileName(file->destination, file->staged, sizeof file->staged);
    if (!fits)
        file->staged[0] = '\0';
}

// Runs the step for every library and blacklist file of sourceDir and,
// with ownPath, for Setup; false at the first step that fails.
bool ForEachFile(FileStep step, const char *sourceDir, const char *installDir, const char *ownPath,
                 InstalledFiles *files)
{
    char pattern[1024];
    BoundedCopy(pattern, sizeof pattern, sourceDir);
    BoundedAppend(pattern, sizeof pattern, "*");
    bool ok = true;
    const bool listed = ForEachFolderEntry(pattern, [&](const WIN32_FIND_DATAA &entry) {
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            return true;
        const bool isBlacklist = IsBlacklistFileName(entry.cFileName);
        InstalledFile file;
        file.isLibrary = !isBlacklist && IsLibraryFileName(entry.cFileName);
        if (!file.isLibrary && !isBlacklist)
            return true;
        file.bytes = (static_cast<ULONGLONG>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
        FillFile(&file, sourceDir, entry.cFileName, installDir);
        ok = step(file, files);
        return ok;
    });
    if (!listed)
        return false;

    if (ok && ownPath) {
        // An uninstaller on the machine: Setup itself beside the library.
        InstalledFile setup;
        setup.isLibrary = false;
        setup.bytes = 0;
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (GetFileAttributesExA(ownPath, GetFileExInfoStandard, &data))
            setup.bytes = data.nFileSizeLow;
        FillFile(&setup, "", INSTALLED_SETUP_NAME, installDir);
        BoundedCopy(setup.source, sizeof setup.source, ownPath);
        ok = step(setup, files);
    }
    return ok;
}

} // namespace

bool FindInstalledFiles(const char *sourceDir, const char *installDir, const char *ownPath, InstalledFiles *files)
{
    files->libraryPath[0] = '\0';
    files->bytes = 0;
    files->restartNeeded = false;
    return ForEachFile(FindStep, sourceDir, installDir, ownPath, files);
}

bool CopyInstalledFiles(const char *sourceDir, const char *installDir, const char *ownPath, InstalledFiles *files)
{
    if (ForEachFile(StageStep, sourceDir, installDir, ownPath, files) &&
        ForEachFile(ReplaceStep, sourceDir, installDir, ownPath, files))
        return true;
    const DWORD error = GetLastError();
    ForEachFile(DiscardStep, sourceDir, installDir, ownPath, files);
    SetLastError(error);
    return false;
}
