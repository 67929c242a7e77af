// The HTTP client: real fetches from lighttpd and nginx, directly and
// through dante, and against scripted servers the exact request bytes, every
// status class, and bodies that end too early or never properly.
#include "VexHTTP.h"

#include "ClosedPort.h"
#include "ScriptedPeer.h"
#include "SettingsFixture.h"
#include "TestEnv.h"
#include "TestFiles.h"
#include "VexErrors.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class HttpFetch : public CPublishFixture
{
protected:
    CTempDir m_dir;
};

TEST_F(HttpFetch, LighttpdServesTheFileByteExact)
{
    const std::string content = BinaryContent(900 * 1024 + 3);
    Publish(testenv::WebRoot(), "http-direct.bin", content);
    const std::string local = m_dir.Path("direct.bin");
    CVexHTTP http;
    http.SetReferer("https://www.quorvel.com/vexa3");
    http.SetUserAgent("Vexa3 test");
    ASSERT_TRUE(http.Connect("127.0.0.1", testenv::LighttpdPort()));
    EXPECT_TRUE(http.MoveFile("/http-direct.bin", local.c_str())) << http.GetLastError() << "/" << http.GetLastErrorEx();
    EXPECT_EQ(http.m_lResponseCode, 200);
    EXPECT_TRUE(ReadWholeFile(local) == content);
    EXPECT_TRUE(http.Disconnect());
}

TEST_F(HttpFetch, MissingFileIsNotFound)
{
    CVexHTTP http;
    ASSERT_TRUE(http.Connect("127.0.0.1", testenv::LighttpdPort()));
    EXPECT_FALSE(http.MoveFile("/no-such-file.bin", m_dir.Path("missing.bin").c_str()));
    EXPECT_EQ(http.GetLastError(), VEXERR_HTTP);
    EXPECT_EQ(http.GetLastErrorEx(), VEXDET_NOT_FOUND);
    EXPECT_EQ(http.m_lResponseCode, 404);
    EXPECT_FALSE(Exists(m_dir.Path("missing.bin")));
}

TEST_F(HttpFetch, NameBasedVirtualHostGetsTheRightSite)
{
    Publish(testenv::WebRoot(), "index.html", "the test site\n");
    const std::string local = m_dir.Path("vhost.html");
    CVexHTTP http;
    ASSERT_TRUE(http.Connect("localhost", testenv::NginxPort()));
    EXPECT_TRUE(http.MoveFile("/index.html", local.c_str()));
    EXPECT_EQ(ReadWholeFile(local), "the test site\n");
}

TEST_F(HttpFetch, ThroughDanteWithEverySocksVersion)
{
    const std::string content = BinaryContent(200 * 1024);
    Publish(testenv::WebRoot(), "http-proxied.bin", content);
    const struct { unsigned version; unsigned auth; } routes[] = {{5, 0}, {5, 2}, {1, 0}};
    for (const auto& route : routes)
    {
        const std::string local = m_dir.Path("proxied.bin");
        CVexHTTP http;
        ASSERT_TRUE(http.ConnectSocks("127.0.0.1", testenv::LighttpdPort(), "127.0.0.1", testenv::DantePort(),
                                      route.version, route.auth, testenv::ProxyUser().c_str(),
                                      testenv::ProxyPassword().c_str()))
            << route.version << "/" << route.auth << ": " << http.GetLastError() << "/" << http.GetLastErrorEx();
        EXPECT_TRUE(http.MoveFile("/http-proxied.bin", local.c_str()));
        EXPECT_TRUE(ReadWholeFile(local) == content);
    }
}

TEST_F(HttpFetch, UnreachableServerIsASocketFailure)
{
    CVexHTTP http;
    EXPECT_FALSE(http.Connect("127.0.0.1", ClosedPort()));
    EXPECT_EQ(http.GetLastError(), VEXERR_SOCKET);
    EXPECT_EQ(http.m_lResponseCode, 0);
}

// --- scripted servers ------------------------------------------------------------

struct ScriptedFetch
{
    CScriptedPeer server;
    CVexHTTP http;
    CTempDir dir;
    std::string local = dir.Path("scripted.bin");

