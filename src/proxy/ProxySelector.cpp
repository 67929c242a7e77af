#include "ProxySelector.h"

#include "ProxyRules.h"
#include "SystemProxy.h"

bool CProxySelector::Choose(const char* pszScheme, const std::string& host, uint16_t port, const std::string& url,
                            HttpProxyRoute* pRoute, std::string* pHow) const
{
    *pRoute = HttpProxyRoute();
    std::string address;
    if (!m_settings.address.empty())
    {
        if (proxy::BypassMatches(m_settings.bypass, host, port))
        {
            *pHow = "HTTPProxyBypass names " + host + ": direct";
            return true;
        }
        address = proxy::ProxyForScheme(m_settings.address, pszScheme);
        *pHow = "HTTPProxy";
        if (address.empty())
        {
            // A list that serves other schemes only: direct for this one.
            *pHow += " names no proxy for " + std::string(pszScheme) + ": direct";
            return true;
        }
    }
    else if (m_settings.bUseSystem)
    {
        const SystemProxyAnswer answer = QuerySystemProxy(url, pszScheme, host, port);
        address = answer.address;
        *pHow = answer.how;
        if (address.empty())
            return true;
    }
    else
    {
        *pHow = "direct";
        return true;
    }

    proxy::ProxyAddress parsed;
    if (!proxy::ParseProxyAddress(address, &parsed))
    {
        pRoute->host = address;
        return false;
    }
    pRoute->bUse = true;
    pRoute->host = parsed.host;
    pRoute->port = parsed.port;
    pRoute->user = m_settings.user;
    pRoute->password = m_settings.password;
    return true;
}
