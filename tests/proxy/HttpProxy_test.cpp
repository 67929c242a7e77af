// Fetches through the real HTTP proxies of the test runner (tinyproxy with
// and without Basic authentication, squid with it): every kind of fetch,
// the bypass list, 407 answered or refused, a refused tunnel, active FTP
// refused, the probe through the proxy, and the current user's system
// proxy settings (a fixed proxy, its bypass list, a configuration script).
// The proxies resolve a host name that this client cannot: a fetch of that
// name succeeds only when it went through a proxy.
#include "VexEngine.h"

#include "Base64.h"
#include "BasicCredentials.h"
#include "ClosedPort.h"
#include "ComTest.h"
#include "ScriptedPeer.h"
#include "SettingsFixture.h"
#include "TestEnv.h"
#include "TestFiles.h"
#include "TestRegistry.h"
#include "TestTls.h"
#include "Url.h"
#include "VexErrors.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr char kConnectionsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";
constexpr char kSystemValue[] = "DefaultConnectionSettings";
constexpr char kInternetSettings[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

std::string Local(uint16_t port)
{
    return "127.0.0.1:" + std::to_string(port);
}

class HttpProxy : public CSettingsFixture
{
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(TrustTestRoot()); }
    void SetUp() override
    {
        m_savedSystem = testreg::Read(HKEY_CURRENT_USER, kConnectionsKey, kSystemValue);
        CSettingsFixture::SetUp();
        Publish(testenv::WebRoot(), "proxied.bin", m_body);
        Publish(testenv::FtpRoot(), "proxied.bin", m_body);
        Publish(testenv::WebRoot(), "redirect-target.txt", m_body);
    }
    void TearDown() override
    {
        CSettingsFixture::TearDown();
        testreg::Write(HKEY_CURRENT_USER, kConnectionsKey, kSystemValue, m_savedSystem);
        testreg::DeleteValue(HKEY_CURRENT_USER, kInternetSettings, "ProxyEnable");
        testreg::DeleteValue(HKEY_CURRENT_USER, kInternetSettings, "ProxyServer");
    }
    static void UseProxy(uint16_t port, const std::string& user = "", const std::string& password = "")
    {
        SetText("HTTPProxy", Local(port));
        SetText("HTTPProxyUsername", user);
        SetText("HTTPProxyPassword", password);
    }
    static void UseSystemSettings(const std::string& proxy, const std::string& bypass, const std::string& script)
    {
        const std::vector<BYTE> blob = testreg::ProxySettingsBlob(proxy, bypass, script);
        testreg::Set(HKEY_CURRENT_USER, kConnectionsKey, kSystemValue, REG_BINARY, blob.data(),
                     static_cast<DWORD>(blob.size()));
        SetDword("UseSystemProxy", 1);
    }
    // A configuration script on lighttpd: the probe's target, 127.0.0.1,
    // direct; every other URL as the statements given decide. Each script
    // has a name of its own: for a second, lighttpd may answer from a file
    // of the same name that was replaced meanwhile.
    void UseScript(const std::string& statements)
    {
        static unsigned s_nScripts = 0;
        const std::string name =
            "decisions-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++s_nScripts) + ".pac";
        Publish(testenv::WebRoot(), name,
                "function FindProxyForURL(url, host) {\n    if (host == \"127.0.0.1\") return \"DIRECT\";\n    " +
                    statements + "\n}\n");
        UseSystemSettings("", "", "http://" + Local(testenv::LighttpdPort()) + "/" + name);
    }
    // A URL fetch; true when the whole body arrived.
    bool FetchUrl(const std::string& text)
    {
        url::Url target;
        EXPECT_EQ(url::ParseUrl(text.c_str(), &target), url::UrlError::kNone) << text;
        return Completed(m_engine.FetchURL(target));
    }
    bool FetchRemote(int32_t protocol, const std::string& host, uint16_t port)
    {
        const bool bFtp = protocol != CVexEngine::kProtocolHTTP;
        return Completed(m_engine.FetchRemoteFile(host.c_str(), bFtp ? "proxied.bin" : "/proxied.bin",
                                                  testenv::FtpUser().c_str(), testenv::FtpPassword().c_str(), port,
                                                  protocol));
    }
    bool Completed(bool bCompleted)
    {
        if (bCompleted)
        {
            EXPECT_TRUE(ReadWholeFile(m_engine.LastFetchedFile()) == m_body);
            DeleteFileW(m_engine.LastFetchedFile().c_str());
        }
        EXPECT_EQ(VexTempFiles(), m_before) << "a fetch left a file behind";
        return bCompleted;
    }
    std::pair<long, long> LastPair() const { return {m_engine.LastFetchError(), m_engine.LastFetchErrorDetail()}; }

    const std::string m_body = std::string(200000, 'p') + "\r\nend";
    CVexEngine m_engine;
    testreg::Value m_savedSystem;
};

