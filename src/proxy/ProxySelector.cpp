#include "ProxySelector.h"

#include "HostSyntax.h"
#include "ProxyRules.h"
#include "SystemProxy.h"
#include "SystemProxyMemo.h"
#include "VexErrors.h"

#include <cstring>

namespace {

// What a configuration script learns of the URL: of an https URL only its
// scheme, host and port, as browsers tell it (the path and query are meant
// for the server alone, and travel encrypted). The port is always written,
// as in the other URLs the engine hands on.
std::string UrlForScript(const char* pszScheme, const std::string& host, uint16_t port, const std::string& url)
{
    if (std::strcmp(pszScheme, "https") != 0)
        return url;
    return "https://" + hostsyntax::HostPort(host, port) + "/";
}

} // namespace

long CProxySelector::Choose(const char* pszScheme, const std::string& host, uint16_t port, const std::string& url,
                            HttpProxyRoute* pRoute, std::string* pHow) const
{
    *pRoute = HttpProxyRoute();
    std::string address;
    if (!m_settings.address.empty())
    {
        if (proxy::BypassMatches(m_settings.bypass, host, port))
        {
            *pHow = "HTTPProxyBypass names " + host + ": direct";
            return 0;
        }
        address = proxy::ProxyForScheme(m_settings.address, pszScheme);
        *pHow = "HTTPProxy";
        if (address.empty())
        {
            // A list that serves other schemes only: direct for this one.
            *pHow += " names no proxy for " + std::string(pszScheme) + ": direct";
            return 0;
        }
    }
    else if (m_settings.bUseSystem)
    {
        const std::string scriptUrl = UrlForScript(pszScheme, host, port, url);
        const SystemProxyAnswer answer = m_pMemo ? m_pMemo->Query(scriptUrl, pszScheme, host, port)
                                                 : QuerySystemProxy(scriptUrl, pszScheme, host, port);
        *pHow = answer.how;
        if (answer.bFromScript)
            return ChooseFromScript(answer.address, pRoute);
        address = answer.address;
        if (address.empty())
            return 0;
    }
    else
    {
        *pHow = "direct";
        return 0;
    }

    proxy::ProxyAddress parsed;
    if (!proxy::ParseProxyAddress(address, &parsed))
    {
        pRoute->host = address;
        return VEXDET_PROXY_SETTING;
    }
    // The administrator named this proxy: it gets the credentials.
    UseHttpProxy(parsed.host, parsed.port, true, pRoute);
    return 0;
}

long CProxySelector::ChooseFromScript(const std::string& answer, HttpProxyRoute* pRoute) const
{
    const proxy::ScriptProxy choice = proxy::ChooseScriptProxy(answer);
    switch (choice.route)
    {
    case proxy::ScriptRoute::kDirect:
        return 0;
    case proxy::ScriptRoute::kUnusable:
        pRoute->host = answer;
        return VEXDET_PROXY_UNUSABLE;
    case proxy::ScriptRoute::kHttp:
        // A script or auto-detection may name any server: credentials go
        // only to one the administrator listed.
        UseHttpProxy(choice.address.host, choice.address.port,
                     proxy::ProxyListed(m_settings.credentialProxies, choice.address), pRoute);
        return 0;
    case proxy::ScriptRoute::kSocks4:
    case proxy::ScriptRoute::kSocks5:
        break;
    }
    pRoute->host = choice.address.host;
    pRoute->port = choice.address.port;
    pRoute->socksVersion = choice.route == proxy::ScriptRoute::kSocks5 ? 5 : 4;
    const SocksAccount& socks = m_settings.socks;
    if (!socks.server.empty() &&
        proxy::ProxyListed(hostsyntax::HostPort(socks.server, socks.port), choice.address))
    {
        pRoute->socksAuthMethod = socks.authMethod;
        pRoute->user = socks.user;
        pRoute->password = socks.password;
    }
    return 0;
}

void CProxySelector::UseHttpProxy(const std::string& host, uint16_t port, bool bCredentials,
                                  HttpProxyRoute* pRoute) const
{
    pRoute->bUse = true;
    pRoute->host = host;
    pRoute->port = port;
    if (bCredentials)
    {
        pRoute->user = m_settings.user;
        pRoute->password = m_settings.password;
    }
}
