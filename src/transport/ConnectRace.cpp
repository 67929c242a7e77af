#include <winsock2.h>
#include <ws2tcpip.h>

#include "ConnectRace.h"

#include "FetchWatch.h"
#include "MessagePump.h"
#include "MonotonicClock.h"
#include "SocketAddress.h"
#include "VexErrors.h"
#include "VexLimits.h"

#include <algorithm>

CConnectRace::CConnectRace(const std::vector<NetAddress>& addresses, const CFetchWatch* pWatch)
    : m_addresses(addresses),
      m_pWatch(pWatch)
{
    m_hEvent = WSACreateEvent();
    if (m_hEvent == WSA_INVALID_EVENT)
        m_hEvent = nullptr;
}

CConnectRace::~CConnectRace()
{
    for (const Attempt& attempt : m_attempts)
        closesocket(static_cast<SOCKET>(attempt.hSocket));
    if (m_hEvent)
        WSACloseEvent(m_hEvent);
}

bool CConnectRace::StartAttempt(size_t index)
{
    const NetAddress& address = m_addresses[index];
    const SOCKET hSocket = socket(PlatformFamily(address), SOCK_STREAM, IPPROTO_TCP);
    if (hSocket == INVALID_SOCKET)
    {
        // A family the machine does not have (no IPv6 stack, say).
        m_lLastFailure = WSAGetLastError();
        return false;
    }
    u_long enable = 1;
    // The event reports the attempt's end; without it, the looks poll.
    const bool bReady = m_hEvent ? WSAEventSelect(hSocket, m_hEvent, FD_CONNECT) == 0
                                 : ioctlsocket(hSocket, FIONBIO, &enable) == 0;
    SocketAddressBuffer target;
    ToSocketAddress(address, &target);
    // A non-blocking connect normally answers would-block; its end comes
    // through the looks.
    if (bReady && (connect(hSocket, target.Get(), target.length) == 0 || WSAGetLastError() == WSAEWOULDBLOCK))
    {
        m_attempts.push_back({hSocket, index});
        return true;
    }
    m_lLastFailure = WSAGetLastError();
    closesocket(hSocket);
    return false;
}

void CConnectRace::StartAttempts(uint64_t now)
{
    // An attempt that fails at once (an unreachable network) hands over to
    // the next address without waiting for the delay.
    while (m_next < m_addresses.size() && (m_attempts.empty() || now >= m_nextStart))
    {
        const size_t index = m_next++;
        if (StartAttempt(index))
        {
            m_nextStart = now + kConnectionAttemptDelayMilliseconds;
            break;
        }
    }
}

void CConnectRace::Drop(size_t attempt, long lFailure)
{
    closesocket(static_cast<SOCKET>(m_attempts[attempt].hSocket));
    m_attempts.erase(m_attempts.begin() + static_cast<std::ptrdiff_t>(attempt));
    m_lLastFailure = lFailure;
    // The next address need not wait for a delay meant for a live attempt.
    m_nextStart = 0;
}

bool CConnectRace::LookOnce()
{
    fd_set writeSet, exceptSet;
    FD_ZERO(&writeSet);
    FD_ZERO(&exceptSet);
    for (const Attempt& attempt : m_attempts)
    {
        FD_SET(static_cast<SOCKET>(attempt.hSocket), &writeSet);
        FD_SET(static_cast<SOCKET>(attempt.hSocket), &exceptSet);
    }
    timeval now = {0, 0};
    if (m_attempts.empty() || select(0, nullptr, &writeSet, &exceptSet, &now) <= 0)
        return false;
    for (size_t i = m_attempts.size(); i-- > 0;)
    {
        const SOCKET hSocket = static_cast<SOCKET>(m_attempts[i].hSocket);
        const bool bWritable = FD_ISSET(hSocket, &writeSet) != 0;
        if (!bWritable && !FD_ISSET(hSocket, &exceptSet))
            continue;
        int error = 0;
        int cb = sizeof(error);
        if (getsockopt(hSocket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &cb) != 0)
            error = WSAGetLastError();
        if (bWritable && error == 0)
        {
            m_winner = m_attempts[i].index;
            return true;
        }
        Drop(i, error != 0 ? error : VEXWSA_CONNREFUSED);
    }
    return false;
}

void CConnectRace::Sleep(uint64_t until)
{
    const uint64_t now = MonotonicNowMilliseconds();
    SleepUntilEventOrMessage(m_hEvent, static_cast<DWORD>(std::min<uint64_t>(until > now ? until - now : 0,
                                                                            LongestSleepMilliseconds())));
}

CConnectRace::Result CConnectRace::Run(uint64_t deadline)
{
    for (;;)
    {
        if (m_pWatch && m_pWatch->CancelRequested())
            return Result::kCancelled;
        const uint64_t now = MonotonicNowMilliseconds();
        StartAttempts(now);
        if (LookOnce())
            return Result::kConnected;
        if (m_attempts.empty() && m_next == m_addresses.size())
            return Result::kFailed;
        if (m_attempts.empty())
            continue;
        if (MonotonicNowMilliseconds() > deadline)
            return Result::kTimedOut;
        Sleep(m_next < m_addresses.size() ? std::min(deadline + 1, m_nextStart) : deadline + 1);
    }
}

UINT_PTR CConnectRace::TakeSocket()
{
    for (size_t i = 0; i < m_attempts.size(); ++i)
    {
        if (m_attempts[i].index != m_winner)
            continue;
        const SOCKET hSocket = static_cast<SOCKET>(m_attempts[i].hSocket);
        m_attempts.erase(m_attempts.begin() + static_cast<std::ptrdiff_t>(i));
        // Undoing the selection leaves the socket non-blocking.
        if (m_hEvent)
            WSAEventSelect(hSocket, nullptr, 0);
        return hSocket;
    }
    return static_cast<UINT_PTR>(INVALID_SOCKET);
}
