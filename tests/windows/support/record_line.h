// The record that the installer tests' stand-in programs leave: lines
// appended to the file named by VERILOOM_RECORD_FILE.
#pragma once

#include <windows.h>

#include <cstring>

// Appends "<this process's path>|<text>\n"; does nothing without the file.
inline void AppendRecordLine(const char *text)
{
    char recordFile[1024];
    const DWORD length = GetEnvironmentVariableA("VERILOOM_RECORD_FILE", recordFile, sizeof recordFile);
    if (length == 0 || length >= sizeof recordFile)
        return;
    char self[1024];
    const DWORD selfLength = GetModuleFileNameA(NULL, self, sizeof self);
    self[selfLength < sizeof self ? selfLength : sizeof self - 1] = '\0';
    HANDLE file = CreateFileA(recordFile, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written;
    WriteFile(file, self, static_cast<DWORD>(strlen(self)), &written, NULL);
    WriteFile(file, "|", 1, &written, NULL);
    WriteFile(file, text, static_cast<DWORD>(strlen(text)), &written, NULL);
    WriteFile(file, "\n", 1, &written, NULL);
    CloseHandle(file);
}
