// SendHttpRequest against the recording server on 127.0.0.1: what goes on the
// wire, which answers count as sent, and the error codes of failed exchanges.

#include "provider/http_report.h"
#include "tests/windows/report/recording_server.h"
#include "tests/windows/support/provider_test_support.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

const char kReportPath[] = "/netze/tools/trovance";
const wchar_t kCertificateType[] = L"Content-Type: application/x-x509-ca-cert";
const DWORD kErrorCannotConnect = 12029;  // ERROR_WINHTTP_CANNOT_CONNECT
const DWORD kErrorNameNotResolved = 12007;  // ERROR_WINHTTP_NAME_NOT_RESOLVED

class SendHttpRequestTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.ok) << "the recording server (fixture report_server) is not running";
        ASSERT_TRUE(certificate.context != NULL);
    }

    // Sends (to the recording server's port unless told otherwise),
    // EXPECTing success with code 0 (or, without asking for the code, none
    // written); the request the server recorded.
    RecordedRequest Sent(const std::string &path, const BYTE *body, DWORD length, const wchar_t *headers,
                         const wchar_t **acceptTypes = NULL, const std::string &host = "127.0.0.1", int port = -1,
                         bool askCode = true)
    {
        const size_t before = server.Requests();
        DWORD code = 0xdeadbeef;
        EXPECT_TRUE(SendHttpRequest(host.c_str(), port < 0 ? server.port : port, path.c_str(), false, body, length,
                                    askCode ? &code : NULL, headers, acceptTypes))
            << path;
        EXPECT_EQ(askCode ? 0u : 0xdeadbeef, code) << path;
        EXPECT_EQ(before + 1, server.Requests()) << path;
        RecordedRequest request;
        EXPECT_TRUE(server.Request(before + 1, &request)) << path;
        return request;
    }
    // The certificate sent with its content type.
    RecordedRequest Posted(const std::string &path, const std::string &host = "127.0.0.1", int port = -1)
    {
        return Sent(path, Der(), DerLength(), kCertificateType, NULL, host, port);
    }

    const BYTE *Der() const { return certificate.der.data(); }
    DWORD DerLength() const { return static_cast<DWORD>(certificate.der.size()); }
    std::string DerText() const { return std::string(certificate.der.begin(), certificate.der.end()); }

    DefaultProxySetting direct{""};  // unless a test sets a proxy; the prefix's comes back afterwards
    RecordingServer server;
    TestCertificate certificate{"rsa-2048.der"};
};

TEST_F(SendHttpRequestTest, PostsTheCertificateWithItsContentType)
{
    const RecordedRequest request = Posted(kReportPath);
    EXPECT_EQ("POST /netze/tools/trovance HTTP/1.1", request.requestLine);
    EXPECT_EQ("127.0.0.1:" + std::to_string(server.port), request.Header("Host"));
    EXPECT_EQ("application/x-x509-ca-cert", request.Header("Content-Type"));
    EXPECT_EQ(std::to_string(certificate.der.size()), request.Header("Content-Length"));
    EXPECT_EQ(DerText(), request.body);
    // The agent is empty (Wine sends "User-Agent: " with no value).
    EXPECT_EQ("", request.Header("User-Agent"));
    EXPECT_FALSE(request.Has("Accept"));
    EXPECT_FALSE(request.Has("Transfer-Encoding"));
}

TEST_F(SendHttpRequestTest, HeadersAndAcceptTypesArePassedOn)
{
    const wchar_t *accept[] = {L"text/plain", L"application/pkix-cert", NULL};
    const RecordedRequest request = Sent("/accept", Der(), DerLength(), L"X-Veriloom: one\r\nX-Other: two", accept);
    EXPECT_EQ("one", request.Header("X-Veriloom"));
    EXPECT_EQ("two", request.Header("X-Other"));
    EXPECT_FALSE(request.Has("Content-Type"));
    EXPECT_NE(std::string::npos, request.Header("Accept").find("text/plain")) << request.Header("Accept");
    EXPECT_NE(std::string::npos, request.Header("Accept").find("application/pkix-cert")) << request.Header("Accept");
}

TEST_F(SendHttpRequestTest, WithoutABodyItIsAGet)
{
    // The length is ignored without a body.
    RecordedRequest request = Sent("/no-body", NULL, 1234, NULL);
    EXPECT_EQ("GET /no-body HTTP/1.1", request.requestLine);
    EXPECT_EQ("", request.body);
    EXPECT_TRUE(request.Header("Content-Length").empty() || request.Header("Content-Length") == "0")
        << request.Header("Content-Length");

    // An empty body is still a POST.
    request = Sent("/empty-body", Der(), 0, NULL);
    EXPECT_EQ("POST /empty-body HTTP/1.1", request.requestLine);
    EXPECT_EQ("0", request.Header("Content-Length"));
    EXPECT_EQ("", request.body);
}

