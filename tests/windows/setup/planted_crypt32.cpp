// A crypt32.dll planted beside Setup.exe: records that a process loaded it
// (a line "<process path>|loaded" in the file named by
// VERILOOM_RECORD_FILE) and offers the two functions the installer uses,
// failing, so that a program that imports them by name still starts.

#define NOCRYPT  // this file defines the two functions itself
#include <windows.h>

#include <cstring>

namespace {

void Record()
{
    char recordFile[1024];
    const DWORD length = GetEnvironmentVariableA("VERILOOM_RECORD_FILE", recordFile, sizeof recordFile);
    if (length == 0 || length >= sizeof recordFile)
        return;
    char process[1024];
    const DWORD processLength = GetModuleFileNameA(NULL, process, sizeof process);
    process[processLength < sizeof process ? processLength : sizeof process - 1] = '\0';
    HANDLE file = CreateFileA(recordFile, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written;
    WriteFile(file, process, static_cast<DWORD>(strlen(process)), &written, NULL);
    WriteFile(file, "|loaded\n", 8, &written, NULL);
    CloseHandle(file);
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        Record();
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
