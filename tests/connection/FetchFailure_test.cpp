// Why a fetch failed, as the host learns it: one failure of each family
// against the real peers, each with its pair and a sentence that names the
// peer and the cause; and the trace log the settings can switch on.
#include "VexEngine.h"

#include "ClosedPort.h"
#include "SettingsFixture.h"
#include "SilentListener.h"
#include "TestEnv.h"
#include "TestFiles.h"
#include "TestTls.h"
#include "Url.h"
#include "VexErrors.h"
#include "VexSock.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace {

bool FetchUrl(CVexEngine& engine, const std::string& text)
{
    url::Url target;
    EXPECT_EQ(url::ParseUrl(text.c_str(), &target), url::UrlError::kNone) << text;
    return engine.FetchURL(target);
}

std::string Http(uint16_t port, const char* pszPath)
{
    return "http://127.0.0.1:" + std::to_string(port) + pszPath;
}

class FetchFailure : public CSettingsFixture
{
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(TrustTestRoot()); }
};

TEST_F(FetchFailure, EachFamilyNamesItsPeerAndCause)
{
    CSilentListener silent;
    const uint16_t closedPort = ClosedPort();
    auto withPassword = [&](const std::string& password, const char* pszPath) {
        return "ftp://" + testenv::FtpUser() + ":" + password + "@127.0.0.1:" + std::to_string(testenv::FtpPort()) +
               pszPath;
    };
    const struct
    {
        const char* what;
        std::function<void()> configure;
        std::string url;
        long lError;
        long lErrorEx;
        std::vector<std::string> words; // the text holds each of them
    } cases[] = {
        {"wrong FTP password", nullptr, withPassword("wrong-password", "/x.txt"), VEXERR_FTP, VEXDET_PASS_REFUSED,
         {"FTP server at 127.0.0.1:" + std::to_string(testenv::FtpPort()), "refused the password", "(530 "}},
        {"missing FTP file", nullptr, withPassword(testenv::FtpPassword(), "/missing.txt"), VEXERR_FTP,
         VEXDET_NOT_FOUND, {"has no such file", "(550 "}},
        {"HTTP 404", nullptr, Http(testenv::LighttpdPort(), "/missing.txt"), VEXERR_HTTP, VEXDET_NOT_FOUND,
         {"HTTP server at 127.0.0.1:" + std::to_string(testenv::LighttpdPort()), "answered 404 Not Found"}},
        {"refused port", nullptr, Http(closedPort, "/x"), VEXERR_SOCKET, 10061,
         {"No connection to 127.0.0.1:" + std::to_string(closedPort), "refused"}},
        {"silent server", nullptr, Http(silent.Port(), "/x"), VEXERR_SOCKET, VEXWSA_TIMEDOUT,
         {"127.0.0.1:" + std::to_string(silent.Port()), "no answer within 4 s"}},
        {"SOCKS refusal by rule", [] { UseDante(); }, "http://127.0.0.66:80/x", VEXERR_SOCKS,
         VEXDET_SOCKS_NOT_ALLOWED,
         {"SOCKS 5 proxy at 127.0.0.1:" + std::to_string(testenv::DantePort()), "does not allow", "127.0.0.66:80"}},
        {"SOCKS password", [] { UseDante(5, true, "wrong-proxy-password"); }, Http(testenv::LighttpdPort(), "/x"),
         VEXERR_SOCKS, VEXDET_SOCKS_AUTH, {"refused the user name or password"}},
        {"dial-up", [] {
             SetDword("ConnectDUN", 1);
             SetText("DUN_Profile", "Office");
         },
         Http(testenv::LighttpdPort(), "/x"), VEXCTL_DIAL_FAILED, 0, {"dial-up connection \"Office\""}},
        {"probe", [=] { SetText("ProbeTarget", "127.0.0.1:" + std::to_string(closedPort)); },
         Http(testenv::LighttpdPort(), "/x"), VEXERR_PROBE, 10061,
         {"probe could not reach the probe target 127.0.0.1:" + std::to_string(closedPort), "refused"}},
        {"expired certificate", nullptr,
         "https://localhost:" + std::to_string(testenv::Port("VEXA_TLS_EXPIRED_PORT")) + "/x", VEXERR_TLS,
         VEXDET_TLS_EXPIRED, {"certificate of localhost", "expired"}},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        SetUp();
        if (c.configure)
            c.configure();
        CVexEngine engine;
        EXPECT_FALSE(FetchUrl(engine, c.url));
        EXPECT_EQ(engine.LastFetchError(), c.lError);
        EXPECT_EQ(engine.LastFetchErrorDetail(), c.lErrorEx);
        const std::string text = engine.LastFetchErrorText();
        for (const std::string& word : c.words)
            EXPECT_NE(text.find(word), std::string::npos) << "\"" << word << "\" not in: " << text;
        EXPECT_EQ(text.find("wrong-"), std::string::npos) << "a password in: " << text;
    }
}