TEST_F(HttpProxy, EveryKindOfFetchGoesThroughEachProxy)
{
    const std::string hidden = testenv::ProxyOnlyHostName();
    const uint16_t web = testenv::LighttpdPort(), ftp = testenv::FtpPort();
    const std::string tls = "https://localhost:" + std::to_string(testenv::Port("VEXA_TLS_PORT"));
    const std::string account = testenv::FtpUser() + ":" + testenv::FtpPassword() + "@";
    const struct
    {
        const char* name;
        uint16_t port;
        bool bCredentials;
    } proxies[] = {
        {"tinyproxy", testenv::TinyproxyPort(), false},
        {"tinyproxy with Basic authentication", testenv::TinyproxyAuthPort(), true},
        {"squid", testenv::SquidPort(), true},
    };
    SetDword("UsePASV", 1);
    const std::string log = TempPath("proxy-trace.log");
    DeleteFileA(log.c_str());
    SetText("TraceLog", log);
    for (const auto& p : proxies)
    {
        SCOPED_TRACE(p.name);
        UseProxy(p.port, p.bCredentials ? testenv::HttpProxyUser() : "",
                 p.bCredentials ? testenv::HttpProxyPassword() : "");
        EXPECT_TRUE(FetchUrl("http://" + hidden + ":" + std::to_string(web) + "/proxied.bin"));
        EXPECT_TRUE(FetchUrl(tls + "/proxied.bin"));
        EXPECT_TRUE(FetchUrl("ftp://" + account + hidden + ":" + std::to_string(ftp) + "/proxied.bin"));
        EXPECT_TRUE(FetchRemote(CVexEngine::kProtocolHTTP, hidden, web));
        EXPECT_TRUE(FetchRemote(0, hidden, ftp));
        // Each hop of a redirect chain asks the proxy again.
        EXPECT_TRUE(FetchUrl("http://127.0.0.1:" + std::to_string(testenv::Port("VEXA_REDIRECT_PORT")) + "/to-https"));
        // Inside the tunnel the certificate is checked against the server's name.
        EXPECT_FALSE(FetchUrl("https://" + hidden + ":" + std::to_string(testenv::Port("VEXA_TLS_PORT")) + "/x"));
        EXPECT_EQ(LastPair(), std::make_pair(VEXERR_TLS, VEXDET_TLS_NAME_MISMATCH));
    }
    const std::string trace = ReadWholeFile(log);
    DeleteFileA(log.c_str());
    EXPECT_NE(trace.find("GET http://" + hidden + ":" + std::to_string(web) + "/proxied.bin HTTP/1.0"),
              std::string::npos);
    EXPECT_NE(trace.find("Proxy-Authorization: {credentials}"), std::string::npos);
    EXPECT_EQ(trace.find(testenv::HttpProxyPassword()), std::string::npos);
    EXPECT_EQ(trace.find(http::BasicAuthorization(testenv::HttpProxyUser(), testenv::HttpProxyPassword())),
              std::string::npos);
}

