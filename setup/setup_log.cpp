// The installer's log (see setup_log.h).

#include "setup_log.h"

#include "common/bounded_string.h"
#include "common/dialog_support.h"
#include "setup.h"

#include <aclapi.h>
#include <cstring>

namespace {

HANDLE logFile = INVALID_HANDLE_VALUE;

void LoadText(UINT id, char *text, size_t capacity)
{
    if (LoadStringA(SetupInstance, id + LanguageOffset, text, static_cast<int>(capacity)) == 0)
        text[0] = '\0';
}

// True when `sid` is the built-in group with that relative identifier
// (Administrators) or the well-known SYSTEM account.
bool IsWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type)
{
    BYTE buffer[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof buffer;
    return CreateWellKnownSid(type, NULL, buffer, &size) && EqualSid(sid, buffer);
}

// The user this process runs as, when it is a member of Administrators:
// the owner of files an elevated administrator makes himself.
bool IsAdministratorRunningSetup(PSID sid)
{
    BYTE admins[SECURITY_MAX_SID_SIZE];
    DWORD adminsSize = sizeof admins;
    BOOL member = FALSE;
    if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, NULL, admins, &adminsSize) ||
        !CheckTokenMembership(NULL, admins, &member) || !member)
        return false;
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD length = 0;
    const bool same = GetTokenInformation(token, TokenUser, user, sizeof user, &length) &&
                      EqualSid(sid, reinterpret_cast<TOKEN_USER *>(user)->User.Sid);
    CloseHandle(token);
    return same;
}

bool IsOwnedByAdministrator(HANDLE file)
{
    PSID owner = NULL;
    PSECURITY_DESCRIPTOR descriptor = NULL;
    if (GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, NULL, NULL, NULL, &descriptor) !=
        ERROR_SUCCESS)
        return false;
    const bool trusted = owner && (IsWellKnown(owner, WinBuiltinAdministratorsSid) ||
                                   IsWellKnown(owner, WinLocalSystemSid) || IsAdministratorRunningSetup(owner));
    LocalFree(descriptor);
    return trusted;
}

} // namespace

LogOpenResult OpenSetupLog(const char *path)
{
    CloseSetupLog();
    if (!path || path[0] == '\0')
        return kLogOpened;
    // The link itself is opened, never what it points to; READ_CONTROL
    // reads the owner.
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | READ_CONTROL, FILE_SHARE_READ, NULL,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return kLogCannotOpen;
    const bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
    BY_HANDLE_FILE_INFORMATION information;
    LogOpenResult result = kLogOpened;
    if (!GetFileInformationByHandle(file, &information))
        result = kLogCannotOpen;
    else if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || information.nNumberOfLinks != 1)
        result = kLogIsLink;
    else if (existed && !IsOwnedByAdministrator(file))
        result = kLogNotOwned;
    if (result != kLogOpened) {
        const DWORD error = GetLastError();
        CloseHandle(file);
        SetLastError(error);
        return result;
    }
    logFile = file;
    return kLogOpened;
}

void CloseSetupLog()
{
    if (logFile != INVALID_HANDLE_VALUE)
        CloseHandle(logFile);
    logFile = INVALID_HANDLE_VALUE;
}

void LogSetupText(const char *text)
{
    if (logFile == INVALID_HANDLE_VALUE)
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
    DWORD written;
    WriteFile(logFile, line, static_cast<DWORD>(strlen(line)), &written, NULL);
}

void WriteStandardError(const char *text)
{
    HANDLE standardError = GetStdHandle(STD_ERROR_HANDLE);
    if (standardError == NULL || standardError == INVALID_HANDLE_VALUE)
        return;
    DWORD written;
    WriteFile(standardError, text, static_cast<DWORD>(strlen(text)), &written, NULL);
    WriteFile(standardError, "\r\n", 2, &written, NULL);
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

void ReportSetupStepTextNumber(UINT id, const char *argument, unsigned number)
{
    char format[256];
    char text[1024];
    LoadText(id, format, sizeof format);
    BoundedFormat(text, sizeof text, format, argument, number);
    WriteStandardError(text);
    LogSetupText(text);
}

#pragma GCC diagnostic pop
