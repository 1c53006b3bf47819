// A registry call's result as Setup's procedures report it: a bool, with
// the code kept for GetLastError (the registry functions return it
// instead of setting it).
#pragma once

#include <windows.h>

inline bool Succeeded(LONG result)
{
    SetLastError(static_cast<DWORD>(result));
    return result == ERROR_SUCCESS;
}
