// One connection to the first of a name's addresses that answers (Happy
// Eyeballs, RFC 8305): the attempts start in the order given, the next one
// when the last has not connected within kConnectionAttemptDelayMilliseconds
// or has failed, and the earlier ones stay open meanwhile; the first to
// connect wins and the others are closed. Everything happens before one
// deadline, and the thread's window messages keep flowing while it waits.
#pragma once

#include "NetAddress.h"

#include <windows.h>

#include <cstdint>
#include <vector>

class CFetchWatch;

class CConnectRace
{
public:
    enum class Result
    {
        kConnected,
        kFailed,    // every address refused or failed
        kTimedOut,  // the deadline came first
        kCancelled, // the host cancelled the fetch
    };

    CConnectRace(const std::vector<NetAddress>& addresses, const CFetchWatch* pWatch);
    ~CConnectRace();
    CConnectRace(const CConnectRace&) = delete;
    CConnectRace& operator=(const CConnectRace&) = delete;

    // Deadline on the monotonic clock (MonotonicClock.h).
    Result Run(uint64_t deadline);
    // The connected socket (a SOCKET), non-blocking and no longer tied to
    // the race's event: the caller owns it from now on.
    UINT_PTR TakeSocket();
    const NetAddress& Peer() const { return m_addresses[m_winner]; }
    // The Windows Sockets code of the last attempt that failed (0: none did).
    long LastFailure() const { return m_lLastFailure; }
    // How many attempts were started.
    size_t AttemptsStarted() const { return m_next; }

private:
    struct Attempt
    {
        UINT_PTR hSocket;
        size_t index; // into m_addresses
    };

    void StartAttempts(uint64_t now);
    bool StartAttempt(size_t index);
    // Looks at every open attempt once: true when one has connected.
    bool LookOnce();
    void Drop(size_t attempt, long lFailure);
    void Sleep(uint64_t until);

    std::vector<NetAddress> m_addresses;
    std::vector<Attempt> m_attempts;
    const CFetchWatch* m_pWatch;
    HANDLE m_hEvent = nullptr;
    size_t m_next = 0;
    size_t m_winner = 0;
    uint64_t m_nextStart = 0;
    long m_lLastFailure = 0;
};
