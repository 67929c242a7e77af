#include "FailureText.h"

#include "DetailTable.h"
#include "HostSyntax.h"
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
    return hostsyntax::HostPort(host, port);
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

// One field of a cause from the detail table (DetailTable.h).
std::string Field(const FailureContext& c, const std::string& name)
{
    if (name == "server")
        return Server(c);
    if (name == "proxy")
        return Proxy(c);
    if (name == "reply")
        return Quoted(c.serverReply);
    if (name == "endpoint")
        return Endpoint(c.host, c.port);
    if (name == "host")
        return c.lError == VEXERR_PROXY ? CleanPeerText(c.host) : c.host;
    if (name == "proxyhost")
        return CleanPeerText(c.proxyHost);
    if (name == "redirects")
        return std::to_string(kMaxRedirects);
    if (name == "urlmax")
        return std::to_string(url::kMaxUrlLength);
    if (name == "status")
        return tls::SecurityStatusName(c.securityStatus);
    if (name == "signonhint")
        return c.securityStatus == kNoCredentials
                   ? " (no logon to sign on with: set HTTPProxyUsername and HTTPProxyPassword, or sign on to the domain)"
                   : std::string();
    return std::string();
}

// The Windows Sockets codes a person meets, in words. A host given as an
// IPv6 literal names its family where the family is the cause.
std::string SocketCause(long code, unsigned timeoutSeconds, const std::string& host = std::string())
{
    const bool bIPv6 = hostsyntax::IsIPv6Literal(host);
    if (bIPv6 && (code == VEXWSA_NETUNREACH || code == VEXWSA_HOSTUNREACH))
        return "there is no IPv6 route to it";
    switch (code)
    {
    case VEXWSA_TIMEDOUT: return "no answer within " + std::to_string(timeoutSeconds) + " s";
    case VEXWSA_CONNREFUSED: return "the connection was refused (nothing listens on that port)";
    case VEXWSA_CONNRESET: return "the connection was reset by the peer";
    case VEXWSA_CONNABORTED: return "the connection was aborted";
    case VEXWSA_NETUNREACH: return "the network is unreachable";
    case VEXWSA_HOSTUNREACH: return "the host is unreachable";
    case VEXWSA_HOST_NOT_FOUND: return "the host name is not known";
    case VEXWSA_NO_DATA: return "the host name has no address";
    case VEXWSA_AFNOSUPPORT: return "this computer has no IPv6 network";
    case VEXWSA_TRY_AGAIN: return "the host name could not be looked up right now";
    case 0: return "the connection attempt failed";
    default: return "Windows Sockets error " + std::to_string(code);
    }
}

// The table's cause for the failure, its fields filled in from the context.
std::string Cause(const FailureContext& c)
{
    const DetailEntry* pEntry = FindDetail(c.lError, c.lErrorEx);
    const std::string pattern = pEntry ? pEntry->pszCause : "";
    std::string text;
    for (size_t pos = 0; pos < pattern.size();)
    {
        const size_t open = pattern.find('{', pos);
        const size_t close = open == std::string::npos ? std::string::npos : pattern.find('}', open);
        if (close == std::string::npos)
        {
            text += pattern.substr(pos);
            break;
        }
        text += pattern.substr(pos, open - pos);
        text += Field(c, pattern.substr(open + 1, close - open - 1));
        pos = close + 1;
    }
    return text;
}

// A status line is quoted as the server's answer.
std::string HttpCause(const FailureContext& c)
{
    if (c.lErrorEx == VEXDET_NOT_FOUND || c.lErrorEx == VEXDET_NOT_AUTHORISED || c.lErrorEx == VEXDET_UNEXPECTED)
        return Quoted(c.serverReply).empty() ? Server(c) + " answered unexpectedly"
                                             : Server(c) + " answered " + CleanPeerText(c.serverReply);
    return Cause(c);
}

std::string ProxyCause(const FailureContext& c)
{
    if (c.lErrorEx >= 10000)
        return "no connection to " + Proxy(c) + ": " + SocketCause(c.lErrorEx, c.timeoutSeconds, c.proxyHost);
    if (c.lErrorEx >= 100 && c.lErrorEx <= 599)
    {
        const std::string reply = Quoted(c.serverReply);
        return Proxy(c) + " refused the tunnel to " + Endpoint(c.host, c.port) +
               (reply.empty() ? " (status " + std::to_string(c.lErrorEx) + ")" : reply);
    }
    return Cause(c);
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
    case VEXERR_URL: return Sentence(Cause(c));
    case VEXCTL_DIAL_FAILED:
        return Sentence("the dial-up connection \"" + CleanPeerText(c.dialEntry) + "\" could not be brought up");
    case VEXERR_SOCKS: return Sentence(Proxy(c) + " " + Cause(c) + " for " + Endpoint(c.host, c.port));
    case VEXERR_SOCKET:
    case VEXERR_CONNECT_FAILED:
        return Sentence((c.bViaSocks || c.bViaHttpProxy ? "no connection through " + Proxy(c) + " to "
                                                        : "no connection to ") +
                        Endpoint(c.host, c.port) + ": " + SocketCause(c.lErrorEx, c.timeoutSeconds, c.host));
    case VEXERR_FTP: return Sentence(Cause(c));
    case VEXERR_HTTP: return Sentence(HttpCause(c));
    case VEXERR_TLS: return Sentence(Cause(c));
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
