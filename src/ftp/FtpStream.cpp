#include "FtpStream.h"

#include "VexErrors.h"

#include <new>

bool CFtpStream::StartTls(const char* pszServerName)
{
    m_pTls.reset(new (std::nothrow) CTlsChannel(m_channel));
    if (!m_pTls)
    {
        m_channel.Log("CFtpStream::StartTls() no memory for the TLS channel\n", true);
        return false;
    }
    return m_pTls->Handshake(pszServerName);
}

void CFtpStream::EndTls()
{
    if (m_pTls)
        m_pTls->Shutdown();
    m_pTls.reset();
}
