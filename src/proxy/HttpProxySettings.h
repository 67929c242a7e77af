// The HTTP proxy settings as the registry gives them, before any choice is
// made: what the connection settings hold and the proxy selector reads.
#pragma once

#include <cstdint>
#include <string>

// The SOCKS settings as the administrator wrote them, whether or not
// "ConnectSOCKS" is on: a SOCKS proxy that a configuration script names gets
// their credentials only when they name that same server.
struct SocksAccount
{
    std::string server;
    uint16_t port = 0;
    unsigned authMethod = 0;
    std::string user;
    std::string password;
};

struct HttpProxySettings
{
    // "host:port", or a system-style list ("http=host:port;https=...").
    std::string address;
    std::string bypass;
    std::string user;
    std::string password;
    bool bUseSystem = false;
    // "HTTPProxyCredentialsFor": proxies that a configuration script or
    // auto-detection may choose and that still receive user and password.
    std::string credentialProxies;
    SocksAccount socks;
};
