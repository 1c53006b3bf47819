// The installation folder for the blacklist search (see install_folder_source.h).

#include "install_folder_source.h"

#include "common/blacklist_name.h"
#include "common/bounded_string.h"
#include "common/install_folder.h"

namespace {

// Four seconds: longer than the resolution of any file time (FAT: two).
const uint64_t kSettledTicks = 4 * 10000000ull;

uint64_t Ticks(const FILETIME &time)
{
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

} // namespace

InstallFolderSource::InstallFolderSource() : find(INVALID_HANDLE_VALUE), file(INVALID_HANDLE_VALUE)
{
    installDir[0] = '\0';
}

InstallFolderSource::~InstallFolderSource()
{
    Close();
    End();
}

bool InstallFolderSource::Take(const WIN32_FIND_DATAA &data, ListEntry *entry)
{
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !IsBlacklistFileName(data.cFileName))
        return false;
    BoundedCopy(entry->name, sizeof entry->name, data.cFileName);
    entry->version.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    entry->version.lastWrite = Ticks(data.ftLastWriteTime);
    entry->version.creation = Ticks(data.ftCreationTime);
    return true;
}

bool InstallFolderSource::First(ListEntry *entry, uint32_t *error, uint32_t *errorValue)
{
    if (!VeriloomInstallFolder(installDir, sizeof installDir) ||
        BoundedAppend(installDir, sizeof installDir, "\\") != kBoundedOk) {
        // A value that does not fit counts as none.
        *error = kSearchNoInstallDir;
        *errorValue = GetLastError();
        installDir[0] = '\0';
        return false;
    }

    char pattern[sizeof installDir];
    BoundedCopy(pattern, sizeof pattern, installDir);
    BoundedAppend(pattern, sizeof pattern, "*");
    WIN32_FIND_DATAA data;
    find = FindFirstFileA(pattern, &data);
    if (find == INVALID_HANDLE_VALUE) {
        *error = kSearchFindFailed;
        *errorValue = GetLastError();
        return false;
    }
    return Take(data, entry) || Next(entry);
}

bool InstallFolderSource::Next(ListEntry *entry)
{
    WIN32_FIND_DATAA data;
    while (find != INVALID_HANDLE_VALUE && FindNextFileA(find, &data)) {
        if (Take(data, entry))
            return true;
    }
    return false;
}

bool InstallFolderSource::Open(const char *name, FileVersion *opened, uint32_t *errorValue)
{
    char path[sizeof installDir];
    BoundedCopy(path, sizeof path, installDir);
    BoundedAppend(path, sizeof path, name);
    // Sharing delete lets Setup rename a list aside while a check or the
    // index worker reads it; the read goes on in the old version, which the
    // version check then tells from the new one.
    file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, NULL, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        *errorValue = GetLastError();
        return false;
    }
    // Size and times only: GetFileInformationByHandle also asks for the
    // volume's serial number, which under Wine costs about a millisecond per
    // file, as long as reading the file. Unknown, the version stays zero and
    // matches no listing, so nothing read from it is kept.
    LARGE_INTEGER size;
    FILETIME creation, lastWrite;
    if (GetFileSizeEx(file, &size) && GetFileTime(file, &creation, NULL, &lastWrite)) {
        opened->size = static_cast<uint64_t>(size.QuadPart);
        opened->lastWrite = Ticks(lastWrite);
        opened->creation = Ticks(creation);
    }
    return true;
}

bool InstallFolderSource::Read(char *buffer, size_t capacity, size_t *got, uint32_t *errorValue)
{
    DWORD bytesRead = 0;
    const BOOL ok = ReadFile(file, buffer, static_cast<DWORD>(capacity), &bytesRead, NULL);
    *errorValue = GetLastError();
    *got = bytesRead;
    return ok != FALSE;
}

void InstallFolderSource::Close()
{
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    file = INVALID_HANDLE_VALUE;
}

void InstallFolderSource::End()
{
    if (find != INVALID_HANDLE_VALUE)
        FindClose(find);
    find = INVALID_HANDLE_VALUE;
}

uint64_t InstallFolderSource::Now()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return Ticks(now);
}

uint64_t InstallFolderSource::SettledTicks()
{
    return kSettledTicks;
}
