#include "VexSock.h"

#include "ConnectRace.h"
#include "FetchWatch.h"
#include "HostResolver.h"
#include "MessagePump.h"
#include "MonotonicClock.h"
#include "VexErrors.h"
#include "VexLimits.h"
#include "SocketAddress.h"

#include <algorithm>
#include <cstring>

VEXSOCK::VEXSOCK(bool bDatagram)
    : m_nTimeout(kTransferTimeoutSeconds)
{
    std::memset(&m_addr, 0, sizeof(m_addr));
    // Without a socket the object stays usable: Create makes a new one.
    if (OpenSocket(bDatagram))
        m_bNonBlocking = SetNonBlocking();
}

VEXSOCK::~VEXSOCK()
{
    Close();
    ReleaseLog();
}

void VEXSOCK::RecordSocketError()
{
    Record(VEXERR_SOCKET, WSAGetLastError());
}

bool VEXSOCK::OpenSocket(bool bDatagram)
{
    m_hSocket = socket(AF_INET, bDatagram ? SOCK_DGRAM : SOCK_STREAM, 0);
    if (m_hSocket == INVALID_SOCKET)
    {
        RecordSocketError();
        return false;
    }
    m_bOpen = true;
    return true;
}

bool VEXSOCK::SetNonBlocking()
{
    u_long enable = 1;
    if (ioctlsocket(m_hSocket, FIONBIO, &enable) != 0)
        return false;
    m_bNonBlocking = true;
    return true;
}

bool VEXSOCK::Create(unsigned timeoutSeconds, bool bDatagram)
{
    Close();
    if (!OpenSocket(bDatagram))
        return false;
    m_nTimeout = timeoutSeconds;
    if (!Bind(0, nullptr))
    {
        RecordSocketError();
        // Close clears the primary code: the caller reads 0 and the
        // platform error in the detail.
        Close();
        return false;
    }
    m_bNonBlocking = SetNonBlocking();
    return true;
}

bool VEXSOCK::Resolve(const char* pszHost, uint16_t port, sockaddr_in* pAddr)
{
    std::memset(pAddr, 0, sizeof(*pAddr));
    pAddr->sin_family = AF_INET;
    if (!pszHost)
    {
        pAddr->sin_addr.s_addr = htonl(INADDR_ANY);
    }
    else
    {
        const unsigned long addr = inet_addr(pszHost);
        if (addr != INADDR_NONE)
        {
            pAddr->sin_addr.s_addr = addr;
        }
        else
        {
            const hostent* pHost = gethostbyname(pszHost);
            if (!pHost || pHost->h_addrtype != AF_INET || pHost->h_length != 4 ||
                !pHost->h_addr_list || !pHost->h_addr_list[0])
            {
                WSASetLastError(VEXWSA_HOST_NOT_FOUND);
                return false;
            }
            std::memcpy(&pAddr->sin_addr, pHost->h_addr_list[0], 4);
        }
    }
    pAddr->sin_port = htons(port);
    return true;
}

bool VEXSOCK::Bind(uint16_t port, const char* pszHost)
{
    if (!Resolve(pszHost, port, &m_addr))
        return false;
    return bind(m_hSocket, reinterpret_cast<const sockaddr*>(&m_addr), sizeof(m_addr)) == 0;
}

bool VEXSOCK::CreateBound(unsigned timeoutSeconds, const NetAddress& local)
{
    Close();
    m_hSocket = socket(PlatformFamily(local), SOCK_STREAM, 0);
    if (m_hSocket == INVALID_SOCKET)
    {
        RecordSocketError();
        return false;
    }
    m_bOpen = true;
    m_nTimeout = timeoutSeconds;
    NetAddress any = local;
    any.port = 0;
    SocketAddressBuffer address;
    ToSocketAddress(any, &address);
    if (bind(m_hSocket, address.Get(), address.length) != 0)
    {
        RecordSocketError();
        Close();
        return false;
    }
    m_bNonBlocking = SetNonBlocking();
    return true;
}

void VEXSOCK::AdoptSocket(UINT_PTR hSocket, const NetAddress& peer)
{
    if (m_hSocket != INVALID_SOCKET)
        closesocket(m_hSocket);
    m_hSocket = static_cast<SOCKET>(hSocket);
    m_bOpen = true;
    m_bNonBlocking = true;
    m_peer = peer;
    std::memset(&m_addr, 0, sizeof(m_addr));
    if (!peer.IsIPv6())
    {
        m_addr.sin_family = AF_INET;
        m_addr.sin_port = htons(peer.port);
        m_addr.sin_addr.s_addr = peer.IPv4Net();
    }
}

