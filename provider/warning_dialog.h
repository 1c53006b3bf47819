// The weak-certificate warning dialog: the record the export hands to it
// and its dialog procedure.
#pragma once

#include <windows.h>

struct WarningDialogParam {
    const char *commonName;       // may be null or empty
    const BYTE *pbCertEncoded;    // the certificate as CryptoAPI handed it over
    DWORD cbCertEncoded;
};

// Dialog results: the user continues with the certificate, or refuses it.
const INT_PTR kWarningContinue = 1;
const INT_PTR kWarningRefuse = 0;

INT_PTR CALLBACK WarningDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
