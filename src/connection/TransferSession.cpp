#include "TransferSession.h"

#include "BasicCredentials.h"
#include "DiagLog.h"
#include "FtpFeatures.h"
#include "HostSyntax.h"
#include "TunnelMessages.h"
#include "Http11Messages.h"
#include "HttpSignOn.h"
#include "ProxyRules.h"
#include "ProxySignOn.h"
#include "InternationalHost.h"
#include "Url.h"
#include "VexErrors.h"
#include "VexFTP.h"
#include "VexHTTP.h"
#include "VexHTTP11.h"
#include "VexLimits.h"

#include <memory>
#include <new>

namespace {

// A server that asks for more legs than NTLM's three is refusing.
constexpr unsigned kMaxSignOnAnswers = 4;

std::string Text(const char* psz)
{
    return psz ? psz : "";
}

} // namespace

bool CTransferSession::SetSocks(const char* pszServer, int32_t port, int32_t version, int32_t authMethod,
                                const char* pszUser, const char* pszPassword)
{
    m_bUseSocks = true;
    m_pszSocksServer.Assign(pszServer);
    m_nSocksPort = port;
    m_nSocksVersion = version;
    m_nSocksAuthMethod = authMethod;
    m_pszSocksUser.Assign(pszUser);
    m_pszSocksPassword.Assign(pszPassword);
    return true;
}

void CTransferSession::ClearSocks()
{
    m_pszSocksServer.Reset();
    m_pszSocksUser.Reset();
    m_pszSocksPassword.Reset();
}

void CTransferSession::Prepare(VEXSOCK& client)
{
    if (m_bOwnLog)
        client.EnableLog(m_pszLogFile.Get());
    else if (m_bSharedLog)
        client.AttachLog(m_pSharedLog);
    if (m_pfnStart)
        client.SetStartHook(m_pfnStart);
    if (m_pfnProgress)
        client.SetProgressHook(m_pfnProgress);
    if (m_pfnAbort)
        client.SetAbortHook(m_pfnAbort);
    client.AttachWatch(m_pWatch);
}

void CTransferSession::Log(const std::string& text)
{
    if (m_bSharedLog && m_pSharedLog)
        m_pSharedLog->WriteEntry(text.c_str(), true);
}

bool CTransferSession::ChooseRoute(const char* pszScheme, const std::string& host, uint16_t port,
                                   const std::string& url)
{
    m_route = HttpProxyRoute();
    if (m_bUseSocks)
        return true;
    std::string how;
    const long lDetail = CProxySelector(m_httpProxy, m_pProxyMemo).Choose(pszScheme, host, port, url, &m_route, &how);
    const std::string proxy = hostsyntax::HostPort(m_route.host, m_route.port);
    Log("CTransferSession: " + url + ": " + how +
        (m_route.bUse ? " (HTTP proxy " + proxy + ")"
         : m_route.socksVersion ? " (SOCKS " + std::to_string(m_route.socksVersion) + " proxy " + proxy + ")"
                                : std::string()) +
        "\n");
    if (lDetail != 0)
        RecordError(VEXERR_PROXY, lDetail);
    return lDetail == 0;
}

SocksEndpoint CTransferSession::Socks() const
{
    SocksEndpoint socks;
    if (m_bUseSocks)
    {
        socks.pszServer = m_pszSocksServer.Get();
        socks.port = static_cast<uint16_t>(m_nSocksPort);
        socks.version = static_cast<unsigned>(m_nSocksVersion);
        socks.authMethod = static_cast<unsigned>(m_nSocksAuthMethod);
        socks.pszUser = m_pszSocksUser.Get();
        socks.pszPassword = m_pszSocksPassword.Get();
        return socks;
    }
    socks.pszServer = m_route.host.c_str();
    socks.port = m_route.port;
    socks.version = m_route.SocksSelector();
    socks.authMethod = m_route.socksAuthMethod;
    socks.pszUser = m_route.user.empty() ? nullptr : m_route.user.c_str();
    socks.pszPassword = m_route.password.empty() ? nullptr : m_route.password.c_str();
    return socks;
}

bool CTransferSession::AnswerProxy(CProxySignOn& signOn, const proxy::CProxyChallenges& challenges)
{
    long lDetail = 0;
    const bool bAgain = signOn.Answer(challenges, &lDetail);
    if (!signOn.Note().empty())
        Log("CTransferSession: proxy sign-on: " + signOn.Note() + "\n");
    if (bAgain)
        return true;
    RecordError(VEXERR_PROXY, lDetail);
    m_proxySecurityStatus = signOn.SecurityStatus();
    return false;
}