TEST_F(HttpProxy, FailuresAtTheProxyHaveTheirOwnDetailAndText)
{
    // The probe goes direct (its target is bypassed): each failure is the fetch's own.
    SetText("HTTPProxyBypass", "127.0.0.1");
    const uint16_t closed = ClosedPort();
    const std::string web = "http://localhost:" + std::to_string(testenv::LighttpdPort()) + "/proxied.bin";
    const std::string tls = "https://localhost:" + std::to_string(testenv::Port("VEXA_TLS_PORT")) + "/proxied.bin";
    const std::string refused = "https://localhost:" + std::to_string(testenv::SquidRefusedConnectPort()) + "/";
    const std::string user = testenv::HttpProxyUser(), password = testenv::HttpProxyPassword();
    const struct
    {
        std::string proxy, user, password, url;
        long lErrorEx;
        const char* text;
    } cases[] = {
        {Local(testenv::SquidPort()), "", "", web, VEXDET_PROXY_AUTH_REQUIRED, "asks for a user name and password"},
        {Local(testenv::SquidPort()), "", "", tls, VEXDET_PROXY_AUTH_REQUIRED, "HTTPProxyUsername"},
        {Local(testenv::SquidPort()), user, "wrong", web, VEXDET_PROXY_AUTH_REFUSED, "refused the user name or password"},
        {Local(testenv::TinyproxyAuthPort()), user, "wrong", tls, VEXDET_PROXY_AUTH_REFUSED, "refused the user name"},
        {Local(testenv::SquidPort()), user, password, refused, 403, "refused the tunnel to localhost:"},
        {Local(testenv::SquidPort()), user, password,
         "ftp://localhost:" + std::to_string(testenv::FtpPort()) + "/proxied.bin", VEXDET_PROXY_ACTIVE_FTP,
         "set UsePASV to 1"},
        {Local(closed), "", "", web, 10061, "connection to the HTTP proxy at 127.0.0.1:"},
        {"proxy:99999", "", "", web, VEXDET_PROXY_SETTING, "\"proxy:99999\" is no host:port"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.proxy + " " + c.url);
        SetText("HTTPProxy", c.proxy);
        SetText("HTTPProxyUsername", c.user);
        SetText("HTTPProxyPassword", c.password);
        EXPECT_FALSE(FetchUrl(c.url));
        EXPECT_EQ(LastPair(), std::make_pair(VEXERR_PROXY, c.lErrorEx));
        const std::string text = m_engine.LastFetchErrorText();
        EXPECT_NE(text.find(c.text), std::string::npos) << text;
        EXPECT_EQ(text.find("wrong"), std::string::npos) << "a password in the error text";
    }
}

TEST_F(HttpProxy, NoPasswordGoesToAProxyThatDoesNotAskForBasic)
{
    // A scripted proxy: one that offers only a scheme the control does not
    // speak (Digest), and a 407 without any challenge, which the harness's
    // proxies cannot send.
    SetText("HTTPProxyBypass", "127.0.0.1");
    const struct
    {
        const char* challenges;
        long lErrorEx;
        const char* text;
    } answers[] = {
        {"Proxy-Authenticate: Digest realm=\"proxy\", nonce=\"n\"\r\n", VEXDET_PROXY_AUTH_SCHEME,
         "does not speak (such as Digest)"},
        {"", VEXDET_PROXY_NO_CHALLENGE, "without saying which"},
    };
    const std::string web = "localhost:" + std::to_string(testenv::LighttpdPort());
    const struct
    {
        const char* name;
        unsigned requestLines;
        std::function<bool()> fetch;
    } cases[] = {
        {"CONNECT", 3, [&] { return FetchUrl("https://localhost:1/x"); }},
        {"absolute form", 6, [&] { return FetchUrl("http://" + web + "/proxied.bin"); }},
        {"HTTP/1.0", 5, [&] { return FetchRemote(CVexEngine::kProtocolHTTP, "localhost", testenv::LighttpdPort()); }},
    };
    for (const auto& a : answers)
    {
        for (const auto& c : cases)
        {
            SCOPED_TRACE(std::string(c.name) + " " + a.text);
            CScriptedPeer proxy;
            for (unsigned i = 0; i < c.requestLines; ++i)
                proxy.ExpectLine();
            proxy.Send("HTTP/1.1 407 Proxy Authentication Required\r\n" + std::string(a.challenges) +
                       "Content-Length: 0\r\n\r\n")
                .Close();
            UseProxy(proxy.Start(), testenv::HttpProxyUser(), testenv::HttpProxyPassword());
            EXPECT_FALSE(c.fetch());
            proxy.Join();
            EXPECT_EQ(LastPair(), std::make_pair(VEXERR_PROXY, a.lErrorEx));
            EXPECT_EQ(proxy.Received().find("Proxy-Authorization"), std::string::npos) << proxy.Received();
            EXPECT_NE(m_engine.LastFetchErrorText().find(a.text), std::string::npos) << m_engine.LastFetchErrorText();
        }
    }
}

