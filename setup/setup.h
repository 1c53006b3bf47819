// Program-wide state of the installer and its message boxes.
#pragma once

#include <windows.h>

// Set once by WinMain and read everywhere else.
extern HINSTANCE SetupInstance;
extern const char *SetupCommandTail;  // the argument tail as received
extern bool SetupQuiet;               // "/quiet": messages go only to the log

// Message boxes of the installer: no owner window, the installer's caption,
// the text from the string table at id + language offset. Every text also
// goes to the log; in a quiet run only there (a question is answered No).
int ShowSetupMessage(UINT id, UINT type = MB_OK);
void ShowSetupMessageCode(UINT id, DWORD errorCode);
void ShowSetupMessagePathCode(UINT id, const char *path, DWORD errorCode);
void ShowSetupMessagePathsCode(UINT id, const char *source, const char *destination, DWORD errorCode);

// True when CryptoAPI's default revocation provider list names the library.
bool IsProviderInstalled();

INT_PTR CALLBACK SetupDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
