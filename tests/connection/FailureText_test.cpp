// The sentences a host shows: peer text cleaned and bounded, and the cause
// of each family in words.
#include "FailureText.h"

#include "DetailTable.h"
#include "Url.h"
#include "VexErrors.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

TEST(FailureText, PeerTextIsCleanedAndBounded)
{
    EXPECT_EQ(CleanPeerText("530 Login\r\nincorrect.\t"), "530 Login  incorrect.");
    const std::string flood(1000, 'x');
    const std::string cut = CleanPeerText(flood);
    EXPECT_EQ(cut, std::string(kMaxPeerTextLength, 'x') + "...");
}

TEST(FailureText, SentencesNameStepPeerAndCause)
{
    FailureContext c;
    c.protocol = "FTP";
    c.host = "files.example";
    c.port = 21;
    c.proxyHost = "proxy.example";
    c.proxyPort = 1080;
    c.timeoutSeconds = 300;
    c.digestName = "sha256";
    c.expectedDigest = "00ff";
    c.actualDigest = "ab12";
    const struct
    {
        long lError, lErrorEx;
        bool bViaSocks;
        const char* reply;
        const char* expected;
    } cases[] = {
        {0, 0, false, "", ""},
        {VEXERR_FTP, VEXDET_PASS_REFUSED, false, "530 Login incorrect.\r\n",
         "The FTP server at files.example:21 refused the password (530 Login incorrect.)."},
        {VEXERR_SOCKET, VEXWSA_TIMEDOUT, false, "", "No connection to files.example:21: no answer within 300 s."},
        {VEXERR_SOCKET, 10061, true, "",
         "No connection through the SOCKS 5 proxy at proxy.example:1080 to files.example:21: the connection was "
         "refused (nothing listens on that port)."},
        {VEXERR_SOCKS, VEXDET_SOCKS_AUTH, true, "",
         "The SOCKS 5 proxy at proxy.example:1080 refused the user name or password for files.example:21."},
        {VEXERR_TLS, VEXDET_TLS_UNTRUSTED, false, "",
         "The certificate of files.example is not trusted: it does not lead to a trusted root."},
        {VEXERR_URL, VEXDET_URL_UNKNOWN_SCHEME, false, "", "The URL was refused: only http, https, ftp and ftps are fetched."},
        {VEXERR_FTP, VEXDET_FTP_AUTH_REFUSED, false, "500 AUTH not understood",
         "The FTP server at files.example:21 refused TLS (AUTH TLS) (500 AUTH not understood); FTPTLS asks for "
         "TLS, 0 turns it off."},
        {VEXERR_FTP, VEXDET_FTP_PROT_REFUSED, false, "536 PROT P not supported",
         "The FTP server at files.example:21 refused to protect the data connections (PBSZ 0, PROT P) (536 PROT P "
         "not supported)."},
        {VEXERR_FTP, VEXDET_FTP_DATA_TLS_REFUSED, false, "522 SSL connection failed: session reuse required",
         "The FTP server at files.example:21 refused the TLS session of the data connection (522 SSL connection "
         "failed: session reuse required)."},
        {VEXERR_FTP, VEXDET_FTP_DATA_CUT, false, "226 Transfer complete.",
         "The TLS data connection from the FTP server at files.example:21 ended without close_notify: the file "
         "may be cut short."},
        {VEXERR_ABORTED, VEXDET_CANCELLED, false, "", "The host cancelled the fetch from files.example:21."},
        {VEXERR_VERIFY, VEXDET_DIGEST_MISMATCH, false, "",
         "The file from files.example:21 is not the one the URL names: its sha256 digest is ab12, the URL gives "
         "00ff."},
        {VEXERR_URL, VEXDET_URL_BAD_DIGEST, false, "",
         "The URL was refused: its fragment asks for a digest that cannot be verified (sha256, sha384 or "
         "sha512 with 64, 96 or 128 hex digits, once)."},
        {VEXERR_URL, VEXDET_URL_BAD_FTP_TYPE, false, "",
         "The URL was refused: an ftp path may end only in ;type=a or ;type=i."},
        {VEXERR_URL, VEXDET_URL_BAD_INTERNATIONAL_HOST, false, "",
         "The URL was refused: the international host name has no valid IDNA (A-label) form."},
    };
    for (const auto& row : cases)
    {
        SCOPED_TRACE(row.expected);
        c.lError = row.lError;
        c.lErrorEx = row.lErrorEx;
        c.bViaSocks = row.bViaSocks;
        c.serverReply = row.reply;
        EXPECT_EQ(DescribeFailure(c), row.expected);
    }
}

TEST(FailureText, AnIPv6PeerNamesItsFamily)
{
    FailureContext c;
    c.protocol = "HTTP";
    c.host = "2001:db8::1";
    c.port = 80;
    c.proxyHost = "::1";
    c.proxyPort = 1080;
    c.lError = VEXERR_SOCKET;
    c.lErrorEx = VEXWSA_NETUNREACH;
    EXPECT_EQ(DescribeFailure(c), "No connection to [2001:db8::1]:80: there is no IPv6 route to it.");
    c.lError = VEXERR_SOCKS;
    c.lErrorEx = VEXDET_SOCKS4_IPV6;
    c.bViaSocks = true;
    c.socksVersion = 4;
    EXPECT_EQ(DescribeFailure(c), "The SOCKS 4 proxy at [::1]:1080 cannot reach IPv6 addresses (SOCKS 4 names IPv4 "
                                  "only; use SOCKS 5) for [2001:db8::1]:80.");
}