TEST_F(HttpProxy, ANegotiateProxyGetsTheLogonOrTheCredentialsSet)
{
    // The tests hold a Kerberos ticket for KerberosUser(): the logged-on
    // user of a domain. squid knows itself as HTTP/localhost, which its
    // address reaches through its canonical name.
    SetText("HTTPProxyBypass", "127.0.0.1");
    SetDword("UsePASV", 1);
    const std::string hidden = testenv::ProxyOnlyHostName();
    const std::string urls[] = {
        "https://localhost:" + std::to_string(testenv::Port("VEXA_TLS_PORT")) + "/proxied.bin",
        "ftp://" + testenv::FtpUser() + ":" + testenv::FtpPassword() + "@" + hidden + ":" +
            std::to_string(testenv::FtpPort()) + "/proxied.bin",
        "http://" + hidden + ":" + std::to_string(testenv::LighttpdPort()) + "/proxied.bin",
    };
    const std::string byName = "localhost:" + std::to_string(testenv::SquidNegotiatePort());
    const struct
    {
        std::string proxy, user, password;
        long lErrorEx; // 0: every URL arrives
    } cases[] = {
        {byName, "", "", 0},
        {Local(testenv::SquidNegotiatePort()), "", "", 0},
        {byName, testenv::KerberosUser(), testenv::KerberosPassword(), 0},
        // Wine's Negotiate falls back to NTLM, which squid refuses.
        {byName, testenv::KerberosUser(), "wrong", VEXDET_PROXY_AUTH_REFUSED},
    };
    const std::string log = TempPath("negotiate-trace.log");
    DeleteFileA(log.c_str());
    SetText("TraceLog", log);
    for (const auto& c : cases)
    {
        SetText("HTTPProxy", c.proxy);
        SetText("HTTPProxyUsername", c.user);
        SetText("HTTPProxyPassword", c.password);
        for (const auto& url : urls)
        {
            SCOPED_TRACE(c.proxy + " as " + (c.user.empty() ? "the logon" : c.user) + ": " + url);
            EXPECT_EQ(FetchUrl(url), c.lErrorEx == 0) << m_engine.LastFetchErrorText();
            EXPECT_EQ(LastPair(), c.lErrorEx ? std::make_pair(VEXERR_PROXY, c.lErrorEx) : std::make_pair(0L, 0L));
        }
    }
    // The probe's tunnel to its target signs on too: a probe the proxy
    // refused would fail the fetch.
    SetText("HTTPProxyBypass", "");
    SetText("HTTPProxy", byName);
    SetText("HTTPProxyUsername", "");
    SetText("HTTPProxyPassword", "");
    EXPECT_TRUE(FetchUrl(urls[0])) << m_engine.LastFetchErrorText();
    SetText("TraceLog", "");
    const std::string trace = ReadWholeFile(log);
    DeleteFileA(log.c_str());
    EXPECT_NE(trace.find("sign-on: Negotiate for HTTP/localhost"), std::string::npos) << trace;
    // The proxy named by its address: Kerberos knows no HTTP/127.0.0.1.
    EXPECT_NE(trace.find("; then Negotiate for HTTP/localhost: 0-byte token in"), std::string::npos) << trace;
    EXPECT_EQ(trace.find("Negotiate YII"), std::string::npos) << "a token in the trace";
    EXPECT_EQ(trace.find(testenv::KerberosPassword()), std::string::npos);
}

TEST_F(HttpProxy, NtlmSignsOnInThreeLegsOnTheConnectionOfEach407)
{
    // A scripted proxy, since squid's ntlm_fake_auth challenges are not
    // well formed. It takes one connection only: every leg must come on
    // it. Its challenge carries target information (domain VEXA, host
    // PROXY), which Samba's NTLM client, run by Wine's NTLM package, needs.
    const std::string challenge = "TlRMTVNTUAACAAAACAAIADAAAAAFgokAAQIDBAUGBwgAAAAAAAAAAB4AHgA4AAAAVgBFAFgAQQACAAgAVgBF"
                                  "AFgAQQABAAoAUABSAE8AWABZAAAAAAA=";
    SetText("HTTPProxyBypass", "127.0.0.1");
    const std::string web = "http://localhost:" + std::to_string(testenv::LighttpdPort()) + "/proxied.bin";
    const struct
    {
        const char* name;
        std::string url;
        unsigned firstLines; // of the request before any leg; one more with a leg
        std::string answer;  // to the third leg
    } paths[] = {
        // The tunnel's server closes at once: the TLS handshake fails.
        {"CONNECT", "https://localhost:1/x", 3, "HTTP/1.1 200 Connection established\r\n\r\n"},
        {"absolute form", web, 6, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(m_body.size()) + "\r\n\r\n" + m_body},
    };
    const struct
    {
        std::string user;
        bool bThirdLeg; // false: the sign-on fails before it (SEC_E_* in the text)
    } accounts[] = {
        {"VEXA\\vexhttp", true},
        {"vexhttp@VEXA", true},
        {"", false},
    };
    for (const auto& p : paths)
    {
        for (const auto& a : accounts)
        {
            SCOPED_TRACE(std::string(p.name) + " as " + (a.user.empty() ? "the logon" : a.user));
            CScriptedPeer proxy;
            for (unsigned i = 0; i < p.firstLines; ++i)
                proxy.ExpectLine();
            proxy.Send("HTTP/1.1 407 Proxy Authentication Required\r\nProxy-Authenticate: NTLM\r\n"
                       "Content-Length: 9\r\n\r\nno access");
            for (unsigned i = 0; i <= p.firstLines; ++i)
                proxy.ExpectLine();
            proxy.Send("HTTP/1.1 407 Proxy Authentication Required\r\nProxy-Authenticate: NTLM " + challenge +
                       "\r\nContent-Length: 0\r\n\r\n");
            for (unsigned i = 0; a.bThirdLeg && i <= p.firstLines; ++i)
                proxy.ExpectLine();
            if (a.bThirdLeg)
                proxy.Send(p.answer);
            proxy.Close();
            UseProxy(proxy.Start(), a.user, "vexhttp-secret");
            EXPECT_EQ(FetchUrl(p.url), a.bThirdLeg && p.url == web) << m_engine.LastFetchErrorText();
            proxy.Join();
            const std::string received = proxy.Received();
            EXPECT_NE(received.find("Proxy-Authorization: NTLM TlRMTVNTUAAB"), std::string::npos) << received;
            const size_t third = received.find("Proxy-Authorization: NTLM TlRMTVNTUAAD");
            EXPECT_EQ(third != std::string::npos, a.bThirdLeg) << received;
            if (a.bThirdLeg)
            {
                EXPECT_NE(LastPair().first, VEXERR_PROXY);
                std::string message;
                const size_t start = third + std::strlen("Proxy-Authorization: NTLM ");
                ASSERT_TRUE(base64::Decode(received.substr(start, received.find('\r', start) - start), &message));
                EXPECT_NE(message.find(std::string("v\0e\0x\0h\0t\0t\0p\0", 14)), std::string::npos);
            }
            else
            {
                EXPECT_EQ(LastPair(), std::make_pair(VEXERR_PROXY, VEXDET_PROXY_SIGN_ON));
                EXPECT_NE(m_engine.LastFetchErrorText().find("SEC_E_"), std::string::npos)
                    << m_engine.LastFetchErrorText();
            }
        }
    }
}

