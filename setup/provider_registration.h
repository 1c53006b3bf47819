// Registering and unregistering the library as CryptoAPI's first default
// revocation provider. crypt32 is loaded from the system directory for the
// call, never imported by name.
#pragma once

#include <windows.h>

// Same results as CryptRegisterDefaultOIDFunction and
// CryptUnregisterDefaultOIDFunction: false with the reason in GetLastError
// (also when crypt32 cannot be loaded).
bool RegisterProviderLibrary(const wchar_t *path);
bool UnregisterProviderLibrary(const wchar_t *path);

// The path in 16-bit characters, converted with the ANSI code page. False
// when it cannot be converted or does not fit.
bool WidenAnsiPath(const char *path, wchar_t *wide, size_t capacity);
