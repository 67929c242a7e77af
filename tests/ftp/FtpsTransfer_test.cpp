// FTP over TLS against real servers: vsftpd with explicit and with implicit
// TLS and proftpd with mod_tls, in both modes, directly and through dante
// and tinyproxy; what FTPTLS 1 and 2 make of a server without TLS; a
// certificate for another name; and vsftpd's refusal of data connections
// that do not resume the control connection's session.
#include "VexFTP.h"

#include "TestEnv.h"
#include "TestFiles.h"
#include "TestTls.h"
#include "VexErrors.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

using ftp::TlsMode;

struct Server
{
    const char* name;
    const char* portVariable;
    TlsMode mode;
    bool bProftpd;
};

const Server kServers[] = {
    {"vsftpd, AUTH TLS", "VEXA_FTPS_PORT", TlsMode::kRequired, false},
    {"vsftpd, implicit TLS", "VEXA_FTPS_IMPLICIT_PORT", TlsMode::kImplicit, false},
    {"proftpd mod_tls, AUTH TLS", "VEXA_PROFTPD_TLS_PORT", TlsMode::kRequired, true},
};

std::string Root(bool bProftpd) { return bProftpd ? testenv::ProftpdRoot() : testenv::FtpRoot(); }

std::string Pair(const CVexFTP& ftp)
{
    return std::to_string(ftp.GetLastError()) + "/" + std::to_string(ftp.GetLastErrorEx()) + " " +
           (ftp.m_lastReply.Get() ? ftp.m_lastReply.Get() : "");
}

bool LogIn(CVexFTP& ftp, const char* pszHost, uint16_t port, TlsMode mode)
{
    ftp.m_tlsMode = mode;
    return ftp.Connect(pszHost, testenv::FtpUser().c_str(), testenv::FtpPassword().c_str(), port);
}

class FtpsTransfer : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(TrustTestRoot()); }
    std::string Track(const std::string& path) { return m_files.Track(path); }
    CTrackedFiles m_files;
};

// Lines that ASCII type turns into CR LF lines, among bytes image type keeps.
std::string UnixText()
{
    std::string text;
    for (int i = 0; i < 4000; ++i)
        text += "line " + std::to_string(i) + " of the ASCII file\n";
    return text;
}

std::string CrLfText(const std::string& unix)
{
    std::string text;
    for (char c : unix)
        text += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return text;
}

TEST_F(FtpsTransfer, RetrieveIsByteExactOnEveryServerInBothModesAndTypes)
{
    const std::string image = BinaryContent(900 * 1024 + 33);
    const std::string text = UnixText();
    for (const Server& server : kServers)
    {
        WriteWholeFile(Track(Root(server.bProftpd) + "\\tls-image.bin"), image);
        WriteWholeFile(Track(Root(server.bProftpd) + "\\tls-text.txt"), text);
        for (bool bPassive : {true, false})
        {
            for (bool bImage : {true, false})
            {
                const std::string what = std::string(server.name) + (bPassive ? ", passive" : ", active") +
                                         (bImage ? ", image" : ", ASCII");
                const std::string local = Track(TempPath("vex-ftps-retr.bin"));
                CVexFTP ftp;
                ASSERT_TRUE(LogIn(ftp, "localhost", testenv::Port(server.portVariable), server.mode))
                    << what << ": " << Pair(ftp);
                EXPECT_TRUE(ftp.MoveFile(bImage ? "tls-image.bin" : "tls-text.txt", local.c_str(), bImage, true,
                                         bPassive))
                    << what << ": " << Pair(ftp);
                EXPECT_TRUE(ReadWholeFile(local) == (bImage ? image : CrLfText(text))) << what;
                EXPECT_TRUE(ftp.Disconnect()) << what;
            }
        }
    }
}

TEST_F(FtpsTransfer, StoreIsByteExactInBothModes)
{
    const std::string content = BinaryContent(400 * 1024 + 9);
    const std::string local = Track(TempPath("vex-ftps-stor-source.bin"));
    WriteWholeFile(local, content);
    for (const Server& server : kServers)
    {
        for (bool bPassive : {true, false})
        {
            const std::string what = std::string(server.name) + (bPassive ? ", passive" : ", active");
            const std::string remote = Track(Root(server.bProftpd) + "\\tls-stored.bin");
            CVexFTP ftp;
            ASSERT_TRUE(LogIn(ftp, "localhost", testenv::Port(server.portVariable), server.mode))
                << what << ": " << Pair(ftp);
            EXPECT_TRUE(ftp.MoveFile("tls-stored.bin", local.c_str(), true, false, bPassive))
                << what << ": " << Pair(ftp);
            EXPECT_TRUE(ftp.Disconnect()) << what;
            EXPECT_TRUE(ReadWholeFile(remote) == content) << what;
        }
    }
}