TEST_F(HttpProxy, AConfigurationScriptMayNameSocksButNeverTurnsUnusableProxiesIntoDirect)
{
    const std::string web = std::to_string(testenv::LighttpdPort());
    const std::string hidden = "http://" + testenv::ProxyOnlyHostName() + ":" + web + "/proxied.bin";
    const std::string local = "http://localhost:" + web + "/proxied.bin";
    const std::string ftp = "ftp://" + testenv::FtpUser() + ":" + testenv::FtpPassword() + "@" +
                            testenv::ProxyOnlyHostName() + ":" + std::to_string(testenv::FtpPort()) + "/proxied.bin";
    const std::string ssh = Local(testenv::SshSocksPort()), dante = Local(testenv::DantePort());
    const std::string tls = Local(testenv::Port("VEXA_TLS_PORT"));
    const struct
    {
        std::string answer, url;
        uint16_t socksSettingsPort; // the SOCKS settings, with a wrong password, name this port
        long lError, lErrorEx;
    } cases[] = {
        // Only the SOCKS forwarder of sshd resolves the hidden name.
        {"SOCKS " + ssh, hidden, 0, 0, 0},
        {"SOCKS5 " + ssh + "; DIRECT", hidden, 0, 0, 0},
        {"HTTPS " + tls + "; QUIC " + tls + "; SOCKS4 " + ssh, hidden, 0, 0, 0},
        {"SOCKS5 " + ssh, ftp, 0, 0, 0},
        // The SOCKS credentials go only to the server the SOCKS settings name.
        {"SOCKS5 " + dante, local, testenv::SshSocksPort(), 0, 0},
        {"SOCKS5 " + dante, local, testenv::DantePort(), VEXERR_SOCKS, VEXDET_SOCKS_AUTH},
        // localhost is reachable directly: these fail because they never try.
        {"HTTPS " + tls + "; QUIC " + tls, local, 0, VEXERR_PROXY, VEXDET_PROXY_UNUSABLE},
        {"PROXY", local, 0, VEXERR_PROXY, VEXDET_PROXY_UNUSABLE},
        {"DIRECT", local, 0, 0, 0},
    };
    SetDword("UsePASV", 1);
    SetText("SOCKS_ServerAddress", "127.0.0.1");
    SetDword("SOCKSAuthReqd", 1);
    SetText("SOCKS_Username", testenv::ProxyUser());
    SetText("SOCKS_Password", "wrong");
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.answer + " " + c.url);
        UseScript("return \"" + c.answer + "\";");
        SetDword("SOCKS_Port", c.socksSettingsPort ? c.socksSettingsPort : 1);
        EXPECT_EQ(FetchUrl(c.url), c.lError == 0);
        EXPECT_EQ(LastPair(), std::make_pair(c.lError, c.lErrorEx));
        const std::string text = m_engine.LastFetchErrorText();
        EXPECT_TRUE(c.lErrorEx != VEXDET_PROXY_UNUSABLE ||
                    text.find("script answered \"" + c.answer + "\", which names no proxy") != std::string::npos)
            << text;
        EXPECT_EQ(text.find("wrong"), std::string::npos) << "a password in the error text";
    }
}

