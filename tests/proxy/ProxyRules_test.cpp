// The proxy settings' texts as the registry, the system and configuration
// scripts write them, and the requests to an HTTP proxy. (Where a proxy's
// answer head ends is checked against a model by the Proxy fuzzer.)
#include "Base64.h"
#include "ProxyRules.h"
#include "TunnelMessages.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ProxyRules, ProxyAddressesAreReadOrRefused)
{
    const struct
    {
        const char* text;
        bool ok;
        const char* host;
        uint16_t port;
    } cases[] = {
        {"127.0.0.1:3128", true, "127.0.0.1", 3128},
        {"Proxy.Example:8080", true, "proxy.example", 8080},
        {"http://proxy.example:80/", true, "proxy.example", 80},
        {"proxy.example", true, "proxy.example", 80},
        {"[::1]:3128", true, "::1", 3128},
        {"http://[2001:DB8::1]/", true, "2001:db8::1", 80},
        {"[::1]3128", false, "", 0},
        {"[proxy]:1", false, "", 0},
        {"proxy:0", false, "", 0},
        {"proxy:65536", false, "", 0},
        {"proxy:", false, "", 0},
        {"proxy:8o", false, "", 0},
        {":8080", false, "", 0},
        {"a b:1", false, "", 0},
        {"user@proxy:1", false, "", 0},
        {"-proxy:1", false, "", 0},
        {"", false, "", 0},
    };
    for (const auto& c : cases)
    {
        proxy::ProxyAddress address;
        EXPECT_EQ(proxy::ParseProxyAddress(c.text, &address), c.ok) << c.text;
        EXPECT_EQ(address.host, c.host) << c.text;
        EXPECT_EQ(address.port, c.port) << c.text;
    }
    EXPECT_FALSE(proxy::ParseProxyAddress(std::string(proxy::kMaxListLength + 1, 'a'), nullptr));
}

