#include "VexEngine.h"

#include "ConnectivityProbe.h"
#include "ContentHash.h"
#include "DialUpManager.h"
#include "FetchEvents.h"
#include "FetchObserver.h"
#include "FetchWatch.h"
#include "HostSyntax.h"
#include "SystemProxyMemo.h"
#include "ModuleResources.h"
#include "TransferSession.h"
#include "DiagLog.h"
#include "LocalFile.h"
#include "ReservedFile.h"
#include "Url.h"
#include "VexErrors.h"
#include "VexLimits.h"
#include "WideText.h"

#include <memory>
#include <new>

namespace {

// A caller's string that may be null, as text for a sentence or the trace.
std::string Text(const char* psz)
{
    return psz ? psz : "";
}

// A caller's string in the system code page (or null), as UTF-8 for a
// sentence.
std::string Utf8Text(const char* psz)
{
    return WideToUtf8(AnsiToWide(psz).c_str());
}

} // namespace

// Makes a fetch the innermost running one for its lifetime.
class CVexEngine::CRunningScope
{
public:
    CRunningScope(RunningFetch*& pHead, CFetchWatch& watch) : m_pHead(pHead), m_entry{&watch, pHead}
    {
        m_pHead = &m_entry;
    }
    ~CRunningScope() { m_pHead = m_entry.pOuter; }
    CRunningScope(const CRunningScope&) = delete;
    CRunningScope& operator=(const CRunningScope&) = delete;

private:
    RunningFetch*& m_pHead;
    RunningFetch m_entry;
};

double CVexEngine::FetchBytesReceived() const
{
    return m_pRunning ? static_cast<double>(m_pRunning->pWatch->Received()) : m_lastReceived;
}

double CVexEngine::FetchBytesExpected() const
{
    return m_pRunning ? static_cast<double>(m_pRunning->pWatch->Expected()) : m_lastExpected;
}

void CVexEngine::CancelFetch()
{
    for (RunningFetch* p = m_pRunning; p; p = p->pOuter)
        p->pWatch->RequestCancel();
}

bool CVexEngine::SetTimeoutSeconds(long seconds)
{
    if (seconds < static_cast<long>(kMinTimeoutSeconds) || seconds > static_cast<long>(kMaxTimeoutSeconds))
        return false;
    m_timeoutSeconds = static_cast<unsigned>(seconds);
    return true;
}

void CVexEngine::ReadConnectionSettings()
{
    ::ReadConnectionSettings(m_settings);
}

bool CVexEngine::IsInternetConnected() const
{
    return ProbeInternetConnection(m_settings);
}

bool CVexEngine::FetchRemoteFile(const char* pszHost, const char* pszPath, const char* pszUser,
                                 const char* pszPassword, int32_t port, int32_t protocol, const char* pszUtf8Path)
{
    const auto wirePort = static_cast<uint16_t>(port);
    const bool bHttp = protocol == kProtocolHTTP;
    const std::string what = std::string(bHttp ? "FetchRemoteHTTP( " : "FetchRemoteFTP( ") + Text(pszHost) + ", " +
                             Text(pszPath) + ", " + std::to_string(wirePort) + " )";
    return RunFetch(bHttp ? "HTTP" : "FTP", Utf8Text(pszHost), wirePort, what,
                    [&](CTransferSession& session, const wchar_t* pwszLocal) {
                        return bHttp ? session.FetchHTTP(pszHost, wirePort, pszPath, pwszLocal)
                                     // ASCII type, as every fetch; passive only when the settings ask.
                                     : session.FetchFTP(pszHost, pszUser, pszPassword, wirePort, pszPath, pwszLocal,
                                                        false, m_settings.m_bUsePASV, pszUtf8Path);
                    });
}

bool CVexEngine::FetchURL(const url::Url& target, const url::ExpectedHash& expected)
{
    const char* pszProtocol = target.scheme == url::Scheme::kHttps  ? "HTTPS"
                              : target.scheme == url::Scheme::kHttp ? "HTTP"
                              : target.scheme == url::Scheme::kFtps ? "FTPS"
                                                                    : "FTP";
    // DescribeUrl leaves the user info, and so any password, out.
    return RunFetch(pszProtocol, url::DisplayHost(target), target.port, "FetchURL( " + url::DescribeUrl(target) + " )",
                    [&](CTransferSession& session, const wchar_t* pwszLocal) {
                        return session.FetchURL(target, pwszLocal, m_settings.m_bUsePASV);
                    },
                    expected);
}

void CVexEngine::RecordRefusedUrl(long lDetail)
{
    m_lastFetchedFile.clear();
    m_lastSha256.clear();
    m_failure = FailureContext();
    Fail(VEXERR_URL, lDetail);
}

