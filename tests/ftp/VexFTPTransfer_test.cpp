// Whole-file transfers: retrieve and store in image and ASCII type over all
// four kinds of data connection against vsftpd (through dante for the proxy
// modes), and every refusal of a transfer against scripted servers.
#include "VexFTP.h"

#include "ScriptedPeer.h"
#include "TestFiles.h"
#include "TestEnv.h"
#include "VexErrors.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

enum class Route { kDirect, kSocks4, kSocks5 };

struct Mode
{
    Route route;
    bool bPassive;
    const char* name;
};

const Mode kModes[] = {
    {Route::kDirect, true, "passive"},
    {Route::kDirect, false, "active"},
    {Route::kSocks5, true, "passive via SOCKS 5"},
    {Route::kSocks5, false, "active via SOCKS 5 BIND"},
    {Route::kSocks4, true, "passive via SOCKS 4"},
    {Route::kSocks4, false, "active via SOCKS 4 BIND"},
};

bool LogIn(CVexFTP& ftp, Route route)
{
    const std::string user = testenv::FtpUser(), password = testenv::FtpPassword();
    if (route == Route::kDirect)
        return ftp.Connect("127.0.0.1", user.c_str(), password.c_str(), testenv::FtpPort());
    // Version argument 1 selects SOCKS 4, 5 selects SOCKS 5.
    return ftp.ConnectSocks("127.0.0.1", user.c_str(), password.c_str(), testenv::FtpPort(), "127.0.0.1",
                            testenv::DantePort(), route == Route::kSocks4 ? 1 : 5, 0, nullptr, nullptr);
}

class VsftpdTransfer : public ::testing::Test
{
protected:
    std::string Remote(const std::string& name) { return testenv::FtpRoot() + "\\" + name; }

    std::string Track(const std::string& path) { return m_files.Track(path); }

    CTrackedFiles m_files;
};

TEST_F(VsftpdTransfer, RetrieveImageIsByteExactInEveryMode)
{
    const std::string content = BinaryContent(700 * 1024 + 17);
    WriteWholeFile(Track(Remote("retr-image.bin")), content);
    for (const Mode& mode : kModes)
    {
        const std::string local = Track(TempPath(std::string("vex-retr-") + std::to_string(&mode - kModes) + ".bin"));
        CVexFTP ftp;
        ASSERT_TRUE(LogIn(ftp, mode.route)) << mode.name << ": " << ftp.GetLastError() << "/" << ftp.GetLastErrorEx();
        EXPECT_TRUE(ftp.MoveFile("retr-image.bin", local.c_str(), true, true, mode.bPassive))
            << mode.name << ": " << ftp.GetLastError() << "/" << ftp.GetLastErrorEx();
        EXPECT_TRUE(ReadWholeFile(local) == content) << mode.name;
        EXPECT_TRUE(ftp.Disconnect()) << mode.name;
    }
}

TEST_F(VsftpdTransfer, StoreImageIsByteExactInEveryMode)
{
    const std::string content = BinaryContent(300 * 1024 + 5);
    const std::string local = Track(TempPath("vex-stor-source.bin"));
    WriteWholeFile(local, content);
    for (const Mode& mode : kModes)
    {
        const std::string name = "stor-image-" + std::to_string(&mode - kModes) + ".bin";
        Track(Remote(name));
        CVexFTP ftp;
        ASSERT_TRUE(LogIn(ftp, mode.route)) << mode.name;
        EXPECT_TRUE(ftp.MoveFile(name.c_str(), local.c_str(), true, false, mode.bPassive))
            << mode.name << ": " << ftp.GetLastError() << "/" << ftp.GetLastErrorEx();
        EXPECT_TRUE(ftp.Disconnect());
        EXPECT_TRUE(ReadWholeFile(Remote(name)) == content) << mode.name;
    }
}

TEST_F(VsftpdTransfer, AsciiTypeConvertsLineEndsBothWays)
{
    WriteWholeFile(Track(Remote("ascii.txt")), "one\ntwo\nthree\n");
    const std::string local = Track(TempPath("vex-ascii.txt"));
    CVexFTP ftp;
    ASSERT_TRUE(LogIn(ftp, Route::kDirect));
    ASSERT_TRUE(ftp.MoveFile("ascii.txt", local.c_str(), false, true, false));
    EXPECT_EQ(ReadWholeFile(local), "one\r\ntwo\r\nthree\r\n");

    Track(Remote("ascii-up.txt"));
    ASSERT_TRUE(ftp.MoveFile("ascii-up.txt", local.c_str(), false, false, true));
    EXPECT_EQ(ReadWholeFile(Remote("ascii-up.txt")), "one\ntwo\nthree\n");
    EXPECT_TRUE(ftp.Disconnect());
}

