// Fetches by URL through the engine against the real peers: HTTPS through
// Schannel with every kind of certificate, redirects, HTTP/1.1 framing, FTP
// in image and ASCII type, anonymous FTP, percent-encoded paths, and the
// same session rules as every fetch (proxy, temporary file, no file left
// behind after a failure).
#include "VexEngine.h"

#include "ComTest.h"
#include "ScriptedPeer.h"
#include "SettingsFixture.h"
#include "TestEnv.h"
#include "TestFiles.h"
#include "TestTls.h"
#include "Url.h"
#include "VexErrors.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string On(const char* pszScheme, const char* pszPortVariable, const std::string& rest)
{
    return std::string(pszScheme) + "://127.0.0.1:" + std::to_string(testenv::Port(pszPortVariable)) + rest;
}

class FetchURL : public CSettingsFixture
{
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(TrustTestRoot()); }
    // Fetches text as a URL; on success returns the kept file's content.
    bool Fetch(const std::string& text, std::string* pContent = nullptr)
    {
        SCOPED_TRACE(text);
        url::Url target;
        EXPECT_EQ(url::ParseUrl(text.c_str(), &target), url::UrlError::kNone);
        const bool bCompleted = m_engine.FetchURL(target);
        if (bCompleted)
        {
            if (pContent)
                *pContent = ReadWholeFile(m_engine.LastFetchedFile());
            DeleteFileW(m_engine.LastFetchedFile().c_str());
        }
        else
        {
            EXPECT_TRUE(m_engine.LastFetchedFile().empty());
        }
        EXPECT_EQ(VexTempFiles(), m_before) << "a fetch left a file behind";
        return bCompleted;
    }
    // The pair of the session that ran the last fetch.
    std::pair<long, long> LastPair() const { return {m_engine.LastFetchError(), m_engine.LastFetchErrorDetail()}; }

    CVexEngine m_engine;
};

TEST_F(FetchURL, HttpsArrivesByteExactDirectlyAndThroughSocks)
{
    const std::string body = BinaryContent(3 * 1024 * 1024 + 17);
    Publish(testenv::WebRoot(), "tls-body.bin", body);
    std::string content;
    for (const char* pszHost : {"localhost", "127.0.0.1"})
    {
        const std::string text =
            std::string("https://") + pszHost + ":" + std::to_string(testenv::Port("VEXA_TLS_PORT")) + "/tls-body.bin";
        ASSERT_TRUE(Fetch(text, &content)) << text;
        EXPECT_TRUE(content == body) << text;
    }
    UseDante(5, false);
    ASSERT_TRUE(Fetch(On("https", "VEXA_TLS_PORT", "/tls-body.bin"), &content));
    EXPECT_TRUE(content == body);
}

TEST_F(FetchURL, AnIntranetServerGetsTheLogonOnlyWhereIntegratedAuthServersNamesIt)
{
    // apache2 wants Negotiate as HTTP/localhost; the tests hold a Kerberos
    // ticket for KerberosUser(), the logged-on user.
    Publish(testenv::WebRoot(), "intranet.txt", "for the domain's users\n");
    const std::string port = std::to_string(testenv::Port("VEXA_APACHE_NEGOTIATE_PORT"));
    const std::string user = "vexuser%40" + testenv::KerberosUser().substr(testenv::KerberosUser().find('@') + 1);
    const std::string local = "http://localhost:" + port + "/intranet.txt";
    const std::string account = "http://" + user + ":" + testenv::KerberosPassword() + "@localhost:" + port + "/intranet.txt";
    const struct
    {
        const char* listed;
        std::string url;
        bool bArrives; // otherwise the server's 401 stands
    } cases[] = {
        {"", local, false},
        {"*.corp.example;localhost:1", local, false},
        {"localhost", local, true},
        {"<local>", local, true},
        // Kerberos knows no HTTP/127.0.0.1: the address's name is asked for.
        {"127.0.0.1", "http://127.0.0.1:" + port + "/intranet.txt", true},
        // Over plain http the URL's credentials go only to a listed host.
        {"", account, false},
        {"localhost", account, true},
        {"localhost", "http://" + user + ":wrong@localhost:" + port + "/intranet.txt", false},
    };
    const std::string log = TempPath("intranet-trace.log");
    DeleteFileA(log.c_str());
    SetText("TraceLog", log);
    for (const auto& c : cases)
    {
        SCOPED_TRACE(std::string("IntegratedAuthServers \"") + c.listed + "\" " + c.url);
        SetText("IntegratedAuthServers", c.listed);
        std::string content;
        EXPECT_EQ(Fetch(c.url, &content), c.bArrives) << m_engine.LastFetchErrorText();
        EXPECT_EQ(LastPair(), c.bArrives ? std::make_pair(0L, 0L) : std::make_pair(VEXERR_HTTP, VEXDET_NOT_AUTHORISED));
        EXPECT_EQ(content, c.bArrives ? "for the domain's users\n" : "");
    }
    SetText("TraceLog", "");
    const std::string trace = ReadWholeFile(log);
    DeleteFileA(log.c_str());
    // The server's proof of itself in its 200 completes the context.
    EXPECT_NE(trace.find("bytes, InitializeSecurityContext returned SEC_E_OK"), std::string::npos) << trace;
    EXPECT_EQ(trace.find("Negotiate YII"), std::string::npos) << "a token in the trace";
    EXPECT_EQ(trace.find(testenv::KerberosPassword()), std::string::npos) << "a password in the trace";
}