bool CVexEngine::RunFetch(const char* pszProtocol, const std::string& displayHost, uint16_t port,
                          const std::string& what, const LocalTransfer& transfer,
                          const url::ExpectedHash& expected)
{
    m_lastFetchedFile.clear();
    m_lastSha256.clear();
    m_failure = FailureContext();
    m_failure.protocol = pszProtocol;
    m_failure.host = displayHost;
    m_failure.port = port;
    m_failure.timeoutSeconds = m_timeoutSeconds;

    CFetchObserver observer(m_pEvents, expected.algorithm);
    CFetchWatch watch(m_timeoutSeconds, &observer);
    const bool bCompleted = RunFetchIn(watch, observer, what, transfer, expected);
    m_lastReceived = static_cast<double>(watch.Received());
    m_lastExpected = static_cast<double>(watch.Expected());
    // The host hears of the end once the properties say what it was.
    watch.Finish();
    if (m_pEvents)
        m_pEvents->FetchDone(bCompleted);
    return bCompleted;
}

bool CVexEngine::RunFetchIn(CFetchWatch& watch, CFetchObserver& observer, const std::string& what,
                            const LocalTransfer& transfer, const url::ExpectedHash& expected)
{
    const CRunningScope running(m_pRunning, watch);
    // Outermost: a line this fetch dials is hung up after everything else.
    CDialUpManager dialUp;
    dialUp.m_nTimeout = m_timeoutSeconds;
    dialUp.m_pWatch = &watch;

    CReservedFile reserved;
    if (!reserved.Reserve())
    {
        const bool bTooLong = GetLastError() == ERROR_FILENAME_EXCED_RANGE;
        m_failure.localFile = WideToUtf8(reserved.Directory().c_str());
        Fail(VEXERR_LOCALFILE, bTooLong ? VEXFILE_PATH_TOO_LONG : CLocalFile::MapLastError());
        return false;
    }
    m_failure.localFile = WideToUtf8(reserved.Path().c_str());

    ReadConnectionSettings();
    // The trace of this fetch, when the settings ask for one. A log that
    // cannot be opened refuses its entries; the fetch goes on.
    std::unique_ptr<CDiagLog> log;
    if (!m_settings.m_traceLog.empty())
    {
        log.reset(new (std::nothrow) CDiagLog(m_settings.m_traceLog, true));
        if (log)
            log->WriteEntry(("CVexEngine::" + what + " started\n").c_str(), true);
    }
    bool bCompleted = RunSession(log.get(), transfer, reserved.Path().c_str(), dialUp, watch);
    // Whatever a cancelled step made of its interrupted wait, the host
    // ended it; also when the fetch met no wait after the host asked.
    if (watch.CancelRequested())
    {
        bCompleted = false;
        Fail(VEXERR_ABORTED, VEXDET_CANCELLED);
    }
    observer.Finish();
    if (bCompleted)
        bCompleted = Verified(expected, observer.VerifyHex());
    if (bCompleted)
    {
        m_lastFetchedFile = reserved.Path();
        reserved.Keep();
        if (expected.algorithm == HashAlgorithm::kSha256)
            m_lastSha256 = observer.VerifyHex();
    }
    else
    {
        FailUnlessRecorded();
    }
    if (log)
    {
        const std::string result = bCompleted ? "true" : "false: " + LastFetchErrorText();
        log->WriteEntry(("CVexEngine::" + what + " returned " + result + "\n").c_str(), true);
    }
    return bCompleted;
}

bool CVexEngine::Verified(const url::ExpectedHash& expected, const std::string& actualHex)
{
    if (expected.algorithm == HashAlgorithm::kNone)
        return true;
    if (!actualHex.empty() && actualHex == expected.hex)
        return true;
    m_failure.digestName = HashAlgorithmName(expected.algorithm);
    m_failure.expectedDigest = expected.hex;
    m_failure.actualDigest = actualHex;
    Fail(VEXERR_VERIFY, actualHex.empty() ? VEXDET_DIGEST_UNAVAILABLE : VEXDET_DIGEST_MISMATCH);
    return false;
}

const std::string& CVexEngine::LastFetchedFileSha256()
{
    if (m_lastSha256.empty() && !m_lastFetchedFile.empty())
        m_lastSha256 = FileDigestHex(m_lastFetchedFile.c_str(), HashAlgorithm::kSha256);
    return m_lastSha256;
}

void CVexEngine::FailUnlessRecorded() noexcept
{
    if (m_failure.lError == 0)
        Fail(m_failure.protocol.compare(0, 3, "FTP") == 0 ? VEXERR_FTP : VEXERR_HTTP, VEXDET_UNEXPECTED);
}

void CVexEngine::NoteHttpProxy(const HttpProxyRoute& route)
{
    if (route.socksVersion != 0)
    {
        // A SOCKS proxy that a configuration script named.
        m_failure.bViaSocks = true;
        m_failure.proxyHost = route.host;
        m_failure.proxyPort = route.port;
        m_failure.socksVersion = route.socksVersion;
        return;
    }
    // A proxy named but not readable is shown as it was named.
    if (!route.bUse && route.host.empty())
        return;
    m_failure.bViaHttpProxy = true;
    m_failure.proxyHost = route.host;
    m_failure.proxyPort = route.port;
}

