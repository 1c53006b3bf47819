// The installer's log ("/log FILE"): one line per step and every message
// text, each with the local time in front, appended in the user's
// language. The file is opened once, never through a link, and appended
// to only when it is new or belongs to an administrator or SYSTEM: an
// elevated Setup must not write into a file a standard user prepared.
// Nothing is written without a log file.
#pragma once

#include <windows.h>

enum LogOpenResult {
    kLogOpened,
    kLogCannotOpen,  // a folder, a missing folder, no access...: GetLastError tells
    kLogIsLink,      // a symbolic link or junction, or a file with more than one name
    kLogNotOwned,    // an existing file owned by someone else than an administrator or SYSTEM
};

// Opens (or creates) the log for appending and keeps it open until
// CloseSetupLog. Null or an empty path: no log, kLogOpened.
LogOpenResult OpenSetupLog(const char *path);
void CloseSetupLog();

// Appends the text as one line (line breaks inside become blanks).
void LogSetupText(const char *text);

// Appends string `id` + language offset, its "%s" or "%u" filled from the
// argument given.
void LogSetupStep(UINT id);
void LogSetupStepText(UINT id, const char *argument);
void LogSetupStepNumber(UINT id, unsigned number);
// Two arguments, a path and a Win32 error code; the text goes to standard
// error as well, for the problems no message box may show.
void ReportSetupStepTextNumber(UINT id, const char *argument, unsigned number);

// Writes the text and a line break to standard error, when Setup has one
// (a command prompt or a deployment tool that reads it).
void WriteStandardError(const char *text);