bool VEXSOCK::Connect(const char* pszHost, uint16_t port)
{
    m_lConnectFailure = 0;
    std::vector<NetAddress> addresses;
    const long lResolveFailure = ResolveHost(pszHost, port, &addresses);
    if (lResolveFailure != 0)
    {
        m_lConnectFailure = lResolveFailure;
        WSASetLastError(static_cast<int>(lResolveFailure));
        return false;
    }
    CConnectRace race(InterleaveFamilies(addresses), m_pWatch);
    switch (race.Run(DeadlineAfterSeconds(TimeoutSeconds())))
    {
    case CConnectRace::Result::kConnected:
        AdoptSocket(race.TakeSocket(), race.Peer());
        Record(VEXERR_NONE, 0);
        return true;
    case CConnectRace::Result::kCancelled:
        Record(VEXERR_ABORTED, VEXDET_CANCELLED);
        return false;
    case CConnectRace::Result::kTimedOut:
        Record(VEXERR_SOCKET, VEXWSA_TIMEDOUT);
        m_lConnectFailure = VEXWSA_TIMEDOUT;
        return false;
    case CConnectRace::Result::kFailed:
        break;
    }
    m_lLastError = VEXERR_CONNECT_FAILED;
    m_lConnectFailure = race.LastFailure();
    return false;
}

bool VEXSOCK::OpenTo(const char* pszHost, uint16_t port, const SocksEndpoint* pSocks)
{
    if (pSocks)
        return ConnectSocks(pszHost, port, *pSocks);
    if (Connect(pszHost, port))
        return true;
    Record(VEXERR_SOCKET, ConnectFailureReason());
    return false;
}

namespace {

// The socket events that may end a wait of each mode. A listening socket
// waits to read for a connection to accept.
long NetworkEventsOf(int mode)
{
    switch (mode)
    {
    case VEXSOCK::WAIT_READ:
        return FD_READ | FD_ACCEPT | FD_CLOSE;
    case VEXSOCK::WAIT_WRITE:
        return FD_WRITE | FD_CLOSE;
    case VEXSOCK::WAIT_CONNECT:
        return FD_CONNECT | FD_WRITE | FD_CLOSE;
    default:
        return 0;
    }
}

} // namespace

int VEXSOCK::LookOnce(int mode, fd_set* pReadSet, fd_set* pWriteSet, fd_set* pExceptSet)
{
    FD_ZERO(pReadSet);
    FD_ZERO(pWriteSet);
    FD_ZERO(pExceptSet);
    if (mode == WAIT_READ)
        FD_SET(m_hSocket, pReadSet);
    else
        FD_SET(m_hSocket, pWriteSet);
    if (mode == WAIT_CONNECT)
        FD_SET(m_hSocket, pExceptSet);
    timeval now = {0, 0};
    return select(0, pReadSet, pWriteSet, pExceptSet, &now);
}

bool VEXSOCK::SleepUntilSignalled(bool bWatching, DWORD dwMilliseconds)
{
    // Without the socket's event, sleep in slices and look after each. The
    // event says only that something may have happened: a look says what.
    const bool bSignalled = SleepUntilEventOrMessage(bWatching ? m_socketEvent.Handle() : nullptr, dwMilliseconds);
    return !bWatching || bSignalled;
}

int VEXSOCK::Wait(int mode)
{
    return WaitUntil(mode, DeadlineAfterSeconds(TimeoutSeconds()));
}

