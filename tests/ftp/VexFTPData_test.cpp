// Where data connections go. Passive: to the control connection's server
// at the 227 reply's port, whatever address the reply names, directly and
// through every kind of proxy; the reply's address only when the settings
// trust it. Active: only the server's own connection is taken.
#include "VexFTP.h"

#include "SettingsFixture.h"
#include "TestEnv.h"
#include "TestFiles.h"
#include "Url.h"
#include "VexEngine.h"
#include "VexErrors.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <utility>

namespace {

enum class Route { kDirect, kSocks5, kSocks4, kHttpProxy };

const struct
{
    Route route;
    const char* name;
} kRoutes[] = {
    {Route::kDirect, "direct"},
    {Route::kSocks5, "SOCKS 5"},
    {Route::kSocks4, "SOCKS 4"},
    {Route::kHttpProxy, "HTTP proxy"},
};

// The control connection goes to 127.0.0.1, the host the data connection
// must reach.
bool LogIn(CVexFTP& ftp, Route route, HttpProxyRoute& proxy)
{
    const uint16_t port = testenv::FtpPasvElsewherePort();
    switch (route)
    {
    case Route::kDirect:
        return ftp.Connect("127.0.0.1", "jo", "pw", port);
    case Route::kSocks5:
    case Route::kSocks4:
        return ftp.ConnectSocks("127.0.0.1", "jo", "pw", port, "127.0.0.1", testenv::DantePort(),
                                route == Route::kSocks4 ? 1 : 5, 0, nullptr, nullptr);
    case Route::kHttpProxy:
        proxy.bUse = true;
        proxy.host = "127.0.0.1";
        proxy.port = testenv::TinyproxyPort();
        return ftp.ConnectHttpTunnel("127.0.0.1", "jo", "pw", port, proxy);
    }
    return false;
}

TEST(FtpPassiveData, GoesToTheControlHostUnlessTheReplysAddressIsTrusted)
{
    CTrackedFiles files;
    const std::string local = files.Track(TempPath("vex-pasv-target.txt"));
    const std::string trace = files.Track(TempPath("vex-pasv-target-trace.txt"));
    for (const auto& r : kRoutes)
    {
        for (bool bTrust : {false, true})
        {
            SCOPED_TRACE(std::string(r.name) + (bTrust ? ", reply trusted" : ""));
            DeleteFileA(trace.c_str());
            HttpProxyRoute proxy;
            {
                CVexFTP ftp;
                ftp.EnableLog(trace.c_str());
                ftp.m_bTrustPassiveAddress = bTrust;
                ASSERT_TRUE(LogIn(ftp, r.route, proxy)) << ftp.GetLastError() << "/" << ftp.GetLastErrorEx();
                EXPECT_TRUE(ftp.MoveFile("f.txt", local.c_str(), true, true, true))
                    << ftp.GetLastError() << "/" << ftp.GetLastErrorEx();
                EXPECT_TRUE(ftp.Disconnect());
            }
            EXPECT_EQ(ReadWholeFile(local), bTrust ? "reply address" : "control host");
            // The address the reply named stays in the trace.
            EXPECT_NE(ReadWholeFile(trace).find("(the reply named 127.0.0.2)"), std::string::npos);
        }
    }
}

TEST(FtpActiveData, StrangerIsRefusedAndTheServersConnectionTaken)
{
    CTrackedFiles files;
    const std::string local = files.Track(TempPath("vex-active-stranger.txt"));
    CVexFTP ftp;
    ASSERT_TRUE(ftp.Connect("127.0.0.1", "jo", "pw", testenv::FtpActiveStrangerPort()));
    EXPECT_TRUE(ftp.MoveFile("f.txt", local.c_str(), true, true, false))
        << ftp.GetLastError() << "/" << ftp.GetLastErrorEx();
    EXPECT_EQ(ReadWholeFile(local), "from the server");
    EXPECT_STREQ(ftp.m_lastReply.Get(), "226 done, stranger refused");
}

TEST(FtpPassiveData, ARefusedDataConnectionSaysSo)
{
    CTrackedFiles files;
    const std::string local = files.Track(TempPath("vex-pasv-closed.txt"));
    CVexFTP ftp;
    ASSERT_TRUE(ftp.Connect("127.0.0.1", "jo", "pw", testenv::FtpPasvClosedPort()));
    EXPECT_FALSE(ftp.MoveFile("f.txt", local.c_str(), true, true, true));
    EXPECT_EQ(std::make_pair(ftp.GetLastError(), ftp.GetLastErrorEx()), std::make_pair(VEXERR_SOCKET, 10061L));
}

// The registry value reaches the transfer at every fetch.
class FtpTrustPASVAddress : public CSettingsFixture
{
protected:
    void SetUp() override
    {
        CSettingsFixture::SetUp();
        SetDword("UsePASV", 1);
    }
};

TEST_F(FtpTrustPASVAddress, RegistryValueChoosesTheReplysAddress)
{
    const struct
    {
        const char* name;
        bool bSet;
        DWORD value;
        const char* expected;
    } cases[] = {{"absent", false, 0, "control host"}, {"0", true, 0, "control host"}, {"1", true, 1, "reply address"}};
    url::Url target;
    const std::string text = "ftp://127.0.0.1:" + std::to_string(testenv::FtpPasvElsewherePort()) + "/f.txt";
    ASSERT_EQ(url::ParseUrl(text.c_str(), &target), url::UrlError::kNone);
    CVexEngine engine;
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        if (c.bSet)
            SetDword("FTPTrustPASVAddress", c.value);
        ASSERT_TRUE(engine.FetchURL(target)) << engine.LastFetchErrorText();
        EXPECT_EQ(ReadWholeFile(engine.LastFetchedFile()), c.expected);
        DeleteFileW(engine.LastFetchedFile().c_str());
    }
}

} // namespace
