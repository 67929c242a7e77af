#include "ConnectivityProbe.h"

#include "HostSyntax.h"
#include "HttpTunnel.h"
#include "ProxySelector.h"
#include "RegistryKey.h"
#include "RegistryValues.h"
#include "VexErrors.h"
#include "VexLimits.h"
#include "VexSock.h"

#include <cstring>

namespace {

// Switches the system's automatic dialling off for the duration of a direct
// probe, so that the probe never brings up a dial-up connection itself, and
// writes the saved value back when it goes. Only a value that is present, a
// REG_DWORD of four bytes, and in the "on" state is changed; an absent value
// stays absent. Any registry failure leaves the setting alone.
class CAutodialSwitch
{
public:
    CAutodialSwitch() = default;
    ~CAutodialSwitch();
    CAutodialSwitch(const CAutodialSwitch&) = delete;
    CAutodialSwitch& operator=(const CAutodialSwitch&) = delete;

    void SwitchOff(bool bWindowsNT);

private:
    CRegistryKey m_key;
    const char* m_pszValueName = nullptr;
    DWORD m_dwType = REG_NONE;
    DWORD m_cb = 0;
    BYTE m_saved[4] = {};
    bool m_bChanged = false;
};

void CAutodialSwitch::SwitchOff(bool bWindowsNT)
{
    // NT: "LoginSessionDisable" 0 lets autodial run; other Windows:
    // "EnableAutodial" 1 does.
    const char* pszSubkey = bWindowsNT ? "Software\\Microsoft\\RAS Autodial\\Control"
                                       : "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
    m_pszValueName = bWindowsNT ? "LoginSessionDisable" : "EnableAutodial";
    const uint32_t dwOn = bWindowsNT ? 0 : 1;
    const DWORD dwOff = bWindowsNT ? 1 : 0;

    if (m_key.Open(HKEY_CURRENT_USER, pszSubkey, KEY_QUERY_VALUE | KEY_SET_VALUE) != ERROR_SUCCESS)
        return;
    m_cb = sizeof(m_saved);
    uint32_t value = 0;
    if (RegQueryValueExA(m_key.Get(), m_pszValueName, nullptr, &m_dwType, m_saved, &m_cb) !=
            ERROR_SUCCESS ||
        !registry::DwordFromData(m_dwType, m_saved, m_cb, &value) || value != dwOn)
        return;
    m_bChanged = RegSetValueExA(m_key.Get(), m_pszValueName, 0, m_dwType,
                                reinterpret_cast<const BYTE*>(&dwOff), m_cb) == ERROR_SUCCESS;
}

CAutodialSwitch::~CAutodialSwitch()
{
    if (m_bChanged)
        RegSetValueExA(m_key.Get(), m_pszValueName, 0, m_dwType, m_saved, m_cb);
}

// A connection attempt that failed in its wait leaves only 1001 on the
// channel; its reason (refused, unreachable, no such name) is the one every
// client reports, ConnectFailureReason. A SOCKS
// 5 negotiation that failed closed the channel, which cleared the primary
// code and kept the proxy's reason in the detail.
void ProbeFailurePair(VEXSOCK& channel, bool bUseProxy, long* plError, long* plErrorEx)
{
    *plError = channel.GetLastError();
    *plErrorEx = channel.GetLastErrorEx();
    if (bUseProxy && *plError == 0 && *plErrorEx != 0)
        *plError = VEXERR_SOCKS;
    else if (*plError == VEXERR_CONNECT_FAILED || *plErrorEx == 0)
    {
        *plError = VEXERR_SOCKET;
        *plErrorEx = channel.ConnectFailureReason();
    }
}

} // namespace

