#include "VexEngine.h"

#include "ConnectivityProbe.h"
#include "DialUpManager.h"
#include "ModuleResources.h"
#include "TransferSession.h"
#include "VexErrors.h"

#include <memory>
#include <new>

namespace {

// The temporary file a fetch reserved: deleted again unless the fetch
// completed. A partial or empty file whose name nobody learns is of no use,
// and leaving one per failure would use up the temporary names.
class CReservedFile
{
public:
    explicit CReservedFile(const char* pszPath) { m_path.Assign(pszPath); }
    ~CReservedFile()
    {
        if (!m_bKeep)
            DeleteFileA(m_path.Get());
    }
    CReservedFile(const CReservedFile&) = delete;
    CReservedFile& operator=(const CReservedFile&) = delete;

    void Keep() { m_bKeep = true; }

private:
    CAnsiString m_path;
    bool m_bKeep = false;
};

} // namespace

void CVexEngine::ReadConnectionSettings()
{
    ::ReadConnectionSettings(m_settings);
}

bool CVexEngine::IsInternetConnected() const
{
    return ProbeInternetConnection(m_settings);
}

bool CVexEngine::FetchRemoteFile(const char* pszHost, const char* pszPath, const char* pszUser,
                                 const char* pszPassword, int32_t port, int32_t protocol)
{
    const auto wirePort = static_cast<uint16_t>(port);
    return RunFetch([&](CTransferSession& session, const char* pszLocal) {
        return protocol == kProtocolHTTP
                   ? session.FetchHTTP(pszHost, wirePort, pszPath, pszLocal)
                   // ASCII type, as every fetch; passive only when the settings ask.
                   : session.FetchFTP(pszHost, pszUser, pszPassword, wirePort, pszPath, pszLocal, false,
                                      m_settings.m_bUsePASV);
    });
}

bool CVexEngine::FetchURL(const url::Url& target)
{
    return RunFetch([&](CTransferSession& session, const char* pszLocal) {
        return session.FetchURL(target, pszLocal, m_settings.m_bUsePASV);
    });
}

bool CVexEngine::RunFetch(const std::function<bool(CTransferSession&, const char*)>& transfer)
{
    m_pszLastFetchedFile.Reset();
    m_lLastFetchError = 0;
    m_lLastFetchErrorEx = 0;
    // Outermost: a line this fetch dials is hung up after everything else.
    CDialUpManager dialUp;

    char szTempDir[MAX_PATH];
    const DWORD cchTempDir = GetTempPathA(sizeof(szTempDir), szTempDir);
    if (cchTempDir == 0 || cchTempDir >= sizeof(szTempDir))
        return false;
    char szTempFile[MAX_PATH];
    if (GetTempFileNameA(szTempDir, "VEX", 0, szTempFile) == 0)
        return false;
    CReservedFile reserved(szTempFile);

    ReadConnectionSettings();
    if (!ProbeInternetConnection(m_settings))
        return false;

    std::unique_ptr<CTransferSession> session(new (std::nothrow) CTransferSession);
    if (!session)
        return false;
    CAnsiString text;
    LoadModuleString(kUserAgentString, text);
    session->SetUserAgent(text.Get());
    LoadModuleString(kRefererString, text);
    session->SetReferer(text.Get());

    if (m_settings.m_bConnectDUN)
    {
        CAnsiString profile, user, password;
        BstrToAnsi(m_settings.m_bstrDunProfile.Get(), profile);
        BstrToAnsi(m_settings.m_bstrDunUserName.Get(), user);
        BstrToAnsi(m_settings.m_bstrDunPassword.Get(), password);
        if (!dialUp.Dial(profile.Get(), user.Get(), password.Get()))
        {
            m_lLastError = VEXCTL_DIAL_FAILED;
            return false;
        }
    }
    if (m_settings.m_bConnectSOCKS)
    {
        CAnsiString server, user, password;
        BstrToAnsi(m_settings.m_bstrSocksServerAddress.Get(), server);
        BstrToAnsi(m_settings.m_bstrSocksUsername.Get(), user);
        BstrToAnsi(m_settings.m_bstrSocksPassword.Get(), password);
        session->SetSocks(server.Get(), m_settings.m_nSocksPort, m_settings.m_nSocksVersion,
                          m_settings.m_nSocksAuthMethod, user.Get(), password.Get());
    }

    const bool bCompleted = transfer(*session, szTempFile);
    m_lLastFetchError = session->m_lLastError;
    m_lLastFetchErrorEx = session->m_lLastErrorEx;
    if (bCompleted)
    {
        reserved.Keep();
        m_pszLastFetchedFile.Assign(szTempFile);
    }
    return bCompleted;
}
