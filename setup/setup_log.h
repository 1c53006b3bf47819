// The installer's log ("/log FILE"): one line per step and every message
// text, each with the local time in front, appended in the user's
// language. Nothing is written without a log file.
#pragma once

#include <windows.h>

// Set once at start; an empty name or null means no log.
void SetSetupLogFile(const char *path);

// Appends the text as one line (line breaks inside become blanks).
void LogSetupText(const char *text);

// Appends string `id` + language offset, its "%s" or "%u" filled from the
// argument given.
void LogSetupStep(UINT id);
void LogSetupStepText(UINT id, const char *argument);
void LogSetupStepNumber(UINT id, unsigned number);