TEST_F(HttpProxy, ProxyCredentialsGoOnlyWhereTheAdministratorSentThem)
{
    const std::string squid = Local(testenv::SquidPort());
    const std::string web = "http://localhost:" + std::to_string(testenv::LighttpdPort()) + "/proxied.bin";
    const std::string tls = "https://localhost:" + std::to_string(testenv::Port("VEXA_TLS_PORT")) + "/proxied.bin";
    const struct
    {
        std::string fixedProxy, scriptAnswer, listed, url;
        long lErrorEx;
    } cases[] = {
        {squid, "", "", web, 0},
        {squid, "", "", tls, 0},
        {"", "PROXY " + squid, "", web, VEXDET_PROXY_AUTH_REQUIRED},
        {"", "PROXY " + squid, "", tls, VEXDET_PROXY_AUTH_REQUIRED},
        {"", "PROXY " + squid, Local(testenv::TinyproxyAuthPort()) + ";127.0.0.1", web, VEXDET_PROXY_AUTH_REQUIRED},
        {"", "PROXY " + squid, "proxy.example:1; " + squid, web, 0},
        {"", "PROXY " + squid, squid, tls, 0},
    };
    SetText("HTTPProxyUsername", testenv::HttpProxyUser());
    SetText("HTTPProxyPassword", testenv::HttpProxyPassword());
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.fixedProxy + c.scriptAnswer + " listed: " + c.listed + " " + c.url);
        if (c.scriptAnswer.empty())
            UseSystemSettings(c.fixedProxy, "", "");
        else
            UseScript("return \"" + c.scriptAnswer + "\";");
        SetText("HTTPProxyCredentialsFor", c.listed);
        EXPECT_EQ(FetchUrl(c.url), c.lErrorEx == 0);
        EXPECT_EQ(LastPair(), c.lErrorEx ? std::make_pair(VEXERR_PROXY, c.lErrorEx) : std::make_pair(0L, 0L));
    }
}

TEST_F(HttpProxy, AScriptSeesOfAnHttpsUrlOnlyItsSchemeHostAndPort)
{
    // The script sends exactly the URLs it expects through tinyproxy and
    // anything else to a proxy the control does not speak.
    const std::string tls = "https://localhost:" + std::to_string(testenv::Port("VEXA_TLS_PORT"));
    const std::string web = "http://localhost:" + std::to_string(testenv::LighttpdPort()) + "/proxied.bin";
    UseScript("if (url == \"" + tls + "/\" || url == \"" + web + "\") return \"PROXY " +
              Local(testenv::TinyproxyPort()) + "\";\n    return \"HTTPS 127.0.0.1:1\";");
    EXPECT_TRUE(FetchUrl(tls + "/proxied.bin?version=3"));
    EXPECT_TRUE(FetchUrl(web));
    EXPECT_FALSE(FetchUrl(web + "?version=3"));
    EXPECT_EQ(LastPair(), std::make_pair(VEXERR_PROXY, VEXDET_PROXY_UNUSABLE));
}

TEST_F(HttpProxy, AScriptRunsOnceForTheProbeAndTheRequestToOneServer)
{
    const std::string log = TempPath("proxy-script-once.log");
    DeleteFileA(log.c_str());
    SetText("TraceLog", log);
    UseScript("return \"HTTPS 127.0.0.1:1\";");
    EXPECT_TRUE(FetchUrl("http://" + Local(testenv::LighttpdPort()) + "/proxied.bin"));
    const std::string trace = ReadWholeFile(log);
    DeleteFileA(log.c_str());
    SetText("TraceLog", "");
    EXPECT_NE(trace.find("\"DIRECT\" (as for http://" + Local(testenv::LighttpdPort()) + " earlier in this fetch)"),
              std::string::npos)
        << trace;
}