TEST_F(FetchURL, EveryBadCertificateFailsWithItsOwnDetail)
{
    Publish(testenv::WebRoot(), "tls-small.txt", "small");
    const struct
    {
        const char* portVariable;
        long lErrorEx;
    } cases[] = {
        {"VEXA_TLS_EXPIRED_PORT", VEXDET_TLS_EXPIRED},
        {"VEXA_TLS_WRONG_NAME_PORT", VEXDET_TLS_NAME_MISMATCH},
        {"VEXA_TLS_SELF_SIGNED_PORT", VEXDET_TLS_UNTRUSTED},
        {"VEXA_TLS_CLIENT_ONLY_PORT", VEXDET_TLS_WRONG_USAGE},
        {"VEXA_TLS_OLD_PROTOCOL_PORT", VEXDET_TLS_HANDSHAKE_REFUSED},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.portVariable);
        EXPECT_FALSE(Fetch(On("https", c.portVariable, "/tls-small.txt")));
        EXPECT_EQ(LastPair(), std::make_pair(VEXERR_TLS, c.lErrorEx));
    }
}

TEST_F(FetchURL, HttpsBodiesEndAtCloseNotifyAndRevocationMayBeUnknown)
{
    Publish(testenv::WebRoot(), "tls-small.txt", "small");
    // What tests/peers/tlspeer.py sends as a body framed by the close.
    std::string closeFramed;
    for (int i = 0; i < 2000; ++i)
    {
        char line[64];
        snprintf(line, sizeof(line), "line %05d of a body framed by the close\n", i);
        closeFramed += line;
    }
    const uint16_t peerBase = testenv::Port("VEXA_TLS_PEER_PORT_BASE");
    const struct
    {
        std::string url;
        std::string content; // empty: the fetch fails
        std::pair<long, long> pair;
    } cases[] = {
        {On("https", "VEXA_TLS_LEAF_NO_CRL_PORT", "/tls-small.txt"), "small", {0, 0}},
        {On("https", "VEXA_TLS_LEAF_OCSP_PORT", "/tls-small.txt"), "small", {0, 0}},
        {On("https", "VEXA_TLS_INTERMEDIATE_NO_CRL_PORT", "/tls-small.txt"), "small", {0, 0}},
        {On("https", "VEXA_TLS_NO_CRL_PORT", "/tls-small.txt"), "small", {0, 0}},
        // The TCP connection closed without close_notify: cut, not complete.
        {"https://localhost:" + std::to_string(peerBase) + "/", "", {VEXERR_HTTP, VEXDET_HTTP_BODY_CUT}},
        {"https://localhost:" + std::to_string(peerBase + 1) + "/", closeFramed, {0, 0}},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.url);
        std::string content;
        EXPECT_EQ(Fetch(c.url, &content), !c.content.empty());
        EXPECT_TRUE(content == c.content) << content.size();
        EXPECT_EQ(LastPair(), c.pair);
    }
}

TEST_F(FetchURL, RedirectsAreFollowedWithinTheirLimits)
{
    Publish(testenv::WebRoot(), "redirect-target.txt", "the target");
    const struct
    {
        std::string url;
        bool ok;
        std::pair<long, long> pair;
    } cases[] = {
        // 301, 302 (absolute), 307 (path only), 308, then the file.
        {On("http", "VEXA_REDIRECT_PORT", "/r301"), true, {0, 0}},
        // From plain HTTP up to HTTPS.
        {On("http", "VEXA_REDIRECT_PORT", "/to-https"), true, {0, 0}},
        {On("http", "VEXA_REDIRECT_PORT", "/loop"), false, {VEXERR_HTTP, VEXDET_HTTP_TOO_MANY_REDIRECTS}},
        {On("https", "VEXA_TLS_PORT", "/to-http"), false, {VEXERR_HTTP, VEXDET_HTTP_REDIRECT_REFUSED}},
        {On("http", "VEXA_REDIRECT_PORT", "/to-ftp"), false, {VEXERR_HTTP, VEXDET_HTTP_REDIRECT_REFUSED}},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.url);
        std::string content;
        EXPECT_EQ(Fetch(c.url, &content), c.ok);
        EXPECT_EQ(LastPair(), c.pair);
        EXPECT_EQ(content, c.ok ? "the target" : "");
    }
}