TEST_F(VsftpdTransfer, EmptyFileGivesAnEmptyLocalFile)
{
    WriteWholeFile(Track(Remote("empty.txt")), "");
    const std::string local = Track(TempPath("vex-empty.txt"));
    WriteWholeFile(local, "old content");
    CVexFTP ftp;
    ASSERT_TRUE(LogIn(ftp, Route::kDirect));
    EXPECT_TRUE(ftp.MoveFile("empty.txt", local.c_str(), false, true, false));
    EXPECT_TRUE(Exists(local));
    EXPECT_EQ(ReadWholeFile(local), "");
}

TEST_F(VsftpdTransfer, MissingRemoteFileIsNotFoundAndCreatesNoLocalFile)
{
    const std::string local = Track(TempPath("vex-missing.txt"));
    DeleteFileA(local.c_str());
    CVexFTP ftp;
    ASSERT_TRUE(LogIn(ftp, Route::kDirect));
    EXPECT_FALSE(ftp.MoveFile("no-such-file.txt", local.c_str(), false, true, false));
    EXPECT_EQ(ftp.GetLastError(), VEXERR_FTP);
    EXPECT_EQ(ftp.GetLastErrorEx(), VEXDET_NOT_FOUND);
    EXPECT_EQ(ftp.m_nReplyCode, 550);
    EXPECT_FALSE(Exists(local));
    // The connection stays logged in: a second transfer works.
    WriteWholeFile(Track(Remote("after-550.txt")), "x");
    EXPECT_TRUE(ftp.MoveFile("after-550.txt", local.c_str(), true, true, true));
    EXPECT_TRUE(ftp.Disconnect());
}

TEST_F(VsftpdTransfer, WrongPasswordIsRefused)
{
    CVexFTP ftp;
    EXPECT_FALSE(ftp.Connect("127.0.0.1", testenv::FtpUser().c_str(), "wrong", testenv::FtpPort()));
    EXPECT_EQ(ftp.GetLastError(), VEXERR_FTP);
    EXPECT_EQ(ftp.GetLastErrorEx(), VEXDET_PASS_REFUSED);
}

TEST_F(VsftpdTransfer, LocalTargetThatCannotBeOpenedFailsWithTheFileCode)
{
    WriteWholeFile(Track(Remote("to-nowhere.txt")), "data");
    CVexFTP ftp;
    ASSERT_TRUE(LogIn(ftp, Route::kDirect));
    EXPECT_FALSE(ftp.MoveFile("to-nowhere.txt", TempPath("no-such-dir\\x.txt").c_str(), true, true, false));
    EXPECT_EQ(ftp.GetLastError(), VEXERR_LOCALFILE);
    EXPECT_EQ(ftp.GetLastErrorEx(), VEXFILE_UNKNOWN); // path not found has no code of its own
}

TEST_F(VsftpdTransfer, StoringAMissingLocalFileFailsAfterOpeningTheDataConnection)
{
    Track(Remote("from-nowhere.txt"));
    CVexFTP ftp;
    ASSERT_TRUE(LogIn(ftp, Route::kDirect));
    EXPECT_FALSE(ftp.MoveFile("from-nowhere.txt", TempPath("vex-no-such-source.txt").c_str(), true, false, false));
    EXPECT_EQ(ftp.GetLastError(), VEXERR_LOCALFILE);
    EXPECT_EQ(ftp.GetLastErrorEx(), VEXFILE_NOT_FOUND);
}

uint32_t g_cbStartExpected;
uint32_t g_cbLastProgress;
int g_nProgressCalls;
int g_nAbortQueries;
bool g_bAbort;
void OnStart(uint32_t cbExpected) { g_cbStartExpected = cbExpected; }
void OnProgress(uint32_t, uint32_t cbSoFar)
{
    ++g_nProgressCalls;
    g_cbLastProgress = cbSoFar;
}
bool OnAbortQuery()
{
    ++g_nAbortQueries;
    return g_bAbort;
}

