// The system directory as the only library and tool source (see
// system_library.h).

#include "system_library.h"

#include "common/bounded_string.h"

bool SystemDirectoryPath(const char *name, char *path, size_t capacity)
{
    if (capacity == 0)
        return false;
    path[0] = '\0';
    const UINT length = GetSystemDirectoryA(path, static_cast<UINT>(capacity));
    if (length == 0 || length >= capacity || BoundedAppend(path, capacity, "\\") != kBoundedOk ||
        BoundedAppend(path, capacity, name) != kBoundedOk) {
        path[0] = '\0';
        return false;
    }
    return true;
}

HMODULE LoadSystemLibrary(const char *name)
{
    char path[MAX_PATH];
    if (!SystemDirectoryPath(name, path, sizeof path)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return NULL;
    }
    return LoadLibraryExA(path, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
}

void RestrictDllSearchToSystemDirectory()
{
    SetDllDirectoryA("");
    // Looked up at run time: Windows versions without it still start.
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesFunction)(DWORD);
    HMODULE kernel = GetModuleHandleA("kernel32");
    SetDefaultDllDirectoriesFunction setDefaultDllDirectories =
        kernel ? reinterpret_cast<SetDefaultDllDirectoriesFunction>(
                     reinterpret_cast<void *>(GetProcAddress(kernel, "SetDefaultDllDirectories")))
               : NULL;
    if (setDefaultDllDirectories)
        setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}
