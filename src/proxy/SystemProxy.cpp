#include "SystemProxy.h"

#include "ProxyRules.h"
#include "RegistryAccess.h"

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

struct UserProxySettings
{
    bool bAutoDetect = false;
    std::string script;
    std::string proxy;
    std::string bypass;
};

// The Internet settings values themselves, which WinHTTP under Wine does not
// read ("ProxyEnable", "ProxyServer", "ProxyOverride", "AutoConfigURL"; it
// reads only the binary "DefaultConnectionSettings"). Where WinHTTP reads
// them, they say what it reported.
void ReadInternetSettingsValues(UserProxySettings* pSettings)
{
    static const char kInternetSettings[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
    CRegistryAccess registry;
    if (!registry.Hold(HKEY_CURRENT_USER, kInternetSettings))
        return;
    CAnsiString text;
    size_t cb = 0;
    DWORD dwEnabled = 0;
    registry.GetDword(HKEY_CURRENT_USER, kInternetSettings, "ProxyEnable", 0, &dwEnabled);
    if (dwEnabled != 0)
    {
        registry.GetString(HKEY_CURRENT_USER, kInternetSettings, "ProxyServer", "", text, &cb);
        pSettings->proxy = text.Get() ? text.Get() : "";
        registry.GetString(HKEY_CURRENT_USER, kInternetSettings, "ProxyOverride", "", text, &cb);
        pSettings->bypass = text.Get() ? text.Get() : "";
    }
    registry.GetString(HKEY_CURRENT_USER, kInternetSettings, "AutoConfigURL", "", text, &cb);
    pSettings->script = text.Get() ? text.Get() : "";
}

// The current user's settings as WinHTTP reports them; when it reports
// neither a proxy nor a script, as the Internet settings values say.
bool ReadUserProxySettings(UserProxySettings* pSettings, std::string* pHow)
{
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config = {};
    if (!WinHttpGetIEProxyConfigForCurrentUser(&config))
    {
        *pHow = "the system's proxy settings could not be read (error " + std::to_string(GetLastError()) +
                "): direct";
        return false;
    }
    CGlobalString scriptUrl(config.lpszAutoConfigUrl);
    CGlobalString fixedList(config.lpszProxy);
    CGlobalString bypassList(config.lpszProxyBypass);
    pSettings->bAutoDetect = config.fAutoDetect != FALSE;
    pSettings->script = scriptUrl.Text();
    pSettings->proxy = fixedList.Text();
    pSettings->bypass = bypassList.Text();
    *pHow = "the system's ";
    if (pSettings->script.empty() && pSettings->proxy.empty())
    {
        ReadInternetSettingsValues(pSettings);
        if (!pSettings->script.empty() || !pSettings->proxy.empty())
            *pHow = "the system's Internet settings values: ";
    }
    return true;
}

} // namespace

SystemProxyAnswer QuerySystemProxy(const std::string& url, const char* pszScheme, const std::string& host,
                                   uint16_t port)
{
    SystemProxyAnswer answer;
    UserProxySettings user;
    if (!ReadUserProxySettings(&user, &answer.how))
        return answer;

    if (!user.script.empty() || user.bAutoDetect)
    {
        const std::string which = user.script.empty() ? std::string("(detected)") : user.script;
        std::string address;
        const DWORD error = EvaluateScript(user.script, user.bAutoDetect, url, host, port, &address);
        if (error == ERROR_SUCCESS)
        {
            answer.address = address;
            answer.how += "configuration script " + which + ": " + (address.empty() ? "direct" : address);
            return answer;
        }
        answer.how += "configuration script " + which + " failed (error " + std::to_string(error) + "); ";
    }
    const std::string fixed = proxy::ProxyForScheme(user.proxy, pszScheme);
    if (!fixed.empty() && !proxy::BypassMatches(user.bypass, host, port))
        answer.address = fixed;
    answer.how += answer.address.empty() ? std::string("direct") : "proxy " + fixed;
    return answer;
}
