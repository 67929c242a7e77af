#include "ProxyScript.h"

#include "LoadedLibrary.h"
#include "MessagePump.h"
#include "MonotonicClock.h"
#include "ProxyRules.h"
#include "VexLimits.h"
#include "WideText.h"
#include "WinHttpText.h"

#include <winhttp.h>

#include <algorithm>
#include <mutex>
#include <new>

namespace {

// Each wait of the script's download, in milliseconds.
constexpr int kDownloadWaitMilliseconds = 5000;
// Largest script taken: far above what a script with long host tables
// needs, and a bound on what a configuration server can make the process
// hold.
constexpr size_t kMaxScriptBytes = 1024 * 1024;

// A WinHTTP handle, closed with it.
class CWinHttpHandle
{
public:
    explicit CWinHttpHandle(HINTERNET h) : m_h(h) {}
    ~CWinHttpHandle()
    {
        if (m_h)
            WinHttpCloseHandle(m_h);
    }
    CWinHttpHandle(const CWinHttpHandle&) = delete;
    CWinHttpHandle& operator=(const CWinHttpHandle&) = delete;

    HINTERNET Get() const { return m_h; }

private:
    HINTERNET m_h;
};

std::wstring Part(const wchar_t* pwsz, DWORD cch)
{
    return pwsz ? std::wstring(pwsz, cch) : std::wstring();
}

DWORD ReadScriptBody(HINTERNET hRequest, std::string* pScript)
{
    char block[16384];
    for (;;)
    {
        DWORD cbRead = 0;
        if (!WinHttpReadData(hRequest, block, sizeof(block), &cbRead))
            return GetLastError();
        if (cbRead == 0)
            return ERROR_SUCCESS;
        if (pScript->size() + cbRead > kMaxScriptBytes)
            return ERROR_WINHTTP_UNABLE_TO_DOWNLOAD_SCRIPT;
        pScript->append(block, cbRead);
    }
}

// GET of the script, directly (a configuration server is never reached
// through a proxy), status 200.
DWORD DownloadScript(const std::wstring& url, std::string* pScript)
{
    URL_COMPONENTS parts = {};
    parts.dwStructSize = sizeof(parts);
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(url.c_str(), 0, 0, &parts))
        return GetLastError();
    const std::wstring host = Part(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring path = Part(parts.lpszUrlPath, parts.dwUrlPathLength) +
                        Part(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (path.empty())
        path = L"/";

    CWinHttpHandle session(WinHttpOpen(L"Vexa3", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                       WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session.Get())
        return GetLastError();
    WinHttpSetTimeouts(session.Get(), kDownloadWaitMilliseconds, kDownloadWaitMilliseconds,
                       kDownloadWaitMilliseconds, kDownloadWaitMilliseconds);
    CWinHttpHandle connection(WinHttpConnect(session.Get(), host.c_str(), parts.nPort, 0));
    if (!connection.Get())
        return GetLastError();
    CWinHttpHandle request(WinHttpOpenRequest(connection.Get(), L"GET", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                              WINHTTP_DEFAULT_ACCEPT_TYPES,
                                              parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0));
    // Never the user's logon credentials to a configuration server.
    DWORD dwLogonPolicy = WINHTTP_AUTOLOGON_SECURITY_LEVEL_HIGH;
    if (request.Get())
        WinHttpSetOption(request.Get(), WINHTTP_OPTION_AUTOLOGON_POLICY, &dwLogonPolicy, sizeof(dwLogonPolicy));
    if (!request.Get() ||
        !WinHttpSendRequest(request.Get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
        !WinHttpReceiveResponse(request.Get(), nullptr))
        return GetLastError();
    DWORD status = 0, cbStatus = sizeof(status);
    if (!WinHttpQueryHeaders(request.Get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &cbStatus, WINHTTP_NO_HEADER_INDEX))
        return GetLastError();
    if (status != 200)
        return ERROR_WINHTTP_UNABLE_TO_DOWNLOAD_SCRIPT;
    return ReadScriptBody(request.Get(), pScript);
}

// The script's URL: the configured one, or the one auto-detection finds
// first (as WinHTTP tries them).
DWORD FindScriptUrl(const ProxyScriptQuery& query, std::wstring* pUrl)
{
    if (query.bAutoDetect)
    {
        wchar_t* pwszDetected = nullptr;
        if (WinHttpDetectAutoProxyConfigUrl(WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A,
                                            &pwszDetected))
        {
            proxy::CGlobalString detected(pwszDetected);
            *pUrl = Utf8ToWide(detected.Text());
            return ERROR_SUCCESS;
        }
        if (query.scriptUrl.empty())
            return GetLastError();
    }
    *pUrl = Utf8ToWide(query.scriptUrl);
    return ERROR_SUCCESS;
}

// The entry points of jsproxy.dll, the script host that WinHTTP and WinINet
// run configuration scripts in. WinHTTP itself hands on only the HTTP proxies
// of an answer (Windows drops the other entries; Wine keeps the answer only
// when it starts with "PROXY"), so the script runs here to see all of it.
struct AutoProxyScriptBuffer
{
    DWORD dwStructSize;
    LPSTR lpszScriptBuffer;
    DWORD dwScriptBufferSize; // counts the terminating zero
};
typedef BOOL(WINAPI* InitializeAutoProxyFn)(DWORD, LPSTR, LPSTR, void*, AutoProxyScriptBuffer*);
typedef BOOL(WINAPI* GetProxyInfoFn)(LPCSTR, DWORD, LPSTR, DWORD, LPSTR*, LPDWORD);
typedef BOOL(WINAPI* DeInitializeAutoProxyFn)(LPSTR, DWORD);

// jsproxy keeps one script for the whole process.
std::mutex g_scriptHostLock;

// jsproxy's answer, freed as it was allocated: on the process heap (Wine's
// jsproxy allocates it with HeapAlloc, Windows' with fixed GlobalAlloc
// memory, which comes from the same heap).
class CScriptAnswer
{
public:
    CScriptAnswer() = default;
    ~CScriptAnswer()
    {
        if (m_psz)
            HeapFree(GetProcessHeap(), 0, m_psz);
    }
    CScriptAnswer(const CScriptAnswer&) = delete;
    CScriptAnswer& operator=(const CScriptAnswer&) = delete;

    LPSTR* Receive() { return &m_psz; }
    // Bounded like every proxy list; control characters become blanks
    // (which separate as well), so that the answer can be traced.
    std::string Text(DWORD cbReported) const
    {
        std::string text;
        for (DWORD i = 0; m_psz && i < cbReported && m_psz[i] && text.size() < proxy::kMaxListLength; ++i)
        {
            const auto b = static_cast<unsigned char>(m_psz[i]);
            text += b < 0x20 || b == 0x7f ? ' ' : m_psz[i];
        }
        return text;
    }

private:
    LPSTR m_psz = nullptr;
};

// From the system directory only, never from wherever the host runs.
std::string SystemLibraryPath(const char* pszName)
{
    char szDirectory[MAX_PATH];
    const UINT cch = GetSystemDirectoryA(szDirectory, MAX_PATH);
    if (cch == 0 || cch >= MAX_PATH)
        return std::string();
    return std::string(szDirectory, cch) + "\\" + pszName;
}

DWORD RunScript(std::string script, const ProxyScriptQuery& query, std::string* pAnswer)
{
    const std::string path = SystemLibraryPath("jsproxy.dll");
    if (path.empty())
        return ERROR_MOD_NOT_FOUND;
    CLoadedLibrary jsproxy(path.c_str());
    const auto pfnInitialize = jsproxy.Find<InitializeAutoProxyFn>("InternetInitializeAutoProxyDll");
    const auto pfnGetProxyInfo = jsproxy.Find<GetProxyInfoFn>("InternetGetProxyInfo");
    const auto pfnDeInitialize = jsproxy.Find<DeInitializeAutoProxyFn>("InternetDeInitializeAutoProxyDll");
    if (!pfnInitialize || !pfnGetProxyInfo || !pfnDeInitialize)
        return jsproxy.IsLoaded() ? ERROR_PROC_NOT_FOUND : ERROR_MOD_NOT_FOUND;

    std::lock_guard<std::mutex> lock(g_scriptHostLock);
    AutoProxyScriptBuffer buffer = {sizeof(buffer), &script[0], static_cast<DWORD>(script.size() + 1)};
    if (!pfnInitialize(0, nullptr, nullptr, nullptr, &buffer))
        return ERROR_WINHTTP_BAD_AUTO_PROXY_SCRIPT;
    std::string url = query.url, host = query.host;
    CScriptAnswer answer;
    DWORD cbAnswer = 0;
    const BOOL bAnswered = pfnGetProxyInfo(url.c_str(), static_cast<DWORD>(url.size()), &host[0],
                                           static_cast<DWORD>(host.size()), answer.Receive(), &cbAnswer);
    pfnDeInitialize(nullptr, 0);
    if (!bAnswered)
        return ERROR_WINHTTP_BAD_AUTO_PROXY_SCRIPT;
    *pAnswer = answer.Text(cbAnswer);
    return ERROR_SUCCESS;
}

DWORD EvaluateScript(const ProxyScriptQuery& query, std::string* pAnswer)
{
    std::wstring scriptUrl;
    std::string script;
    DWORD error = FindScriptUrl(query, &scriptUrl);
    if (error == ERROR_SUCCESS)
        error = DownloadScript(scriptUrl, &script);
    if (error == ERROR_SUCCESS)
        error = RunScript(script, query, pAnswer);
    return error;
}

// Workers given up on that are still blocked in WinHTTP or in a script.
// While there is one, no evaluation starts, so a configuration server or a
// script that hangs costs one thread, not one per fetch; otherwise
// evaluations of several threads run side by side (each script run itself
// waits for the script host, which holds one script at a time).
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
    std::string answer;
    DWORD error = ERROR_TIMEOUT;
    HMODULE hModule = nullptr;
};

DWORD WINAPI RunScriptJob(LPVOID pParameter)
{
    auto* pJob = static_cast<CScriptJob*>(pParameter);
    pJob->error = EvaluateScript(pJob->query, &pJob->answer);
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

DWORD RunProxyScript(const ProxyScriptQuery& query, std::string* pAnswer)
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
    for (uint64_t now = MonotonicNowMilliseconds(); !bDone && now < deadline; now = MonotonicNowMilliseconds())
    {
        // Sleeps until the worker ends or a message arrives, which is
        // dispatched at once.
        const DWORD dwWoken = MsgWaitForMultipleObjectsEx(
            1, &hThread, static_cast<DWORD>(std::min<uint64_t>(deadline - now, LongestSleepMilliseconds())), QS_ALLINPUT,
            MWMO_INPUTAVAILABLE);
        bDone = dwWoken == WAIT_OBJECT_0;
        if (dwWoken == WAIT_OBJECT_0 + 1)
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
        *pAnswer = pJob->answer;
    pJob->Release();
    return error;
}
