#include "SystemProxy.h"

#include "ProxyRules.h"

#include <windows.h>
#include <winhttp.h>

namespace {

// Each wait of the script's download, in milliseconds: a fetch must not
// hang on a configuration server that does not answer.
constexpr int kScriptTimeoutMilliseconds = 5000;

std::string Narrow(const wchar_t* pwsz)
{
    if (!pwsz || !*pwsz)
        return std::string();
    const int cb = WideCharToMultiByte(CP_UTF8, 0, pwsz, -1, nullptr, 0, nullptr, nullptr);
    if (cb <= 1 || static_cast<size_t>(cb) > proxy::kMaxListLength)
        return std::string();
    std::string text(static_cast<size_t>(cb), '\0');
    WideCharToMultiByte(CP_UTF8, 0, pwsz, -1, &text[0], cb, nullptr, nullptr);
    text.resize(static_cast<size_t>(cb) - 1);
    return text;
}

std::wstring Widen(const std::string& text)
{
    const int cch = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    if (cch <= 0)
        return std::wstring();
    std::wstring wide(static_cast<size_t>(cch), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &wide[0], cch);
    wide.resize(static_cast<size_t>(cch) - 1);
    return wide;
}

// The strings WinHTTP hands over are the caller's to free.
class CGlobalString
{
public:
    explicit CGlobalString(wchar_t* pwsz) : m_pwsz(pwsz) {}
    ~CGlobalString()
    {
        if (m_pwsz)
            GlobalFree(m_pwsz);
    }
    CGlobalString(const CGlobalString&) = delete;
    CGlobalString& operator=(const CGlobalString&) = delete;

    std::string Text() const { return Narrow(m_pwsz); }

private:
    wchar_t* m_pwsz;
};

class CWinHttpSession
{
public:
    CWinHttpSession()
        : m_hSession(WinHttpOpen(L"Vexa3", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                 WINHTTP_NO_PROXY_BYPASS, 0))
    {
        if (m_hSession)
            WinHttpSetTimeouts(m_hSession, kScriptTimeoutMilliseconds, kScriptTimeoutMilliseconds,
                               kScriptTimeoutMilliseconds, kScriptTimeoutMilliseconds);
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

// Runs the configuration script for the URL: 0, and *pAddress the proxy or
// empty for DIRECT; otherwise the error that kept it from being fetched or run.
DWORD EvaluateScript(const std::string& scriptUrl, bool bAutoDetect, const std::string& url, const std::string& host,
                    uint16_t port, std::string* pAddress)
{
    CWinHttpSession session;
    if (!session.Get())
        return GetLastError();
    WINHTTP_AUTOPROXY_OPTIONS options = {};
    const std::wstring wideScriptUrl = Widen(scriptUrl);
    if (!scriptUrl.empty())
    {
        options.dwFlags |= WINHTTP_AUTOPROXY_CONFIG_URL;
        options.lpszAutoConfigUrl = wideScriptUrl.c_str();
    }
    if (bAutoDetect)
    {
        options.dwFlags |= WINHTTP_AUTOPROXY_AUTO_DETECT;
        options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
    }
    // Never the user's logon credentials to a configuration server.
    options.fAutoLogonIfChallenged = FALSE;
    WINHTTP_PROXY_INFO info = {};
    const std::wstring wideUrl = Widen(url);
    if (!WinHttpGetProxyForUrl(session.Get(), wideUrl.c_str(), &options, &info))
        return GetLastError();
    CGlobalString proxyList(info.lpszProxy);
    CGlobalString bypassList(info.lpszProxyBypass);
    pAddress->clear();
    if (info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY &&
        !proxy::BypassMatches(bypassList.Text(), host, port))
        *pAddress = proxy::FirstScriptProxy(proxyList.Text());
    return ERROR_SUCCESS;
}

} // namespace

SystemProxyAnswer QuerySystemProxy(const std::string& url, const char* pszScheme, const std::string& host,
                                   uint16_t port)
{
    SystemProxyAnswer answer;
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config = {};
    if (!WinHttpGetIEProxyConfigForCurrentUser(&config))
    {
        answer.how = "the system's proxy settings could not be read (error " + std::to_string(GetLastError()) +
                     "): direct";
        return answer;
    }
    CGlobalString scriptUrl(config.lpszAutoConfigUrl);
    CGlobalString fixedList(config.lpszProxy);
    CGlobalString bypassList(config.lpszProxyBypass);

    const std::string script = scriptUrl.Text();
    if (!script.empty() || config.fAutoDetect)
    {
        std::string address;
        const DWORD error = EvaluateScript(script, config.fAutoDetect != FALSE, url, host, port, &address);
        if (error == ERROR_SUCCESS)
        {
            answer.address = address;
            answer.how = "the system's configuration script " + (script.empty() ? "(detected)" : script) + ": " +
                         (address.empty() ? "direct" : address);
            return answer;
        }
        answer.how = "the system's configuration script " + (script.empty() ? "(detected)" : script) +
                     " failed (error " + std::to_string(error) + "); ";
    }
    const std::string fixed = proxy::ProxyForScheme(fixedList.Text(), pszScheme);
    if (!fixed.empty() && !proxy::BypassMatches(bypassList.Text(), host, port))
        answer.address = fixed;
    answer.how += "the system's proxy settings: " + (answer.address.empty() ? std::string("direct") : fixed);
    return answer;
}