int VEXSOCK::WaitUntil(int mode, uint64_t deadline)
{
    const long networkEvents = NetworkEventsOf(mode);
    if (networkEvents == 0)
    {
        RecordSocketError();
        return -1;
    }
    // The event is armed only when the first look finds the socket not
    // ready: a socket that is (most waits in a transfer) costs one call.
    bool bArmed = false, bWatching = false, bLook = true;
    fd_set readSet, writeSet, exceptSet;
    for (;;)
    {
        if (CancelRequested())
        {
            Record(VEXERR_ABORTED, VEXDET_CANCELLED);
            return -1;
        }
        if (bLook)
        {
            const int ready = LookOnce(mode, &readSet, &writeSet, &exceptSet);
            if (ready == SOCKET_ERROR)
            {
                RecordSocketError();
                return -1;
            }
            if (ready > 0)
                break;
        }
        const uint64_t nowMs = MonotonicNowMilliseconds();
        if (nowMs > deadline)
        {
            Record(VEXERR_SOCKET, VEXWSA_TIMEDOUT);
            return 0;
        }
        if (!bArmed)
        {
            bArmed = true;
            bWatching = m_socketEvent.Watch(m_hSocket, networkEvents);
            continue;
        }
        // A wake by a message or by the time changes nothing on the socket:
        // only the event sends the wait to look again (under Wine each look
        // is a call into wineserver).
        bLook = SleepUntilSignalled(bWatching, static_cast<DWORD>(std::min<uint64_t>(deadline - nowMs + 1,
                                                                                       LongestSleepMilliseconds())));
    }

    const bool bWritable = FD_ISSET(m_hSocket, &writeSet) != 0;
    if ((mode == WAIT_WRITE || mode == WAIT_CONNECT) && bWritable)
    {
        Record(VEXERR_NONE, 0);
        return 1;
    }
    if (mode == WAIT_READ && FD_ISSET(m_hSocket, &readSet))
    {
        Record(VEXERR_NONE, 0);
        return 1;
    }
    if (mode == WAIT_CONNECT && FD_ISSET(m_hSocket, &exceptSet))
    {
        m_lLastError = VEXERR_CONNECT_FAILED;
        return -1;
    }
    Record(VEXERR_SOCKET, VEXDET_UNEXPECTED);
    return -1;
}

int VEXSOCK::Send(const char* pBuffer, int cb, int flags)
{
    for (;;)
    {
        if (m_bNonBlocking && WaitWrite() != 1)
            return -1;
        const int cbSent = send(m_hSocket, pBuffer, cb, flags);
        if (cbSent != SOCKET_ERROR)
            return cbSent;
        const int error = WSAGetLastError();
        if (error != VEXWSA_WOULDBLOCK)
        {
            Record(VEXERR_SOCKET, error);
            return -1;
        }
    }
}

int VEXSOCK::SendAll(const char* pBuffer, int cb, int flags)
{
    int cbLeft = cb;
    while (cbLeft > 0)
    {
        const int cbSent = Send(pBuffer, cbLeft, flags);
        if (cbSent == -1)
            return -1;
        pBuffer += cbSent;
        cbLeft -= cbSent;
    }
    return cb > 0 ? cb : 0;
}

int VEXSOCK::Receive(char* pBuffer, int cb, int flags)
{
    if (m_bNonBlocking)
    {
        // Data already waiting is taken at once: under Wine every select is
        // a round trip to the server, which a busy transfer would otherwise
        // pay for each block. It counts as a successful wait.
        const int cbReady = recv(m_hSocket, pBuffer, cb, flags);
        if (cbReady != SOCKET_ERROR)
        {
            Record(VEXERR_NONE, 0);
            return cbReady;
        }
        if (WSAGetLastError() != VEXWSA_WOULDBLOCK)
        {
            RecordSocketError();
            return -1;
        }
    }
    if (!m_bNonBlocking || WaitRead() == 1)
    {
        const int cbReceived = recv(m_hSocket, pBuffer, cb, flags);
        if (cbReceived != SOCKET_ERROR)
            return cbReceived;
    }
    // Replaces what a failed wait recorded: a receive that timed out reports
    // the platform's last socket error, not 10060.
    RecordSocketError();
    return -1;
}

int VEXSOCK::Listen(int backlog)
{
    if (listen(m_hSocket, backlog) != 0)
    {
        RecordSocketError();
        return -1;
    }
    return 0;
}

int VEXSOCK::Accept(sockaddr* pAddr, int* pcbAddr)
{
    if (m_bNonBlocking && WaitRead() != 1)
        return -1;
    const SOCKET hAccepted = accept(m_hSocket, pAddr, pcbAddr);
    if (hAccepted == INVALID_SOCKET)
    {
        RecordSocketError();
        return -1;
    }
    // The accepted connection replaces the listener; it inherits the
    // listener's non-blocking mode.
    closesocket(m_hSocket);
    m_hSocket = hAccepted;
    return 0;
}

int VEXSOCK::AcceptOnlyFrom(uint32_t peerAddressNet, RefusedPeers* pRefused)
{
    NetAddress last;
    const int result = AcceptOnlyFrom(IPv4Address(peerAddressNet, 0), &pRefused->count, &last);
    if (pRefused->count > 0)
        pRefused->lastAddressNet = last.IPv4Net();
    return result;
}

