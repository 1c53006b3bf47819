// A stand-in for the programs the installer and the library start (proxy
// tool, browser, web page handler): appends "<its own path>|<its command line>" to the file named by
// VERILOOM_RECORD_FILE and ends.

#include <windows.h>

#include <cstring>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    char recordFile[1024];
    const DWORD length = GetEnvironmentVariableA("VERILOOM_RECORD_FILE", recordFile, sizeof recordFile);
    if (length == 0 || length >= sizeof recordFile)
        return 1;
    char self[1024];
    const DWORD selfLength = GetModuleFileNameA(NULL, self, sizeof self);
    self[selfLength < sizeof self ? selfLength : sizeof self - 1] = '\0';
    HANDLE file = CreateFileA(recordFile, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    const char *commandLine = GetCommandLineA();
    DWORD written;
    WriteFile(file, self, static_cast<DWORD>(strlen(self)), &written, NULL);
    WriteFile(file, "|", 1, &written, NULL);
    WriteFile(file, commandLine, static_cast<DWORD>(strlen(commandLine)), &written, NULL);
    WriteFile(file, "\n", 1, &written, NULL);
    CloseHandle(file);
    return 0;
}