bool CTransferSession::AnswerServer(CHttpSignOn& signOn, const proxy::CProxyChallenges& challenges)
{
    long lDetail = 0;
    // Basic is never chosen here: the URL's user info went as Basic already.
    const proxy::AuthScheme scheme = challenges.Choose(false);
    const bool bAgain = signOn.IsStarted() ? signOn.Continue(challenges, &lDetail)
                        : scheme != proxy::AuthScheme::kNone && signOn.Begin(scheme, &lDetail);
    if (!signOn.Note().empty())
        Log("CTransferSession: server sign-on: " + signOn.Note() + "\n");
    // A refusal stays the server's 401 (VEXDET_NOT_AUTHORISED).
    return bAgain;
}

bool CTransferSession::FetchHTTP(const char* pszHost, uint16_t port, const char* pszRemote, const wchar_t* pwszLocal)
{
    if (!ChooseRoute("http", Text(pszHost), port, proxy::AbsoluteHttpTarget(Text(pszHost), port, Text(pszRemote))))
        return false;
    // A new connection for every leg: the HTTP/1.0 client closes each.
    CProxySignOn signOn(m_route);
    for (;;)
    {
        std::unique_ptr<CVexHTTP> http(new (std::nothrow) CVexHTTP);
        if (!http)
            return false;
        Prepare(*http);
        http->SetReferer(m_pszReferer.Get());
        http->SetUserAgent(m_pszUserAgent.Get());
        const SocksEndpoint socks = Socks();
        const bool bConnected =
            UsesSocks()    ? http->ConnectSocks(pszHost, port, socks.pszServer, socks.port, socks.version,
                                                socks.authMethod, socks.pszUser, socks.pszPassword)
            : m_route.bUse ? http->ConnectHttpProxy(pszHost, port, m_route, signOn.Authorization())
                           : http->Connect(pszHost, port);
        if (!bConnected)
        {
            RecordError(http->GetLastError(), http->GetLastErrorEx());
            return false;
        }
        const bool bCompleted = http->MoveFile(pszRemote, pwszLocal);
        http->Disconnect();
        RecordError(bCompleted ? 0 : http->GetLastError(), bCompleted ? 0 : http->GetLastErrorEx());
        m_serverReply = Text(http->m_statusLine.Get());
        if (!bCompleted && m_route.bUse && http->m_lResponseCode == 407 &&
            AnswerProxy(signOn, http->m_proxyChallenges))
            continue;
        return bCompleted;
    }
}

bool CTransferSession::FetchFTP(const char* pszHost, const char* pszUser, const char* pszPassword, uint16_t port,
                                const char* pszRemote, const wchar_t* pwszLocal, bool bImageType, bool bPassive,
                                const char* pszUtf8Remote)
{
    return FetchFtpWith(m_ftpTls, pszHost, pszUser, pszPassword, port, pszRemote, pwszLocal, bImageType, bPassive,
                        pszUtf8Remote);
}

bool CTransferSession::FetchFtpWith(ftp::TlsMode tls, const char* pszHost, const char* pszUser,
                                    const char* pszPassword, uint16_t port, const char* pszRemote,
                                    const wchar_t* pwszLocal, bool bImageType, bool bPassive, const char* pszUtf8Remote)
{
    const std::string remote = Text(pszRemote);
    // Proxy rules for ftp cover ftps too: the same protocol, in TLS.
    if (!ChooseRoute("ftp", Text(pszHost), port,
                     (tls == ftp::TlsMode::kImplicit ? "ftps://" : "ftp://") + hostsyntax::HostPort(Text(pszHost), port) + (remote.rfind('/', 0) == 0 ? "" : "/") +
                         remote))
        return false;
    if (m_route.bUse && !bPassive)
    {
        // The server would connect back to this machine, which no tunnel
        // through the proxy can carry.
        RecordError(VEXERR_PROXY, VEXDET_PROXY_ACTIVE_FTP);
        return false;
    }
    std::unique_ptr<CVexFTP> ftp(new (std::nothrow) CVexFTP);
    if (!ftp)
        return false;
    Prepare(*ftp);
    ftp->m_bTrustPassiveAddress = m_bTrustPassiveAddress;
    ftp->m_tlsMode = tls;
    const SocksEndpoint socks = Socks();
    const bool bConnected =
        UsesSocks()    ? ftp->ConnectSocks(pszHost, pszUser, pszPassword, port, socks.pszServer, socks.port,
                                           socks.version, socks.authMethod, socks.pszUser, socks.pszPassword)
        : m_route.bUse ? ftp->ConnectHttpTunnel(pszHost, pszUser, pszPassword, port, m_route)
                       : ftp->Connect(pszHost, pszUser, pszPassword, port);
    if (!bConnected)
    {
        RecordError(ftp->GetLastError(), ftp->GetLastErrorEx());
        m_serverReply = m_lLastError == VEXERR_PROXY ? ftp->m_proxyAnswer : Text(ftp->m_lastReply.Get());
        m_proxySecurityStatus = ftp->m_proxySecurityStatus;
        return false;
    }
    // Only a path beyond ASCII asks the server about UTF-8: for any other
    // the exchange stays as it always was.
    const char* pszPath = pszRemote;
    if (pszUtf8Remote && ftp::HasNonAsciiByte(pszUtf8Remote) && ftp->UseUtf8Paths())
        pszPath = pszUtf8Remote;
    const bool bCompleted = ftp->MoveFile(pszPath, pwszLocal, bImageType, true, bPassive);
    // The reason of a failure is read before QUIT clears it.
    RecordError(bCompleted ? 0 : ftp->GetLastError(), bCompleted ? 0 : ftp->GetLastErrorEx());
    m_serverReply = m_lLastError == VEXERR_PROXY ? ftp->m_proxyAnswer : Text(ftp->m_lastReply.Get());
    m_proxySecurityStatus = ftp->m_proxySecurityStatus;
    ftp->Disconnect();
    return bCompleted;
}

