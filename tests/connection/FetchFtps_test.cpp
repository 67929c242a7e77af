// FTP over TLS through the engine, as hosts ask for it: ftps:// URLs, and
// the FTPTLS setting for ftp:// URLs and FetchRemoteFTP; a refused transfer
// keeps no file and quotes the server.
#include "VexEngine.h"

#include "ComTest.h"
#include "SettingsFixture.h"
#include "TestEnv.h"
#include "TestFiles.h"
#include "TestTls.h"
#include "Url.h"
#include "VexErrors.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

std::string WithoutLineEnds(std::string text)
{
    for (char& c : text)
        c = c == '\n' || c == '\r' ? ' ' : c;
    return text;
}

class FetchFtps : public CSettingsFixture
{
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(TrustTestRoot()); }
    void SetUp() override
    {
        CSettingsFixture::SetUp();
        Publish(testenv::FtpRoot(), "ftps-fetch.bin", m_content);
    }
    std::string Url(const char* pszScheme, const char* pszPortVariable) const
    {
        return std::string(pszScheme) + "://" + testenv::FtpUser() + ":" + testenv::FtpPassword() + "@localhost:" +
               std::to_string(testenv::Port(pszPortVariable)) + "/ftps-fetch.bin";
    }
    // The fetch's file, read and deleted; empty when it failed.
    std::string Kept()
    {
        if (m_engine.LastFetchedFile().empty())
            return std::string();
        const std::string content = ReadWholeFile(m_engine.LastFetchedFile());
        DeleteFileW(m_engine.LastFetchedFile().c_str());
        return content;
    }
    bool FetchUrl(const std::string& text)
    {
        url::Url target;
        EXPECT_EQ(url::ParseUrl(text.c_str(), &target), url::UrlError::kNone) << text;
        return m_engine.FetchURL(target);
    }

    // No line ends: the same bytes in image type and in ASCII type
    // (FetchRemoteFTP's).
    const std::string m_content = WithoutLineEnds(BinaryContent(200 * 1024 + 3));
    CVexEngine m_engine;
};

TEST_F(FetchFtps, FtpsUrlsAndFtpTlsFetchTheFile)
{
    EXPECT_TRUE(FetchUrl(Url("ftps", "VEXA_FTPS_IMPLICIT_PORT"))) << m_engine.LastFetchErrorText();
    EXPECT_TRUE(Kept() == m_content);
    for (DWORD value : {1u, 2u})
    {
        SetDword("FTPTLS", value);
        EXPECT_TRUE(FetchUrl(Url("ftp", "VEXA_FTPS_PORT"))) << value << ": " << m_engine.LastFetchErrorText();
        EXPECT_TRUE(Kept() == m_content) << value;
        EXPECT_TRUE(m_engine.FetchRemoteFile("localhost", "ftps-fetch.bin", testenv::FtpUser().c_str(),
                                             testenv::FtpPassword().c_str(), testenv::Port("VEXA_FTPS_PORT"), 0))
            << value << ": " << m_engine.LastFetchErrorText();
        EXPECT_TRUE(Kept() == m_content) << value;
    }
    EXPECT_EQ(VexTempFiles(), m_before);
}

// Without FTPTLS the server's demand for TLS before USER shows in the text.
TEST_F(FetchFtps, FailuresQuoteTheServerAndKeepNoFile)
{
    const struct
    {
        DWORD ftpTls;
        const char* portVariable;
        long lErrorEx;
        const char* quoted;
    } cases[] = {
        {0, "VEXA_FTPS_PORT", VEXDET_USER_REFUSED, "(530 Non-anonymous sessions must use encryption.)"},
        {2, "VEXA_PROFTPD_PORT", VEXDET_FTP_AUTH_REFUSED, "refused TLS (AUTH TLS) (500 "},
        {2, "VEXA_FTPS_REUSE_PORT", VEXDET_FTP_DATA_TLS_REFUSED,
         "refused the TLS session of the data connection (522 SSL connection failed: session reuse required"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.portVariable);
        SetDword("FTPTLS", c.ftpTls);
        EXPECT_FALSE(FetchUrl(Url("ftp", c.portVariable)));
        EXPECT_EQ(m_engine.LastFetchError(), VEXERR_FTP);
        EXPECT_EQ(m_engine.LastFetchErrorDetail(), c.lErrorEx);
        EXPECT_NE(m_engine.LastFetchErrorText().find(c.quoted), std::string::npos) << m_engine.LastFetchErrorText();
        EXPECT_TRUE(m_engine.LastFetchedFile().empty());
        EXPECT_EQ(VexTempFiles(), m_before) << "a failed fetch left a file behind";
    }
}

} // namespace