TEST_F(VsftpdTransfer, HooksSeeTheSizeAndTheAbortHookStopsTheTransfer)
{
    const std::string content = BinaryContent(3 * 1024 * 1024);
    WriteWholeFile(Track(Remote("hooks.bin")), content);
    const std::string local = Track(TempPath("vex-hooks.bin"));
    for (bool bAbort : {false, true})
    {
        g_cbStartExpected = g_cbLastProgress = 0;
        g_nProgressCalls = g_nAbortQueries = 0;
        g_bAbort = bAbort;
        CVexFTP ftp;
        ftp.SetStartHook(OnStart);
        ftp.SetProgressHook(OnProgress);
        ftp.SetAbortHook(OnAbortQuery);
        ASSERT_TRUE(LogIn(ftp, Route::kDirect));
        const bool bResult = ftp.MoveFile("hooks.bin", local.c_str(), true, true, true);
        EXPECT_EQ(g_cbStartExpected, content.size());
        EXPECT_GE(g_nAbortQueries, 1);
        if (!bAbort)
        {
            EXPECT_TRUE(bResult);
            EXPECT_EQ(g_cbLastProgress, content.size());
            EXPECT_GE(g_nProgressCalls, 2);
        }
        else
        {
            EXPECT_FALSE(bResult);
            EXPECT_EQ(ftp.GetLastError(), VEXERR_ABORTED);
            EXPECT_EQ(ftp.GetLastErrorEx(), VEXDET_ABORTED);
            EXPECT_LT(g_cbLastProgress, content.size());
            EXPECT_EQ(ReadWholeFile(local).size(), g_cbLastProgress); // what arrived stays
        }
    }
}

// --- scripted servers: refusals ------------------------------------------------

// Greets, logs in and answers SIZE; the caller scripts the rest.
CScriptedPeer& LoggedIn(CScriptedPeer& server)
{
    return server.Send("220 Ready\r\n").ExpectLine().Send("331 p\r\n").ExpectLine().Send("230 in\r\n");
}

struct ScriptedTransfer
{
    CScriptedPeer server;
    CVexFTP ftp;
    std::string local = TempPath("vex-scripted.txt");

    bool Run(bool bDownload, bool bPassive)
    {
        const uint16_t port = server.Start();
        if (!ftp.Connect("127.0.0.1", "jo", "pw", port))
            return false;
        if (!bDownload)
            WriteWholeFile(local, "upload");
        else
            DeleteFileA(local.c_str());
        const bool bResult = ftp.MoveFile("f.txt", local.c_str(), false, bDownload, bPassive);
        ftp.Close();
        server.Join();
        return bResult;
    }
    ~ScriptedTransfer() { DeleteFileA(local.c_str()); }
};

TEST(FtpScriptedTransfer, TypeRefusedSendsNothingMore)
{
    ScriptedTransfer t;
    LoggedIn(t.server).ExpectLine().Send("500 no SIZE\r\n").ExpectLine().Send("504 no such type\r\n")
        .HoldUntilClientCloses();
    EXPECT_FALSE(t.Run(true, false));
    EXPECT_EQ(t.ftp.GetLastError(), VEXERR_FTP);
    EXPECT_EQ(t.ftp.GetLastErrorEx(), VEXDET_UNEXPECTED);
    EXPECT_EQ(t.server.Received(), "USER jo\r\nPASS pw\r\nSIZE f.txt\r\nTYPE A\r\n");
}

TEST(FtpScriptedTransfer, StoreRefusalsMapToTheirDetails)
{
    const struct { const char* reply; long lErrorEx; } cases[] = {
        {"553 bad name\r\n", VEXDET_NAME_NOT_ALLOWED}, {"552 full\r\n", VEXDET_STORAGE_EXCEEDED},
        {"532 account\r\n", VEXDET_ACCOUNT_NEEDED},    {"450 busy\r\n", VEXDET_UNEXPECTED},
        {"226 too soon\r\n", VEXDET_UNEXPECTED},
    };
    for (const auto& c : cases)
    {
        ScriptedTransfer t;
        LoggedIn(t.server).ExpectLine().Send("200 type\r\n").ExpectLine().Send("200 port\r\n").ExpectLine()
            .Send(c.reply).HoldUntilClientCloses();
        EXPECT_FALSE(t.Run(false, false)) << c.reply;
        EXPECT_EQ(t.ftp.GetLastError(), VEXERR_FTP) << c.reply;
        EXPECT_EQ(t.ftp.GetLastErrorEx(), c.lErrorEx) << c.reply;
    }
}

