// CTransferSession: what a client needs besides the request itself (proxy,
// Referer and User-Agent, log, hooks); creates, uses and destroys one HTTP or
// FTP client per fetch and keeps the client's error pair afterwards.
#pragma once

#include "AnsiString.h"
#include "FtpTls.h"
#include "HttpProxyRoute.h"
#include "ProxyChallenges.h"
#include "ProxySelector.h"
#include "VexErrors.h"
#include "VexSock.h"

#include <cstdint>
#include <string>

class CDiagLog;
class CHttpSignOn;
class CProxySignOn;
class CFetchWatch;
class CSystemProxyMemo;
class CVexHTTP11;
namespace url {
struct Url;
}

class CTransferSession
{
public:
    CTransferSession() = default;
    CTransferSession(const CTransferSession&) = delete;
    CTransferSession& operator=(const CTransferSession&) = delete;

    void SetReferer(const char* pszReferer) { m_pszReferer.Assign(pszReferer); }
    void SetUserAgent(const char* pszUserAgent) { m_pszUserAgent.Assign(pszUserAgent); }
    bool SetSocks(const char* pszServer, int32_t port, int32_t version, int32_t authMethod, const char* pszUser,
                  const char* pszPassword);
    void ClearSocks();
    // The HTTP proxy settings of fetches that do not go through SOCKS; each
    // request (each redirect hop) chooses its route anew.
    void SetHttpProxy(const HttpProxySettings& settings) { m_httpProxy = settings; }

    bool FetchHTTP(const char* pszHost, uint16_t port, const char* pszRemote, const wchar_t* pwszLocal);
    // pszUtf8Remote, when given, is the remote path in UTF-8, sent instead
    // of pszRemote (in the system code page) to a server that takes UTF-8
    // paths, when the path goes beyond ASCII.
    bool FetchFTP(const char* pszHost, const char* pszUser, const char* pszPassword, uint16_t port,
                  const char* pszRemote, const wchar_t* pwszLocal, bool bImageType, bool bPassive,
                  const char* pszUtf8Remote = nullptr);
    // Fetches what the URL names: HTTP/1.1 (over TLS for https) following up
    // to kMaxRedirects redirects, or FTP in image type (ASCII for ";type=a"),
    // over implicit TLS for ftps and as m_ftpTls says for ftp.
    bool FetchURL(const url::Url& target, const wchar_t* pwszLocal, bool bPassive);

    CAnsiString m_pszReferer;
    CAnsiString m_pszUserAgent;
    CDiagLog* m_pSharedLog = nullptr;
    bool m_bSharedLog = false;
    bool m_bOwnLog = false;
    CAnsiString m_pszLogFile;
    long m_lLastError = 0;
    long m_lLastErrorEx = 0;
    // The server's last words before a failure: its FTP reply line or HTTP
    // status line, as it sent them (the caller cleans them for display).
    std::string m_serverReply;
    // The security package's status when a Windows sign-on at the proxy
    // failed; 0 otherwise.
    uint32_t m_proxySecurityStatus = 0;
    bool m_bUseSocks = false;
    int32_t m_nSocksVersion = 0;
    int32_t m_nSocksAuthMethod = 0;
    int32_t m_nSocksPort = 0;
    CAnsiString m_pszSocksPassword;
    CAnsiString m_pszSocksUser;
    CAnsiString m_pszSocksServer;
    VexStartHook m_pfnStart = nullptr;
    VexProgressHook m_pfnProgress = nullptr;
    VexAbortHook m_pfnAbort = nullptr;
    HttpProxySettings m_httpProxy;
    // The host's view of the fetch: time limit, cancel, bytes written.
    CFetchWatch* m_pWatch = nullptr;
    // The answers of the user's proxy settings in this fetch, shared with its
    // probe; none: asked afresh for every route.
    CSystemProxyMemo* m_pProxyMemo = nullptr;
    // FTP: passive data connections go to the address the 227 reply names.
    bool m_bTrustPassiveAddress = false;
    // "FTPTLS": TLS for FetchFTP and ftp:// URLs.
    ftp::TlsMode m_ftpTls = ftp::TlsMode::kPlain;
    // "IntegratedAuthServers": hosts whose 401 for Negotiate or NTLM gets
    // the user's Windows logon (patterns as "HTTPProxyBypass").
    std::string m_integratedAuthServers;
    // The route of the last request: whether, and through which HTTP proxy
    // (or SOCKS proxy that a configuration script named).
    HttpProxyRoute m_route;

private:
    // The SOCKS proxy of the request: the configured one, or the one that a
    // configuration script named for it.
    bool UsesSocks() const { return m_bUseSocks || m_route.socksVersion != 0; }
    SocksEndpoint Socks() const;
    void Prepare(VEXSOCK& client);
    void RecordError(long lError, long lErrorEx)
    {
        // A SOCKS 5 negotiation that failed closed the channel, which
        // cleared the primary code and kept the proxy's reason in the detail.
        m_lLastError = lError == 0 && lErrorEx != 0 && UsesSocks() ? VEXERR_SOCKS : lError;
        m_lLastErrorEx = lErrorEx;
    }
    void Log(const std::string& text);
    // Chooses m_route for a request; false (pair set) when the proxy named
    // cannot be used.
    bool ChooseRoute(const char* pszScheme, const std::string& host, uint16_t port, const std::string& url);
    // After a 407 from the proxy: true when the request is to be sent once
    // more, with signOn's authorization; otherwise the pair says why not.
    bool AnswerProxy(CProxySignOn& signOn, const proxy::CProxyChallenges& challenges);
    // After a 401 from the server: true when the request is to be sent once
    // more, with signOn's next leg.
    bool AnswerServer(CHttpSignOn& signOn, const proxy::CProxyChallenges& challenges);
    bool ConnectHttp11(CVexHTTP11& http, const url::Url& target);
    // One HTTP/1.1 exchange; *pStatus is the final status (200 or a redirect).
    bool FetchHttpOnce(const url::Url& target, const wchar_t* pwszLocal, int* pStatus, std::string* pLocation);
    bool FetchFtpUrl(const url::Url& target, const wchar_t* pwszLocal, bool bPassive);
    bool FetchFtpWith(ftp::TlsMode tls, const char* pszHost, const char* pszUser, const char* pszPassword,
                      uint16_t port, const char* pszRemote, const wchar_t* pwszLocal, bool bImageType, bool bPassive,
                      const char* pszUtf8Remote);
};