TEST_F(SendHttpRequestTest, EveryAnswerCountsAsSent)
{
    const char *statuses[] = {"200", "404", "500"};
    const char *kinds[] = {"body", "nobody", "chunked", "close", "large"};
    for (const char *status : statuses) {
        for (const char *kind : kinds) {
            const std::string path = std::string(kReportPath) + "/respond/" + status + "/" + kind;
            const RecordedRequest request = Posted(path);
            EXPECT_EQ("POST " + path + " HTTP/1.1", request.requestLine);
            EXPECT_EQ(DerText(), request.body) << path;
        }
    }
}

// A failed exchange answers false with the failing step's error code (a
// refused connection, a name that does not resolve); the code may be NULL.
TEST_F(SendHttpRequestTest, FailuresGiveTheErrorCode)
{
    const int closedPort = ClosedLocalPort();
    ASSERT_NE(0, closedPort);
    const struct {
        const char *host;
        int port;
        DWORD error;
    } cases[] = {{"127.0.0.1", closedPort, kErrorCannotConnect}, {"no-such-host.invalid", 0, kErrorNameNotResolved}};
    for (const auto &c : cases) {
        DWORD code = 0xdeadbeef;
        EXPECT_FALSE(SendHttpRequest(c.host, c.port, kReportPath, false, Der(), DerLength(), &code, kCertificateType,
                                     NULL));
        EXPECT_EQ(c.error, code) << c.host;
        EXPECT_FALSE(SendHttpRequest(c.host, c.port, kReportPath, false, Der(), DerLength(), NULL, kCertificateType,
                                     NULL));
    }
    Sent("/no-code", Der(), DerLength(), kCertificateType, NULL, "127.0.0.1", -1, false);
}

std::string Pattern(size_t length)
{
    std::string text;
    for (size_t i = 0; text.size() < length; i++)
        text += static_cast<char>('a' + i % 26);
    return text;
}

TEST_F(SendHttpRequestTest, LongPathIsCutTo1023Characters)
{
    const std::string path = "/" + Pattern(1499);
    EXPECT_EQ("POST " + path.substr(0, 1023) + " HTTP/1.1", Posted(path).requestLine);
}

// Through a proxy the host name is never resolved: the proxy sees it in the
// request line (Wine adds the default port there) and in the Host header.
TEST_F(SendHttpRequestTest, ThroughTheDefaultProxyTheHostIsCutTo1023Characters)
{
    DefaultProxySetting proxy("127.0.0.1:" + std::to_string(server.port));
    ASSERT_TRUE(proxy.ok);

    for (size_t length : {23u, 1023u, 1500u}) {
        const std::string host = Pattern(length - 8) + ".example";
        const std::string sent = host.substr(0, 1023);
        const RecordedRequest request = Posted(kReportPath, host, 0);
        EXPECT_TRUE(request.requestLine == "POST http://" + sent + kReportPath + " HTTP/1.1" ||
                    request.requestLine == "POST http://" + sent + ":80" + kReportPath + " HTTP/1.1")
            << request.requestLine;
        EXPECT_EQ(sent, request.Header("Host")) << length;
        EXPECT_EQ(DerText(), request.body);
    }
}

TEST_F(SendHttpRequestTest, PortZeroIs80OrWhenSecure443)
{
    if (!server.hasPorts80And443)
        GTEST_SKIP() << "the recording server could not bind 127.0.0.1:80 and :443";

    const RecordedRequest request = Posted(kReportPath, "127.0.0.1", 0);
    EXPECT_EQ("POST /netze/tools/trovance HTTP/1.1", request.requestLine);
    EXPECT_EQ("127.0.0.1", request.Header("Host"));

    // Secure: a TLS handshake on port 443. The listener there closes the
    // connection after the first record, so the exchange fails.
    const size_t before = server.TlsConnections();
    const size_t requestsBefore = server.Requests();
    DWORD code = 0xdeadbeef;
    EXPECT_FALSE(SendHttpRequest("127.0.0.1", 0, kReportPath, true, Der(), DerLength(), &code, kCertificateType,
                                 NULL));
    EXPECT_NE(0u, code);
    EXPECT_NE(0xdeadbeef, code);
    printf("secure exchange with a closing listener on 443: error code %lu\n", code);
    std::string hello;
    ASSERT_TRUE(server.TlsBytes(before + 1, &hello));
    ASSERT_GE(hello.size(), 6u);
    EXPECT_EQ(0x16, hello[0]);  // handshake record
    EXPECT_EQ(0x03, hello[1]);
    EXPECT_EQ(0x01, hello[5]);  // client hello
    EXPECT_EQ(std::string::npos, hello.find("trovance"));  // nothing in the clear
    EXPECT_EQ(requestsBefore, server.Requests());
}

} // namespace
