// The proxy that the current user's Internet settings name for one URL, as
// WinHTTP reports them to programs: a fixed proxy with its bypass list, or
// an automatic-configuration script (a configured URL, or one found by
// auto-detection) evaluated for the URL.
#pragma once

#include <cstdint>
#include <string>

struct SystemProxyAnswer
{
    // The proxy's address as the settings write it ("host:port"); empty
    // for a direct connection.
    std::string address;
    // How the answer came about, for the trace log.
    std::string how;
};

// Never fails: settings that cannot be read, or a script that cannot be
// fetched or run, leave the fixed proxy (when there is one) or a direct
// connection, and say so in how.
SystemProxyAnswer QuerySystemProxy(const std::string& url, const char* pszScheme, const std::string& host,
                                   uint16_t port);
