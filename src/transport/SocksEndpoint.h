// A SOCKS proxy as one connection goes through it: where it listens, which
// version it speaks and the credentials it takes. The strings are borrowed
// from whoever holds the settings.
#pragma once

#include <cstdint>

struct SocksEndpoint
{
    const char* pszServer = nullptr;
    uint16_t port = 0;
    unsigned version = 0;    // the client's selector: 0 and 1 SOCKS 4, 2 and above SOCKS 5
    unsigned authMethod = 0; // 0 none, 2 user name and password
    const char* pszUser = nullptr;
    const char* pszPassword = nullptr;
};
