// The FTP control channel against scripted servers: greetings and
// multi-line replies however they arrive, login refusals, logout, and
// replies that are cut off, too long or never come.
#include "VexFTP.h"

#include "DiagLog.h"
#include "ScriptedPeer.h"
#include "TestFiles.h"
#include "VexErrors.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <string>

namespace {

// A server that greets with `greeting` and logs the client in.
CScriptedPeer& GreetAndLogIn(CScriptedPeer& server, const std::string& greeting)
{
    return server.Send(greeting).ExpectLine().Send("331 Password\r\n").ExpectLine().Send("230 Logged in\r\n");
}

TEST(FtpConnect, MultiLineGreetingInOneSegment)
{
    CScriptedPeer server;
    GreetAndLogIn(server, "220-Welcome\r\n220-second line\r\n220 Ready\r\n").HoldUntilClientCloses();
    const uint16_t port = server.Start();
    CVexFTP ftp;
    ASSERT_TRUE(ftp.Connect("127.0.0.1", "jo", "secret", port)) << ftp.GetLastError() << "/" << ftp.GetLastErrorEx();
    EXPECT_EQ(ftp.GetLastError(), 0);
    EXPECT_EQ(ftp.m_nReplyCode, 230);
    EXPECT_TRUE(ftp.m_bCreated);
    ftp.Close();
    server.Join();
    EXPECT_EQ(server.Received(), "USER jo\r\nPASS secret\r\n");
}

TEST(FtpConnect, RepliesSplitAcrossSegmentsAndSeveralInOne)
{
    CScriptedPeer server;
    server.Send("22").Send("0-Wel").Send("come\r\n22").Send("0 Rea").Send("dy\r\n")
        .ExpectLine().Send("331 Password\r\n230 early\r\n").ExpectLine().HoldUntilClientCloses();
    const uint16_t port = server.Start();
    CVexFTP ftp;
    // The 230 arrived with the 331 and waits in the buffer for PASS.
    ASSERT_TRUE(ftp.Connect("127.0.0.1", "jo", "pw", port));
    ftp.Close();
}

TEST(FtpConnect, GreetingRefusals)
{
    const struct { const char* greeting; long lErrorEx; int replyCode; } cases[] = {
        // The indented line ends the reply and is returned: its code is 0.
        {"220-Welcome\r\n    indented continuation\r\n", VEXDET_UNEXPECTED, 0},
        {"220-Welcome\r\n421 Other code\r\n", VEXDET_BAD_REPLY, 0},
        {"421 Too many users\r\n", VEXDET_UNEXPECTED, 421},
        {"Hello there\r\n", VEXDET_BAD_REPLY, 0},
    };
    for (const auto& c : cases)
    {
        CScriptedPeer server;
        server.Send(c.greeting).HoldUntilClientCloses();
        const uint16_t port = server.Start();
        CVexFTP ftp;
        EXPECT_FALSE(ftp.Connect("127.0.0.1", "jo", "pw", port)) << c.greeting;
        EXPECT_EQ(ftp.GetLastError(), VEXERR_FTP) << c.greeting;
        EXPECT_EQ(ftp.GetLastErrorEx(), c.lErrorEx) << c.greeting;
        EXPECT_EQ(ftp.m_nReplyCode, c.replyCode) << c.greeting;
        ftp.Close();
    }
}

TEST(FtpConnect, ThreeDigitLineStartsAMultiLineReply)
{
    CScriptedPeer server;
    server.Send("220\r\n220 then ready\r\n").ExpectLine().Send("331 p\r\n").ExpectLine().Send("230 in\r\n")
        .HoldUntilClientCloses();
    const uint16_t port = server.Start();
    CVexFTP ftp;
    EXPECT_TRUE(ftp.Connect("127.0.0.1", "jo", "pw", port));
    ftp.Close();
}

TEST(FtpConnect, UserAnsweredWith230FailsAndThePasswordIsNeverSent)
{
    CScriptedPeer server;
    server.Send("220 Ready\r\n").ExpectLine().Send("230 No password needed\r\n").HoldUntilClientCloses();
    const uint16_t port = server.Start();
    CVexFTP ftp;
    EXPECT_FALSE(ftp.Connect("127.0.0.1", "jo", "pw", port));
    EXPECT_EQ(ftp.GetLastError(), VEXERR_FTP);
    EXPECT_EQ(ftp.GetLastErrorEx(), VEXDET_USER_REFUSED);
    ftp.Close();
    server.Join();
    EXPECT_EQ(server.Received(), "USER jo\r\n");
}

TEST(FtpConnect, PassAnsweredWith202Fails)
{
    CScriptedPeer server;
    server.Send("220 Ready\r\n").ExpectLine().Send("331 p\r\n").ExpectLine().Send("202 Superfluous\r\n")
        .HoldUntilClientCloses();
    const uint16_t port = server.Start();
    CVexFTP ftp;
    EXPECT_FALSE(ftp.Connect("127.0.0.1", "jo", "pw", port));
    EXPECT_EQ(ftp.GetLastError(), VEXERR_FTP);
    EXPECT_EQ(ftp.GetLastErrorEx(), VEXDET_PASS_REFUSED);
    ftp.Close();
}

TEST(FtpConnect, ArgumentsThatCouldNotBeSentSafelyAreRefused)
{
    const std::string tooLong(1017, 'u');
    for (const std::string& user : {std::string("jo\r\nDELE x"), tooLong})
    {
        CScriptedPeer server;
        server.Send("220 Ready\r\n").HoldUntilClientCloses();
        const uint16_t port = server.Start();
        CVexFTP ftp;
        EXPECT_FALSE(ftp.Connect("127.0.0.1", user.c_str(), "pw", port));
        EXPECT_EQ(ftp.GetLastError(), VEXERR_FTP);
        EXPECT_EQ(ftp.GetLastErrorEx(), VEXDET_USER_REFUSED);
        ftp.Close();
        server.Join();
        EXPECT_EQ(server.Received(), "");
    }
}

TEST(FtpConnect, RefusedConnectionIsASocketLayerFailure)
{
    uint16_t port;
    {
        VEXSOCK probe;
        ASSERT_TRUE(probe.Create(1, false));
        port = probe.GetLocalPort();
    }
    CVexFTP ftp;
    EXPECT_FALSE(ftp.Connect("127.0.0.1", "jo", "pw", port));
    EXPECT_EQ(ftp.GetLastError(), VEXERR_SOCKET);
    EXPECT_FALSE(ftp.Connect("no-such-host.invalid", "jo", "pw", port));
    EXPECT_EQ(ftp.GetLastError(), VEXERR_SOCKET);
    EXPECT_EQ(ftp.GetLastErrorEx(), 11001);
}

TEST(FtpReplies, ClosedMidLineOrEmptyEndsTheReadAtOnce)
{
    for (const char* greeting : {"220 Rea", ""})
    {
        CScriptedPeer server;
        server.Send(greeting).Close();
        const uint16_t port = server.Start();
        CVexFTP ftp;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(ftp.Connect("127.0.0.1", "jo", "pw", port));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        EXPECT_EQ(ftp.GetLastError(), VEXERR_FTP);
        EXPECT_EQ(ftp.GetLastErrorEx(), VEXDET_BAD_REPLY);
    }
}

TEST(FtpReplies, LineLongerThanTheBufferIsRefused)
{
    CScriptedPeer server;
    server.Send("220-" + std::string(2000, 'x') + "\r\n220 Ready\r\n").HoldUntilClientCloses();
    const uint16_t port = server.Start();
    CVexFTP ftp;
    EXPECT_FALSE(ftp.Connect("127.0.0.1", "jo", "pw", port));
    EXPECT_EQ(ftp.GetLastError(), VEXERR_FTP);
    EXPECT_EQ(ftp.GetLastErrorEx(), VEXDET_BAD_REPLY);
    ftp.Close();
}

TEST(FtpReplies, SilentServerTimesOut)
{
    CScriptedPeer server;
    server.HoldUntilClientCloses();
    const uint16_t port = server.Start();
    CVexFTP ftp;
    ASSERT_TRUE(ftp.VEXSOCK::Create(1, false));
    ftp.m_bCreated = true;
    // A missing greeting is reported as no usable reply ...
    EXPECT_FALSE(ftp.Connect("127.0.0.1", "jo", "pw", port));
    EXPECT_EQ(ftp.GetLastError(), VEXERR_FTP);
    EXPECT_EQ(ftp.GetLastErrorEx(), VEXDET_BAD_REPLY);
    // ... any other missing reply keeps the channel's pair.
    ftp.m_nTimeout = 1;
    EXPECT_FALSE(ftp.FTPResponse(2));
    EXPECT_EQ(ftp.GetLastError(), VEXERR_SOCKET);
    ftp.Close();
}

TEST(FtpResponse, ClassesAndExactCodes)
{
    CScriptedPeer server;
    server.Send("200 a\r\n221 b\r\n226 c\r\n226 d\r\n150 e\r\n").HoldUntilClientCloses();
    const uint16_t port = server.Start();
    CVexFTP ftp;
    ASSERT_TRUE(ftp.VEXSOCK::Create(2, false));
    ASSERT_TRUE(ftp.VEXSOCK::Connect("127.0.0.1", port));
    EXPECT_TRUE(ftp.FTPResponse(2));
    EXPECT_TRUE(ftp.FTPResponse(2));
    CAnsiString line;
    EXPECT_TRUE(ftp.FTPResponse(0, &line));
    EXPECT_STREQ(line.Get(), "226 c");
    EXPECT_FALSE(ftp.FTPResponse(200));
    EXPECT_EQ(ftp.GetLastError(), VEXERR_FTP);
    EXPECT_EQ(ftp.m_nReplyCode, 226);
    EXPECT_FALSE(ftp.FTPResponse(2)); // a preliminary reply is not waited past
    EXPECT_EQ(ftp.m_nReplyCode, 150);
    ftp.Close();
}

TEST(FtpDisconnect, QuitAcknowledgedClearsThePairAndClosesTheSocket)
{
    CScriptedPeer server;
    GreetAndLogIn(server, "220 Ready\r\n").ExpectLine().Send("221 Bye\r\n").HoldUntilClientCloses();
    const uint16_t port = server.Start();
    CVexFTP ftp;
    ASSERT_TRUE(ftp.Connect("127.0.0.1", "jo", "pw", port));
    ftp.m_lLastError = VEXERR_FTP;
    ftp.m_lLastErrorEx = VEXDET_NOT_FOUND;
    EXPECT_TRUE(ftp.Disconnect());
    EXPECT_EQ(ftp.GetLastError(), 0);
    EXPECT_EQ(ftp.GetLastErrorEx(), 0);
    EXPECT_FALSE(ftp.m_bCreated);
    EXPECT_EQ(ftp.m_hSocket, INVALID_SOCKET);
    server.Join();
    EXPECT_EQ(server.Received(), "USER jo\r\nPASS pw\r\nQUIT\r\n");
}

TEST(FtpDisconnect, RefusedOrUnansweredQuit)
{
    {
        CScriptedPeer server;
        GreetAndLogIn(server, "220 Ready\r\n").ExpectLine().Send("500 No\r\n").HoldUntilClientCloses();
        const uint16_t port = server.Start();
        CVexFTP ftp;
        ASSERT_TRUE(ftp.Connect("127.0.0.1", "jo", "pw", port));
        EXPECT_FALSE(ftp.Disconnect());
        EXPECT_EQ(ftp.GetLastError(), VEXERR_FTP);
        EXPECT_EQ(ftp.GetLastErrorEx(), VEXDET_QUIT_REFUSED);
        EXPECT_EQ(ftp.m_hSocket, INVALID_SOCKET);
    }
    {
        CScriptedPeer server;
        GreetAndLogIn(server, "220 Ready\r\n").ExpectLine().HoldUntilClientCloses();
        const uint16_t port = server.Start();
        CVexFTP ftp;
        ASSERT_TRUE(ftp.Connect("127.0.0.1", "jo", "pw", port));
        ftp.m_nTimeout = 1;
        EXPECT_FALSE(ftp.Disconnect());
        EXPECT_EQ(ftp.GetLastError(), VEXERR_SOCKET); // the channel's pair, not 1006
        EXPECT_EQ(ftp.m_hSocket, INVALID_SOCKET);
    }
}

TEST(FtpTrace, LinesNameTheOperationsAndNeverThePassword)
{
    const std::string logPath = TempPath("vexftp-trace-test.txt");
    DeleteFileA(logPath.c_str());

    CScriptedPeer server;
    GreetAndLogIn(server, "220 Ready\r\n").ExpectLine().Send("221 Bye\r\n").HoldUntilClientCloses();
    const uint16_t port = server.Start();
    {
        CVexFTP ftp;
        ftp.EnableLog(logPath.c_str());
        ASSERT_TRUE(ftp.Connect("127.0.0.1", "jo", "s3cr3t%n", port));
        ASSERT_TRUE(ftp.Disconnect());
    }
    const std::string trace = ReadWholeFile(logPath);
    DeleteFileA(logPath.c_str());
    const std::string portText = std::to_string(port);
    for (const std::string& expected : {
             "CVexFTP::Connect( 127.0.0.1, jo, {password}, " + portText + ")\n",
             std::string("CVexFTP::GetMessage() returned: 220 Ready\n"),
             std::string("CVexFTP::PutMessage( USER jo )\n"),
             std::string("CVexFTP::FTPResponse( 331 ) Received response: 331.\n"),
             std::string("CVexFTP::PutMessage( PASS {password} )\n"),
             std::string("CVexFTP::Connect() returned true. m_lLastError: 0 m_lLastErrorEx: 0\n"),
             std::string("CVexFTP::Disconnect() - Enter\n"),
             std::string("CVexFTP::Disconnect() - Success\n"),
         })
        EXPECT_NE(trace.find(expected), std::string::npos) << "missing: " << expected << "in:\n" << trace;
    EXPECT_EQ(trace.find("s3cr3t"), std::string::npos);
    EXPECT_EQ(trace.find('\r'), std::string::npos);
}

} // namespace