bool CTransferSession::ConnectHttp11(CVexHTTP11& http, const url::Url& target)
{
    const char* pszHost = target.host.c_str();
    const bool bTls = target.scheme == url::Scheme::kHttps;
    // TLS runs inside the tunnel: the proxy sees only the encrypted bytes,
    // and the certificate is still checked against the server's name.
    if (UsesSocks())
    {
        return http.ConnectSocks(pszHost, target.port, Socks()) && (!bTls || http.StartTls(pszHost));
    }
    if (m_route.bUse && bTls)
        return http.ConnectHttpTunnel(m_route, pszHost, target.port) && http.StartTls(pszHost);
    if (m_route.bUse)
        return http.ConnectHttpProxy(m_route);
    return http.Connect(pszHost, target.port) && (!bTls || http.StartTls(pszHost));
}

bool CTransferSession::FetchHttpOnce(const url::Url& target, const wchar_t* pwszLocal, int* pStatus,
                                     std::string* pLocation)
{
    if (!ChooseRoute(url::SchemeName(target.scheme), target.host, target.port, url::DescribeUrl(target)))
        return false;
    // A plain request through the proxy names the server in absolute form.
    const bool bAbsoluteForm = m_route.bUse && target.scheme == url::Scheme::kHttp;
    const std::string requestTarget =
        bAbsoluteForm ? proxy::AbsoluteHttpTarget(target.host, target.port, target.target) : target.target;
    CProxySignOn signOn(m_route);
    // Windows sign-on at the server, as browsers restrict it: the user's
    // logon only for hosts IntegratedAuthServers names; the URL's own
    // credentials there or over TLS; nothing over plain http elsewhere.
    const bool bListed = proxy::BypassMatches(m_integratedAuthServers, target.host, target.port);
    const bool bServerSignOn = bListed || (target.hasUserInfo && target.scheme == url::Scheme::kHttps);
    CHttpSignOn serverSignOn(target.host, target.hasUserInfo ? target.user : std::string(),
                             target.hasUserInfo ? target.password : std::string(), "the URL's user info");
    unsigned nServerAnswers = 0;
    std::unique_ptr<CVexHTTP11> http;
    // The connection of the last 407 carries the next leg of a sign-on.
    bool bKept = false;
    for (;;)
    {
        if (!bKept)
        {
            http.reset(new (std::nothrow) CVexHTTP11);
            if (!http)
                return false;
            Prepare(*http);
        }
        CVexHTTP11::Reply reply;
        bool bDone = false;
        if (bKept || ConnectHttp11(*http, target))
        {
            // Credentials go only where the URL that carries them points.
            const std::string authorization =
                serverSignOn.IsStarted() ? serverSignOn.Authorization()
                : target.hasUserInfo     ? http::BasicAuthorization(target.user, target.password)
                                         : std::string();
            const std::string proxyAuthorization = bAbsoluteForm ? signOn.Authorization() : std::string();
            const std::string host = http::HostHeader(target.host, target.port, url::DefaultPort(target.scheme));
            http::Get11Request get;
            get.pszTarget = requestTarget.c_str();
            get.pszHostHeader = host.c_str();
            get.pszUserAgent = m_pszUserAgent.Get();
            get.pszAuthorization = authorization.c_str();
            get.pszProxyAuthorization = proxyAuthorization.c_str();
            get.bKeepAlive = bAbsoluteForm || serverSignOn.IsStarted();
            bDone = http->Get(get, pwszLocal, &reply);
        }
        if (bKept && reply.status == 0)
        {
            // The proxy closed the connection it had kept: the same request
            // goes once more, on a new one.
            Log("CTransferSession: the proxy closed the connection: the request goes again on a new one\n");
            http->Disconnect();
            bKept = false;
            continue;
        }
        RecordError(bDone ? 0 : http->GetLastError(), bDone ? 0 : http->GetLastErrorEx());
        m_serverReply = reply.status                     ? std::to_string(reply.status) + " " + reply.reason
                        : m_lLastError == VEXERR_PROXY ? http->m_proxyAnswer
                                                       : std::string();
        if (m_lLastError == VEXERR_PROXY && http->m_proxySecurityStatus != 0)
            m_proxySecurityStatus = http->m_proxySecurityStatus;
        // NTLM needs three legs, Kerberos one or two: a server that keeps
        // asking is refusing.
        const bool bServerAgain = !bDone && reply.status == 401 && bServerSignOn &&
                                  ++nServerAnswers <= kMaxSignOnAnswers &&
                                  AnswerServer(serverSignOn, reply.serverChallenges);
        const bool bProxyAgain =
            !bDone && bAbsoluteForm && reply.status == 407 && AnswerProxy(signOn, reply.proxyChallenges);
        if (bServerAgain || bProxyAgain)
        {
            bKept = reply.bConnectionKept;
            if (!bKept)
            {
                Log("CTransferSession: the proxy closes the connection: the next request goes on a new one\n");
                http->Disconnect();
            }
            continue;
        }
        http->Disconnect();
        if (bDone && bAbsoluteForm)
            signOn.Finish(reply.proxyChallenges);
        if (bDone && serverSignOn.IsStarted())
        {
            serverSignOn.Finish(reply.serverChallenges);
            Log("CTransferSession: server sign-on: " + serverSignOn.Note() + "\n");
        }
        *pStatus = reply.status;
        *pLocation = reply.location;
        return bDone;
    }
}

