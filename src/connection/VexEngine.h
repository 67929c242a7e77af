// CVexEngine: the engine base of the control. Holds the only state that
// outlives a call: the component-level error code, the connection settings
// as the last fetch read them, and the file the last completed fetch kept.
#pragma once

#include "AnsiString.h"
#include "ConnectionSettings.h"
#include "FailureText.h"
#include "HashFragment.h"
#include "VexLimits.h"
#include "WinsockStartup.h"

#include <cstdint>
#include <functional>
#include <string>

class CDiagLog;
class CDialUpManager;
class CFetchObserver;
class CFetchWatch;
class CSystemProxyMemo;
class IFetchEvents;
class CTransferSession;
struct HttpProxyRoute;
namespace url {
struct Url;
}

class CVexEngine
{
public:
    // Protocol selector of FetchRemoteFile; any other value means FTP.
    static constexpr int32_t kProtocolHTTP = 1;
    // String resources: the User-Agent (product name and version) and the
    // Referer (the product's web address) of HTTP requests.
    static constexpr unsigned kUserAgentString = 127;
    static constexpr unsigned kRefererString = 122;

    CVexEngine() = default;
    CVexEngine(const CVexEngine&) = delete;
    CVexEngine& operator=(const CVexEngine&) = delete;

    // Fetches one remote file into a new temporary file ("VEX" prefix) and
    // answers whether the transfer completed. A completed fetch keeps its
    // file (LastFetchedFile names it); a failed one deletes it again.
    // pszUtf8Path, for FTP: the path in UTF-8, for a server that takes UTF-8
    // paths when it goes beyond ASCII (pszPath is in the system code page).
    bool FetchRemoteFile(const char* pszHost, const char* pszPath, const char* pszUser, const char* pszPassword,
                         int32_t port, int32_t protocol, const char* pszUtf8Path = nullptr);
    // The same fetch for a parsed URL (http, https or ftp). A file whose
    // digest differs from the expected one fails the fetch (-210).
    bool FetchURL(const url::Url& target, const url::ExpectedHash& expected = url::ExpectedHash());
    // A URL refused before any fetch: recorded as the last fetch's failure.
    void RecordRefusedUrl(long lDetail);
    // A fetch that an exception (no memory left) broke off: it failed, and
    // its pair says so unless it already says why.
    void RecordInterruptedFetch() noexcept { FailUnlessRecorded(); }

    // Why the last fetch failed: its step's pair (0 / 0 after a completed
    // fetch), and a sentence for a person. Never holds a password.
    long LastFetchError() const { return m_failure.lError; }
    long LastFetchErrorDetail() const { return m_failure.lErrorEx; }
    // The sentence is UTF-8: host names, paths and server replies in it may
    // go beyond the ANSI code page.
    std::string LastFetchErrorText() const { return DescribeFailure(m_failure); }
    void ReadConnectionSettings();
    // Whether the internet is reachable the way the last fetch's settings say.
    bool IsInternetConnected() const;

    // The whole path of the file the last completed fetch kept; empty after
    // a failed one.
    const std::wstring& LastFetchedFile() const { return m_lastFetchedFile; }
    // Lower-case hex SHA-256 of the file the last completed fetch kept: the
    // digest its URL gave and the fetch verified, or else read from the file
    // when first asked for. Empty after a failed fetch, or when the file can
    // no longer be read.
    const std::string& LastFetchedFileSha256();

    // Bytes of the running fetch's body so far and announced (-1: unknown),
    // or the last fetch's when none runs.
    double FetchBytesReceived() const;
    double FetchBytesExpected() const;
    // Ends every running fetch of this engine at its next wait (-160 with
    // VEXDET_CANCELLED, no file kept); nothing when none runs.
    void CancelFetch();
    // The limit of each network wait of the fetches (not the probe's).
    unsigned TimeoutSeconds() const { return m_timeoutSeconds; }
    bool SetTimeoutSeconds(long seconds);
    // Told of the progress and the end of every fetch; null for none.
    void SetEventSink(IFetchEvents* pEvents) { m_pEvents = pEvents; }

    CWinsockStartup m_winsock;
    long m_lLastError = 0;
    CConnectionSettings m_settings;
    std::wstring m_lastFetchedFile;

private:
    // The fetches running on this engine, innermost first: a host may start
    // another from inside the waits of one.
    struct RunningFetch
    {
        CFetchWatch* pWatch;
        RunningFetch* pOuter;
    };
    class CRunningScope;
    // One fetch's transfer into the local file it is given.
    using LocalTransfer = std::function<bool(CTransferSession&, const wchar_t*)>;

    // The session every fetch runs: dial-up manager, temporary file,
    // settings, probe, product strings, dial-up, proxy; then transfer.
    // pszWhat names the fetch in the trace log (never with a password).
    // displayHost: the server as the failure text names it, in UTF-8.
    bool RunFetch(const char* pszProtocol, const std::string& displayHost, uint16_t port, const std::string& what,
                  const LocalTransfer& transfer,
                  const url::ExpectedHash& expected = url::ExpectedHash());
    bool RunFetchIn(CFetchWatch& watch, CFetchObserver& observer, const std::string& what,
                    const LocalTransfer& transfer,
                    const url::ExpectedHash& expected);
    bool RunSession(CDiagLog* pLog, const LocalTransfer& transfer,
                    const wchar_t* pwszLocal, CDialUpManager& dialUp, CFetchWatch& watch);
    // The SOCKS proxy (its address in ANSI) and probe target as a failure
    // text names them.
    void NoteSocksSettings(const char* pszSocksServer);
    // The connectivity probe, its failure recorded.
    bool ProbePassed(CSystemProxyMemo& proxyMemo);
    // The configured dial-up connection is up; a failure is recorded unless
    // the host cancelled.
    bool Dialled(CDiagLog* pLog, CDialUpManager& dialUp, CFetchWatch& watch);
    // SOCKS, HTTP proxy and FTP settings into the session.
    void ApplyRouteSettings(CTransferSession& session, const char* pszSocksServer) const;
    // A completed body whose digest is not the expected one: false, the
    // failure recorded.
    bool Verified(const url::ExpectedHash& expected, const std::string& actualHex);
    // The failure happened on a request through this HTTP proxy.
    void NoteHttpProxy(const HttpProxyRoute& route);
    void Fail(long lError, long lErrorEx) { m_failure.lError = lError, m_failure.lErrorEx = lErrorEx; }
    // A failed fetch never reads as 0 / 0: without a recorded reason it
    // failed in its protocol, for a reason the engine did not foresee.
    void FailUnlessRecorded() noexcept;

    FailureContext m_failure;
    unsigned m_timeoutSeconds = kTransferTimeoutSeconds;
    IFetchEvents* m_pEvents = nullptr;
    RunningFetch* m_pRunning = nullptr;
    double m_lastReceived = 0;
    double m_lastExpected = -1;
    std::string m_lastSha256;
};
