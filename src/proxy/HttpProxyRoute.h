// The HTTP proxy that one request of a fetch goes through, or none, with
// the credentials the settings give for it. A fetch keeps one route per
// request; once the proxy has asked for Basic credentials, the route sends
// them with every further connection of that request (the data connections
// of an FTP transfer) instead of being asked again. (Negotiate and NTLM
// sign on anew on every connection: CProxySignOn.) A configuration script
// may name a SOCKS proxy instead: then bUse stays false and socksVersion
// says which, with host and port naming it.
#pragma once

#include "BasicCredentials.h"

#include <cstdint>
#include <string>

struct HttpProxyRoute
{
    bool bUse = false;
    std::string host;
    uint16_t port = 0;
    std::string user;
    std::string password;
    bool bSendCredentials = false;
    unsigned socksVersion = 0;     // 4 (4A for names) or 5; 0: no SOCKS proxy
    unsigned socksAuthMethod = 0;  // non-zero: offer user name and password

    // The version argument of the SOCKS client, whose 0 and 1 mean SOCKS 4.
    unsigned SocksSelector() const { return socksVersion == 5 ? 2 : 0; }

    bool HasCredentials() const { return !user.empty(); }
    // The Proxy-Authorization value to send; empty until the proxy asked.
    std::string Authorization() const
    {
        return bSendCredentials ? http::BasicAuthorization(user, password) : std::string();
    }
};
