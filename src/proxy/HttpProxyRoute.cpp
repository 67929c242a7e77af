#include "HttpProxyRoute.h"

#include "VexErrors.h"

bool HttpProxyRoute::RetryAfterChallenge(const proxy::CProxyChallenges& challenges, long* plDetail)
{
    // Basic credentials go only to a proxy that takes them.
    if (challenges.OffersOnlyOthers())
    {
        *plDetail = VEXDET_PROXY_AUTH_SCHEME;
        return false;
    }
    if (!bSendCredentials && HasCredentials())
    {
        bSendCredentials = true;
        return true;
    }
    *plDetail = bSendCredentials ? VEXDET_PROXY_AUTH_REFUSED : VEXDET_PROXY_AUTH_REQUIRED;
    return false;
}
