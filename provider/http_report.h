// One synchronous HTTP exchange through WinHTTP: POST a body (or GET without
// one), drain and discard the response. Used to report a certificate.
#pragma once

#include <windows.h>

// True when a response arrived and its body was read to the end, whatever
// its status. errorCode (optional) gets GetLastError of the failed step.
bool SendHttpRequest(const char *host, int port, const char *path, bool secure, const BYTE *body, DWORD bodyLength,
                     DWORD *errorCode, const wchar_t *headers, const wchar_t **acceptTypes);