TEST_F(FtpsTransfer, TlsRunsInsideSocksAndHttpTunnels)
{
    const std::string content = BinaryContent(300 * 1024 + 1);
    WriteWholeFile(Track(testenv::FtpRoot() + "\\tls-proxied.bin"), content);
    const std::string user = testenv::FtpUser(), password = testenv::FtpPassword();
    const uint16_t port = testenv::Port("VEXA_FTPS_PORT");
    const struct
    {
        const char* name;
        unsigned socksVersion; // 0: the HTTP proxy
        bool bPassive;
    } routes[] = {
        {"SOCKS 5 CONNECT", 5, true}, {"SOCKS 5 BIND", 5, false}, {"SOCKS 4 CONNECT", 1, true},
        {"SOCKS 4 BIND", 1, false},   {"HTTP CONNECT", 0, true},
    };
    for (const auto& route : routes)
    {
        const std::string local = Track(TempPath("vex-ftps-proxied.bin"));
        CVexFTP ftp;
        ftp.m_tlsMode = TlsMode::kRequired;
        HttpProxyRoute tunnel;
        tunnel.bUse = true;
        tunnel.host = "127.0.0.1";
        tunnel.port = testenv::TinyproxyPort();
        const bool bConnected =
            route.socksVersion ? ftp.ConnectSocks("127.0.0.1", user.c_str(), password.c_str(), port, "127.0.0.1",
                                                  testenv::DantePort(), route.socksVersion, 0, nullptr, nullptr)
                               : ftp.ConnectHttpTunnel("127.0.0.1", user.c_str(), password.c_str(), port, tunnel);
        ASSERT_TRUE(bConnected) << route.name << ": " << Pair(ftp);
        EXPECT_TRUE(ftp.MoveFile("tls-proxied.bin", local.c_str(), true, true, route.bPassive))
            << route.name << ": " << Pair(ftp);
        EXPECT_TRUE(ReadWholeFile(local) == content) << route.name;
        EXPECT_TRUE(ftp.Disconnect()) << route.name;
    }
}

// proftpd without mod_tls answers AUTH TLS with 500.
TEST_F(FtpsTransfer, ServerWithoutTlsIsPlainWhenOfferedOnlyAndRefusedWhenRequired)
{
    WriteWholeFile(Track(testenv::ProftpdRoot() + "\\plain.txt"), "plain");
    const std::string trace = Track(TempPath("vex-ftps-trace.log"));
    const std::string local = Track(TempPath("vex-ftps-plain.txt"));
    {
        CVexFTP ftp;
        ftp.EnableLog(trace.c_str());
        ASSERT_TRUE(LogIn(ftp, "127.0.0.1", testenv::ProftpdPort(), TlsMode::kIfOffered)) << Pair(ftp);
        EXPECT_TRUE(ftp.MoveFile("plain.txt", local.c_str(), true, true, true)) << Pair(ftp);
        EXPECT_EQ(ReadWholeFile(local), "plain");
        EXPECT_TRUE(ftp.Disconnect());
    }
    EXPECT_NE(ReadWholeFile(trace).find("does not offer TLS (reply 500 to AUTH TLS); FTPTLS 1 goes on in plain"),
              std::string::npos);

    CVexFTP ftp;
    EXPECT_FALSE(LogIn(ftp, "127.0.0.1", testenv::ProftpdPort(), TlsMode::kRequired));
    EXPECT_EQ(ftp.GetLastError(), VEXERR_FTP);
    EXPECT_EQ(ftp.GetLastErrorEx(), VEXDET_FTP_AUTH_REFUSED);
    EXPECT_EQ(std::string(ftp.m_lastReply.Get()).substr(0, 4), "500 ");
}

TEST_F(FtpsTransfer, CertificateForAnotherNameFailsTheLogin)
{
    for (TlsMode mode : {TlsMode::kIfOffered, TlsMode::kRequired})
    {
        CVexFTP ftp;
        EXPECT_FALSE(LogIn(ftp, "localhost", testenv::Port("VEXA_FTPS_WRONG_NAME_PORT"), mode));
        EXPECT_EQ(ftp.GetLastError(), VEXERR_TLS);
        EXPECT_EQ(ftp.GetLastErrorEx(), VEXDET_TLS_NAME_MISMATCH);
    }
}

// Wine 8's Schannel never resumes a TLS session, so vsftpd's default
// (require_ssl_reuse=YES) refuses every data connection here. On Windows the
// same transfer resumes the control connection's session and passes.
TEST_F(FtpsTransfer, ServerRequiringSessionReuseIsQuoted)
{
    WriteWholeFile(Track(testenv::FtpRoot() + "\\tls-reuse.txt"), "reuse");
    const std::string local = Track(TempPath("vex-ftps-reuse.txt"));
    CVexFTP ftp;
    ASSERT_TRUE(LogIn(ftp, "localhost", testenv::Port("VEXA_FTPS_REUSE_PORT"), TlsMode::kRequired)) << Pair(ftp);
    EXPECT_FALSE(ftp.MoveFile("tls-reuse.txt", local.c_str(), true, true, true));
    EXPECT_EQ(ftp.GetLastError(), VEXERR_FTP);
    EXPECT_EQ(ftp.GetLastErrorEx(), VEXDET_FTP_DATA_TLS_REFUSED);
    EXPECT_EQ(std::string(ftp.m_lastReply.Get()).substr(0, 50), "522 SSL connection failed: session reuse required");
}

} // namespace
