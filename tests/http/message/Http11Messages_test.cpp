// The HTTP/1.1 request, status line and response header fields, and the
// Basic credentials.
#include "BasicCredentials.h"
#include "Http11Messages.h"
#include "Url.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(BuildGet11Request, FieldsInOrder)
{
    char buf[512];
    const std::string expected = "GET /a?b HTTP/1.1\r\nHost: example.com:8080\r\nUser-Agent: Vexa3\r\n"
                                 "Authorization: Basic YTpi\r\nConnection: close\r\n"
                                 "Accept-Encoding: identity\r\n\r\n";
    ASSERT_EQ(http::BuildGet11Request(buf, sizeof(buf), "/a?b", "example.com:8080", "Vexa3", "Basic YTpi"),
              expected.size());
    EXPECT_EQ(std::string(buf), expected);

    const std::string proxied = "GET http://h/x HTTP/1.1\r\nHost: h\r\nUser-Agent: \r\nConnection: close\r\n"
                                "Accept-Encoding: identity\r\n\r\n";
    for (const char* pszAuthorization : {static_cast<const char*>(nullptr), ""})
    {
        ASSERT_EQ(http::BuildGet11Request(buf, sizeof(buf), "http://h/x", "h", nullptr, pszAuthorization),
                  proxied.size());
        EXPECT_EQ(std::string(buf), proxied);
    }
    // The legs of a sign-on at a proxy keep their connection.
    const std::string kept = "GET http://h/x HTTP/1.1\r\nHost: h\r\nUser-Agent: \r\nProxy-Authorization: NTLM TlRM\r\n"
                             "Proxy-Connection: keep-alive\r\nAccept-Encoding: identity\r\n\r\n";
    ASSERT_EQ(http::BuildGet11Request(buf, sizeof(buf), "http://h/x", "h", nullptr, nullptr, "NTLM TlRM", true),
              kept.size());
    EXPECT_EQ(std::string(buf), kept);
    ASSERT_GT(http::BuildGet11Request(buf, sizeof(buf), "/x", "h", nullptr, "NTLM TlRM", nullptr, true), 0u);
    EXPECT_EQ(std::string(buf), "GET /x HTTP/1.1\r\nHost: h\r\nUser-Agent: \r\nAuthorization: NTLM TlRM\r\n"
                                "Accept-Encoding: identity\r\n\r\n");
    // It fits with its terminator or not at all.
    EXPECT_EQ(http::BuildGet11Request(buf, proxied.size() + 1, "http://h/x", "h", nullptr, nullptr), proxied.size());
    EXPECT_EQ(http::BuildGet11Request(buf, proxied.size(), "http://h/x", "h", nullptr, nullptr), 0u);
}

TEST(BuildGet11Request, RefusesFieldsThatWouldForgeHeaders)
{
    const struct
    {
        const char* target;
        const char* host;
        const char* agent;
        const char* authorization;
    } cases[] = {
        {"/a b", "h", "ua", nullptr},
        {"/a\tb", "h", "ua", nullptr},
        {"", "h", "ua", nullptr},
        {nullptr, "h", "ua", nullptr},
        {"/", "", "ua", nullptr},
        {"/", "h\r\nX: 1", "ua", nullptr},
        {"/", "h", "ua\nX: 1", nullptr},
        {"/", "h", "ua", "Basic x\rX: 1"},
    };
    for (const auto& c : cases)
    {
        char buf[512];
        EXPECT_EQ(http::BuildGet11Request(buf, sizeof(buf), c.target, c.host, c.agent, c.authorization), 0u)
            << (c.target ? c.target : "(null)") << " " << c.host << " " << c.agent;
    }
}

TEST(HostHeader, PortOnlyWhenNotTheDefault)
{
    EXPECT_EQ(http::HostHeader("example.com", 80, 80), "example.com");
    EXPECT_EQ(http::HostHeader("example.com", 443, 80), "example.com:443");
    EXPECT_EQ(http::HostHeader("127.0.0.9", 8443, 443), "127.0.0.9:8443");
}

