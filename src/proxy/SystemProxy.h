// The proxy that the current user's Internet settings name for one URL, as
// WinHTTP reports them to programs: a fixed proxy with its bypass list, or
// an automatic-configuration script (a configured URL, or one found by
// auto-detection) evaluated for the URL, whose whole answer is handed on.
#pragma once

#include <cstdint>
#include <string>

struct SystemProxyAnswer
{
    // The proxy's address as the settings write it ("host:port"); empty
    // for a direct connection. When bFromScript, the script's answer as it
    // returned it ("PROXY a:1; SOCKS5 b:2; DIRECT").
    std::string address;
    bool bFromScript = false;
    // How the answer came about, for the trace log.
    std::string how;
};

// Never fails: settings that cannot be read, or a script that cannot be
// fetched or run, leave the fixed proxy (when there is one) or a direct
// connection, and say so in how.
SystemProxyAnswer QuerySystemProxy(const std::string& url, const char* pszScheme, const std::string& host,
                                   uint16_t port);
