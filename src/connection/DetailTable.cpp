#include "DetailTable.h"

#include "Url.h"
#include "VexErrors.h"

#include <iterator>

namespace {

#define DETAIL(family, code, cause) {family, code, #code, cause}

const DetailEntry kEntries[] = {
    // The SOCKS proxy's answer, after "{proxy} " and before " for {endpoint}".
    DETAIL(VEXERR_SOCKS, VEXDET_SOCKS_AUTH, "refused the user name or password"),
    DETAIL(VEXERR_SOCKS, VEXDET_SOCKS_NOT_ALLOWED, "does not allow this connection"),
    DETAIL(VEXERR_SOCKS, VEXDET_SOCKS_NET_UNREACHABLE, "cannot reach the server's network"),
    DETAIL(VEXERR_SOCKS, VEXDET_SOCKS_HOST_UNREACHABLE, "cannot reach the server"),
    DETAIL(VEXERR_SOCKS, VEXDET_SOCKS_REFUSED, "was refused by the server"),
    DETAIL(VEXERR_SOCKS, VEXDET_SOCKS_TTL_EXPIRED, "gave up on the server (TTL expired)"),
    DETAIL(VEXERR_SOCKS, VEXDET_SOCKS_BAD_COMMAND, "does not support the command"),
    DETAIL(VEXERR_SOCKS, VEXDET_SOCKS_BAD_ADDRESS_TYPE, "does not support the address type"),
    DETAIL(VEXERR_SOCKS, VEXDET_SOCKS4_IPV6, "cannot reach IPv6 addresses (SOCKS 4 names IPv4 only; use SOCKS 5)"),
    DETAIL(VEXERR_SOCKS, VEXDET_BAD_REPLY, "answered in a way that is no SOCKS reply"),
    DETAIL(VEXERR_SOCKS, 0, "failed the request"),

    DETAIL(VEXERR_FTP, VEXDET_USER_REFUSED, "{server} refused the user name{reply}"),
    DETAIL(VEXERR_FTP, VEXDET_PASS_REFUSED, "{server} refused the password{reply}"),
    DETAIL(VEXERR_FTP, VEXDET_NOT_FOUND, "{server} has no such file{reply}"),
    DETAIL(VEXERR_FTP, VEXDET_ACCOUNT_NEEDED, "{server} wants an account for the transfer{reply}"),
    DETAIL(VEXERR_FTP, VEXDET_PORT_OR_COMPLETION, "{server} did not complete the transfer{reply}"),
    DETAIL(VEXERR_FTP, VEXDET_BAD_REPLY, "{server} sent a reply that cannot be read"),
    DETAIL(VEXERR_FTP, VEXDET_UNEXPECTED, "{server} answered unexpectedly{reply}"),
    DETAIL(VEXERR_FTP, VEXDET_FTP_AUTH_REFUSED,
           "{server} refused TLS (AUTH TLS){reply}; FTPTLS asks for TLS, 0 turns it off"),
    DETAIL(VEXERR_FTP, VEXDET_FTP_PROT_REFUSED, "{server} refused to protect the data connections (PBSZ 0, PROT P){reply}"),
    DETAIL(VEXERR_FTP, VEXDET_FTP_DATA_TLS_REFUSED, "{server} refused the TLS session of the data connection{reply}"),
    DETAIL(VEXERR_FTP, VEXDET_FTP_DATA_CUT,
           "the TLS data connection from {server} ended without close_notify: the file may be cut short"),
    DETAIL(VEXERR_FTP, 0, "{server} refused the transfer{reply}"),

    // 1007, 1018 and 1040 quote the status line (HttpCause).
    DETAIL(VEXERR_HTTP, VEXDET_HTTP_FRAMING, "{server} sent a body whose length or chunks cannot be read"),
    DETAIL(VEXERR_HTTP, VEXDET_HTTP_BODY_CUT, "{server} closed the connection before the whole body arrived"),
    DETAIL(VEXERR_HTTP, VEXDET_HTTP_TOO_MANY_REDIRECTS, "{server} redirected more than {redirects} times in a row"),
    DETAIL(VEXERR_HTTP, VEXDET_HTTP_REDIRECT_REFUSED,
           "{server} redirected to a place the control does not follow (from https to http, or to another scheme)"),
    DETAIL(VEXERR_HTTP, VEXDET_BAD_REPLY, "{server} sent a response that cannot be read"),
    DETAIL(VEXERR_HTTP, 0, "{server} answered unexpectedly{reply}"),

    DETAIL(VEXERR_TLS, VEXDET_TLS_HANDSHAKE_REFUSED,
           "{server} refused the TLS handshake (it may offer nothing newer than TLS 1.1)"),
    DETAIL(VEXERR_TLS, VEXDET_TLS_UNTRUSTED,
           "the certificate of {host} is not trusted: it does not lead to a trusted root"),
    DETAIL(VEXERR_TLS, VEXDET_TLS_NAME_MISMATCH, "the certificate of {host} was not issued for that name"),
    DETAIL(VEXERR_TLS, VEXDET_TLS_EXPIRED, "the certificate of {host} has expired or is not valid yet"),
    DETAIL(VEXERR_TLS, VEXDET_TLS_REVOKED, "the certificate of {host} has been revoked"),
    DETAIL(VEXERR_TLS, VEXDET_TLS_WRONG_USAGE, "the certificate of {host} is not meant for a server"),
    DETAIL(VEXERR_TLS, 0, "the TLS connection to {endpoint} failed"),

    // Socket codes and HTTP statuses of the proxy are worded by ProxyCause.
    DETAIL(VEXERR_PROXY, VEXDET_PROXY_AUTH_REQUIRED,
           "{proxy} asks for a user name and password{reply} (Basic, which never gets the Windows logon); set "
           "HTTPProxyUsername and HTTPProxyPassword"),
    DETAIL(VEXERR_PROXY, VEXDET_PROXY_AUTH_REFUSED, "{proxy} refused the user name or password, or the Windows logon{reply}"),
    DETAIL(VEXERR_PROXY, VEXDET_PROXY_AUTH_SCHEME,
           "{proxy} asks for a kind of authentication the control does not speak (such as Digest){reply}; the "
           "control answers Negotiate, NTLM and Basic: ask for one of them, or for a bypass of the proxy"),
    DETAIL(VEXERR_PROXY, VEXDET_PROXY_SIGN_ON,
           "the Windows sign-on at {proxy} failed: the security package answered {status}{signonhint}"),
    DETAIL(VEXERR_PROXY, VEXDET_PROXY_KERBEROS_NAME,
           "Kerberos knows no service HTTP/{proxyhost} for {proxy} (security package status {status}); name the "
           "proxy as its service account is registered"),
    DETAIL(VEXERR_PROXY, VEXDET_PROXY_NO_CHALLENGE,
           "{proxy} asks for authentication without saying which{reply} (no Proxy-Authenticate field); no password "
           "is sent to it"),
    DETAIL(VEXERR_PROXY, VEXDET_PROXY_UNUSABLE,
           "the proxy configuration script answered \"{proxyhost}\", which names no proxy the control can use "
           "(PROXY, SOCKS, SOCKS4, SOCKS5 or DIRECT)"),
    DETAIL(VEXERR_PROXY, VEXDET_PROXY_ACTIVE_FTP, "active FTP cannot pass through {proxy}; set UsePASV to 1 for passive FTP"),
    DETAIL(VEXERR_PROXY, VEXDET_PROXY_BAD_ANSWER, "{proxy} sent an answer that cannot be read"),
    DETAIL(VEXERR_PROXY, VEXDET_PROXY_SETTING,
           "the HTTP proxy \"{proxyhost}\" is no host:port; check HTTPProxy or the system's proxy settings"),
    DETAIL(VEXERR_PROXY, VEXDET_PROXY_BAD_TARGET, "the host \"{host}\" cannot be named to {proxy}"),
    DETAIL(VEXERR_PROXY, 0, "{proxy} failed the request{reply}"),

    DETAIL(VEXERR_URL, VEXDET_URL_NO_SCHEME,
           "the URL was refused: it does not start with http://, https://, ftp:// or ftps://"),
    DETAIL(VEXERR_URL, VEXDET_URL_UNKNOWN_SCHEME, "the URL was refused: only http, https, ftp and ftps are fetched"),
    DETAIL(VEXERR_URL, VEXDET_URL_CONTROL_CHARACTER, "the URL was refused: it holds a control character"),
    DETAIL(VEXERR_URL, VEXDET_URL_EMPTY_HOST, "the URL was refused: it names no host"),
    DETAIL(VEXERR_URL, VEXDET_URL_BAD_HOST,
           "the URL was refused: the host is no name, IPv4 address or IPv6 address in brackets"),
    DETAIL(VEXERR_URL, VEXDET_URL_BAD_FTP_TYPE, "the URL was refused: an ftp path may end only in ;type=a or ;type=i"),
    DETAIL(VEXERR_URL, VEXDET_URL_BAD_INTERNATIONAL_HOST,
           "the URL was refused: the international host name has no valid IDNA (A-label) form"),
    DETAIL(VEXERR_URL, VEXDET_URL_BAD_PORT, "the URL was refused: the port is not a number from 1 to 65535"),
    DETAIL(VEXERR_URL, VEXDET_URL_BAD_ESCAPE, "the URL was refused: it holds a broken %-escape"),
    DETAIL(VEXERR_URL, VEXDET_URL_TOO_LONG, "the URL was refused: it is longer than {urlmax} characters"),
    DETAIL(VEXERR_URL, VEXDET_URL_BAD_DIGEST,
           "the URL was refused: its fragment asks for a digest that cannot be verified (sha256, sha384 or sha512 "
           "with 64, 96 or 128 hex digits, once)"),
    DETAIL(VEXERR_URL, VEXDET_URL_NOT_TEXT, "the URL was refused: it is missing or no valid text"),
    DETAIL(VEXERR_URL, 0, "the URL was refused: it is missing or no valid text"),
};

#undef DETAIL

struct UrlRefusal
{
    url::UrlError error;
    long lErrorEx;
};

const UrlRefusal kUrlRefusals[] = {
    {url::UrlError::kNoScheme, VEXDET_URL_NO_SCHEME},
    {url::UrlError::kUnknownScheme, VEXDET_URL_UNKNOWN_SCHEME},
    {url::UrlError::kControlCharacter, VEXDET_URL_CONTROL_CHARACTER},
    {url::UrlError::kEmptyHost, VEXDET_URL_EMPTY_HOST},
    {url::UrlError::kBadHost, VEXDET_URL_BAD_HOST},
    {url::UrlError::kBadInternationalHost, VEXDET_URL_BAD_INTERNATIONAL_HOST},
    {url::UrlError::kBadPort, VEXDET_URL_BAD_PORT},
    {url::UrlError::kBadEscape, VEXDET_URL_BAD_ESCAPE},
    {url::UrlError::kBadFtpType, VEXDET_URL_BAD_FTP_TYPE},
    {url::UrlError::kTooLong, VEXDET_URL_TOO_LONG},
};

} // namespace

const DetailEntry* FindDetail(long lError, long lErrorEx)
{
    const DetailEntry* pFallback = nullptr;
    for (const DetailEntry& entry : kEntries)
    {
        if (entry.lError != lError)
            continue;
        if (entry.lErrorEx == lErrorEx)
            return &entry;
        if (entry.lErrorEx == 0)
            pFallback = &entry;
    }
    return pFallback;
}

const DetailEntry* DetailEntries(size_t* pCount)
{
    *pCount = std::size(kEntries);
    return kEntries;
}

long UrlRefusalDetail(url::UrlError error)
{
    for (const UrlRefusal& refusal : kUrlRefusals)
    {
        if (refusal.error == error)
            return refusal.lErrorEx;
    }
    return VEXDET_URL_NOT_TEXT;
}