    bool Run(const char* pszRemote = "/f")
    {
        const uint16_t port = server.Start();
        if (!http.Connect("127.0.0.1", port))
            return false;
        const bool bResult = http.MoveFile(pszRemote, local.c_str());
        http.Disconnect();
        server.Join();
        return bResult;
    }
};

// Reads the request up to its empty line, then plays the response.
CScriptedPeer& Respond(CScriptedPeer& server, const std::string& response)
{
    return server.ExpectLine().ExpectLine().ExpectLine().ExpectLine().ExpectLine().Send(response);
}

TEST(HttpScripted, RequestBytesAreExact)
{
    ScriptedFetch f;
    Respond(f.server, "HTTP/1.0 200 OK\r\n\r\nbody").Close();
    f.http.SetReferer("https://www.quorvel.com/vexa3");
    f.http.SetUserAgent("Vexa3 3.0 Build 2631");
    const uint16_t port = f.server.Start();
    ASSERT_TRUE(f.http.Connect("127.0.0.1", port));
    ASSERT_TRUE(f.http.MoveFile("/dir/file.txt", f.local.c_str()));
    f.server.Join();
    EXPECT_EQ(f.server.Received(), "GET /dir/file.txt HTTP/1.0\r\n"
                                   "Host: 127.0.0.1:" + std::to_string(port) + "\r\n"
                                   "Referer: https://www.quorvel.com/vexa3\r\n"
                                   "User-Agent: Vexa3 3.0 Build 2631\r\n"
                                   "\r\n");
    EXPECT_EQ(ReadWholeFile(f.local), "body");
}

TEST(HttpScripted, StatusCodesMapToTheirDetails)
{
    const struct { const char* status; long lErrorEx; long code; } cases[] = {
        {"HTTP/1.0 301 Moved", VEXDET_NOT_FOUND, 301},     {"HTTP/1.1 302 Found", VEXDET_NOT_FOUND, 302},
        {"HTTP/1.0 404 Not Found", VEXDET_NOT_FOUND, 404}, {"HTTP/1.0 401 Auth", VEXDET_NOT_AUTHORISED, 401},
        {"HTTP/1.0 403 Forbidden", VEXDET_NOT_AUTHORISED, 403}, {"HTTP/1.1 206 Partial", VEXDET_UNEXPECTED, 206},
        {"HTTP/1.0 500 Oops", VEXDET_UNEXPECTED, 500},
    };
    for (const auto& c : cases)
    {
        ScriptedFetch f;
        Respond(f.server, std::string(c.status) + "\r\n\r\n").Close();
        EXPECT_FALSE(f.Run()) << c.status;
        EXPECT_EQ(f.http.GetLastError(), VEXERR_HTTP) << c.status;
        EXPECT_EQ(f.http.GetLastErrorEx(), c.lErrorEx) << c.status;
        EXPECT_EQ(f.http.m_lResponseCode, c.code) << c.status;
        EXPECT_FALSE(Exists(f.local));
    }
}

TEST(HttpScripted, FirstLineThatIsNoStatusLine)
{
    ScriptedFetch f;
    Respond(f.server, "<html>hello</html>\r\n").Close();
    EXPECT_FALSE(f.Run());
    EXPECT_EQ(f.http.GetLastError(), 0);
    EXPECT_EQ(f.http.GetLastErrorEx(), 0);
}

TEST(HttpScripted, BodyEndsAtTheServersClose)
{
    const struct { const char* response; bool ok; const char* body; } cases[] = {
        // HTTP/1.1 and no length: complete once the server closes.
        {"HTTP/1.1 200 OK\r\nServer: x\r\n\r\nall of it", true, "all of it"},
        // The length matches.
        {"HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\n12345", true, "12345"},
        // Shorter than announced.
        {"HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\n12345", false, "12345"},
        // Only "Content-Length: " exactly is the header; these announce nothing.
        {"HTTP/1.0 200 OK\r\ncontent-length: 10\r\n\r\n12345", true, "12345"},
        {"HTTP/1.0 200 OK\r\nContent-Length:10\r\n\r\n12345", true, "12345"},
        // The last header wins.
        {"HTTP/1.0 200 OK\r\nContent-Length: 99\r\nContent-Length: 3\r\n\r\nabc", true, "abc"},
        // Lines that end in a bare line feed: the empty one ends the headers.
        {"HTTP/1.0 200 OK\nServer: x\n\nbare", true, "bare"},
    };
    for (const auto& c : cases)
    {
        ScriptedFetch f;
        Respond(f.server, c.response).Close();
        EXPECT_EQ(f.Run(), c.ok) << c.response;
        EXPECT_EQ(ReadWholeFile(f.local), c.body) << c.response;
    }
}

