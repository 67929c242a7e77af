#include "HostSyntax.h"
#include "SystemProxyMemo.h"

SystemProxyAnswer CSystemProxyMemo::Query(const std::string& url, const char* pszScheme, const std::string& host,
                                          uint16_t port)
{
    const std::string key = std::string(pszScheme) + "://" + hostsyntax::HostPort(host, port);
    const auto known = m_answers.find(key);
    if (known != m_answers.end())
    {
        SystemProxyAnswer answer = known->second;
        answer.how += " (as for " + key + " earlier in this fetch)";
        return answer;
    }
    const SystemProxyAnswer answer = QuerySystemProxy(url, pszScheme, host, port);
    m_answers.emplace(key, answer);
    return answer;
}
