#include "FailureText.h"

#include "SecurityStatusName.h"
#include "Url.h"
#include "VexErrors.h"
#include "VexLimits.h"

namespace {

// SEC_E_NO_CREDENTIALS: the process has no logon the package can use (no
// domain logon, no Kerberos ticket).
constexpr uint32_t kNoCredentials = 0x8009030E;

std::string Endpoint(const std::string& host, uint16_t port)
{
    return host + ":" + std::to_string(port);
}

std::string Proxy(const FailureContext& c)
{
    if (c.bViaHttpProxy)
        return "the HTTP proxy at " + Endpoint(c.proxyHost, c.proxyPort);
    return "the SOCKS " + std::to_string(c.socksVersion) + " proxy at " + Endpoint(c.proxyHost, c.proxyPort);
}

std::string Server(const FailureContext& c)
{
    return "the " + (c.protocol.empty() ? std::string("") : c.protocol + " ") + "server at " +
           Endpoint(c.host, c.port) + (c.bViaHttpProxy ? " (through " + Proxy(c) + ")" : std::string());
}

// What the server said, as a clause: " (530 Login incorrect.)".
std::string Quoted(const std::string& reply)
{
    const std::string clean = CleanPeerText(reply);
    return clean.empty() ? std::string() : " (" + clean + ")";
}

// The Windows Sockets codes a person meets, in words.
std::string SocketCause(long code, unsigned timeoutSeconds)
{
    switch (code)
    {
    case VEXWSA_TIMEDOUT: return "no answer within " + std::to_string(timeoutSeconds) + " s";
    case VEXWSA_CONNREFUSED: return "the connection was refused (nothing listens on that port)";
    case VEXWSA_CONNRESET: return "the connection was reset by the peer";
    case VEXWSA_CONNABORTED: return "the connection was aborted";
    case VEXWSA_NETUNREACH: return "the network is unreachable";
    case VEXWSA_HOSTUNREACH: return "the host is unreachable";
    case VEXWSA_HOST_NOT_FOUND: return "the host name is not known";
    case VEXWSA_TRY_AGAIN: return "the host name could not be looked up right now";
    case 0: return "the connection attempt failed";
    default: return "Windows Sockets error " + std::to_string(code);
    }
}

std::string SocksCause(long detail)
{
    switch (detail)
    {
    case VEXDET_SOCKS_AUTH: return "refused the user name or password";
    case VEXDET_SOCKS_NOT_ALLOWED: return "does not allow this connection";
    case VEXDET_SOCKS_NET_UNREACHABLE: return "cannot reach the server's network";
    case VEXDET_SOCKS_HOST_UNREACHABLE: return "cannot reach the server";
    case VEXDET_SOCKS_REFUSED: return "was refused by the server";
    case VEXDET_SOCKS_TTL_EXPIRED: return "gave up on the server (TTL expired)";
    case VEXDET_SOCKS_BAD_COMMAND: return "does not support the command";
    case VEXDET_SOCKS_BAD_ADDRESS_TYPE: return "does not support the address type";
    case VEXDET_BAD_REPLY: return "answered in a way that is no SOCKS reply";
    default: return "failed the request";
    }
}

std::string FtpCause(const FailureContext& c)
{
    const std::string reply = Quoted(c.serverReply);
    switch (c.lErrorEx)
    {
    case VEXDET_USER_REFUSED: return Server(c) + " refused the user name" + reply;
    case VEXDET_PASS_REFUSED: return Server(c) + " refused the password" + reply;
    case VEXDET_NOT_FOUND: return Server(c) + " has no such file" + reply;
    case VEXDET_ACCOUNT_NEEDED: return Server(c) + " wants an account for the transfer" + reply;
    case VEXDET_PORT_OR_COMPLETION: return Server(c) + " did not complete the transfer" + reply;
    case VEXDET_BAD_REPLY: return Server(c) + " sent a reply that cannot be read";
    case VEXDET_UNEXPECTED: return Server(c) + " answered unexpectedly" + reply;
    case VEXDET_FTP_AUTH_REFUSED:
        return Server(c) + " refused TLS (AUTH TLS)" + reply + "; FTPTLS asks for TLS, 0 turns it off";
    case VEXDET_FTP_PROT_REFUSED:
        return Server(c) + " refused to protect the data connections (PBSZ 0, PROT P)" + reply;
    case VEXDET_FTP_DATA_TLS_REFUSED: return Server(c) + " refused the TLS session of the data connection" + reply;
    case VEXDET_FTP_DATA_CUT:
        return "the TLS data connection from " + Server(c) + " ended without close_notify: the file may be cut short";
    default: return Server(c) + " refused the transfer" + reply;
    }
}

std::string HttpCause(const FailureContext& c)
{
    const std::string reply = Quoted(c.serverReply);
    switch (c.lErrorEx)
    {
    case VEXDET_NOT_FOUND:
    case VEXDET_NOT_AUTHORISED:
    case VEXDET_UNEXPECTED:
        return reply.empty() ? Server(c) + " answered unexpectedly"
                             : Server(c) + " answered " + CleanPeerText(c.serverReply);
    case VEXDET_HTTP_FRAMING: return Server(c) + " sent a body whose length or chunks cannot be read";
    case VEXDET_HTTP_BODY_CUT: return Server(c) + " closed the connection before the whole body arrived";
    case VEXDET_HTTP_TOO_MANY_REDIRECTS: return Server(c) + " redirected more than " + std::to_string(kMaxRedirects) + " times in a row";
    case VEXDET_HTTP_REDIRECT_REFUSED:
        return Server(c) + " redirected to a place the control does not follow (from https to http, or to "
                           "another scheme)";
    case VEXDET_BAD_REPLY: return Server(c) + " sent a response that cannot be read";
    default: return Server(c) + " answered unexpectedly" + reply;
    }
}

std::string TlsCause(const FailureContext& c)
{
    const std::string who = "the certificate of " + c.host;
    switch (c.lErrorEx)
    {
    case VEXDET_TLS_HANDSHAKE_REFUSED:
        return Server(c) + " refused the TLS handshake (it may offer nothing newer than TLS 1.1)";
    case VEXDET_TLS_UNTRUSTED: return who + " is not trusted: it does not lead to a trusted root";
    case VEXDET_TLS_NAME_MISMATCH: return who + " was not issued for that name";
    case VEXDET_TLS_EXPIRED: return who + " has expired or is not valid yet";
    case VEXDET_TLS_REVOKED: return who + " has been revoked";
    case VEXDET_TLS_WRONG_USAGE: return who + " is not meant for a server";
    default: return "the TLS connection to " + Endpoint(c.host, c.port) + " failed";
    }
}

std::string ProxyCause(const FailureContext& c)
{
    const std::string reply = Quoted(c.serverReply);
    if (c.lErrorEx >= 10000)
        return "no connection to " + Proxy(c) + ": " + SocketCause(c.lErrorEx, c.timeoutSeconds);
    if (c.lErrorEx >= 100 && c.lErrorEx <= 599)
        return Proxy(c) + " refused the tunnel to " + Endpoint(c.host, c.port) +
               (reply.empty() ? " (status " + std::to_string(c.lErrorEx) + ")" : reply);
    switch (c.lErrorEx)
    {
    case VEXDET_PROXY_AUTH_REQUIRED:
        return Proxy(c) + " asks for a user name and password" + reply +
               " (Basic, which never gets the Windows logon); set HTTPProxyUsername and HTTPProxyPassword";
    case VEXDET_PROXY_AUTH_REFUSED:
        return Proxy(c) + " refused the user name or password, or the Windows logon" + reply;
    case VEXDET_PROXY_AUTH_SCHEME:
        return Proxy(c) + " asks for a kind of authentication the control does not speak (such as Digest)" + reply +
               "; the control answers Negotiate, NTLM and Basic: ask for one of them, or for a bypass of the proxy";
    case VEXDET_PROXY_SIGN_ON:
        return "the Windows sign-on at " + Proxy(c) + " failed: the security package answered " +
               tls::SecurityStatusName(c.securityStatus) +
               (c.securityStatus == kNoCredentials ? " (no logon to sign on with: set HTTPProxyUsername and "
                                                     "HTTPProxyPassword, or sign on to the domain)"
                                                   : std::string());
    case VEXDET_PROXY_KERBEROS_NAME:
        return "Kerberos knows no service HTTP/" + CleanPeerText(c.proxyHost) + " for " + Proxy(c) +
               " (security package status " + tls::SecurityStatusName(c.securityStatus) +
               "); name the proxy as its service account is registered";
    case VEXDET_PROXY_NO_CHALLENGE:
        return Proxy(c) + " asks for authentication without saying which" + reply +
               " (no Proxy-Authenticate field); no password is sent to it";
    case VEXDET_PROXY_UNUSABLE:
        return "the proxy configuration script answered \"" + CleanPeerText(c.proxyHost) +
               "\", which names no proxy the control can use (PROXY, SOCKS, SOCKS4, SOCKS5 or DIRECT)";
    case VEXDET_PROXY_ACTIVE_FTP:
        return "active FTP cannot pass through " + Proxy(c) + "; set UsePASV to 1 for passive FTP";
    case VEXDET_PROXY_BAD_ANSWER: return Proxy(c) + " sent an answer that cannot be read";
    case VEXDET_PROXY_SETTING:
        return "the HTTP proxy \"" + CleanPeerText(c.proxyHost) +
               "\" is no host:port; check HTTPProxy or the system's proxy settings";
    case VEXDET_PROXY_BAD_TARGET:
        return "the host \"" + CleanPeerText(c.host) + "\" cannot be named to " + Proxy(c);
    default: return Proxy(c) + " failed the request" + reply;
    }
}

std::string UrlCause(long detail)
{
    switch (detail)
    {
    case VEXDET_URL_NO_SCHEME:
        return "the URL was refused: it does not start with http://, https://, ftp:// or ftps://";
    case VEXDET_URL_UNKNOWN_SCHEME: return "the URL was refused: only http, https, ftp and ftps are fetched";
    case VEXDET_URL_CONTROL_CHARACTER: return "the URL was refused: it holds a control character";
    case VEXDET_URL_EMPTY_HOST: return "the URL was refused: it names no host";
    case VEXDET_URL_BAD_HOST: return "the URL was refused: the host is no name or IPv4 address";
    case VEXDET_URL_BAD_FTP_TYPE:
        return "the URL was refused: an ftp path may end only in ;type=a or ;type=i";
    case VEXDET_URL_BAD_INTERNATIONAL_HOST:
        return "the URL was refused: the international host name has no valid IDNA (A-label) form";
    case VEXDET_URL_BAD_PORT: return "the URL was refused: the port is not a number from 1 to 65535";
    case VEXDET_URL_BAD_ESCAPE: return "the URL was refused: it holds a broken %-escape";
    case VEXDET_URL_TOO_LONG:
        return "the URL was refused: it is longer than " + std::to_string(url::kMaxUrlLength) + " characters";
    case VEXDET_URL_BAD_DIGEST:
        return "the URL was refused: its fragment asks for a digest that cannot be verified (sha256, sha384 or "
               "sha512 with 64, 96 or 128 hex digits, once)";
    default: return "the URL was refused: it is missing or no valid text";
    }
}

std::string VerifyCause(const FailureContext& c)
{
    const std::string file = "the file from " + Endpoint(c.host, c.port);
    if (c.lErrorEx == VEXDET_DIGEST_UNAVAILABLE)
        return file + " could not be verified: the system computed no " + c.digestName + " digest";
    return file + " is not the one the URL names: its " + c.digestName + " digest is " + c.actualDigest +
           ", the URL gives " + c.expectedDigest;
}

std::string Sentence(std::string text)
{
    if (!text.empty())
    {
        if (text[0] >= 'a' && text[0] <= 'z')
            text[0] = static_cast<char>(text[0] - 'a' + 'A');
        text += '.';
    }
    return text;
}

} // namespace

