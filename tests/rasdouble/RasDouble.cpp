// The scripted Remote Access Service (see RasDoubleControl.h). Calls are
// answered as the service answers them: sizes are checked against the 4.0
// layouts, a dial returns at once and reports through the caller's
// RasDialFunc from a thread of its own, and a hung-up connection stays known
// to the status query for a scripted number of polls.
#include "RasDoubleControl.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace rasdouble;

namespace {

typedef void(WINAPI* RasDialFunc)(UINT unMsg, DWORD dwState, DWORD dwError);

struct State
{
    Script script;
    std::vector<std::string> connected;
    Record record;
    // The dialled connection until it is hung up, then until released.
    void* hLive = nullptr;
    void* hReleasing = nullptr;
    DWORD dwReleasePollsLeft = 0;
    DWORD dwConnState = 0;
    bool bCancel = false;
};

std::mutex g_lock;
std::condition_variable g_cancelled;
State g_state;
std::thread g_notifier;

void* FakeHandle(uintptr_t value)
{
    return reinterpret_cast<void*>(value);
}

template <size_t N>
void CopyBounded(char (&field)[N], const std::string& text)
{
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), text.size() < N ? text.size() : N - 1);
}

// Stops the background notifications; never called with g_lock held, since
// the notifier thread takes it.
void StopNotifier()
{
    {
        std::lock_guard<std::mutex> lock(g_lock);
        g_state.bCancel = true;
    }
    g_cancelled.notify_all();
    if (g_notifier.joinable())
        g_notifier.join();
    std::lock_guard<std::mutex> lock(g_lock);
    g_state.bCancel = false;
}

void Notify(RasDialFunc pfn, DWORD dwState, DWORD dwError)
{
    {
        std::lock_guard<std::mutex> lock(g_lock);
        ++g_state.record.dwNotifications;
        g_state.dwConnState = dwState;
    }
    pfn(kRasDialEvent, dwState, dwError);
}

// The service's progress reports, then the end of the dial after the
// scripted delay unless a hang-up comes first.
void RunNotifications(RasDialFunc pfn, DialOutcome outcome, DWORD dwAfterMs)
{
    Notify(pfn, kStateOpenPort, 0);
    Notify(pfn, kStateConnectDevice, 0);
    {
        std::unique_lock<std::mutex> lock(g_lock);
        if (g_cancelled.wait_for(lock, std::chrono::milliseconds(dwAfterMs),
                                 [] { return g_state.bCancel; }))
            return;
    }
    if (outcome == DialOutcome::Connect)
    {
        Notify(pfn, kStateAuthenticate, 0);
        Notify(pfn, kStateConnected, 0);
    }
    else
    {
        Notify(pfn, kStateConnectDevice, kErrorNoAnswer);
    }
}

std::vector<std::string> SplitNames(const char* psz)
{
    std::vector<std::string> names;
    if (!psz || !*psz)
        return names;
    std::string current;
    for (; *psz; ++psz)
    {
        if (*psz == '|')
        {
            names.push_back(current);
            current.clear();
        }
        else
        {
            current += *psz;
        }
    }
    names.push_back(current);
    return names;
}

} // namespace

