// Chooses, for each request, whether it goes through a proxy and which: the
// "HTTPProxy" setting unless its bypass list names the host, else, when
// "UseSystemProxy" asks for it, the current user's Internet settings (whose
// configuration script may also name a SOCKS proxy), else none. A fetch
// through the configured SOCKS proxy never asks.
#pragma once

#include "HttpProxyRoute.h"
#include "HttpProxySettings.h"

#include <cstdint>
#include <string>

class CSystemProxyMemo;

class CProxySelector
{
public:
    // With a memo, the user's settings are asked once per scheme, host and
    // port for all selectors that share it.
    explicit CProxySelector(const HttpProxySettings& settings, CSystemProxyMemo* pMemo = nullptr)
        : m_settings(settings), m_pMemo(pMemo)
    {
    }

    // The route for a request to url (its scheme, "http", "https" or "ftp",
    // its host and port). *pHow says for the trace log how it was chosen.
    // 0, or why the proxy named cannot be used: VEXDET_PROXY_SETTING when
    // it is no host:port, VEXDET_PROXY_UNUSABLE when a configuration script
    // named only proxies the control does not speak; *pRoute then holds the
    // named text as its host, for the error text.
    long Choose(const char* pszScheme, const std::string& host, uint16_t port, const std::string& url,
                HttpProxyRoute* pRoute, std::string* pHow) const;

private:
    long ChooseFromScript(const std::string& answer, HttpProxyRoute* pRoute) const;
    void UseHttpProxy(const std::string& host, uint16_t port, bool bCredentials, HttpProxyRoute* pRoute) const;

    const HttpProxySettings& m_settings;
    CSystemProxyMemo* m_pMemo;
};