TEST_F(FetchFailure, ARefusedConnectionSaysSoThroughEveryFetch)
{
    const uint16_t closedPort = ClosedPort();
    const struct
    {
        const char* what;
        std::function<bool(CVexEngine&)> fetch;
    } cases[] = {
        {"FetchRemoteHTTP",
         [&](CVexEngine& e) {
             return e.FetchRemoteFile("127.0.0.1", "/x", nullptr, nullptr, closedPort, CVexEngine::kProtocolHTTP);
         }},
        {"FetchRemoteFTP", [&](CVexEngine& e) { return e.FetchRemoteFile("127.0.0.1", "x", "u", "p", closedPort, 0); }},
        {"FetchURL", [&](CVexEngine& e) { return FetchUrl(e, Http(closedPort, "/x")); }},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        CVexEngine engine;
        EXPECT_FALSE(c.fetch(engine));
        EXPECT_EQ(std::make_pair(engine.LastFetchError(), engine.LastFetchErrorDetail()),
                  std::make_pair(VEXERR_SOCKET, 10061L));
        EXPECT_NE(engine.LastFetchErrorText().find("refused"), std::string::npos) << engine.LastFetchErrorText();
    }
}

TEST_F(FetchFailure, TraceLogCollectsEveryFetchWithPasswordsMasked)
{
    CTempDir dir;
    const std::string log = dir.Path("trace.txt");
    SetText("TraceLog", log);
    Publish(testenv::FtpRoot(), "traced.txt", "traced");
    CVexEngine engine;
    const std::string ftp = "ftp://" + testenv::FtpUser() + ":" + testenv::FtpPassword() + "@127.0.0.1:" +
                            std::to_string(testenv::FtpPort()) + "/traced.txt";
    ASSERT_TRUE(FetchUrl(engine, ftp));
    DeleteFileW(engine.LastFetchedFile().c_str());
    UseDante();
    ASSERT_TRUE(FetchUrl(engine, ftp));
    DeleteFileW(engine.LastFetchedFile().c_str());
    SetDword("ConnectDUN", 1);
    SetText("DUN_Profile", "Office");
    SetText("DUN_Password", "dial-secret");
    EXPECT_FALSE(FetchUrl(engine, ftp));
    // A redirect that sets a cookie and names user info.
    Publish(testenv::WebRoot(), "traced-target.txt", "redirected");
    SetUp();
    SetText("TraceLog", log);
    EXPECT_TRUE(FetchUrl(engine, Http(testenv::Port("VEXA_REDIRECT_PORT"), "/with-secrets")));
    DeleteFileW(engine.LastFetchedFile().c_str());

    const std::string trace = ReadWholeFile(log);
    for (const char* pszLine : {"FetchURL( ftp://127.0.0.1:", "returned true", "CVexFTP::PutMessage( PASS {password} )",
                                "CVexFTP::ConnectSocks(", "CVexFTP::GetFile() Returned:6. m_lLastError: 0 m_lLastErrorEx: 0\n",
                                "CDialUpManager::Dial( Office", "returned false: The dial-up connection",
                                "Set-Cookie: {value}", "Location: http://{user info}@127.0.0.1:"})
        EXPECT_NE(trace.find(pszLine), std::string::npos) << pszLine << " not in:\n" << trace;
    for (const std::string& secret : {testenv::FtpPassword(), testenv::ProxyPassword(), std::string("dial-secret"),
                                      std::string("vexa-cookie-secret"), std::string("vexa-location-secret")})
        EXPECT_EQ(trace.find(secret), std::string::npos) << "the trace shows a password";

    // A log that cannot be written leaves the fetch alone.
    SetUp();
    SetText("TraceLog", dir.Path("no-such-directory\\trace.txt"));
    Publish(testenv::WebRoot(), "untraced.txt", "fetched");
    EXPECT_TRUE(FetchUrl(engine, Http(testenv::LighttpdPort(), "/untraced.txt")));
    DeleteFileW(engine.LastFetchedFile().c_str());
}

} // namespace
