#include "DialUpManager.h"

#include "FetchWatch.h"
#include "MessagePump.h"
#include "MonotonicClock.h"
#include "VexLimits.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>

namespace {

// The service's structures in their 4.0 layout, ANSI variants: the oldest
// layout, which every version of the service accepts. Each caller stamps the
// structure's size into dwSize and the service recognises the layout by it.
//
// RASCONNA (one entry of an enumeration):
//   0  dwSize                 4
//   4  hrasconn               4   (64-bit: 8 at offset 8)
//   8  szEntryName          257   (64-bit: offset 16)
// 265  szDeviceType          17
// 282  szDeviceName         129
// 411  padding to 412           (64-bit: 419, padded to 424)
//
// The handle is pointer-sized, so the 64-bit service expects the same fields
// in the platform's natural alignment: 424 bytes. Stamping 412 there would be
// refused as an unknown size. The other two structures hold no pointer and
// have one size on both.
struct RASCONNA
{
    DWORD dwSize;
    HRASCONN hrasconn;
    CHAR szEntryName[257];
    CHAR szDeviceType[17];
    CHAR szDeviceName[129];
};
static_assert(sizeof(void*) == 8 ? sizeof(RASCONNA) == 424 : sizeof(RASCONNA) == 412,
              "the 4.0 layout of RASCONNA");
static_assert(offsetof(RASCONNA, szEntryName) == 2 * sizeof(void*), "entry name after the handle");

// RASDIALPARAMSA:
//    0  dwSize                4
//    4  szEntryName         257
//  261  szPhoneNumber       129   left empty: the entry's own number
//  390  szCallbackNumber    129   left empty
//  519  szUserName          257
//  776  szPassword          257
// 1033  szDomain             16   left empty
// 1049  padding to 1052
struct RASDIALPARAMSA
{
    DWORD dwSize;
    CHAR szEntryName[257];
    CHAR szPhoneNumber[129];
    CHAR szCallbackNumber[129];
    CHAR szUserName[257];
    CHAR szPassword[257];
    CHAR szDomain[16];
};
static_assert(sizeof(RASDIALPARAMSA) == 1052, "the 4.0 layout of RASDIALPARAMSA");
static_assert(offsetof(RASDIALPARAMSA, szUserName) == 519, "the 4.0 layout of RASDIALPARAMSA");

// RASCONNSTATUSA:
//   0  dwSize          4
//   4  rasconnstate    4
//   8  dwError         4
//  12  szDeviceType   17
//  29  szDeviceName  129
// 158  padding to 160
struct RASCONNSTATUSA
{
    DWORD dwSize;
    DWORD rasconnstate;
    DWORD dwError;
    CHAR szDeviceType[17];
    CHAR szDeviceName[129];
};
static_assert(sizeof(RASCONNSTATUSA) == 160, "the 4.0 layout of RASCONNSTATUSA");

// The service's answer when the enumeration buffer is too small; the byte
// count it needs comes back in place of the one given.
constexpr DWORD ERROR_BUFFER_TOO_SMALL = 603;
// RasDialA's notifier type of a RasDialFunc.
constexpr DWORD kNotifierRasDialFunc = 0;

typedef void(WINAPI* RasDialFunc)(UINT unMsg, DWORD dwState, DWORD dwError);
typedef DWORD(WINAPI* RasEnumConnectionsAFn)(RASCONNA* pConnections, DWORD* pcb,
                                              DWORD* pcConnections);
typedef DWORD(WINAPI* RasDialAFn)(void* pExtensions, const char* pszPhonebook,
                                   RASDIALPARAMSA* pParams, DWORD dwNotifierType,
                                   void* pNotifier, HRASCONN* phConnection);
typedef DWORD(WINAPI* RasHangUpAFn)(HRASCONN hConnection);
typedef DWORD(WINAPI* RasGetConnectStatusAFn)(HRASCONN hConnection, RASCONNSTATUSA* pStatus);

// The notification function carries no context, so the manager that
// receives the notifications sits in one process-wide slot. They arrive on a
// thread of the service: the lock keeps a manager from being destroyed
// between a notification reading the slot and calling the manager.
std::mutex g_dialTargetLock;
CDialUpManager* g_pDialTarget = nullptr;

void WINAPI DialNotification(UINT, DWORD dwState, DWORD)
{
    std::lock_guard<std::mutex> lock(g_dialTargetLock);
    if (g_pDialTarget)
        g_pDialTarget->OnDialEvent(dwState);
}

// Copies at most the field size less its terminator; the field is zeroed
// beforehand, so the copy stays terminated.
template <size_t N>
void CopyField(CHAR (&field)[N], const char* psz)
{
    if (!psz)
        return;
    for (size_t i = 0; i + 1 < N && psz[i]; ++i)
        field[i] = psz[i];
}

} // namespace