TEST_F(HttpProxy, TheBypassListAndTheProbeChooseTheirRoute)
{
    // A proxy that is not there: what is reached at all was reached directly.
    const uint16_t closed = ClosedPort();
    const std::string hidden = testenv::ProxyOnlyHostName();
    const struct
    {
        std::string bypass;
        std::string host;
        bool ok;
    } cases[] = {
        {"127.0.0.*", "127.0.0.1", true},
        {"<local>", "localhost", true},
        {"*.example;LOCALHOST:" + std::to_string(testenv::LighttpdPort()), "localhost", true},
        {"localhost:1", "localhost", false},
        {"<local>", "127.0.0.1", false},
    };
    UseProxy(closed);
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.bypass + " " + c.host);
        SetText("HTTPProxyBypass", c.bypass);
        SetText("ProbeTarget", c.host + ":" + std::to_string(testenv::LighttpdPort()));
        EXPECT_EQ(FetchUrl("http://" + c.host + ":" + std::to_string(testenv::LighttpdPort()) + "/proxied.bin"), c.ok);
        EXPECT_EQ(LastPair(), c.ok ? std::make_pair(0L, 0L) : std::make_pair(VEXERR_PROXY, 10061L));
    }

    // Each redirect hop chooses again: here from the proxy to a bypassed host.
    const std::string log = TempPath("proxy-hops.log");
    DeleteFileA(log.c_str());
    SetText("TraceLog", log);
    UseProxy(testenv::TinyproxyPort());
    SetText("HTTPProxyBypass", "localhost");
    SetText("ProbeTarget", Local(testenv::LighttpdPort()));
    const std::string redirect = "127.0.0.1:" + std::to_string(testenv::Port("VEXA_REDIRECT_PORT"));
    EXPECT_TRUE(FetchUrl("http://" + redirect + "/to-https"));
    const std::string trace = ReadWholeFile(log);
    DeleteFileA(log.c_str());
    EXPECT_NE(trace.find("http://" + redirect + "/to-https: HTTPProxy (HTTP proxy " + Local(testenv::TinyproxyPort())),
              std::string::npos) << trace;
    EXPECT_NE(trace.find("https://localhost:" + std::to_string(testenv::Port("VEXA_TLS_PORT")) +
                         "/redirect-target.txt: HTTPProxyBypass names localhost: direct"),
              std::string::npos) << trace;
    SetText("TraceLog", "");
    UseProxy(closed);

    // The probe asks the proxy for a tunnel to its target.
    SetText("HTTPProxyBypass", "");
    SetText("ProbeTarget", hidden + ":" + std::to_string(testenv::LighttpdPort()));
    m_engine.ReadConnectionSettings();
    EXPECT_FALSE(m_engine.IsInternetConnected());
    UseProxy(testenv::TinyproxyPort());
    m_engine.ReadConnectionSettings();
    EXPECT_TRUE(m_engine.IsInternetConnected());
    UseProxy(testenv::SquidPort());
    EXPECT_FALSE(FetchUrl("http://127.0.0.1:" + std::to_string(testenv::LighttpdPort()) + "/proxied.bin"));
    EXPECT_EQ(LastPair(), std::make_pair(VEXERR_PROXY, VEXDET_PROXY_AUTH_REQUIRED));
}

