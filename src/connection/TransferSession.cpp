#include "TransferSession.h"

#include "BasicCredentials.h"
#include "Http11Messages.h"
#include "Url.h"
#include "VexErrors.h"
#include "VexFTP.h"
#include "VexHTTP.h"
#include "VexHTTP11.h"

#include <memory>
#include <new>

namespace {

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
}

bool CTransferSession::FetchHTTP(const char* pszHost, uint16_t port, const char* pszRemote, const char* pszLocal)
{
    std::unique_ptr<CVexHTTP> http(new (std::nothrow) CVexHTTP);
    if (!http)
        return false;
    Prepare(*http);
    http->SetReferer(m_pszReferer.Get());
    http->SetUserAgent(m_pszUserAgent.Get());
    const bool bConnected =
        m_bUseSocks ? http->ConnectSocks(pszHost, port, m_pszSocksServer.Get(), static_cast<uint16_t>(m_nSocksPort),
                                         static_cast<unsigned>(m_nSocksVersion),
                                         static_cast<unsigned>(m_nSocksAuthMethod), m_pszSocksUser.Get(),
                                         m_pszSocksPassword.Get())
                    : http->Connect(pszHost, port);
    if (!bConnected)
    {
        m_lLastError = http->GetLastError();
        m_lLastErrorEx = http->GetLastErrorEx();
        return false;
    }
    const bool bCompleted = http->MoveFile(pszRemote, pszLocal);
    http->Disconnect();
    m_lLastError = bCompleted ? 0 : http->GetLastError();
    m_lLastErrorEx = bCompleted ? 0 : http->GetLastErrorEx();
    m_serverReply = Text(http->m_statusLine.Get());
    return bCompleted;
}

bool CTransferSession::FetchFTP(const char* pszHost, const char* pszUser, const char* pszPassword, uint16_t port,
                                const char* pszRemote, const char* pszLocal, bool bImageType, bool bPassive)
{
    std::unique_ptr<CVexFTP> ftp(new (std::nothrow) CVexFTP);
    if (!ftp)
        return false;
    Prepare(*ftp);
    const bool bConnected =
        m_bUseSocks ? ftp->ConnectSocks(pszHost, pszUser, pszPassword, port, m_pszSocksServer.Get(),
                                        static_cast<uint16_t>(m_nSocksPort), static_cast<unsigned>(m_nSocksVersion),
                                        static_cast<unsigned>(m_nSocksAuthMethod), m_pszSocksUser.Get(),
                                        m_pszSocksPassword.Get())
                    : ftp->Connect(pszHost, pszUser, pszPassword, port);
    if (!bConnected)
    {
        m_lLastError = ftp->GetLastError();
        m_lLastErrorEx = ftp->GetLastErrorEx();
        m_serverReply = Text(ftp->m_lastReply.Get());
        return false;
    }
    const bool bCompleted = ftp->MoveFile(pszRemote, pszLocal, bImageType, true, bPassive);
    // The reason of a failure is read before QUIT clears it.
    m_lLastError = bCompleted ? 0 : ftp->GetLastError();
    m_lLastErrorEx = bCompleted ? 0 : ftp->GetLastErrorEx();
    m_serverReply = Text(ftp->m_lastReply.Get());
    ftp->Disconnect();
    return bCompleted;
}

bool CTransferSession::FetchHttpOnce(const url::Url& target, const char* pszLocal, int* pStatus,
                                     std::string* pLocation)
{
    std::unique_ptr<CVexHTTP11> http(new (std::nothrow) CVexHTTP11);
    if (!http)
        return false;
    Prepare(*http);
    const char* pszHost = target.host.c_str();
    // TLS runs inside the tunnel: the proxy sees only the encrypted bytes.
    const bool bConnected =
        (m_bUseSocks ? http->ConnectSocks(pszHost, target.port, m_pszSocksServer.Get(),
                                          static_cast<uint16_t>(m_nSocksPort), static_cast<unsigned>(m_nSocksVersion),
                                          static_cast<unsigned>(m_nSocksAuthMethod), m_pszSocksUser.Get(),
                                          m_pszSocksPassword.Get())
                     : http->Connect(pszHost, target.port)) &&
        (target.scheme != url::Scheme::kHttps || http->StartTls(pszHost));
    CVexHTTP11::Reply reply;
    bool bDone = false;
    if (bConnected)
    {
        // Credentials go only where the URL that carries them points.
        const std::string authorization =
            target.hasUserInfo ? http::BasicAuthorization(target.user, target.password) : std::string();
        const std::string host = http::HostHeader(target.host, target.port, url::DefaultPort(target.scheme));
        bDone = http->Get(target.target.c_str(), host.c_str(), m_pszUserAgent.Get(),
                          authorization.empty() ? nullptr : authorization.c_str(), pszLocal, &reply);
    }
    m_lLastError = bDone ? 0 : http->GetLastError();
    m_lLastErrorEx = bDone ? 0 : http->GetLastErrorEx();
    m_serverReply = reply.status ? std::to_string(reply.status) + " " + reply.reason : std::string();
    http->Disconnect();
    *pStatus = reply.status;
    *pLocation = reply.location;
    return bDone;
}

bool CTransferSession::FetchFtpUrl(const url::Url& target, const char* pszLocal, bool bPassive)
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
    return FetchFTP(target.host.c_str(), pszUser, pszPassword, target.port, path.c_str(), pszLocal,
                    !target.ftpAscii, bPassive);
}

bool CTransferSession::FetchURL(const url::Url& target, const char* pszLocal, bool bPassive)
{
    if (target.scheme == url::Scheme::kFtp)
        return FetchFtpUrl(target, pszLocal, bPassive);
    url::Url current = target;
    for (unsigned nRedirects = 0;; ++nRedirects)
    {
        int status = 0;
        std::string location;
        if (!FetchHttpOnce(current, pszLocal, &status, &location))
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
        if (url::ResolveReference(current, location.c_str(), &next) != url::UrlError::kNone ||
            next.scheme == url::Scheme::kFtp ||
            (current.scheme == url::Scheme::kHttps && next.scheme == url::Scheme::kHttp))
        {
            m_lLastError = VEXERR_HTTP;
            m_lLastErrorEx = VEXDET_HTTP_REDIRECT_REFUSED;
            return false;
        }
        current = next;
    }
}