TEST_F(FetchURL, ScriptedResponsesAreFramedAsHttp11Says)
{
    const struct
    {
        std::vector<std::string> segments;
        bool ok;
        const char* body;
        std::pair<long, long> pair;
    } cases[] = {
        // Chunk sizes and their line ends split across segments, an extension, a trailer.
        {{"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5", "\r\nhel", "lo\r\n6;ext=1\r\n wor", "ld\r\n0\r\nX: y\r\n\r\n"},
         true, "hello world", {0, 0}},
        // An interim answer first; the length ends the body, not the close.
        {{"HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nabcdef"}, true, "abc", {0, 0}},
        {{"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhel"}, false, "",
         {VEXERR_HTTP, VEXDET_HTTP_BODY_CUT}},
        {{"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n"}, false, "", {VEXERR_HTTP, VEXDET_HTTP_FRAMING}},
        {{"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nshort"}, false, "", {VEXERR_HTTP, VEXDET_HTTP_BODY_CUT}},
        {{"HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Length: 3\r\n\r\nabc"}, false, "",
         {VEXERR_HTTP, VEXDET_HTTP_FRAMING}},
        {{"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n"}, false, "", {VEXERR_HTTP, VEXDET_NOT_FOUND}},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.segments.front());
        CScriptedPeer server;
        server.ExpectLine().ExpectLine().ExpectLine().ExpectLine().ExpectLine().ExpectLine();
        for (const std::string& segment : c.segments)
            server.Send(segment);
        server.Close();
        const uint16_t port = server.Start();
        std::string content;
        EXPECT_EQ(Fetch("http://127.0.0.1:" + std::to_string(port) + "/f", &content), c.ok);
        server.Join();
        EXPECT_EQ(LastPair(), c.pair);
        EXPECT_EQ(content, c.body);
        EXPECT_EQ(server.Received(), "GET /f HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                                         "\r\nUser-Agent: Vexa3 3.0 Build 2631\r\nConnection: close\r\nAccept-Encoding: identity\r\n\r\n");
    }
}

TEST_F(FetchURL, FtpMovesImageUnlessAsciiIsAskedAndLogsInAnonymously)
{
    const std::string lines = "one\r\ntwo\nthree\r\n";
    Publish(testenv::FtpRoot(), "url-file.txt", lines);
    Publish(testenv::WindowsPathOf(testenv::Text("VEXA_FTP_ANON_ROOT")), "public.bin", lines);
    const std::string account = "ftp://" + testenv::FtpUser() + ":" + testenv::FtpPassword() + "@127.0.0.1:" +
                                std::to_string(testenv::FtpPort());
    std::string content;
    ASSERT_TRUE(Fetch(account + "/url-file.txt", &content));
    EXPECT_EQ(content, lines);
    ASSERT_TRUE(Fetch(account + "/url-file.txt;type=a", &content));
    EXPECT_EQ(content, "one\r\ntwo\r\nthree\r\n");
    SetDword("UsePASV", 1);
    ASSERT_TRUE(Fetch(On("ftp", "VEXA_FTP_PORT", "/public.bin"), &content)) << LastPair().first << "/" << LastPair().second;
    EXPECT_EQ(content, lines);
}

TEST_F(FetchURL, PathsArePercentEncodedOnTheWire)
{
    Publish(testenv::WebRoot(), "with space.txt", "encoded");
    std::string content;
    ASSERT_TRUE(Fetch(On("http", "VEXA_LIGHTTPD_PORT", "/with space.txt"), &content));
    EXPECT_EQ(content, "encoded");

    CScriptedPeer server;
    server.ExpectLine().Send("HTTP/1.1 404 Not Found\r\n\r\n").Close();
    const uint16_t port = server.Start();
    EXPECT_FALSE(Fetch("http://127.0.0.1:" + std::to_string(port) + "/a b/\xC3\xBC?q=\"x\"#frag"));
    server.Join();
    EXPECT_EQ(server.Received(), "GET /a%20b/%C3%BC?q=%22x%22 HTTP/1.1\r\n");
}

} // namespace
