// The bytes of one HTTP exchange: straight through the channel, or through
// TLS on it. Receive and SendAll have the channel's shape, so the line and
// head readers take either.
#pragma once

#include "TlsChannel.h"
#include "VexSock.h"

class CHttpStream
{
public:
    explicit CHttpStream(VEXSOCK& channel) : m_channel(channel) {}

    void UseTls(CTlsChannel* pTls) { m_pTls = pTls; }
    bool IsTls() const { return m_pTls != nullptr; }

    int SendAll(const char* pData, int cb) { return m_pTls ? m_pTls->SendAll(pData, cb) : m_channel.SendAll(pData, cb, 0); }
    // >0 bytes, 0 when the server closed, -1 on failure (LastError says why).
    int Receive(char* pBuffer, int cb) { return m_pTls ? m_pTls->Receive(pBuffer, cb) : m_channel.Receive(pBuffer, cb, 0); }

    // After Receive returned 0: whether the end is known to be the server's.
    // Over TLS only close_notify says so; a bare TCP close may be anybody's.
    bool ClosedByServer() const { return !m_pTls || m_pTls->CloseNotifyReceived(); }

    long LastError() const { return m_pTls ? m_pTls->GetLastError() : m_channel.GetLastError(); }
    long LastErrorEx() const { return m_pTls ? m_pTls->GetLastErrorEx() : m_channel.GetLastErrorEx(); }

private:
    VEXSOCK& m_channel;
    CTlsChannel* m_pTls = nullptr;
};