CDialUpManager::CDialUpManager(const char* pszRasLibrary)
    : m_nTimeout(kTransferTimeoutSeconds),
      m_hRasApi(pszRasLibrary),
      m_bAvailable(m_hRasApi.IsLoaded())
{
    // Every fetch makes a manager. Loading and freeing the service's library
    // each time cost about a millisecond under Wine; pinned once, a later
    // load only counts a reference.
    HMODULE hPinned = nullptr;
    if (m_bAvailable)
        GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                           reinterpret_cast<LPCSTR>(m_hRasApi.Get()), &hPinned);
}

CDialUpManager::~CDialUpManager()
{
    if (m_bDialled)
        HangUp();
    std::lock_guard<std::mutex> lock(g_dialTargetLock);
    if (g_pDialTarget == this)
        g_pDialTarget = nullptr;
}

bool CDialUpManager::Dial(const char* pszEntry, const char* pszUser, const char* pszPassword)
{
    if (FindConnection(pszEntry))
        return true;
    {
        std::lock_guard<std::mutex> lock(g_dialTargetLock);
        g_pDialTarget = this;
    }
    if (!m_bAvailable)
        return false;

    RASDIALPARAMSA params;
    std::memset(&params, 0, sizeof(params));
    params.dwSize = sizeof(params);
    CopyField(params.szEntryName, pszEntry);
    CopyField(params.szUserName, pszUser);
    CopyField(params.szPassword, pszPassword);

    // Also releases the handle of an earlier dial of this manager that never
    // connected; dropping it would leave that attempt running.
    HangUp();

    bool bFailedAtOnce = false;
    if (RasDialAFn pfnDial = m_hRasApi.Find<RasDialAFn>("RasDialA"))
    {
        // The call returns at once; the dial goes on in the background and
        // reports through the notification function.
        const RasDialFunc pfnNotify = &DialNotification;
        const DWORD dwResult = pfnDial(nullptr, nullptr, &params, kNotifierRasDialFunc,
                                       reinterpret_cast<void*>(pfnNotify), &m_hRasConn);
        // A handle that comes with an error still holds the port until it is
        // hung up.
        bFailedAtOnce = m_hRasConn && dwResult != ERROR_SUCCESS;
        if (bFailedAtOnce)
            HangUp();
        else if (m_hRasConn)
            WaitForConnection(m_nTimeout);
    }
    // The dial is over: the password need not stay on the stack.
    SecureZeroMemory(&params, sizeof(params));
    if (bFailedAtOnce)
        return false;
    m_bDialled = true;
    return m_bConnected;
}

