// CVexFTP: the FTP client. One control connection (its own VEXSOCK base) and,
// over it, one whole-file transfer at a time. It speaks USER, PASS, TYPE,
// SIZE, PASV, PORT, RETR, STOR and QUIT, and for TLS (m_tlsMode) AUTH TLS,
// PBSZ and PROT; nothing else.
#pragma once

#include "LineBuffer.h"
#include "FtpReplies.h"
#include "FtpStream.h"
#include "FtpTls.h"
#include "HttpProxyRoute.h"
#include "VexSock.h"

#include <cstdint>
#include <string>
#include <vector>

class CVexFTP : public VEXSOCK
{
public:
    CVexFTP();
    ~CVexFTP();

    // Control connection.
    bool Connect(const char* pszHost, const char* pszUser, const char* pszPassword, uint16_t port);
    bool ConnectSocks(const char* pszHost, const char* pszUser, const char* pszPassword, uint16_t port,
                      const char* pszProxyHost, uint16_t proxyPort, unsigned version, unsigned authMethod,
                      const char* pszProxyUser, const char* pszProxyPassword);
    // Control and (passive) data connections through an HTTP proxy's
    // tunnels; the route must outlive the transfer.
    bool ConnectHttpTunnel(const char* pszHost, const char* pszUser, const char* pszPassword, uint16_t port,
                           HttpProxyRoute& route);
    bool Disconnect();
    bool PutMessage(const char* pszCommand);
    // The final line of one reply, or false (reply is then null).
    bool GetMessage(CAnsiString& reply);
    bool FTPResponse(long expected, CAnsiString* pReply = nullptr);
    bool SendCommand(const char* pszCommand, long expected, CAnsiString* pReply = nullptr);
    long GetLastError() const { return m_lLastError; }
    long GetLastErrorEx() const { return m_lLastErrorEx; }

    // Data connection.
    bool OpenDataChannel(VEXSOCK& data, bool bPassive, char (&address)[ftp::kPassiveAddressSize],
                         uint32_t* pPort);
    bool OpenDataChannelSOCKS4(VEXSOCK& data, const char* pszAddress, uint32_t* pPort);
    bool OpenDataChannelSOCKS5(VEXSOCK& data, const char* pszAddress, uint32_t* pPort);
    bool CompleteDataChannel(VEXSOCK& data, bool bPassive, const char* pszAddress, uint32_t port);

    // Before a path beyond ASCII: when the server lists UTF8 among its
    // features, asks it for UTF-8 paths (OPTS UTF8 ON); true then. A server
    // that does not is left as it was, in its own encoding.
    bool UseUtf8Paths();

    // Transfers. The local path is wide; the ANSI form reads it in the
    // system code page.
    bool MoveFile(const char* pszRemote, const wchar_t* pwszLocal, bool bImageType, bool bDownload, bool bPassive);
    bool MoveFile(const char* pszRemote, const char* pszLocal, bool bImageType, bool bDownload, bool bPassive);
    bool GetRemoteSize(const char* pszRemote, uint64_t* pSize);
    uint64_t GetFile(const char* pszRemote, const wchar_t* pwszLocal, CFtpStream& data, uint64_t cbExpected);
    uint64_t PutFile(const char* pszRemote, const wchar_t* pwszLocal, CFtpStream& data, uint64_t cbExpected);

    // Hides the channel's pair: the client's own record of its last failure.
    long m_lLastError = 0;
    long m_lLastErrorEx = 0;
    int m_nReplyCode = 0;
    // The last line of the last complete reply, as the server sent it.
    CAnsiString m_lastReply;
    bool m_bCreated = false;
    CLineBuffer m_reply;
    HttpProxyRoute* m_pHttpProxy = nullptr;
    // The proxy's status line when it refused a tunnel, and the security
    // package's status when a Windows sign-on there failed.
    std::string m_proxyAnswer;
    uint32_t m_proxySecurityStatus = 0;
    // The host name or address the control connection was opened to.
    CAnsiString m_controlHost;
    // "FTPTrustPASVAddress": passive data connections go to the address in
    // the 227 reply instead of the control connection's server.
    bool m_bTrustPassiveAddress = false;
    // TLS on the control connection and, once PROT P is accepted, on every
    // data connection. Set before connecting.
    ftp::TlsMode m_tlsMode = ftp::TlsMode::kPlain;

private:
    void SetError(long lError, long lErrorEx)
    {
        m_lLastError = lError;
        m_lLastErrorEx = lErrorEx;
    }
    void CopyErrorFrom(const VEXSOCK& channel)
    {
        SetError(channel.GetLastError(), channel.GetLastErrorEx());
    }
    void CopyErrorFrom(const CFtpStream& stream)
    {
        SetError(stream.LastError(), stream.LastErrorEx());
    }
    // A fresh control connection: no TLS, no protected data connections.
    void ResetControl();
    bool StartControlTls();
    // AUTH TLS and the handshake; true also when FTPTLS 1 goes on in plain.
    bool NegotiateAuthTls();
    // PBSZ 0 and PROT P: every data connection in TLS.
    bool ProtectDataConnections();
    bool StartDataTls(VEXSOCK& data, CFtpStream& stream);
    // After the data connection's TLS failed: the server's reply says why.
    void ExplainDataTlsFailure();
    // The completion reply after a transfer; bCut: the TLS data connection
    // ended without close_notify.
    void ReadCompletion(bool bCut);
    bool Login(const char* pszUser, const char* pszPassword);
    bool FormatCommand(char* pBuffer, size_t cbBuffer, const char* pszVerb, const char* pszArgument);
    bool SendPort(const char* pszAddress, uint16_t port);
    bool OpenDataChannelThroughBind(VEXSOCK& data, bool bSocks4);
    bool ConnectDataToProxy(VEXSOCK& data);
    // One granted BIND reply and the address it names (pAddress null: any).
    bool ReceiveBindReply(VEXSOCK& data, NetAddress* pAddress);
    bool RequestPassivePort(char (&address)[ftp::kPassiveAddressSize], uint32_t* pPort);
    bool ListenForServer(VEXSOCK& data);
    bool AcceptFromServer(VEXSOCK& data);
    void ChoosePassiveTarget(const char* pszReplyAddress, uint32_t port, CAnsiString& target);
    int GetLine(char (&line)[CLineBuffer::kBlockSize]);
    // Where GetMessage keeps every line of the replies it reads (at most
    // ftp::kMaxFeatureLines); none: only the last line is kept.
    std::vector<std::string>* m_pReplyLines = nullptr;

    CFtpStream m_control;
    bool m_bProtectData = false;
    // The server answered EPSV with 500, 502 or 504: PASV from then on.
    bool m_bExtendedPassiveRefused = false;
};