bool IsWindowsNT()
{
    OSVERSIONINFOA info;
    static_assert(sizeof(info) == 148, "the size that GetVersionExA expects");
    std::memset(&info, 0, sizeof(info));
    info.dwOSVersionInfoSize = sizeof(info);
    return GetVersionExA(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

bool ProbeInternetConnection(bool bUseProxy, const char* pszProxyHost, int32_t proxyPort,
                             int32_t socksVersion, int32_t socksMethod, const char* pszUser,
                             const char* pszPassword, const CProbeTarget& target,
                             VexIsWindowsNTFn pfnIsWindowsNT, long* plError, long* plErrorEx)
{
    // Declared first, destroyed last: the autodial value is back before the
    // channel closes the connection.
    VEXSOCK channel;
    const bool bWindowsNT = pfnIsWindowsNT();

    // Through a proxy no dial-up can start from here: the autodial values
    // are neither read nor written.
    CAutodialSwitch autodial;
    if (!bUseProxy)
        autodial.SwitchOff(bWindowsNT);

    if (!channel.Create(kProbeTimeoutSeconds, false))
        return false;
    // The proxy values come sign-extended from the settings record; the
    // channel takes them unsigned, as their wire form is.
    bool bConnected =
        bUseProxy ? channel.ConnectSocks(target.Host(), target.Port(), pszProxyHost,
                                         static_cast<uint16_t>(proxyPort),
                                         static_cast<unsigned>(socksVersion),
                                         static_cast<unsigned>(socksMethod), pszUser, pszPassword)
                  : channel.Connect(target.Host(), target.Port());
    // A machine without any IPv4 route fails the default target at once;
    // the same service's IPv6 address tells whether the internet is there.
    if (!bConnected && !bUseProxy && target.IPv6Twin() && channel.ConnectFailureReason() == VEXWSA_NETUNREACH)
        bConnected = channel.Connect(target.IPv6Twin(), target.Port());
    if (!bConnected)
    {
        if (plError && plErrorEx)
            ProbeFailurePair(channel, bUseProxy, plError, plErrorEx);
        channel.Close();
    }
    return bConnected;
}

bool ProbeInternetConnection(const CConnectionSettings& settings)
{
    long lError = 0, lErrorEx = 0;
    return ProbeInternetConnection(settings, &lError, &lErrorEx);
}

bool ProbeInternetConnection(const CConnectionSettings& settings, long* plError, long* plErrorEx)
{
    HttpProxyRoute route;
    std::string answer;
    return ProbeInternetConnection(settings, plError, plErrorEx, &route, &answer);
}

bool ProbeInternetConnection(const CConnectionSettings& settings, long* plError, long* plErrorEx,
                             HttpProxyRoute* pRoute, std::string* pProxyAnswer, CSystemProxyMemo* pProxyMemo)
{
    *pRoute = HttpProxyRoute();
    pProxyAnswer->clear();
    if (!settings.m_bConnectSOCKS)
    {
        const CProbeTarget& target = settings.m_probeTarget;
        const std::string host = target.Host() ? target.Host() : "";
        const std::string url = "http://" + hostsyntax::HostPort(host, target.Port()) + "/";
        std::string how;
        const long lDetail =
            CProxySelector(settings.m_httpProxy, pProxyMemo).Choose("http", host, target.Port(), url, pRoute, &how);
        if (lDetail != 0)
        {
            *plError = VEXERR_PROXY;
            *plErrorEx = lDetail;
            return false;
        }
        if (pRoute->socksVersion != 0)
        {
            const HttpProxyRoute& socks = *pRoute;
            return ProbeInternetConnection(true, socks.host.c_str(), socks.port, socks.SocksSelector(),
                                           socks.socksAuthMethod, socks.user.c_str(), socks.password.c_str(), target,
                                           IsWindowsNT, plError, plErrorEx);
        }
        if (pRoute->bUse)
        {
            // Through the proxy no dial-up can start from here, as with SOCKS.
            VEXSOCK channel;
            ProxyFailure failure;
            channel.m_nTimeout = kProbeTimeoutSeconds;
            if (OpenHttpTunnel(channel, *pRoute, host.c_str(), target.Port(), &failure))
                return true;
            *plError = failure.lError;
            *plErrorEx = failure.lErrorEx;
            *pProxyAnswer = failure.answer;
            return false;
        }
    }
    CAnsiString host, user, password;
    BstrToAnsi(settings.m_bstrSocksServerAddress.Get(), host);
    BstrToAnsi(settings.m_bstrSocksUsername.Get(), user);
    BstrToAnsi(settings.m_bstrSocksPassword.Get(), password);
    return ProbeInternetConnection(settings.m_bConnectSOCKS, host.Get(), settings.m_nSocksPort,
                                   settings.m_nSocksVersion, settings.m_nSocksAuthMethod, user.Get(),
                                   password.Get(), settings.m_probeTarget, IsWindowsNT, plError, plErrorEx);
}