TEST(FailureText, SentencesNameTheHttpProxyOnTheWay)
{
    FailureContext c;
    c.protocol = "FTP";
    c.host = "files.example";
    c.port = 21;
    c.bViaHttpProxy = true;
    c.proxyHost = "proxy.example";
    c.proxyPort = 3128;
    c.timeoutSeconds = 300;
    const struct
    {
        long lError, lErrorEx;
        const char* reply;
        const char* expected;
    } cases[] = {
        {VEXERR_PROXY, 403, "HTTP/1.1 403 Forbidden",
         "The HTTP proxy at proxy.example:3128 refused the tunnel to files.example:21 (HTTP/1.1 403 Forbidden)."},
        {VEXERR_PROXY, 10061, "",
         "No connection to the HTTP proxy at proxy.example:3128: the connection was refused (nothing listens on "
         "that port)."},
        {VEXERR_FTP, VEXDET_NOT_FOUND, "550 No such file.",
         "The FTP server at files.example:21 (through the HTTP proxy at proxy.example:3128) has no such file "
         "(550 No such file.)."},
        {VEXERR_SOCKET, VEXWSA_TIMEDOUT, "",
         "No connection through the HTTP proxy at proxy.example:3128 to files.example:21: no answer within 300 s."},
        {VEXERR_PROXY, VEXDET_PROXY_SIGN_ON, "",
         "The Windows sign-on at the HTTP proxy at proxy.example:3128 failed: the security package answered "
         "SEC_E_NO_CREDENTIALS (no logon to sign on with: set HTTPProxyUsername and HTTPProxyPassword, or sign on "
         "to the domain)."},
        {VEXERR_PROXY, VEXDET_PROXY_KERBEROS_NAME, "",
         "Kerberos knows no service HTTP/proxy.example for the HTTP proxy at proxy.example:3128 (security package "
         "status SEC_E_TARGET_UNKNOWN); name the proxy as its service account is registered."},
    };
    for (const auto& row : cases)
    {
        SCOPED_TRACE(row.expected);
        c.lError = row.lError;
        c.lErrorEx = row.lErrorEx;
        c.serverReply = row.reply;
        c.securityStatus = row.lErrorEx == VEXDET_PROXY_SIGN_ON ? 0x8009030E : 0x80090303;
        EXPECT_EQ(DescribeFailure(c), row.expected);
    }
}

TEST(UrlRefusalDetail, EveryRefusalHasADetailAndASentenceOfItsOwn)
{
    std::set<long> details;
    std::set<std::string> sentences;
    for (int error = static_cast<int>(url::UrlError::kNoScheme); error <= static_cast<int>(url::UrlError::kTooLong);
         ++error)
    {
        FailureContext context;
        context.lError = VEXERR_URL;
        context.lErrorEx = UrlRefusalDetail(static_cast<url::UrlError>(error));
        const std::string sentence = DescribeFailure(context);
        EXPECT_EQ(sentence.rfind("The URL was refused: ", 0), 0u) << sentence;
        details.insert(context.lErrorEx);
        sentences.insert(sentence);
    }
    const size_t count = static_cast<size_t>(url::UrlError::kTooLong) - static_cast<size_t>(url::UrlError::kNoScheme) + 1;
    EXPECT_EQ(details.size(), count) << "two refusals share a detail";
    EXPECT_EQ(sentences.size(), count) << "two refusals share a sentence";
}

TEST(DetailTable, EachFamilyListsEveryDetailOnceWithItsOwnNameAndCause)
{
    size_t count = 0;
    const DetailEntry* pEntries = DetailEntries(&count);
    std::set<std::pair<long, long>> keys;
    std::set<std::string> causes;
    for (size_t i = 0; i < count; ++i)
    {
        const DetailEntry& e = pEntries[i];
        SCOPED_TRACE(e.pszName);
        EXPECT_TRUE(keys.insert({e.lError, e.lErrorEx}).second) << "listed twice";
        EXPECT_EQ(std::string(e.pszName).rfind(e.lErrorEx ? "VEXDET_" : "0", 0), 0u);
        EXPECT_EQ(FindDetail(e.lError, e.lErrorEx), &e);
        // Only the URL family's fallback repeats the words of a detail (1068).
        const bool bRepeats = e.lError == VEXERR_URL && e.lErrorEx == 0;
        EXPECT_TRUE(causes.insert(std::to_string(e.lError) + e.pszCause).second || bRepeats) << e.pszCause;
    }
    // A detail a family does not list gets that family's fallback.
    EXPECT_EQ(FindDetail(VEXERR_FTP, 99999)->lErrorEx, 0);
    EXPECT_EQ(FindDetail(VEXERR_LOCALFILE, 0), nullptr);
}
