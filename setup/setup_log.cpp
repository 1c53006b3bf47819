// The installer's log (see setup_log.h).

#include "setup_log.h"

#include "common/bounded_string.h"
#include "common/dialog_support.h"
#include "setup.h"

#include <cstring>

namespace {

char logFile[1024] = "";

void LoadText(UINT id, char *text, size_t capacity)
{
    if (LoadStringA(SetupInstance, id + LanguageOffset, text, static_cast<int>(capacity)) == 0)
        text[0] = '\0';
}

} // namespace

void SetSetupLogFile(const char *path)
{
    if (!path || BoundedCopy(logFile, sizeof logFile, path) != kBoundedOk)
        logFile[0] = '\0';
}

void LogSetupText(const char *text)
{
    if (logFile[0] == '\0')
        return;
    SYSTEMTIME now;
    GetLocalTime(&now);
    char line[1280];
    BoundedFormat(line, sizeof line, "%04u-%02u-%02u %02u:%02u:%02u ", now.wYear, now.wMonth, now.wDay, now.wHour,
                  now.wMinute, now.wSecond);
    const size_t start = strlen(line);
    BoundedAppend(line, sizeof line - 2, text);
    for (char *c = line + start; *c; ++c)
        if (*c == '\r' || *c == '\n')
            *c = ' ';
    BoundedAppend(line, sizeof line, "\r\n");

    HANDLE file = CreateFileA(logFile, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written;
    WriteFile(file, line, static_cast<DWORD>(strlen(line)), &written, NULL);
    CloseHandle(file);
}

void LogSetupStep(UINT id)
{
    char text[1024];
    LoadText(id, text, sizeof text);
    LogSetupText(text);
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"

void LogSetupStepText(UINT id, const char *argument)
{
    char format[256];
    char text[1024];
    LoadText(id, format, sizeof format);
    BoundedFormat(text, sizeof text, format, argument);
    LogSetupText(text);
}

void LogSetupStepNumber(UINT id, unsigned number)
{
    char format[256];
    char text[1024];
    LoadText(id, format, sizeof format);
    BoundedFormat(text, sizeof text, format, number);
    LogSetupText(text);
}

#pragma GCC diagnostic pop
