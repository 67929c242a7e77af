// CDialUpManager: makes sure that a dial-up networking phonebook entry is
// connected before a fetch. A connection that is already up is used as it
// is; otherwise the entry is dialled and the manager waits for it, and hangs
// it up when it is destroyed. The Remote Access Service functions come from
// RasApi32.dll, loaded at run time: on a machine without it the component
// still works and only the dial fails.
#pragma once

#include "EventObject.h"
#include "LoadedLibrary.h"

#include <windows.h>

#include <atomic>
#include <cstdint>

class CFetchWatch;

// A connection of the Remote Access Service.
DECLARE_HANDLE(HRASCONN);

// The two connection states that the manager acts on; the service reports
// many more while it dials.
constexpr DWORD RASCS_Connected = 0x2000;
constexpr DWORD RASCS_Disconnected = 0x2001;

// The library that provides the service.
constexpr const char* kRasLibraryName = "RasApi32.dll";

// After a hang-up the service still holds the connection for a while; the
// manager polls its status this often and gives up after the limit, so a
// connection that the service never lets go cannot hold a fetch forever.
constexpr unsigned kHangUpPollMilliseconds = 5;
constexpr unsigned kHangUpReleaseMilliseconds = 3000;

class CDialUpManager
{
public:
    // Loads the service's library; the name is replaceable so that a missing
    // library can be tried on a machine that has one.
    explicit CDialUpManager(const char* pszRasLibrary = kRasLibraryName);
    // Hangs up a connection that this manager dialled.
    virtual ~CDialUpManager();
    CDialUpManager(const CDialUpManager&) = delete;
    CDialUpManager& operator=(const CDialUpManager&) = delete;

    bool IsAvailable() const { return m_bAvailable; }

    // Reports whether the entry is connected: an existing connection to it is
    // used, otherwise the entry is dialled with the user name and password
    // (each may be null; each is cut to 256 characters) and the call waits up
    // to m_nTimeout seconds for the connection, dispatching window messages.
    bool Dial(const char* pszEntry, const char* pszUser, const char* pszPassword);
    // An active connection has this entry name, compared without case.
    bool FindConnection(const char* pszEntry);
    // Hangs up the connection that this manager dialled and waits (bounded)
    // until the service has released it.
    void HangUp();
    // Returns once connected or when the seconds have passed; the calling
    // thread's window messages are dispatched meanwhile.
    void WaitForConnection(unsigned nSeconds);
    // Called from the service's notification thread.
    void OnDialEvent(DWORD dwState);

    uint32_t m_nTimeout;
    // The fetch the dial is for: a cancel the host asks for ends the wait.
    const CFetchWatch* m_pWatch = nullptr;
    bool m_bDialled = false;
    CLoadedLibrary m_hRasApi;
    // Written by the notification thread, which then signals m_stateChanged
    // to wake the dialling thread's wait.
    std::atomic<bool> m_bConnected{false};
    CEventObject m_stateChanged;
    HRASCONN m_hRasConn = nullptr;
    bool m_bAvailable;
};
