// A crypt32.dll planted beside Setup.exe: records that a process loaded it
// (a line "<process path>|loaded" in the file named by
// VERILOOM_RECORD_FILE) and offers the two functions the installer uses,
// failing, so that a program that imports them by name still starts.

#define NOCRYPT  // this file defines the two functions itself
#include "tests/windows/support/record_line.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        AppendRecordLine("loaded");
    return TRUE;
}

extern "C" __declspec(dllexport) BOOL WINAPI CryptRegisterDefaultOIDFunction(DWORD, LPCSTR, DWORD, LPCWSTR)
{
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

extern "C" __declspec(dllexport) BOOL WINAPI CryptUnregisterDefaultOIDFunction(DWORD, LPCSTR, LPCWSTR)
{
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}
