#include "HttpProxyRoute.h"

#include "VexErrors.h"

bool HttpProxyRoute::RetryAfterChallenge(const proxy::CProxyChallenges& challenges, long* plDetail)
{
    // Basic credentials go only to a proxy that asked for them.
    if (challenges.OffersOnlyOthers())
    {
        *plDetail = VEXDET_PROXY_AUTH_SCHEME;
        return false;
    }
    if (!challenges.OffersBasic())
    {
        *plDetail = bSendCredentials ? VEXDET_PROXY_AUTH_REFUSED : VEXDET_PROXY_NO_CHALLENGE;
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