bool CVexEngine::RunSession(CDiagLog* pLog, const LocalTransfer& transfer, const wchar_t* pwszLocal,
                            CDialUpManager& dialUp, CFetchWatch& watch)
{
    CAnsiString socksServer;
    BstrToAnsi(m_settings.m_bstrSocksServerAddress.Get(), socksServer);
    NoteSocksSettings(socksServer.Get());
    CSystemProxyMemo proxyMemo;
    // The probe waits on its own limit; a cancel during it ends the fetch here.
    if (!ProbePassed(proxyMemo) || watch.CancelRequested())
        return false;

    std::unique_ptr<CTransferSession> session(new (std::nothrow) CTransferSession);
    if (!session)
        return false;
    session->m_pWatch = &watch;
    session->m_pProxyMemo = &proxyMemo;
    if (pLog)
    {
        session->m_pSharedLog = pLog;
        session->m_bSharedLog = true;
    }
    CAnsiString text;
    LoadModuleString(kUserAgentString, text);
    session->SetUserAgent(text.Get());
    LoadModuleString(kRefererString, text);
    session->SetReferer(text.Get());

    if (m_settings.m_bConnectDUN && !Dialled(pLog, dialUp, watch))
        return false;
    ApplyRouteSettings(*session, socksServer.Get());

    const bool bCompleted = transfer(*session, pwszLocal);
    if (!bCompleted)
    {
        NoteHttpProxy(session->m_route);
        // A transfer that ended without recording why (an answer that is no
        // reply at all, no client could be made) fails in its protocol:
        // RunFetch sees to it.
        Fail(session->m_lLastError, session->m_lLastErrorEx);
        m_failure.serverReply = session->m_serverReply;
        m_failure.securityStatus = session->m_proxySecurityStatus;
    }
    return bCompleted;
}

void CVexEngine::NoteSocksSettings(const char* pszSocksServer)
{
    m_failure.bViaSocks = m_settings.m_bConnectSOCKS;
    m_failure.proxyHost = Utf8Text(pszSocksServer);
    m_failure.proxyPort = m_settings.m_nSocksPort;
    m_failure.socksVersion = m_settings.m_nSocksVersion <= 1 ? 4 : 5;
    m_failure.probeTarget = hostsyntax::HostPort(Text(m_settings.m_probeTarget.Host()), m_settings.m_probeTarget.Port());
}

bool CVexEngine::ProbePassed(CSystemProxyMemo& proxyMemo)
{
    long lProbeError = 0, lProbeErrorEx = 0;
    HttpProxyRoute probeRoute;
    std::string proxyAnswer;
    if (ProbeInternetConnection(m_settings, &lProbeError, &lProbeErrorEx, &probeRoute, &proxyAnswer, &proxyMemo))
        return true;
    NoteHttpProxy(probeRoute);
    // A proxy that refused the probe is the cause to name; anything else is
    // the probe's own failure, with the socket's reason.
    if (lProbeError == VEXERR_SOCKS || lProbeError == VEXERR_PROXY)
    {
        m_failure.host = Text(m_settings.m_probeTarget.Host());
        m_failure.port = m_settings.m_probeTarget.Port();
        m_failure.serverReply = proxyAnswer;
        Fail(lProbeError, lProbeErrorEx);
    }
    else
    {
        Fail(VEXERR_PROBE, lProbeError == VEXERR_SOCKET ? lProbeErrorEx : 0);
    }
    return false;
}

bool CVexEngine::Dialled(CDiagLog* pLog, CDialUpManager& dialUp, CFetchWatch& watch)
{
    CAnsiString profile, user, password;
    BstrToAnsi(m_settings.m_bstrDunProfile.Get(), profile);
    BstrToAnsi(m_settings.m_bstrDunUserName.Get(), user);
    BstrToAnsi(m_settings.m_bstrDunPassword.Get(), password);
    m_failure.dialEntry = Utf8Text(profile.Get());
    if (pLog)
        pLog->WriteEntry(("CDialUpManager::Dial( " + m_failure.dialEntry + ", " + Text(user.Get()) + ", {password} )\n")
                             .c_str(),
                         true);
    if (dialUp.Dial(profile.Get(), user.Get(), password.Get()))
        return true;
    if (!watch.CancelRequested())
    {
        m_lLastError = VEXCTL_DIAL_FAILED;
        Fail(VEXCTL_DIAL_FAILED, 0);
    }
    return false;
}

void CVexEngine::ApplyRouteSettings(CTransferSession& session, const char* pszSocksServer) const
{
    if (m_settings.m_bConnectSOCKS)
    {
        CAnsiString user, password;
        BstrToAnsi(m_settings.m_bstrSocksUsername.Get(), user);
        BstrToAnsi(m_settings.m_bstrSocksPassword.Get(), password);
        session.SetSocks(pszSocksServer, m_settings.m_nSocksPort, m_settings.m_nSocksVersion,
                         m_settings.m_nSocksAuthMethod, user.Get(), password.Get());
    }
    session.SetHttpProxy(m_settings.m_httpProxy);
    session.m_bTrustPassiveAddress = m_settings.m_bTrustPASVAddress;
    session.m_ftpTls = m_settings.m_ftpTls;
    session.m_integratedAuthServers = m_settings.m_integratedAuthServers;
}