TEST(HttpScripted, BodyArrivingInPiecesAfterTheHeaders)
{
    ScriptedFetch f;
    Respond(f.server, "HTTP/1.0 200 OK\r\nContent-Length: 12\r\n\r\nfirst").Send("second").Send("!").Close();
    EXPECT_TRUE(f.Run());
    EXPECT_EQ(ReadWholeFile(f.local), "firstsecond!");
}

TEST(HttpScripted, BodyThatStopsArrivingFailsEvenWithoutALength)
{
    ScriptedFetch f;
    Respond(f.server, "HTTP/1.0 200 OK\r\n\r\npartial").HoldUntilClientCloses();
    const uint16_t port = f.server.Start();
    ASSERT_TRUE(f.http.VEXSOCK::Create(1, false));
    f.http.m_bCreated = true;
    ASSERT_TRUE(f.http.Connect("127.0.0.1", port));
    EXPECT_FALSE(f.http.MoveFile("/f", f.local.c_str()));
    EXPECT_EQ(f.http.GetLastError(), VEXERR_SOCKET);
    EXPECT_EQ(ReadWholeFile(f.local), "partial");
    f.http.Disconnect();
}

TEST(HttpScripted, ResponseCutOffInTheHeadersFails)
{
    ScriptedFetch f;
    Respond(f.server, "HTTP/1.0 200 OK\r\nServer: x\r\n").Close();
    EXPECT_FALSE(f.Run());
    EXPECT_EQ(f.http.GetLastError(), VEXERR_HTTP);
}

TEST(HttpScripted, HeaderLongerThanTheBufferFails)
{
    ScriptedFetch f;
    Respond(f.server, "HTTP/1.0 200 OK\r\nX-Long: " + std::string(3000, 'x') + "\r\n\r\nbody").Close();
    EXPECT_FALSE(f.Run());
    EXPECT_EQ(f.http.GetLastError(), VEXERR_HTTP);
    EXPECT_EQ(f.http.GetLastErrorEx(), VEXDET_UNEXPECTED);
}

TEST(HttpScripted, PathWithALineBreakIsNeverSent)
{
    ScriptedFetch f;
    f.server.HoldUntilClientCloses();
    EXPECT_FALSE(f.Run("/f HTTP/1.0\r\nX-Injected: 1"));
    EXPECT_EQ(f.http.GetLastError(), VEXERR_HTTP);
    EXPECT_EQ(f.server.Received(), "");
}

TEST(HttpScripted, LocalFileThatCannotBeCreated)
{
    ScriptedFetch f;
    f.local = f.dir.Path("no-such-dir\\file.bin");
    Respond(f.server, "HTTP/1.0 200 OK\r\n\r\nbody").Close();
    EXPECT_FALSE(f.Run());
    EXPECT_EQ(f.http.GetLastError(), VEXERR_LOCALFILE);
    EXPECT_EQ(f.http.GetLastErrorEx(), VEXFILE_UNKNOWN);
}

TEST(HttpScripted, SilentServerTimesOut)
{
    ScriptedFetch f;
    f.server.ExpectLine().HoldUntilClientCloses();
    const uint16_t port = f.server.Start();
    ASSERT_TRUE(f.http.VEXSOCK::Create(1, false));
    f.http.m_bCreated = true;
    ASSERT_TRUE(f.http.Connect("127.0.0.1", port));
    EXPECT_FALSE(f.http.MoveFile("/f", f.local.c_str()));
    EXPECT_EQ(f.http.GetLastError(), VEXERR_SOCKET);
    f.http.Disconnect();
}

} // namespace
