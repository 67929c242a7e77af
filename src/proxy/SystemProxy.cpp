#include "SystemProxy.h"

#include "ProxyRules.h"
#include "ProxyScript.h"
#include "RegistryAccess.h"
#include "WinHttpText.h"

#include <windows.h>
#include <winhttp.h>

namespace {

using proxy::CGlobalString;

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

// On a network without automatic proxy discovery, every attempt costs its
// whole search, and a fetch asks twice (probe and request); Wine reports
// auto-detection on whenever the user never chose. A failed one is not
// tried again for a while, in the whole process.
constexpr unsigned kAutoDetectRetryMinutes = 10;
LONG g_bAutoDetectFailed = 0;
LONG g_autoDetectFailedAtTick = 0;

bool AutoDetectionFailedLately()
{
    if (InterlockedCompareExchange(&g_bAutoDetectFailed, 0, 0) == 0)
        return false;
    // Tick differences stay right across the 49.7-day wrap of the counter.
    const auto failedAt = static_cast<DWORD>(InterlockedCompareExchange(&g_autoDetectFailedAtTick, 0, 0));
    const DWORD elapsed = GetTickCount() - failedAt;
    return elapsed < kAutoDetectRetryMinutes * 60 * 1000;
}

void NoteAutoDetectionFailed()
{
    InterlockedExchange(&g_autoDetectFailedAtTick, static_cast<LONG>(GetTickCount()));
    InterlockedExchange(&g_bAutoDetectFailed, 1);
}

} // namespace

SystemProxyAnswer QuerySystemProxy(const std::string& url, const char* pszScheme, const std::string& host,
                                   uint16_t port)
{
    SystemProxyAnswer answer;
    UserProxySettings user;
    if (!ReadUserProxySettings(&user, &answer.how))
        return answer;

    const bool bDetectOnly = user.script.empty() && user.bAutoDetect;
    if (bDetectOnly && AutoDetectionFailedLately())
    {
        answer.how += "auto-detection failed less than " + std::to_string(kAutoDetectRetryMinutes) +
                      " minutes ago; ";
    }
    else if (!user.script.empty() || user.bAutoDetect)
    {
        const std::string which = user.script.empty() ? std::string("(detected)") : user.script;
        ProxyScriptQuery query;
        query.scriptUrl = user.script;
        query.bAutoDetect = user.bAutoDetect;
        query.url = url;
        query.host = host;
        std::string scriptAnswer;
        const DWORD error = RunProxyScript(query, &scriptAnswer);
        if (error == ERROR_SUCCESS)
        {
            answer.address = scriptAnswer;
            answer.bFromScript = true;
            answer.how += "configuration script " + which + " for " + url + ": \"" + scriptAnswer + "\"";
            return answer;
        }
        answer.how += "configuration script " + which + " failed (error " + std::to_string(error) + "); ";
        if (bDetectOnly)
            NoteAutoDetectionFailed();
    }
    const std::string fixed = proxy::ProxyForScheme(user.proxy, pszScheme);
    if (!fixed.empty() && !proxy::BypassMatches(user.bypass, host, port))
        answer.address = fixed;
    answer.how += answer.address.empty() ? std::string("direct") : "proxy " + fixed;
    return answer;
}
