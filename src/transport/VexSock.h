// VEXSOCK: the socket channel through which every byte of the engine travels.
// One socket, non-blocking: Create makes an IPv4 one; Connect replaces it by
// the connection to whichever of the host's addresses answers first, IPv6
// or IPv4 (ConnectRace.h). It is whose every wait is
// bounded by m_nTimeout seconds and keeps the calling thread's window
// messages flowing: it sleeps until the socket's event or a message wakes it
// (SocketEvent.h), dispatching the messages the moment they arrive. Failures land in the pair m_lLastError / m_lLastErrorEx.
// The FTP and HTTP clients derive from it (plain, non-virtual inheritance).
#pragma once

#include "AnsiString.h"
#include "NetAddress.h"
#include "SocketEvent.h"
#include "SocksEndpoint.h"
#include "WinsockStartup.h"

#include <winsock.h>

#include <cstdarg>
#include <cstdint>

class CDiagLog;
class CFetchWatch;
namespace socks {
class CSocks5Reply;
}

typedef void (*VexStartHook)(uint32_t cbExpected);
typedef void (*VexProgressHook)(uint32_t cbExpected, uint32_t cbSoFar);
typedef bool (*VexAbortHook)();

class VEXSOCK
{
public:
    // Wait modes.
    enum : int
    {
        WAIT_READ = 1,
        WAIT_WRITE = 2,
        WAIT_CONNECT = 16,
    };

    explicit VEXSOCK(bool bDatagram = false);
    ~VEXSOCK();
    VEXSOCK(const VEXSOCK&) = delete;
    VEXSOCK& operator=(const VEXSOCK&) = delete;

    bool Create(unsigned timeoutSeconds, bool bDatagram);
    static bool Resolve(const char* pszHost, uint16_t port, sockaddr_in* pAddr);
    bool Bind(uint16_t port, const char* pszHost);
    // A new listening-ready socket of local's family bound to its address
    // (port 0: any), in place of the channel's socket.
    bool CreateBound(unsigned timeoutSeconds, const NetAddress& local);
    // Tries every address of the host, IPv6 and IPv4 in turns, the next one
    // beside the last when that has not connected within 250 ms; the first
    // to connect becomes the channel's socket. One time limit for all.
    bool Connect(const char* pszHost, uint16_t port);
    // Why the last Connect failed, as a Windows Sockets code: 11001 for a
    // name not found, 10060 for a wait that ran out, the last address's own
    // reason (10061 refused, 10065 unreachable) when every attempt failed.
    // 0 after a Connect that succeeded.
    long ConnectFailureReason() const { return m_lConnectFailure; }

    // SOCKS operations.
    bool ConnectProxy(const char* pszProxyHost, uint16_t proxyPort, unsigned version,
                      unsigned authMethod, const char* pszUser, const char* pszPassword);
    bool ConnectSocks(const char* pszHost, uint16_t port, const char* pszProxyHost,
                      uint16_t proxyPort, unsigned version, unsigned authMethod,
                      const char* pszUser, const char* pszPassword);
    bool ConnectSocks(const char* pszHost, uint16_t port, const SocksEndpoint& socks)
    {
        return ConnectSocks(pszHost, port, socks.pszServer, socks.port, socks.version, socks.authMethod,
                            socks.pszUser, socks.pszPassword);
    }
    // Connect, or ConnectSocks when pSocks is given, leaving the pair every
    // client records for a connection that failed: -120 with
    // ConnectFailureReason() for a direct one, the proxy's own pair
    // through SOCKS.
    bool OpenTo(const char* pszHost, uint16_t port, const SocksEndpoint* pSocks);
    bool NegotiateSocks5(unsigned authMethod, const char* pszUser, const char* pszPassword);
    void EvaluateSocksReply(const uint8_t* pReply, unsigned version);
    // Reads one SOCKS 5 reply and not a byte past it. -1 when the socket
    // failed (the pair says why); otherwise 0, with what arrived before the
    // reply ended, was decided or the proxy closed the connection.
    int ReceiveSocks5Reply(socks::CSocks5Reply& reply);
    static bool IsDottedAddress(const char* pszText);
    // A SOCKS 5 request for the host: ATYP 1 or 4 for an address literal,
    // 3 for a name, which the proxy resolves. 0 when it does not fit.
    static size_t BuildSocks5Destination(uint8_t* pRequest, size_t cbRequest, uint8_t command, const char* pszHost,
                                         uint16_t port);

    int Send(const char* pBuffer, int cb, int flags);
    int SendAll(const char* pBuffer, int cb, int flags);
    int Receive(char* pBuffer, int cb, int flags);
    int Listen(int backlog);
    int Accept(sockaddr* pAddr, int* pcbAddr);
    struct RefusedPeers
    {
        unsigned count = 0;
        uint32_t lastAddressNet = 0;
    };
    // Accepts, in place of the listener, the first connection that comes
    // from peerAddressNet (network byte order). A connection from any other
    // address is closed at once and the wait goes on, all of it within one
    // timeout; pRefused counts those and names the last.
    int AcceptOnlyFrom(uint32_t peerAddressNet, RefusedPeers* pRefused);
    // The same for a peer of either family; pLast names the last refused.
    int AcceptOnlyFrom(const NetAddress& peer, unsigned* pRefusedCount, NetAddress* pLast);

