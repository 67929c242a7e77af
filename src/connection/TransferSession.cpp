#include "TransferSession.h"

#include "VexFTP.h"
#include "VexHTTP.h"

#include <memory>
#include <new>

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
        return false;
    }
    const bool bCompleted = ftp->MoveFile(pszRemote, pszLocal, bImageType, true, bPassive);
    // The reason of a failure is read before QUIT clears it.
    m_lLastError = bCompleted ? 0 : ftp->GetLastError();
    m_lLastErrorEx = bCompleted ? 0 : ftp->GetLastErrorEx();
    ftp->Disconnect();
    return bCompleted;
}