TEST_F(HttpProxy, TheSystemSettingsAreUsedWhenAskedFor)
{
    const std::string hidden = "http://" + testenv::ProxyOnlyHostName() + ":" +
                               std::to_string(testenv::LighttpdPort()) + "/proxied.bin";
    const std::string direct = "http://127.0.0.1:" + std::to_string(testenv::LighttpdPort()) + "/proxied.bin";
    const std::string tinyproxy = Local(testenv::TinyproxyPort()), closed = Local(ClosedPort());
    const struct
    {
        const char* name;
        std::string proxy, bypass, script;
        bool hiddenOk, directOk;
    } cases[] = {
        {"fixed proxy", tinyproxy, "", "", true, true},
        {"per-scheme list", "ftp=" + closed + ";http=" + tinyproxy, "", "", true, true},
        {"bypass entry", closed, "127.0.0.1", "", false, true},
        // The script sends the hidden host through tinyproxy and the other
        // directly, whatever the fixed proxy says.
        {"configuration script", closed, "", testenv::PacUrl(), true, true},
        // A script that cannot be fetched leaves the fixed proxy.
        {"script not found", tinyproxy, "", "http://" + closed + "/none.pac", true, true},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        UseSystemSettings(c.proxy, c.bypass, c.script);
        EXPECT_EQ(FetchUrl(hidden), c.hiddenOk);
        EXPECT_EQ(FetchUrl(direct), c.directOk);
    }
    // Only the Internet settings values, which WinHTTP under Wine does not read.
    testreg::DeleteValue(HKEY_CURRENT_USER, kConnectionsKey, kSystemValue);
    testreg::SetDword(HKEY_CURRENT_USER, kInternetSettings, "ProxyEnable", 1);
    testreg::SetText(HKEY_CURRENT_USER, kInternetSettings, "ProxyServer", tinyproxy);
    EXPECT_TRUE(FetchUrl(hidden));
    // Not asked for: direct, and the hidden name is unknown.
    SetDword("UseSystemProxy", 0);
    EXPECT_FALSE(FetchUrl(hidden));
    EXPECT_EQ(LastPair(), std::make_pair(VEXERR_SOCKET, 11001L));
    // "HTTPProxy" comes first.
    UseSystemSettings(closed, "", "");
    UseProxy(testenv::TinyproxyPort());
    EXPECT_TRUE(FetchUrl(hidden));
    // SOCKS before both: neither proxy is there.
    SetText("HTTPProxy", closed);
    UseDante(5, false);
    EXPECT_TRUE(FetchUrl(direct));

    // Nothing chosen by the user: Wine reports auto-detection on; it finds
    // nothing here (the probe's attempt) and is not tried again for a while.
    SetDword("ConnectSOCKS", 0);
    SetText("HTTPProxy", "");
    testreg::DeleteValue(HKEY_CURRENT_USER, kConnectionsKey, kSystemValue);
    testreg::DeleteValue(HKEY_CURRENT_USER, kInternetSettings, "ProxyEnable");
    const std::string log = TempPath("proxy-detect.log");
    DeleteFileA(log.c_str());
    SetText("TraceLog", log);
    EXPECT_TRUE(FetchUrl(direct));
    const std::string trace = ReadWholeFile(log);
    DeleteFileA(log.c_str());
    EXPECT_NE(trace.find("auto-detection failed less than 10 minutes ago; direct"), std::string::npos) << trace;
}

unsigned g_timerTicks = 0;

void CALLBACK CountTick(HWND, UINT, UINT_PTR, DWORD)
{
    ++g_timerTicks;
}

// Takes connections into its queue and never accepts them: a request sent
// there is never answered, until the listener goes and resets them.
class CUnansweringListener
{
public:
    CUnansweringListener() : m_h(socket(AF_INET, SOCK_STREAM, 0))
    {
        sockaddr_in addr = {};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = inet_addr("127.0.0.1");
        int cb = sizeof(addr);
        EXPECT_EQ(bind(m_h, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
        EXPECT_EQ(listen(m_h, 4), 0);
        getsockname(m_h, reinterpret_cast<sockaddr*>(&addr), &cb);
        m_port = ntohs(addr.sin_port);
    }
    ~CUnansweringListener() { closesocket(m_h); }
    CUnansweringListener(const CUnansweringListener&) = delete;
    CUnansweringListener& operator=(const CUnansweringListener&) = delete;

    uint16_t Port() const { return m_port; }

private:
    SOCKET m_h;
    uint16_t m_port = 0;
};

TEST_F(HttpProxy, AScriptServerThatNeverAnswersLeavesTheFixedProxyAndTheHostAlive)
{
    // Wine's WinHTTP would wait for the script without end; the engine gives
    // up after its limit, and meanwhile the host's timer keeps firing.
    CUnansweringListener silent;
    UseSystemSettings(Local(testenv::TinyproxyPort()), "", "http://" + Local(silent.Port()) + "/slow.pac");
    SetText("ProbeTarget", testenv::ProxyOnlyHostName() + ":" + std::to_string(testenv::LighttpdPort()));
    m_engine.ReadConnectionSettings();
    g_timerTicks = 0;
    const UINT_PTR timer = SetTimer(nullptr, 0, 100, CountTick);
    EXPECT_TRUE(m_engine.IsInternetConnected());
    const unsigned ticks = g_timerTicks;
    KillTimer(nullptr, timer);
    EXPECT_GE(ticks, 5u) << "the host's messages stood still while the script was awaited";

    // While that evaluation is still blocked no other one starts: the next
    // fetch takes the fixed proxy at once.
    const std::string log = TempPath("proxy-script.log");
    DeleteFileA(log.c_str());
    SetText("TraceLog", log);
    EXPECT_TRUE(FetchUrl("http://" + testenv::ProxyOnlyHostName() + ":" + std::to_string(testenv::LighttpdPort()) +
                         "/proxied.bin"));
    const std::string trace = ReadWholeFile(log);
    DeleteFileA(log.c_str());
    EXPECT_NE(trace.find("slow.pac failed (error 170)"), std::string::npos) << trace;
}

} // namespace
