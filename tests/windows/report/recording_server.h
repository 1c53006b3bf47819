// The recording HTTP server that the ctest fixture "report_server" runs on
// 127.0.0.1 (http_recorder.py), read through the Z: drive, and WinHTTP's
// default proxy setting in the test prefix.
#pragma once

#include <windows.h>

#include "tests/windows/support/registry_values.h"

#include <string>
#include <utility>
#include <vector>

// One request as the server received it.
struct RecordedRequest {
    std::string requestLine;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    bool Has(const std::string &name) const;
    std::string Header(const std::string &name) const;  // "" when absent
};

class RecordingServer {
public:
    RecordingServer();              // from VERILOOM_REPORT_SERVER (its folder)
    bool ok;                        // the server is up (its port is known)
    int port;
    bool hasPorts80And443;          // it also serves 127.0.0.1:80 and records 127.0.0.1:443
    size_t Requests() const;        // requests recorded so far
    size_t TlsConnections() const;  // connections to port 443 so far
    // The request or first TLS bytes with the given number (1-based), waiting
    // for the record to appear for up to 20 seconds.
    bool Request(size_t number, RecordedRequest *request) const;
    bool TlsBytes(size_t number, std::string *bytes) const;

private:
    std::string folder;
    size_t Count(const char *pattern) const;
};

// WinHTTP's default proxy as `netsh winhttp set proxy` stores it in
// HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Internet Settings\Connections,
// value "WinHttpSettings" (REG_BINARY): DWORD 0x18, DWORD 0, DWORD flags
// (1 direct, 2 named proxy), DWORD proxy length, the proxy in single bytes,
// DWORD bypass length, the bypass list in single bytes. Set for the object's
// lifetime ("" removes the value: direct access); the old value is put back.
class DefaultProxySetting {
public:
    explicit DefaultProxySetting(const std::string &proxy);
    SavedValue saved;
    bool ok;
};

// A local TCP port on 127.0.0.1 that nothing listens on.
int ClosedLocalPort();
