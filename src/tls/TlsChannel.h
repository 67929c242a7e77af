// CTlsChannel: a TLS client over a connected VEXSOCK, through the platform's
// Schannel security package. The channel is borrowed: it may run directly to
// the server or through a SOCKS tunnel; only its Send/SendAll/Receive and
// bounded waits are used, so the transfer time limit, the message pumping
// and the socket error pairs stay as the channel makes them.
//
//   VEXSOCK channel;  ... Connect or ConnectSocks ...
//   CTlsChannel tls(channel);
//   if (!tls.Handshake("www.example.com")) -> tls.GetLastError()/Ex()
//   tls.SendAll(request, cb);  tls.Receive(buffer, cb) until 0;
//   tls.Shutdown();
//
// Failures land in the pair, as in the other clients: VEXERR_TLS with a
// VEXDET_TLS_* detail for TLS and certificate problems, the channel's own
// VEXERR_SOCKET pair for socket failures and timeouts.
#pragma once

#include "CryptOwners.h"
#include "TlsReceiveBuffer.h"

#include <memory>
#include <string>

class VEXSOCK;
struct CertificateVerdict;

class CTlsChannel
{
public:
    explicit CTlsChannel(VEXSOCK& channel);
    ~CTlsChannel();
    CTlsChannel(const CTlsChannel&) = delete;
    CTlsChannel& operator=(const CTlsChannel&) = delete;

    // Negotiates TLS 1.2 or newer with SNI pszServerName, then checks the
    // server's certificate for that name (CertificateCheck.h).
    bool Handshake(const char* pszServerName);
    // Sends all cb bytes; returns cb, or -1.
    int SendAll(const char* pData, int cb);
    // Decrypted bytes: >0, 0 once the server closed (close_notify or TCP
    // close), -1 on failure.
    int Receive(char* pBuffer, int cb);
    // Whether the server ended the session with close_notify; after a
    // Receive that returned 0 without it, an attacker may have cut the
    // stream (a body framed by the close is then incomplete).
    bool CloseNotifyReceived() const { return m_bCloseNotify; }
    // Sends close_notify, best effort; no transfer afterwards.
    void Shutdown();

    long GetLastError() const { return m_lLastError; }
    long GetLastErrorEx() const { return m_lLastErrorEx; }
    // "TLS 1.2", "TLS 1.3"; "TLS" when the package does not say which;
    // "none" before a handshake.
    const char* ProtocolName() const;

private:
    enum class Read
    {
        kData,   // bytes were added
        kClosed, // the server closed the TCP connection
        kFailed, // the pair is set
    };

    bool AcquireCredentials();
    // For the trace: whether the handshake resumed an earlier session.
    const char* SessionKind();
    // The name for SNI and the package's session cache; none for an
    // address literal.
    wchar_t* TargetName();
    // The InitializeSecurityContext loop, from the first call (no context
    // yet) or from held input (a post-handshake message, a renegotiation).
    // With pbDeclined, a package that will not start a new handshake from
    // no input at all declines it (true, *pbDeclined true).
    bool Negotiate(bool bFirstCall, bool* pbDeclined);
    // Reads until the first held record is whole; false (the failure
    // recorded) when the server closed or the read failed.
    bool ReadWholeRecord();
    // The held input is the server's refusal of every version offered.
    bool InputIsRefusal() const;
    // Sends the package's output token; false (recorded) when that failed
    // while the package itself had not.
    bool SendToken(const SecBuffer& token, SECURITY_STATUS status);
    bool FinishHandshake();
    bool CheckCertificate();
    // Receives into the free room of m_in; bHandshake: a timeout reports
    // -120/10060.
    Read ReadMore(bool bHandshake);
    // Decrypts the first held record, which is complete; false when failed.
    bool DecryptRecord(size_t cbRecord, char* pBuffer, int cb, int* pcbProduced);
    void Fail(long lError, long lErrorEx);
    void FailFromChannel();

    VEXSOCK& m_channel;
    // The process's shared credentials (SharedCredentials.h), not owned.
    CredHandle* m_pCredentials = nullptr;
    CSecurityContext m_context;
    tls::CTlsReceiveBuffer m_in;
    std::unique_ptr<char[]> m_pOut;
    size_t m_cbOut = 0;
    unsigned long m_cbHeader = 0;
    unsigned long m_cbTrailer = 0;
    unsigned long m_cbMaximumMessage = 0;
    unsigned long m_protocol = 0;
    std::string m_serverName;
    std::wstring m_serverNameW;
    bool m_bReady = false;
    bool m_bPeerClosed = false;
    bool m_bCloseNotify = false;
    long m_lLastError = 0;
    long m_lLastErrorEx = 0;
};
