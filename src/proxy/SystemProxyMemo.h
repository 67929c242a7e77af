// CSystemProxyMemo: the answers of the user's proxy settings within one
// fetch, by scheme, host and port. A configuration script is fetched and run
// once for the probe and the request when they go to the same server, not
// once for each (under Wine each run costs about 9 ms on loopback), as the
// platform's own Internet functions keep script answers by host.
#pragma once

#include "SystemProxy.h"

#include <cstdint>
#include <map>
#include <string>

class CSystemProxyMemo
{
public:
    // QuerySystemProxy's answer for url, asked for only the first time that
    // scheme, host and port come up.
    SystemProxyAnswer Query(const std::string& url, const char* pszScheme, const std::string& host, uint16_t port);

private:
    std::map<std::string, SystemProxyAnswer> m_answers;
};
