#include "ProxySignOn.h"

#include "VexErrors.h"

namespace {

// NTLM needs three legs, Kerberos one or two: a proxy that keeps asking is
// refusing.
constexpr unsigned kMaxAnswers = 4;

} // namespace

CProxySignOn::CProxySignOn(HttpProxyRoute& route)
    : m_route(route),
      m_sspi(route.host, route.HasCredentials() ? route.user : std::string(),
             route.HasCredentials() ? route.password : std::string(), "HTTPProxyUsername"),
      m_basicAuthorization(route.Authorization())
{
}

bool CProxySignOn::Answer(const proxy::CProxyChallenges& challenges, long* plDetail)
{
    using proxy::AuthScheme;
    if (++m_nAnswers > kMaxAnswers)
    {
        *plDetail = VEXDET_PROXY_AUTH_REFUSED;
        return false;
    }
    if (m_sspi.IsStarted())
        return m_sspi.Continue(challenges, plDetail);
    if (m_bBasic)
    {
        *plDetail = VEXDET_PROXY_AUTH_REFUSED;
        return false;
    }
    const AuthScheme scheme = challenges.Choose(m_route.HasCredentials());
    if (scheme == AuthScheme::kNegotiate || scheme == AuthScheme::kNtlm)
        return m_sspi.Begin(scheme, plDetail);
    if (scheme == AuthScheme::kBasic && !m_route.bSendCredentials)
    {
        m_bBasic = true;
        m_route.bSendCredentials = true;
        m_basicAuthorization = m_route.Authorization();
        m_basicNote = "Basic with HTTPProxyUsername";
        return true;
    }
    // Basic credentials go only to a proxy that asked for them.
    *plDetail = m_route.bSendCredentials     ? VEXDET_PROXY_AUTH_REFUSED
                : !challenges.OffersAny()    ? VEXDET_PROXY_NO_CHALLENGE
                : challenges.OffersBasic()   ? VEXDET_PROXY_AUTH_REQUIRED
                                             : VEXDET_PROXY_AUTH_SCHEME;
    return false;
}