bool CDialUpManager::FindConnection(const char* pszEntry)
{
    RasEnumConnectionsAFn pfnEnum =
        m_bAvailable ? m_hRasApi.Find<RasEnumConnectionsAFn>("RasEnumConnectionsA") : nullptr;
    if (!pfnEnum)
        return false;

    size_t nCapacity = 1;
    std::unique_ptr<RASCONNA[]> connections(new (std::nothrow) RASCONNA[nCapacity]());
    if (!connections)
        return false;
    connections[0].dwSize = sizeof(RASCONNA);
    DWORD cb = sizeof(RASCONNA);
    DWORD cConnections = 0;
    DWORD dwResult = pfnEnum(connections.get(), &cb, &cConnections);
    if (dwResult == ERROR_BUFFER_TOO_SMALL)
    {
        nCapacity = cb / sizeof(RASCONNA) + (cb % sizeof(RASCONNA) ? 1 : 0);
        if (nCapacity == 0)
            nCapacity = 1;
        connections.reset(new (std::nothrow) RASCONNA[nCapacity]());
        if (!connections)
            return false;
        connections[0].dwSize = sizeof(RASCONNA);
        cConnections = 0;
        dwResult = pfnEnum(connections.get(), &cb, &cConnections);
    }
    if (dwResult != ERROR_SUCCESS)
        return false;

    const char* pszWanted = pszEntry ? pszEntry : "";
    const size_t nReturned = cConnections < nCapacity ? cConnections : nCapacity;
    for (size_t i = 0; i < nReturned; ++i)
    {
        // The service fills the whole field; the last byte is forced to a
        // terminator all the same, so the comparison stays inside it.
        connections[i].szEntryName[sizeof(connections[i].szEntryName) - 1] = '\0';
        if (lstrcmpiA(pszWanted, connections[i].szEntryName) == 0)
            return true;
    }
    return false;
}

void CDialUpManager::HangUp()
{
    if (m_bAvailable && m_hRasConn)
    {
        RasHangUpAFn pfnHangUp = m_hRasApi.Find<RasHangUpAFn>("RasHangUpA");
        RasGetConnectStatusAFn pfnStatus =
            m_hRasApi.Find<RasGetConnectStatusAFn>("RasGetConnectStatusA");
        if (pfnHangUp)
        {
            pfnHangUp(m_hRasConn);
            // The service releases the connection some time after RasHangUpA
            // returns; until its status query no longer knows the handle, the
            // port may still be busy for the next dial.
            const uint64_t deadline = MonotonicNowMilliseconds() + kHangUpReleaseMilliseconds;
            while (pfnStatus)
            {
                RASCONNSTATUSA status;
                std::memset(&status, 0, sizeof(status));
                status.dwSize = sizeof(status);
                if (pfnStatus(m_hRasConn, &status) == ERROR_INVALID_HANDLE ||
                    MonotonicNowMilliseconds() > deadline)
                    break;
                Sleep(kHangUpPollMilliseconds);
            }
        }
    }
    m_hRasConn = nullptr;
    m_bConnected = false;
}

void CDialUpManager::WaitForConnection(unsigned nSeconds)
{
    const uint64_t deadline = DeadlineAfterSeconds(nSeconds);
    while (!m_bConnected)
    {
        const uint64_t now = MonotonicNowMilliseconds();
        if (now > deadline || (m_pWatch && m_pWatch->CancelRequested()))
            return;
        // Sleeps until the service reports a state, a window message arrives
        // (dispatched at once) or the time is up; without the event, in
        // slices.
        HANDLE hChanged = m_stateChanged.Get();
        const DWORD nHandles = hChanged ? 1 : 0;
        const uint64_t sleepMs =
            hChanged ? std::min<uint64_t>(deadline - now + 1, LongestSleepMilliseconds()) : kWaitSliceMilliseconds;
        const DWORD dwWoken = MsgWaitForMultipleObjectsEx(nHandles, hChanged ? &hChanged : nullptr,
                                                          static_cast<DWORD>(sleepMs),
                                                          QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (dwWoken == WAIT_OBJECT_0 + nHandles)
            PumpMessages();
    }
}

void CDialUpManager::OnDialEvent(DWORD dwState)
{
    if (dwState == RASCS_Connected)
        m_bConnected = true;
    else if (dwState == RASCS_Disconnected)
        m_bConnected = false;
    m_stateChanged.Signal();
}
