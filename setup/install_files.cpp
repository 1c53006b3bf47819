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

char AsciiUpper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool IsLibraryFileName(const char *name)
{
    const char *expected = PROVIDER_LIBRARY_NAME;
    for (; *name && *expected; ++name, ++expected)
        if (AsciiUpper(*name) != AsciiUpper(*expected))
            return false;
    return *name == '\0' && *expected == '\0';
}

struct InstalledFile {
    char source[1024];
    char destination[1024];
    char staged[1024];
    bool isLibrary;
    ULONGLONG bytes;
};

// What the walk does with each file; false stops it.
enum FileStep { kFindStep, kStageStep, kReplaceStep, kDiscardStep };

bool RunStep(FileStep step, const InstalledFile &file, InstalledFiles *files)
{
    if (step != kFindStep && file.staged[0] == '\0') {
        if (step == kDiscardStep)
            return true;
        ShowSetupMessagePathsCode(IDS_SETUP_COPY_ERROR, file.source, file.destination, ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    const bool inPlace = step != kFindStep && IsSameFile(file.source, file.destination);
    switch (step) {
    case kFindStep:
        if (file.isLibrary)
            BoundedCopy(files->libraryPath, sizeof files->libraryPath, file.destination);
        files->bytes += file.bytes;
        return true;
    case kStageStep:
        if (inPlace || StageFile(file.source, file.staged))
            return true;
        break;
    case kReplaceStep:
        if (inPlace) {
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
        break;
    case kDiscardStep:
        if (!inPlace)
            DeleteFileA(file.staged);
        return true;
    }
    ShowSetupMessagePathsCode(IDS_SETUP_COPY_ERROR, file.source, file.destination, GetLastError());
    return false;
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
        InstalledFile file;
        file.isLibrary = !IsBlacklistFileName(entry.cFileName) && IsLibraryFileName(entry.cFileName);
        if (!file.isLibrary && !IsBlacklistFileName(entry.cFileName))
            return true;
        file.bytes = (static_cast<ULONGLONG>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
        FillFile(&file, sourceDir, entry.cFileName, installDir);
        ok = RunStep(step, file, files);
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
        ok = RunStep(step, setup, files);
    }
    return ok;
}

} // namespace

bool FindInstalledFiles(const char *sourceDir, const char *installDir, const char *ownPath, InstalledFiles *files)
{
    files->libraryPath[0] = '\0';
    files->bytes = 0;
    files->restartNeeded = false;
    return ForEachFile(kFindStep, sourceDir, installDir, ownPath, files);
}

bool CopyInstalledFiles(const char *sourceDir, const char *installDir, const char *ownPath, InstalledFiles *files)
{
    if (ForEachFile(kStageStep, sourceDir, installDir, ownPath, files) &&
        ForEachFile(kReplaceStep, sourceDir, installDir, ownPath, files))
        return true;
    const DWORD error = GetLastError();
    ForEachFile(kDiscardStep, sourceDir, installDir, ownPath, files);
    SetLastError(error);
    return false;
}