extern "C" {

void WINAPI VexRasDoubleScript(const Script* pScript)
{
    StopNotifier();
    std::lock_guard<std::mutex> lock(g_lock);
    g_state = State();
    if (pScript)
    {
        g_state.script = *pScript;
        g_state.connected = SplitNames(pScript->pszConnected);
        g_state.script.pszConnected = nullptr;
    }
}

void WINAPI VexRasDoubleRecord(Record* pRecord)
{
    std::lock_guard<std::mutex> lock(g_lock);
    *pRecord = g_state.record;
}

DWORD WINAPI RasEnumConnectionsA(ConnA* pConnections, DWORD* pcb, DWORD* pcConnections)
{
    std::lock_guard<std::mutex> lock(g_lock);
    Record& record = g_state.record;
    if (record.dwEnumCalls < 2 && pcb && pConnections)
    {
        record.dwEnumBytes[record.dwEnumCalls] = *pcb;
        record.dwEnumSizes[record.dwEnumCalls] = pConnections->dwSize;
    }
    ++record.dwEnumCalls;
    if (!pConnections || !pcb || !pcConnections)
        return ERROR_INVALID_PARAMETER;
    if (pConnections->dwSize != sizeof(ConnA))
        return kErrorInvalidSize;
    const DWORD cbNeeded = static_cast<DWORD>(g_state.connected.size() * sizeof(ConnA));
    if (*pcb < cbNeeded)
    {
        *pcb = cbNeeded;
        *pcConnections = 0;
        return kErrorBufferTooSmall;
    }
    for (size_t i = 0; i < g_state.connected.size(); ++i)
    {
        ConnA& entry = pConnections[i];
        std::memset(&entry, 0, sizeof(entry));
        entry.dwSize = sizeof(entry);
        entry.hrasconn = FakeHandle(0x1000 + i);
        CopyBounded(entry.szEntryName, g_state.connected[i]);
        CopyBounded(entry.szDeviceType, "modem");
        CopyBounded(entry.szDeviceName, "Loopback Modem");
    }
    *pcb = cbNeeded;
    *pcConnections = static_cast<DWORD>(g_state.connected.size());
    return ERROR_SUCCESS;
}

DWORD WINAPI RasDialA(void* pExtensions, const char* pszPhonebook, DialParamsA* pParams,
                      DWORD dwNotifierType, void* pNotifier, void** phConnection)
{
    StopNotifier();
    std::lock_guard<std::mutex> lock(g_lock);
    Record& record = g_state.record;
    ++record.dwDials;
    record.bExtensionsNull = pExtensions == nullptr;
    record.bPhonebookNull = pszPhonebook == nullptr;
    record.dwNotifierType = dwNotifierType;
    record.bNotifierGiven = pNotifier != nullptr;
    if (!pParams || !phConnection)
        return ERROR_INVALID_PARAMETER;
    record.params = *pParams;
    if (pParams->dwSize != sizeof(DialParamsA))
        return kErrorInvalidSize;

    void* hConnection = FakeHandle(0x7000 + record.dwDials);
    *phConnection = hConnection;
    record.hDialled = hConnection;
    g_state.hLive = hConnection;
    g_state.dwConnState = kStateOpenPort;
    if (g_state.script.outcome == DialOutcome::FailAtOnce)
        return g_state.script.dwDialError;
    RasDialFunc pfn = reinterpret_cast<RasDialFunc>(pNotifier);
    if (pfn && dwNotifierType == 0)
        g_notifier = std::thread(RunNotifications, pfn, g_state.script.outcome,
                                 g_state.script.dwConnectAfterMs);
    return ERROR_SUCCESS;
}

DWORD WINAPI RasHangUpA(void* hConnection)
{
    {
        std::lock_guard<std::mutex> lock(g_lock);
        ++g_state.record.dwHangUps;
        g_state.record.hHungUp = hConnection;
        if (!hConnection || hConnection != g_state.hLive)
            return ERROR_INVALID_HANDLE;
        g_state.hLive = nullptr;
        g_state.hReleasing = hConnection;
        g_state.dwReleasePollsLeft = g_state.script.dwReleasePolls;
    }
    StopNotifier();
    return ERROR_SUCCESS;
}

DWORD WINAPI RasGetConnectStatusA(void* hConnection, ConnStatusA* pStatus)
{
    std::lock_guard<std::mutex> lock(g_lock);
    Record& record = g_state.record;
    ++record.dwStatusCalls;
    if (!pStatus)
        return ERROR_INVALID_PARAMETER;
    record.dwStatusSize = pStatus->dwSize;
    if (pStatus->dwSize != sizeof(ConnStatusA))
        return kErrorInvalidSize;
    if (hConnection && hConnection == g_state.hLive)
    {
        pStatus->rasconnstate = g_state.dwConnState;
        return ERROR_SUCCESS;
    }
    if (hConnection && hConnection == g_state.hReleasing)
    {
        if (g_state.dwReleasePollsLeft > 0)
        {
            --g_state.dwReleasePollsLeft;
            pStatus->rasconnstate = kStateConnectDevice;
            return ERROR_SUCCESS;
        }
        g_state.hReleasing = nullptr;
        record.bReleased = true;
    }
    return ERROR_INVALID_HANDLE;
}

} // extern "C"