    uint16_t GetLocalPort();
    int GetLocalAddress(CAnsiString& text, uint16_t* pPort);
    // The local end of the connection, of either family.
    bool GetLocalNetAddress(NetAddress* pLocal);
    uint32_t GetPeerAddress() const { return m_addr.sin_addr.s_addr; }
    // The peer Connect reached, of either family (IPv4 zero after SOCKS).
    const NetAddress& PeerAddress() const { return m_peer; }
    uint16_t GetPeerPort() const { return m_addr.sin_port; }
    long GetLastError() const { return m_lLastError; }
    // The socket's own pending error (SO_ERROR): why a connection attempt
    // that failed in its wait failed. 0 when there is none.
    long PendingSocketError() const;
    long GetLastErrorEx() const { return m_lLastErrorEx; }

    void Close();
    bool SetNonBlocking();

    int Wait(int mode);
    // Wait with a deadline on the monotonic clock (MonotonicClock.h).
    int WaitUntil(int mode, uint64_t deadline);
    int WaitRead() { return Wait(WAIT_READ); }
    int WaitWrite() { return Wait(WAIT_WRITE); }
    int WaitConnect() { return Wait(WAIT_CONNECT); }

    void SetStartHook(VexStartHook pfn) { m_pfnStart = pfn; }
    void SetProgressHook(VexProgressHook pfn) { m_pfnProgress = pfn; }
    void SetAbortHook(VexAbortHook pfn) { m_pfnAbort = pfn; }
    // The fetch this channel works for, if any: its time limit replaces
    // m_nTimeout, a cancel the host asked for ends every wait (-160 with
    // VEXDET_CANCELLED), and the bytes written to the local file are
    // reported to it.
    void AttachWatch(CFetchWatch* pWatch) { m_pWatch = pWatch; }
    CFetchWatch* Watch() const { return m_pWatch; }
    unsigned TimeoutSeconds() const;
    // The local file was opened for a body of cbExpected bytes (-1: unknown).
    void BodyStarted(int64_t cbExpected);
    void BodyWritten(const void* pData, size_t cb);

    void NotifyStart(uint64_t cbExpected);
    void NotifyProgress(uint64_t cbExpected, uint64_t cbSoFar);
    bool QueryAbort();

    // Trace log. A channel logs nothing unless a log is attached; the
    // channel itself writes no entries, its clients do.
    void EnableLog(const char* pszFileName);
    void AttachLog(CDiagLog* pLog);
    void Log(const char* pszText, bool bTimestamp);
    // Formats one entry (at most 1023 characters) and logs it. Only the
    // format is trusted; strings from peers go in as arguments.
    void LogFormat(const char* pszFormat, ...) __attribute__((format(printf, 2, 3)));
    // The line that ends a step: "<step> returned true|false." and the
    // error pair ("m_lLastError: <n> m_lLastErrorEx: <n>").
    void LogReturned(const char* pszStep, bool bResult);
    // A formatted entry followed by the error pair and a line break.
    void LogWithErrors(const char* pszFormat, ...) __attribute__((format(printf, 2, 3)));

protected:
    void Record(long lError, long lErrorEx)
    {
        m_lLastError = lError;
        m_lLastErrorEx = lErrorEx;
    }
    // Records -120 with the calling thread's last socket error.
    void RecordSocketError();
    bool OpenSocket(bool bDatagram);
    // Replaces the channel's socket by one that Connect made.
    void AdoptSocket(UINT_PTR hSocket, const NetAddress& peer);
    bool SendSocks4Connect(const char* pszHost, uint16_t port, const char* pszUser);
    bool SendSocks5Connect(const char* pszHost, uint16_t port);
    void ReleaseStrings();
    void ReleaseLog();

public:
    CWinsockStartup m_winsock;
    bool m_bNonBlocking = false;
    bool m_bLogBorrowed = false;
    bool m_bLogging = false;
    unsigned m_nTimeout;
    SOCKET m_hSocket = INVALID_SOCKET;
    sockaddr_in m_addr; // IPv4 only: zero while the peer is an IPv6 one
    NetAddress m_peer;
    bool m_bViaSocks = false;
    unsigned m_nSocksVersion = 0;
    unsigned m_nSocksAuth = 0;
    unsigned m_nSocksPort = 0;
    CAnsiString m_pszSocksPassword;
    CAnsiString m_pszSocksUser;
    CAnsiString m_pszSocksHost;
    VexStartHook m_pfnStart = nullptr;
    VexProgressHook m_pfnProgress = nullptr;
    VexAbortHook m_pfnAbort = nullptr;
    bool m_bOpen = false;
    uint16_t m_nTargetPort = 0;
    CAnsiString m_pszTargetHost;
    long m_lLastError = 0;
    long m_lLastErrorEx = 0;
    long m_lConnectFailure = 0;
    bool m_bAbort = false;
    CDiagLog* m_pLog = nullptr; // owned unless m_bLogBorrowed

private:
    // One entry from a format and its arguments, with the error pair after
    // it when asked.
    void LogEntryV(const char* pszFormat, va_list args, bool bWithErrors) __attribute__((format(printf, 2, 0)));

    // select without waiting for the mode's readiness: the count of ready
    // sockets (0 or 1) or SOCKET_ERROR.
    bool CancelRequested() const;
    int LookOnce(int mode, fd_set* pReadSet, fd_set* pWriteSet, fd_set* pExceptSet);
    // Sleeps until the socket's event is signalled, a message arrives
    // (dispatched then) or the milliseconds have passed. True when the
    // socket is to be looked at again.
    bool SleepUntilSignalled(bool bWatching, DWORD dwMilliseconds);

    CSocketEvent m_socketEvent;
    CFetchWatch* m_pWatch = nullptr;
};