std::string CleanPeerText(const std::string& text)
{
    std::string clean;
    for (const char c : text)
    {
        if (clean.size() == kMaxPeerTextLength)
        {
            clean += "...";
            break;
        }
        const auto b = static_cast<unsigned char>(c);
        clean += b < 0x20 || b == 0x7f ? ' ' : c;
    }
    while (!clean.empty() && clean.back() == ' ')
        clean.pop_back();
    return clean;
}

std::string DescribeFailure(const FailureContext& c)
{
    switch (c.lError)
    {
    case VEXERR_NONE: return std::string();
    case VEXERR_PROBE:
        return Sentence("the connectivity probe could not reach the probe target " + c.probeTarget +
                        (c.bViaSocks || c.bViaHttpProxy ? " through " + Proxy(c) : std::string()) +
                        (c.lErrorEx ? ": " + SocketCause(c.lErrorEx, 1) : std::string()) +
                        "; check the network or the ProbeTarget setting");
    case VEXERR_URL: return Sentence(UrlCause(c.lErrorEx));
    case VEXCTL_DIAL_FAILED:
        return Sentence("the dial-up connection \"" + CleanPeerText(c.dialEntry) + "\" could not be brought up");
    case VEXERR_SOCKS: return Sentence(Proxy(c) + " " + SocksCause(c.lErrorEx) + " for " + Endpoint(c.host, c.port));
    case VEXERR_SOCKET:
    case VEXERR_CONNECT_FAILED:
        return Sentence((c.bViaSocks || c.bViaHttpProxy ? "no connection through " + Proxy(c) + " to "
                                                        : "no connection to ") +
                        Endpoint(c.host, c.port) + ": " + SocketCause(c.lErrorEx, c.timeoutSeconds));
    case VEXERR_FTP: return Sentence(FtpCause(c));
    case VEXERR_HTTP: return Sentence(HttpCause(c));
    case VEXERR_TLS: return Sentence(TlsCause(c));
    case VEXERR_PROXY: return Sentence(ProxyCause(c));
    case VEXERR_LOCALFILE:
        if (c.lErrorEx == VEXFILE_PATH_TOO_LONG)
            return Sentence("the temporary directory's path is longer than Windows can name (local file error " +
                            std::to_string(c.lErrorEx) + "); set TMP to a shorter one");
        return Sentence("the temporary file " + c.localFile + " could not be written (local file error " +
                        std::to_string(c.lErrorEx) + ")");
    case VEXERR_ABORTED:
        return Sentence(c.lErrorEx == VEXDET_CANCELLED
                            ? "the host cancelled the fetch from " + Endpoint(c.host, c.port)
                            : "the transfer from " + Endpoint(c.host, c.port) + " was aborted");
    case VEXERR_VERIFY: return Sentence(VerifyCause(c));
    default:
        return Sentence("the fetch from " + Endpoint(c.host, c.port) + " failed (error " + std::to_string(c.lError) +
                        ", detail " + std::to_string(c.lErrorEx) + ")");
    }
}

long UrlRefusalDetail(url::UrlError error)
{
    switch (error)
    {
    case url::UrlError::kNoScheme: return VEXDET_URL_NO_SCHEME;
    case url::UrlError::kUnknownScheme: return VEXDET_URL_UNKNOWN_SCHEME;
    case url::UrlError::kControlCharacter: return VEXDET_URL_CONTROL_CHARACTER;
    case url::UrlError::kEmptyHost: return VEXDET_URL_EMPTY_HOST;
    case url::UrlError::kBadHost: return VEXDET_URL_BAD_HOST;
    case url::UrlError::kBadInternationalHost: return VEXDET_URL_BAD_INTERNATIONAL_HOST;
    case url::UrlError::kBadPort: return VEXDET_URL_BAD_PORT;
    case url::UrlError::kBadEscape: return VEXDET_URL_BAD_ESCAPE;
    case url::UrlError::kBadFtpType: return VEXDET_URL_BAD_FTP_TYPE;
    case url::UrlError::kTooLong: return VEXDET_URL_TOO_LONG;
    case url::UrlError::kNone: break;
    }
    return VEXDET_URL_NOT_TEXT;
}
