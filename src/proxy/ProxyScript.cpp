#include "ProxyScript.h"

#include "MessagePump.h"
#include "MonotonicClock.h"
#include "ProxyRules.h"
#include "VexLimits.h"
#include "WinHttpText.h"

#include <winhttp.h>

#include <new>

namespace {

// Each wait of the script's download, in milliseconds.
constexpr int kDownloadWaitMilliseconds = 5000;

class CWinHttpSession
{
public:
    CWinHttpSession()
        : m_hSession(WinHttpOpen(L"Vexa3", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                 WINHTTP_NO_PROXY_BYPASS, 0))
    {
        if (m_hSession)
            WinHttpSetTimeouts(m_hSession, kDownloadWaitMilliseconds, kDownloadWaitMilliseconds,
                               kDownloadWaitMilliseconds, kDownloadWaitMilliseconds);
    }
    ~CWinHttpSession()
    {
        if (m_hSession)
            WinHttpCloseHandle(m_hSession);
    }
    CWinHttpSession(const CWinHttpSession&) = delete;
    CWinHttpSession& operator=(const CWinHttpSession&) = delete;

    HINTERNET Get() const { return m_hSession; }

private:
    HINTERNET m_hSession;
};

DWORD EvaluateScript(const ProxyScriptQuery& query, std::string* pAddress)
{
    CWinHttpSession session;
    if (!session.Get())
        return GetLastError();
    WINHTTP_AUTOPROXY_OPTIONS options = {};
    const std::wstring scriptUrl = proxy::Widen(query.scriptUrl);
    if (!query.scriptUrl.empty())
    {
        options.dwFlags |= WINHTTP_AUTOPROXY_CONFIG_URL;
        options.lpszAutoConfigUrl = scriptUrl.c_str();
    }
    if (query.bAutoDetect)
    {
        options.dwFlags |= WINHTTP_AUTOPROXY_AUTO_DETECT;
        options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
    }
    // Never the user's logon credentials to a configuration server.
    options.fAutoLogonIfChallenged = FALSE;
    WINHTTP_PROXY_INFO info = {};
    const std::wstring url = proxy::Widen(query.url);
    if (!WinHttpGetProxyForUrl(session.Get(), url.c_str(), &options, &info))
        return GetLastError();
    proxy::CGlobalString proxyList(info.lpszProxy);
    proxy::CGlobalString bypassList(info.lpszProxyBypass);
    pAddress->clear();
    if (info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY &&
        !proxy::BypassMatches(bypassList.Text(), query.host, query.port))
        *pAddress = proxy::FirstScriptProxy(proxyList.Text());
    return ERROR_SUCCESS;
}

// Workers given up on that are still blocked in WinHTTP. While there is one,
// no evaluation starts, so a configuration server that hangs costs one
// thread, not one per fetch; otherwise evaluations of several threads run
// side by side.
LONG g_nAbandoned = 0;

enum : LONG
{
    kRunning,
    kFinished,
    kAbandoned,
};

// One evaluation, shared by the caller and the worker: whoever lets go of
// it last frees it, so a caller that gave up may return at once.
struct CScriptJob
{
    explicit CScriptJob(const ProxyScriptQuery& q) : query(q) {}

    void Release()
    {
        if (InterlockedDecrement(&refs) == 0)
            delete this;
    }

    LONG refs = 2;
    LONG state = kRunning;
    const ProxyScriptQuery query;
    std::string address;
    DWORD error = ERROR_TIMEOUT;
    HMODULE hModule = nullptr;
};

DWORD WINAPI RunScriptJob(LPVOID pParameter)
{
    auto* pJob = static_cast<CScriptJob*>(pParameter);
    pJob->error = EvaluateScript(pJob->query, &pJob->address);
    if (InterlockedCompareExchange(&pJob->state, kFinished, kRunning) == kAbandoned)
        InterlockedDecrement(&g_nAbandoned);
    // The module stays loaded until this thread is out of its code, even
    // when the caller gave up and the host released the control meanwhile.
    const HMODULE hModule = pJob->hModule;
    pJob->Release();
    FreeLibraryAndExitThread(hModule, 0);
    return 0;
}

} // namespace

DWORD RunProxyScript(const ProxyScriptQuery& query, std::string* pAddress)
{
    if (InterlockedCompareExchange(&g_nAbandoned, 0, 0) != 0)
        return ERROR_BUSY;
    auto* pJob = new (std::nothrow) CScriptJob(query);
    HANDLE hThread = nullptr;
    if (pJob && GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                   reinterpret_cast<LPCWSTR>(&RunScriptJob), &pJob->hModule))
    {
        hThread = CreateThread(nullptr, 0, RunScriptJob, pJob, 0, nullptr);
        if (!hThread)
            FreeLibrary(pJob->hModule);
    }
    if (!hThread)
    {
        delete pJob;
        return ERROR_NOT_ENOUGH_MEMORY;
    }

    const uint64_t deadline = DeadlineAfterSeconds(kProxyScriptSeconds);
    bool bDone = false;
    while (!bDone && MonotonicNowMilliseconds() < deadline)
    {
        bDone = MsgWaitForMultipleObjects(1, &hThread, FALSE, kWaitSliceMilliseconds, QS_ALLINPUT) == WAIT_OBJECT_0;
        PumpMessages();
    }
    CloseHandle(hThread);
    if (!bDone)
    {
        // Counted before the worker can see the mark, so that its count
        // never goes below zero; a worker that finished meanwhile answered.
        InterlockedIncrement(&g_nAbandoned);
        if (InterlockedCompareExchange(&pJob->state, kAbandoned, kRunning) != kRunning)
        {
            InterlockedDecrement(&g_nAbandoned);
            bDone = true;
        }
    }
    // The worker wrote its answer before it marked the job finished.
    const DWORD error = bDone ? pJob->error : static_cast<DWORD>(ERROR_TIMEOUT);
    if (bDone && error == ERROR_SUCCESS)
        *pAddress = pJob->address;
    pJob->Release();
    return error;
}