TEST(BasicAuthorization, Base64OfUserColonPassword)
{
    EXPECT_EQ(http::BasicAuthorization("Aladdin", "open sesame"), "Basic QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
    EXPECT_EQ(http::BasicAuthorization("test", "123\xc2\xa3"), "Basic dGVzdDoxMjPCow==");
    EXPECT_EQ(http::BasicAuthorization("", ""), "Basic Og==");
    EXPECT_EQ(http::BasicAuthorization("a", ""), "Basic YTo=");
    EXPECT_EQ(http::BasicAuthorization("ab", ""), "Basic YWI6");
    EXPECT_EQ(http::BasicAuthorization(std::string("\xff\x00", 2), "\xfe"), "Basic /wA6/g==");
}

TEST(ParseStatusLine11, CodeAndReason)
{
    const struct
    {
        const char* line;
        bool ok;
        int status;
        const char* reason;
    } cases[] = {
        {"HTTP/1.1 200 OK", true, 200, "OK"},
        {"HTTP/1.0 404 Not Found", true, 404, "Not Found"},
        {"HTTP/1.1 301 ", true, 301, ""},
        {"HTTP/1.1 302", true, 302, ""},
        {"HTTP/1.1 100 Continue", true, 100, "Continue"},
        {"HTTP/1.1 099 Low", false, 0, ""},
        {"HTTP/1.1 600 High", false, 0, ""},
        {"HTTP/1.1 20 OK", false, 0, ""},
        {"HTTP/1.1 2000 OK", false, 0, ""},
        {"HTTP/1.1  200 OK", false, 0, ""},
        {"HTTP/1.1 2x0 OK", false, 0, ""},
        {"HTTP/2 200 OK", false, 0, ""},
        {"http/1.1 200 OK", false, 0, ""},
        {"", false, 0, ""},
    };
    for (const auto& c : cases)
    {
        int status = -1;
        const char* pszReason = nullptr;
        EXPECT_EQ(http::ParseStatusLine11(c.line, &status, &pszReason), c.ok) << c.line;
        if (c.ok)
        {
            EXPECT_EQ(status, c.status) << c.line;
            EXPECT_STREQ(pszReason, c.reason) << c.line;
        }
        else
        {
            EXPECT_EQ(status, -1) << c.line;
        }
    }
}

struct HeadersCase
{
    std::vector<std::string> lines;
    bool hasLength;
    uint64_t length;
    bool conflicting;
    bool chunked;
    bool unsupported;
    std::string location;
    bool locationRefused;
};

TEST(ResponseHeaders, FramingAndLocation)
{
    const std::string longLocation(url::kMaxUrlLength + 1, 'a');
    const HeadersCase cases[] = {
        {{"Content-Type: text/html", "Content-Length: 1234"}, true, 1234, false, false, false, "", false},
        {{"content-LENGTH:\t 0042 \t"}, true, 42, false, false, false, "", false},
        {{"Content-Length: 7, 7", "Content-Length: 7"}, true, 7, false, false, false, "", false},
        {{"Content-Length: 9223372036854775807"}, true, 9223372036854775807ull, false, false, false, "", false},
        {{"Content-Length: 9223372036854775808"}, false, 0, true, false, false, "", false},
        {{"Content-Length: 7", "Content-Length: 8"}, false, 0, true, false, false, "", false},
        {{"Content-Length: 7, 8"}, false, 0, true, false, false, "", false},
        {{"Content-Length: 7,"}, false, 0, true, false, false, "", false},
        {{"Content-Length: -1"}, false, 0, true, false, false, "", false},
        {{"Content-Length:"}, false, 0, true, false, false, "", false},
        {{"Transfer-Encoding: chunked"}, false, 0, false, true, false, "", false},
        {{"transfer-encoding:  CHUNKED  "}, false, 0, false, true, false, "", false},
        {{"Transfer-Encoding: chunked", "Content-Length: 5"}, true, 5, false, true, false, "", false},
        {{"Transfer-Encoding: gzip, chunked"}, false, 0, false, true, true, "", false},
        {{"Transfer-Encoding: gzip", "Transfer-Encoding: chunked"}, false, 0, false, true, true, "", false},
        {{"Transfer-Encoding: chunked, gzip"}, false, 0, false, false, true, "", false},
        {{"Transfer-Encoding: chunked, chunked"}, false, 0, false, true, true, "", false},
        {{"Transfer-Encoding: , chunked ,"}, false, 0, false, true, false, "", false},
        {{"Transfer-Encoding: "}, false, 0, false, false, true, "", false},
        {{"Transfer-Encoding: chunked;q=1"}, false, 0, false, false, true, "", false},
        {{"Location:  /next?x=1 "}, false, 0, false, false, false, "/next?x=1", false},
        {{"Location: /a", "LOCATION: /a"}, false, 0, false, false, false, "/a", false},
        {{"Location: /a", "Location: /b"}, false, 0, false, false, false, "", true},
        {{"Location: " + longLocation}, false, 0, false, false, false, "", true},
    };
    for (const HeadersCase& c : cases)
    {
        http::CResponseHeaders headers;
        std::string all;
        for (const std::string& line : c.lines)
        {
            EXPECT_TRUE(headers.AddLine(line.c_str())) << line;
            all += line + " | ";
        }
        EXPECT_EQ(headers.HasContentLength(), c.hasLength) << all;
        EXPECT_EQ(headers.ContentLength(), c.length) << all;
        EXPECT_EQ(headers.Conflicting(), c.conflicting) << all;
        EXPECT_EQ(headers.IsChunked(), c.chunked) << all;
        EXPECT_EQ(headers.UnsupportedEncoding(), c.unsupported) << all;
        EXPECT_EQ(headers.Location(), c.location) << all;
        EXPECT_EQ(headers.LocationRefused(), c.locationRefused) << all;
    }
}

TEST(ResponseHeaders, MalformedLines)
{
    const std::string tooLong = "X: " + std::string(http::CResponseHeaders::kMaxLineLength, 'a');
    const std::string longest = "X: " + std::string(http::CResponseHeaders::kMaxLineLength - 3, 'a');
    const struct
    {
        std::string line;
        bool ok;
    } cases[] = {
        {"Server: x", true},
        {"X-Empty:", true},
        {"X-Tab: a\tb", true},
        {"X-8bit: \xc3\xbc", true},
        {longest, true},
        {"No colon", false},
        {": no name", false},
        {"Content-Length : 5", false},
        {"Bad Name: x", false},
        {"Na(me: x", false},
        {" folded continuation", false},
        {"\tfolded continuation", false},
        {"X: a\rb", false},
        {"X: a\x7f", false},
        {tooLong, false},
    };
    for (const auto& c : cases)
    {
        http::CResponseHeaders headers;
        EXPECT_EQ(headers.AddLine(c.line.c_str()), c.ok) << c.line.substr(0, 40);
    }

    // A malformed Content-Length line frames nothing.
    http::CResponseHeaders headers;
    EXPECT_FALSE(headers.AddLine("Content-Length : 5"));
    EXPECT_FALSE(headers.HasContentLength());

    http::CResponseHeaders many;
    for (size_t i = 0; i < http::CResponseHeaders::kMaxLines; ++i)
        EXPECT_TRUE(many.AddLine("X-Filler: 1")) << i;
    EXPECT_FALSE(many.AddLine("Content-Length: 5"));
    EXPECT_FALSE(many.HasContentLength());
}

} // namespace