TEST(ProxyRules, ASchemesOwnEntryWinsOverAPlainOne)
{
    const struct
    {
        const char* list;
        const char* scheme;
        const char* proxy;
    } cases[] = {
        {"p:1", "https", "p:1"},
        {"http=h:1;https=s:2", "https", "s:2"},
        {"p:1 https=s:2", "https", "s:2"},
        {"HTTP=h:1; p:9", "http", "h:1"},
        {"http=h:1", "ftp", ""},
        {"socks=s:1080", "http", ""},
        {"a:1;b:2", "http", "a:1"},
        {";; ", "http", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(proxy::ProxyForScheme(c.list, c.scheme), c.proxy) << c.list << " " << c.scheme;
}

TEST(ProxyRules, AScriptsFirstUsableEntryCounts)
{
    using proxy::ScriptRoute;
    const struct
    {
        const char* answer;
        ScriptRoute route;
        const char* host;
        uint16_t port;
    } cases[] = {
        {"PROXY 127.0.0.1:8888", ScriptRoute::kHttp, "127.0.0.1", 8888},
        {"PROXY a:1; DIRECT", ScriptRoute::kHttp, "a", 1},
        {"DIRECT; PROXY a:1", ScriptRoute::kDirect, "", 0},
        {"127.0.0.1:8888;b:2", ScriptRoute::kHttp, "127.0.0.1", 8888},
        {"http a", ScriptRoute::kHttp, "a", 80},
        {"SOCKS s:1081", ScriptRoute::kSocks4, "s", 1081},
        {"socks4 S", ScriptRoute::kSocks4, "s", 1080},
        {"SOCKS5 s:1080; PROXY a:1", ScriptRoute::kSocks5, "s", 1080},
        {"HTTPS h:443; QUIC q:443; SOCKS5 s:1", ScriptRoute::kSocks5, "s", 1},
        {"PROXY bad:99999;  ; DIRECT", ScriptRoute::kDirect, "", 0},
        {"HTTPS h:443", ScriptRoute::kUnusable, "", 0},
        {"QUIC q:443;HTTPS h:443", ScriptRoute::kUnusable, "", 0},
        {"PROXY", ScriptRoute::kUnusable, "", 0},
        {"PROXY a:1 b:2", ScriptRoute::kUnusable, "", 0},
        {"", ScriptRoute::kDirect, "", 0},
    };
    for (const auto& c : cases)
    {
        const proxy::ScriptProxy choice = proxy::ChooseScriptProxy(c.answer);
        EXPECT_EQ(choice.route, c.route) << c.answer;
        EXPECT_EQ(choice.address.host, c.host) << c.answer;
        EXPECT_EQ(choice.address.port, c.port) << c.answer;
    }
    EXPECT_EQ(proxy::ChooseScriptProxy("PROXY a:1;" + std::string(proxy::kMaxListLength, ' ')).route,
              ScriptRoute::kUnusable);
}

TEST(ProxyRules, CredentialsGoOnlyToAListedProxy)
{
    const proxy::ProxyAddress proxy = {"proxy.example", 8080};
    const struct
    {
        const char* list;
        bool listed;
    } cases[] = {
        {"Proxy.Example:8080", true},
        {"a:1; proxy.example:8080", true},
        {"proxy.example", false},
        {"*.example:8080", false},
        {"proxy.example.evil:8080", false},
        {"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(proxy::ProxyListed(c.list, proxy), c.listed) << c.list;
}

TEST(ProxyRules, BypassEntriesMatchHostsAndPorts)
{
    const struct
    {
        const char* list;
        const char* host;
        uint16_t port;
        bool bypass;
    } cases[] = {
        {"<local>", "intranet", 80, true},
        {"<local>", "intranet.example", 80, false},
        {"*.example", "www.EXAMPLE", 80, true},
        {"*.example", "example", 80, false},
        {"127.0.*", "127.0.1.2", 80, true},
        {"a.example;b.example", "b.example", 80, true},
        {"a.example, b.example", "b.example", 80, true},
        {"http://a.example/", "a.example", 80, true},
        {"a.example:8080", "a.example", 8080, true},
        {"a.example:8080", "a.example", 80, false},
        {"*", "anything", 1, true},
        {"a*b*c", "axxbyyc", 1, true},
        {"a*b*c", "axxbyy", 1, false},
        {"", "a", 1, false},
        {"<local>", "::1", 80, false},
        {"[::1]", "::1", 80, true},
        {"[::1]:8080", "::1", 80, false},
        {"::1", "::1", 80, true},
        {"2001:db8:*", "2001:db8::5", 80, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(proxy::BypassMatches(c.list, c.host, c.port), c.bypass) << c.list << " " << c.host;
    // Backtracking stays bounded on a pattern made to provoke it.
    EXPECT_FALSE(proxy::WildcardMatch(std::string(60, '*') + "b", std::string(4000, 'a')));
}

TEST(TunnelMessages, ConnectRequestsNameTheServerAndNothingElse)
{
    EXPECT_EQ(proxy::BuildConnectRequest("example.com", 443, ""),
              "CONNECT example.com:443 HTTP/1.1\r\nHost: example.com:443\r\n\r\n");
    EXPECT_EQ(proxy::BuildConnectRequest("127.0.0.2", 21, "Basic dTpw"),
              "CONNECT 127.0.0.2:21 HTTP/1.1\r\nHost: 127.0.0.2:21\r\nProxy-Authorization: Basic dTpw\r\n\r\n");
    EXPECT_EQ(proxy::BuildConnectRequest("::1", 443, ""), "CONNECT [::1]:443 HTTP/1.1\r\nHost: [::1]:443\r\n\r\n");
    for (const char* host : {"", "a b", "a\r\nX: y", "a/b", "a:1", "[::1]"})
        EXPECT_EQ(proxy::BuildConnectRequest(host, 1, ""), "") << host;
    EXPECT_EQ(proxy::BuildConnectRequest("a", 1, "x\r\nX: y"), "");

    EXPECT_EQ(proxy::AbsoluteHttpTarget("h", 80, "/f?q"), "http://h/f?q");
    EXPECT_EQ(proxy::AbsoluteHttpTarget("h", 8080, "f"), "http://h:8080/f");
    EXPECT_EQ(proxy::AbsoluteHttpTarget("::1", 80, "/f"), "http://[::1]/f");
}

TEST(TunnelMessages, TheStrongestSchemeOfferedIsChosenAndBasicOnlyWithCredentials)
{
    using proxy::AuthScheme;
    const struct
    {
        const char* line;
        AuthScheme withCredentials, withLogon; // Choose(true), Choose(false)
        const char* negotiateToken;
        const char* ntlmToken;
    } cases[] = {
        {"Proxy-Authenticate: Basic realm=\"proxy\"\r", AuthScheme::kBasic, AuthScheme::kNone, "", ""},
        {"proxy-authenticate: NTLM", AuthScheme::kNtlm, AuthScheme::kNtlm, "", ""},
        {"Proxy-Authenticate: Basic realm=x, NTLM, Negotiate\r\n", AuthScheme::kNegotiate, AuthScheme::kNegotiate, "",
         ""},
        {"Proxy-Authenticate: Digest realm=\"a, Basic\", nonce=\"x\", Basic realm=\"b\"", AuthScheme::kBasic,
         AuthScheme::kNone, "", ""},
        {"Proxy-Authenticate: Negotiate YIIC+w/a==", AuthScheme::kNegotiate, AuthScheme::kNegotiate, "YIIC+w/a==", ""},
        {"Proxy-Authenticate: NTLM TlRMTVNTUAACAAAA\r\n", AuthScheme::kNtlm, AuthScheme::kNtlm, "", "TlRMTVNTUAACAAAA"},
        // No token68: "=" inside, a blank inside, a parameter instead.
        {"Proxy-Authenticate: NTLM a=b", AuthScheme::kNtlm, AuthScheme::kNtlm, "", ""},
        {"Proxy-Authenticate: Negotiate ab cd", AuthScheme::kNegotiate, AuthScheme::kNegotiate, "", ""},
        {"Proxy-Authenticate: Digest nonce=\"n\"", AuthScheme::kNone, AuthScheme::kNone, "", ""},
        {"WWW-Authenticate: NTLM", AuthScheme::kNone, AuthScheme::kNone, "", ""},
        {"Proxy-Authenticate:", AuthScheme::kNone, AuthScheme::kNone, "", ""},
    };
    for (const auto& c : cases)
    {
        proxy::CProxyChallenges challenges;
        challenges.AddLine(c.line);
        EXPECT_EQ(challenges.Choose(true), c.withCredentials) << c.line;
        EXPECT_EQ(challenges.Choose(false), c.withLogon) << c.line;
        EXPECT_EQ(challenges.Token(AuthScheme::kNegotiate), c.negotiateToken) << c.line;
        EXPECT_EQ(challenges.Token(AuthScheme::kNtlm), c.ntlmToken) << c.line;
    }
    proxy::CProxyChallenges server("www-authenticate");
    server.AddLine("WWW-Authenticate: Negotiate");
    EXPECT_EQ(server.Choose(false), AuthScheme::kNegotiate);
}

TEST(TunnelMessages, AnAnswerKeepsItsConnectionUnlessItSaysOrIsHttp10)
{
    const struct
    {
        const char* head;
        bool bCloses;
    } cases[] = {
        {"HTTP/1.1 407 Proxy Authentication Required\r\nContent-Length: 0\r\n\r\n", false},
        {"HTTP/1.1 407 x\r\nProxy-Connection: Close\r\n\r\n", true},
        {"HTTP/1.1 407 x\nConnection: keep-alive, close\n\n", true},
        {"HTTP/1.0 407 x\r\n\r\n", true},
        {"HTTP/1.0 407 x\r\nProxy-Connection: keep-alive\r\n\r\n", false},
        {"HTTP/1.1 407 x\r\nX-Note: close\r\n\r\n", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(proxy::AnswerClosesConnection(c.head), c.bCloses) << c.head;
}

TEST(TunnelMessages, Base64TokensDecodeOnlyWhole)
{
    const struct
    {
        const char* text;
        bool bValid;
        const char* bytes;
    } cases[] = {
        {"", true, ""},         {"TlRMTQ==", true, "NTLM"}, {"dTpw", true, "u:p"}, {"YWI=", true, "ab"},
        {"YWI", false, ""},     {"YWJ=", false, ""},        {"YR==", false, ""},    {"Y=I=", false, ""},
        {"YW==YWJj", false, ""}, {"YW\r\n", false, ""},     {"Y-I=", false, ""},
    };
    for (const auto& c : cases)
    {
        std::string bytes;
        EXPECT_EQ(base64::Decode(c.text, &bytes), c.bValid) << c.text;
        if (c.bValid)
        {
            EXPECT_EQ(bytes, c.bytes) << c.text;
            EXPECT_EQ(base64::Encode(bytes), c.text);
        }
    }
}

} // namespace
