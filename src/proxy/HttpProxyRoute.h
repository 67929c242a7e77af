// The HTTP proxy that one request of a fetch goes through, or none, with
// the credentials the settings give for it. A fetch keeps one route per
// request; once the proxy has asked for credentials, the route sends them
// with every further connection of that request (the data connections of an
// FTP transfer) instead of being asked again.
#pragma once

#include "BasicCredentials.h"
#include "TunnelMessages.h"

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

    bool HasCredentials() const { return !user.empty(); }
    // The Proxy-Authorization value to send; empty until the proxy asked.
    std::string Authorization() const
    {
        return bSendCredentials ? http::BasicAuthorization(user, password) : std::string();
    }
    // After a 407 with these challenges: true when one more attempt with
    // credentials is due; otherwise *plDetail says why there is none.
    bool RetryAfterChallenge(const proxy::CProxyChallenges& challenges, long* plDetail);
};
