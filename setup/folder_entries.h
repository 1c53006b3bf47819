// One walk over the entries a folder pattern ("FOLDER\*") lists, for every
// folder Setup looks into, instead of a FindFirstFile loop at each.
#pragma once

#include <windows.h>

#include <cstring>

// Calls visit(entry) for each entry but "." and "..", in the order
// FindNextFileA gives them, until visit returns false. False when the
// pattern lists nothing (GetLastError tells why), else true, also when
// visit stopped the walk.
template <typename Visit> bool ForEachFolderEntry(const char *pattern, Visit visit)
{
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA(pattern, &entry);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    do {
        if (strcmp(entry.cFileName, ".") == 0 || strcmp(entry.cFileName, "..") == 0)
            continue;
        if (!visit(entry))
            break;
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    return true;
}