int VEXSOCK::AcceptOnlyFrom(const NetAddress& peer, unsigned* pRefusedCount, NetAddress* pLast)
{
    const uint64_t deadline = DeadlineAfterSeconds(TimeoutSeconds());
    for (;;)
    {
        if (m_bNonBlocking && WaitUntil(WAIT_READ, deadline) != 1)
            return -1;
        SocketAddressBuffer from;
        from.length = sizeof(from.bytes);
        const SOCKET hAccepted = accept(m_hSocket, from.Get(), &from.length);
        if (hAccepted == INVALID_SOCKET)
        {
            // Windows reports a pending connection that was reset before it
            // could be taken; whoever sent it, the wait goes on.
            const int error = WSAGetLastError();
            if (error == VEXWSA_WOULDBLOCK || error == WSAECONNRESET)
                continue;
            Record(VEXERR_SOCKET, error);
            return -1;
        }
        NetAddress fromAddress;
        if (FromSocketAddress(from.Get(), from.length, &fromAddress) && fromAddress.SameHost(peer))
        {
            closesocket(m_hSocket);
            m_hSocket = hAccepted;
            return 0;
        }
        closesocket(hAccepted);
        ++*pRefusedCount;
        *pLast = fromAddress;
    }
}

uint16_t VEXSOCK::GetLocalPort()
{
    NetAddress local;
    return GetLocalNetAddress(&local) ? local.port : 0;
}

bool VEXSOCK::GetLocalNetAddress(NetAddress* pLocal)
{
    SocketAddressBuffer local;
    local.length = sizeof(local.bytes);
    if (getsockname(m_hSocket, local.Get(), &local.length) != 0)
    {
        RecordSocketError();
        return false;
    }
    if (!FromSocketAddress(local.Get(), local.length, pLocal))
    {
        Record(VEXERR_SOCKET, VEXWSA_AFNOSUPPORT);
        return false;
    }
    return true;
}

int VEXSOCK::GetLocalAddress(CAnsiString& text, uint16_t* pPort)
{
    NetAddress local;
    if (!GetLocalNetAddress(&local))
    {
        text.Reset();
        *pPort = 0;
        return -1;
    }
    *pPort = local.port;
    text.Assign(AddressText(local).c_str());
    return 0;
}

void VEXSOCK::ReleaseStrings()
{
    m_pszTargetHost.Reset();
    m_pszSocksHost.Reset();
    m_pszSocksUser.Reset();
    m_pszSocksPassword.Reset();
}

void VEXSOCK::Close()
{
    if (m_hSocket != INVALID_SOCKET)
        closesocket(m_hSocket);
    m_hSocket = INVALID_SOCKET;
    m_lLastError = VEXERR_NONE;
    m_bOpen = false;
    m_bViaSocks = false;
    m_nTimeout = kTransferTimeoutSeconds;
    std::memset(&m_addr, 0, sizeof(m_addr));
    m_peer = NetAddress();
    ReleaseStrings();
    m_nSocksPort = 0;
    m_nSocksAuth = 0;
}

long VEXSOCK::PendingSocketError() const
{
    int error = 0;
    int cb = sizeof(error);
    if (m_hSocket == INVALID_SOCKET ||
        getsockopt(m_hSocket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &cb) != 0)
        return 0;
    return error;
}

namespace {

// The hooks take 32-bit counts; a count they cannot hold reads as the largest.
uint32_t HookCount(uint64_t cb)
{
    return cb > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(cb);
}

} // namespace

void VEXSOCK::NotifyStart(uint64_t cbExpected)
{
    if (m_pfnStart)
        m_pfnStart(HookCount(cbExpected));
}

void VEXSOCK::NotifyProgress(uint64_t cbExpected, uint64_t cbSoFar)
{
    if (m_pfnProgress)
        m_pfnProgress(HookCount(cbExpected), HookCount(cbSoFar));
}

bool VEXSOCK::QueryAbort()
{
    m_bAbort = (m_pfnAbort && m_pfnAbort()) || CancelRequested();
    return m_bAbort;
}

bool VEXSOCK::CancelRequested() const
{
    return m_pWatch && m_pWatch->CancelRequested();
}

unsigned VEXSOCK::TimeoutSeconds() const
{
    return m_pWatch ? m_pWatch->TimeoutSeconds() : m_nTimeout;
}

void VEXSOCK::BodyStarted(int64_t cbExpected)
{
    if (m_pWatch)
        m_pWatch->BodyStarted(cbExpected);
}

void VEXSOCK::BodyWritten(const void* pData, size_t cb)
{
    if (m_pWatch)
        m_pWatch->BodyWritten(pData, cb);
}