bool CTransferSession::FetchFtpUrl(const url::Url& target, const wchar_t* pwszLocal, bool bPassive)
{
    std::string path;
    if (url::FtpPathFromTarget(target, &path) != url::UrlError::kNone)
    {
        m_lLastError = VEXERR_FTP;
        m_lLastErrorEx = VEXDET_UNEXPECTED;
        return false;
    }
    // Without user info the server is asked for its public files.
    const char* pszUser = target.hasUserInfo ? target.user.c_str() : "anonymous";
    const char* pszPassword = target.hasUserInfo ? target.password.c_str() : "anonymous@";
    // An update must arrive byte for byte: image type unless ";type=a".
    // The URL's path is UTF-8 already: sent as it is, to a server that
    // takes UTF-8 paths once it was told so.
    return FetchFtpWith(target.scheme == url::Scheme::kFtps ? ftp::TlsMode::kImplicit : m_ftpTls,
                        target.host.c_str(), pszUser, pszPassword, target.port, path.c_str(), pwszLocal,
                        !target.ftpAscii, bPassive, path.c_str());
}

bool CTransferSession::FetchURL(const url::Url& target, const wchar_t* pwszLocal, bool bPassive)
{
    if (url::IsFtp(target.scheme))
        return FetchFtpUrl(target, pwszLocal, bPassive);
    url::Url current = target;
    for (unsigned nRedirects = 0;; ++nRedirects)
    {
        int status = 0;
        std::string location;
        if (!FetchHttpOnce(current, pwszLocal, &status, &location))
            return false;
        if (status == 200)
            return true;
        if (nRedirects == kMaxRedirects)
        {
            m_lLastError = VEXERR_HTTP;
            m_lLastErrorEx = VEXDET_HTTP_TOO_MANY_REDIRECTS;
            return false;
        }
        url::Url next;
        // Only to http and https, and never from https down to plain http:
        // what was asked for over TLS must not arrive without it.
        if (url::ResolveReference(current, location.c_str(), &next, InternationalHostToAscii) !=
                url::UrlError::kNone ||
            url::IsFtp(next.scheme) ||
            (current.scheme == url::Scheme::kHttps && next.scheme == url::Scheme::kHttp))
        {
            m_lLastError = VEXERR_HTTP;
            m_lLastErrorEx = VEXDET_HTTP_REDIRECT_REFUSED;
            return false;
        }
        current = next;
    }
}
