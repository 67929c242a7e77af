// CFtpStream: the bytes of the FTP control connection or of one data
// connection, straight through the channel or through TLS on it. The channel
// is borrowed and must outlive the stream.
#pragma once

#include "TlsChannel.h"
#include "VexSock.h"

#include <memory>

class CFtpStream
{
public:
    explicit CFtpStream(VEXSOCK& channel) : m_channel(channel) {}
    CFtpStream(const CFtpStream&) = delete;
    CFtpStream& operator=(const CFtpStream&) = delete;

    // TLS on the connected channel, the certificate checked for
    // pszServerName. Every stream names the control connection's server
    // here: Windows' Schannel resumes a session only for the same
    // credentials (one per process, SharedCredentials.h) and the same
    // target name, and servers may refuse data connections that do not
    // resume the control connection's session.
    bool StartTls(const char* pszServerName);
    bool IsTls() const { return m_pTls != nullptr; }
    // Sends close_notify when TLS runs, best effort; the stream is plain
    // again afterwards.
    void EndTls();

    // Sends all cb bytes; cb, or -1.
    int SendAll(const char* pData, int cb) { return m_pTls ? m_pTls->SendAll(pData, cb) : m_channel.SendAll(pData, cb, 0); }
    // >0 bytes, 0 when the peer closed, -1 on failure (LastError says why).
    int Receive(char* pBuffer, int cb) { return m_pTls ? m_pTls->Receive(pBuffer, cb) : m_channel.Receive(pBuffer, cb, 0); }
    // After Receive returned 0: whether the end is known to be the server's.
    // Over TLS only close_notify says so; a bare TCP close may be anybody's.
    bool ClosedByServer() const { return !m_pTls || m_pTls->CloseNotifyReceived(); }

    long LastError() const { return m_pTls ? m_pTls->GetLastError() : m_channel.GetLastError(); }
    long LastErrorEx() const { return m_pTls ? m_pTls->GetLastErrorEx() : m_channel.GetLastErrorEx(); }

private:
    VEXSOCK& m_channel;
    std::unique_ptr<CTlsChannel> m_pTls;
};
