// The recording server and the default proxy setting (see recording_server.h).

#include <winsock2.h>

#include "recording_server.h"

#include "tests/windows/support/windows_test_util.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char kConnectionsKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";
const char kSettingsValue[] = "WinHttpSettings";

bool SameName(const std::string &a, const std::string &b)
{
    return a.size() == b.size() && _strnicmp(a.c_str(), b.c_str(), a.size()) == 0;
}

bool WaitForFile(const std::string &path, std::string *text)
{
    for (int i = 0; i < 400; i++) {
        if (ReadTextFile(path, text))
            return true;
        Sleep(50);
    }
    return false;
}

std::vector<BYTE> ProxyBlob(const std::string &proxy, const std::string &bypass)
{
    std::vector<BYTE> blob;
    auto putDword = [&blob](DWORD value) {
        for (int i = 0; i < 4; i++)
            blob.push_back(static_cast<BYTE>(value >> (8 * i)));
    };
    putDword(0x18);
    putDword(0);
    putDword(proxy.empty() ? 1 : 2);
    putDword(static_cast<DWORD>(proxy.size()));
    blob.insert(blob.end(), proxy.begin(), proxy.end());
    putDword(static_cast<DWORD>(bypass.size()));
    blob.insert(blob.end(), bypass.begin(), bypass.end());
    return blob;
}

} // namespace

bool RecordedRequest::Has(const std::string &name) const
{
    for (const auto &header : headers)
        if (SameName(header.first, name))
            return true;
    return false;
}

std::string RecordedRequest::Header(const std::string &name) const
{
    for (const auto &header : headers)
        if (SameName(header.first, name))
            return header.second;
    return "";
}

RecordingServer::RecordingServer()
    : ok(false), port(0), hasPorts80And443(false), folder(Environment("VERILOOM_REPORT_SERVER"))
{
    std::string text;
    if (folder.empty())
        return;
    if (ReadTextFile(folder + "\\port", &text))
        port = atoi(text.c_str());
    ok = port > 0;
    hasPorts80And443 = ReadTextFile(folder + "\\ports-80-443", &text);
}

size_t RecordingServer::Count(const char *pattern) const
{
    return FindEntries(folder + pattern).size();
}

size_t RecordingServer::Requests() const
{
    return Count("\\requests\\*.req");
}

size_t RecordingServer::TlsConnections() const
{
    return Count("\\tls\\*.bin");
}

bool RecordingServer::Request(size_t number, RecordedRequest *request) const
{
    char name[32];
    snprintf(name, sizeof name, "\\requests\\%04u.req", static_cast<unsigned>(number));
    std::string raw;
    if (!WaitForFile(folder + name, &raw))
        return false;
    const size_t headEnd = raw.find("\r\n\r\n");
    if (headEnd == std::string::npos)
        return false;
    request->body = raw.substr(headEnd + 4);
    request->headers.clear();
    const std::vector<std::string> lines = Lines(raw.substr(0, headEnd));
    request->requestLine = lines.empty() ? "" : lines[0];
    for (size_t i = 1; i < lines.size(); i++) {
        const size_t colon = lines[i].find(':');
        const size_t value = colon == std::string::npos ? lines[i].size() : lines[i].find_first_not_of(' ', colon + 1);
        request->headers.push_back(
            std::make_pair(lines[i].substr(0, colon), value == std::string::npos ? "" : lines[i].substr(value)));
    }
    return true;
}

bool RecordingServer::TlsBytes(size_t number, std::string *bytes) const
{
    char name[32];
    snprintf(name, sizeof name, "\\tls\\%04u.bin", static_cast<unsigned>(number));
    return WaitForFile(folder + name, bytes);
}

DefaultProxySetting::DefaultProxySetting(const std::string &proxy)
    : saved(HKEY_LOCAL_MACHINE, kConnectionsKey, kSettingsValue), ok(false)
{
    const std::vector<BYTE> blob = ProxyBlob(proxy, "");
    ok = proxy.empty() ? DeleteValue(HKEY_LOCAL_MACHINE, kConnectionsKey, kSettingsValue)
                       : WriteValue(HKEY_LOCAL_MACHINE, kConnectionsKey, kSettingsValue, REG_BINARY, blob.data(),
                                    static_cast<DWORD>(blob.size()));
}

int ClosedLocalPort()
{
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return 0;
    int port = 0;
    SOCKET probe = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address;
    memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (probe != INVALID_SOCKET && bind(probe, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
        getsockname(probe, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    if (probe != INVALID_SOCKET)
        closesocket(probe);
    WSACleanup();
    return port;
}