TEST(FtpScriptedTransfer, PassiveAndPortRefusals)
{
    // EPSV first; PASV only after a refusal of the command itself.
    const struct { const char* epsv; const char* pasv; const char* sent; } passive[] = {
        {"502 no EPSV\r\n", "502 no passive\r\n", "EPSV\r\nPASV\r\n"},
        {"500 what?\r\n", "227 Entering Passive Mode (127,0,0,1)\r\n", "EPSV\r\nPASV\r\n"},
        {"229 Entering Extended Passive Mode (|||0|)\r\n", nullptr, "EPSV\r\n"},
        {"425 not now\r\n", nullptr, "EPSV\r\n"},
    };
    for (const auto& c : passive)
    {
        ScriptedTransfer t;
        CScriptedPeer& script = LoggedIn(t.server).ExpectLine().Send("213 4\r\n").ExpectLine().Send("200 type\r\n")
                                    .ExpectLine().Send(c.epsv);
        if (c.pasv)
            script.ExpectLine().Send(c.pasv);
        script.HoldUntilClientCloses();
        EXPECT_FALSE(t.Run(true, true)) << c.epsv;
        EXPECT_EQ(t.ftp.GetLastError(), VEXERR_FTP) << c.epsv;
        EXPECT_EQ(t.ftp.GetLastErrorEx(), VEXDET_BAD_REPLY) << c.epsv;
        const std::string received = t.server.Received();
        EXPECT_EQ(received.substr(received.find("TYPE A\r\n") + 8), c.sent) << c.epsv;
    }
    {
        ScriptedTransfer t;
        LoggedIn(t.server).ExpectLine().Send("213 4\r\n").ExpectLine().Send("200 type\r\n").ExpectLine()
            .Send("500 no PORT\r\n").HoldUntilClientCloses();
        EXPECT_FALSE(t.Run(true, false));
        EXPECT_EQ(t.ftp.GetLastError(), VEXERR_FTP);
        EXPECT_EQ(t.ftp.GetLastErrorEx(), VEXDET_PORT_OR_COMPLETION);
        const std::string received = t.server.Received();
        EXPECT_EQ(received.find("RETR"), std::string::npos);
        EXPECT_NE(received.find("PORT 127,0,0,1,"), std::string::npos);
    }
}

TEST(FtpScriptedTransfer, PasvAfterEpsvIsUnknownFetchesTheFile)
{
    ScriptedTransfer t;
    LoggedIn(t.server).ExpectLine().Send("213 5\r\n").ExpectLine().Send("200 type\r\n").ExpectLine()
        .Send("500 EPSV not understood\r\n").ExpectLine().OfferPassive().ExpectLine().AcceptData()
        .Send("150 here it comes\r\n").SendData("hello").CloseData().Send("226 done\r\n").HoldUntilClientCloses();
    EXPECT_TRUE(t.Run(true, true)) << t.ftp.GetLastError() << "/" << t.ftp.GetLastErrorEx();
    EXPECT_EQ(ReadWholeFile(t.local), "hello");
}

TEST(FtpScriptedTransfer, EarlyCloseThen426KeepsWhatArrived)
{
    ScriptedTransfer t;
    LoggedIn(t.server).ExpectLine().Send("213 1000\r\n").ExpectLine().Send("200 type\r\n").ExpectLine()
        .OfferPassive().ExpectLine().AcceptData().Send("150 here it comes\r\n").SendData("partial").CloseData()
        .Send("426 Connection closed; transfer aborted.\r\n").HoldUntilClientCloses();
    EXPECT_FALSE(t.Run(true, true));
    EXPECT_EQ(t.ftp.GetLastError(), VEXERR_FTP);
    EXPECT_EQ(t.ftp.GetLastErrorEx(), VEXDET_PORT_OR_COMPLETION);
    EXPECT_EQ(ReadWholeFile(t.local), "partial");
}

TEST(FtpScriptedTransfer, ActiveServerThatNeverConnectsTimesOut)
{
    ScriptedTransfer t;
    LoggedIn(t.server).ExpectLine().Send("213 4\r\n").ExpectLine().Send("200 type\r\n").ExpectLine()
        .Send("200 port\r\n").ExpectLine().Send("150 opening\r\n").HoldUntilClientCloses();
    EXPECT_FALSE(t.Run(true, false));
    EXPECT_EQ(t.ftp.GetLastError(), VEXERR_SOCKET);
    EXPECT_EQ(t.ftp.GetLastErrorEx(), VEXWSA_TIMEDOUT);
}

TEST(FtpScriptedTransfer, ActiveConnectionToTheAnnouncedPort)
{
    ScriptedTransfer t;
    LoggedIn(t.server).ExpectLine().Send("213 5\r\n").ExpectLine().Send("200 type\r\n").ExpectLine()
        .Send("200 port\r\n").ExpectLine().ConnectData().Send("150 opening\r\n").SendData("hello").CloseData()
        .Send("226 done\r\n").HoldUntilClientCloses();
    EXPECT_TRUE(t.Run(true, false)) << t.ftp.GetLastError() << "/" << t.ftp.GetLastErrorEx();
    EXPECT_EQ(ReadWholeFile(t.local), "hello");
}

TEST(FtpScriptedTransfer, ServerThatNeverSendsItsPreliminaryReply)
{
    ScriptedTransfer t;
    LoggedIn(t.server).ExpectLine().Send("213 4\r\n").ExpectLine().Send("200 type\r\n").ExpectLine()
        .OfferPassive().ExpectLine().AcceptData().HoldUntilClientCloses();
    EXPECT_FALSE(t.Run(true, true));
    EXPECT_EQ(t.ftp.GetLastError(), VEXERR_SOCKET);
    EXPECT_FALSE(Exists(t.local));
}

} // namespace
