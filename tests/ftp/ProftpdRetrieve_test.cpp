// Retrieves against proftpd, a real server that waits for CR LF before it
// takes a command: a client whose commands ended in a bare line feed would
// never get past USER here.
#include "VexFTP.h"

#include "TestEnv.h"
#include "TestFiles.h"
#include "VexErrors.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace {

bool LogIn(CVexFTP& ftp)
{
    return ftp.Connect("127.0.0.1", testenv::FtpUser().c_str(), testenv::FtpPassword().c_str(),
                       testenv::ProftpdPort());
}

// Reads from the channel until the text holds a whole line or the channel
// fails (its timeout, or the server closing).
std::string ReadLine(VEXSOCK& sock)
{
    std::string text;
    char buffer[512];
    while (text.find('\n') == std::string::npos)
    {
        const int cb = sock.Receive(buffer, sizeof(buffer), 0);
        if (cb <= 0)
            break;
        text.append(buffer, cb);
    }
    return text;
}

class ProftpdRetrieve : public ::testing::Test
{
protected:
    std::string Remote(const std::string& name) { return testenv::ProftpdRoot() + "\\" + name; }

    std::string Track(const std::string& path) { return m_files.Track(path); }

    CTrackedFiles m_files;
};

// The premise of the tests below: this server leaves a command that ends in a
// bare line feed unanswered, and answers the same command ended by CR LF.
TEST(ProftpdLineEnds, BareLineFeedCommandIsNeverAnswered)
{
    for (const char* pszLineEnd : {"\n", "\r\n"})
    {
        const bool bCrLf = pszLineEnd[0] == '\r';
        VEXSOCK sock;
        ASSERT_TRUE(sock.Create(2, false));
        ASSERT_TRUE(sock.Connect("127.0.0.1", testenv::ProftpdPort()));
        EXPECT_EQ(ReadLine(sock).substr(0, 4), "220 ");
        const std::string command = "USER " + testenv::FtpUser() + pszLineEnd;
        ASSERT_EQ(sock.SendAll(command.data(), static_cast<int>(command.size()), 0),
                  static_cast<int>(command.size()));
        if (bCrLf)
        {
            EXPECT_EQ(ReadLine(sock).substr(0, 4), "331 ");
        }
        else
        {
            EXPECT_EQ(sock.WaitRead(), 0);
            EXPECT_EQ(sock.GetLastError(), VEXERR_SOCKET);
            EXPECT_EQ(sock.GetLastErrorEx(), VEXWSA_TIMEDOUT);
        }
    }
}

TEST_F(ProftpdRetrieve, ImageIsByteExactInActiveAndPassiveMode)
{
    const std::string content = BinaryContent(700 * 1024 + 17);
    WriteWholeFile(Track(Remote("retr-image.bin")), content);
    for (bool bPassive : {false, true})
    {
        const char* pszMode = bPassive ? "passive" : "active";
        const std::string local = Track(TempPath(std::string("vex-proftpd-") + pszMode + ".bin"));
        CVexFTP ftp;
        ASSERT_TRUE(LogIn(ftp)) << pszMode << ": " << ftp.GetLastError() << "/" << ftp.GetLastErrorEx();
        EXPECT_TRUE(ftp.MoveFile("retr-image.bin", local.c_str(), true, true, bPassive))
            << pszMode << ": " << ftp.GetLastError() << "/" << ftp.GetLastErrorEx();
        EXPECT_EQ(ftp.m_nReplyCode, 226) << pszMode;
        EXPECT_TRUE(ReadWholeFile(local) == content) << pszMode;
        EXPECT_TRUE(ftp.Disconnect()) << pszMode;
    }
}

uint32_t g_cbStartExpected;
void OnStart(uint32_t cbExpected) { g_cbStartExpected = cbExpected; }

// proftpd refuses SIZE in ASCII type ("550 SIZE not allowed in ASCII mode"),
// and MoveFile asks for the size before it sends TYPE I: the first retrieve
// of a login runs with the size unknown, a second one on the same login
// (still in image type) learns it.
TEST_F(ProftpdRetrieve, SizeIsUnknownUntilTheLoginIsInImageType)
{
    const std::string content = BinaryContent(40 * 1024);
    WriteWholeFile(Track(Remote("retr-size.bin")), content);
    const std::string local = Track(TempPath("vex-proftpd-size.bin"));
    CVexFTP ftp;
    ftp.SetStartHook(OnStart);
    ASSERT_TRUE(LogIn(ftp));
    for (uint32_t cbExpected : {0u, static_cast<uint32_t>(content.size())})
    {
        g_cbStartExpected = 12345;
        EXPECT_TRUE(ftp.MoveFile("retr-size.bin", local.c_str(), true, true, true))
            << ftp.GetLastError() << "/" << ftp.GetLastErrorEx();
        EXPECT_EQ(g_cbStartExpected, cbExpected);
        EXPECT_TRUE(ReadWholeFile(local) == content);
    }
    EXPECT_TRUE(ftp.Disconnect());
}

} // namespace
