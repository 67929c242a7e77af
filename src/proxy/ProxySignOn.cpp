#include "ProxySignOn.h"

#include "Base64.h"
#include "CanonicalHostName.h"
#include "SecurityStatusName.h"
#include "VexErrors.h"
#include "WideText.h"

#include <new>

namespace {

constexpr unsigned kMaxAnswers = 4;

bool Failed(SECURITY_STATUS status)
{
    return status != SEC_E_OK && status != SEC_I_CONTINUE_NEEDED;
}

} // namespace

CProxySignOn::CProxySignOn(HttpProxyRoute& route) : m_route(route), m_authorization(route.Authorization()) {}

bool CProxySignOn::Answer(const proxy::CProxyChallenges& challenges, long* plDetail)
{
    using proxy::AuthScheme;
    // NTLM needs three legs, Kerberos one or two: a proxy that keeps asking
    // is refusing.
    if (++m_nAnswers > kMaxAnswers)
    {
        *plDetail = VEXDET_PROXY_AUTH_REFUSED;
        return false;
    }
    if (m_scheme == AuthScheme::kNone)
    {
        m_scheme = challenges.Choose(m_route.HasCredentials());
        if (m_scheme == AuthScheme::kNegotiate || m_scheme == AuthScheme::kNtlm)
            return Start(plDetail);
        if (m_scheme == AuthScheme::kBasic && !m_route.bSendCredentials)
        {
            m_route.bSendCredentials = true;
            m_authorization = m_route.Authorization();
            m_note = "Basic with HTTPProxyUsername";
            return true;
        }
        // Basic credentials go only to a proxy that asked for them.
        *plDetail = m_route.bSendCredentials       ? VEXDET_PROXY_AUTH_REFUSED
                    : !challenges.OffersAny()      ? VEXDET_PROXY_NO_CHALLENGE
                    : challenges.OffersBasic()     ? VEXDET_PROXY_AUTH_REQUIRED
                                                   : VEXDET_PROXY_AUTH_SCHEME;
        return false;
    }
    // A handshake under way goes on only with the proxy's next token; a
    // bare challenge again means the proxy refused the last leg.
    const std::string& token = challenges.Token(m_scheme);
    if (m_scheme == AuthScheme::kBasic || token.empty() || m_bComplete)
    {
        *plDetail = VEXDET_PROXY_AUTH_REFUSED;
        return false;
    }
    return Leg(token, plDetail);
}

bool CProxySignOn::Start(long* plDetail)
{
    const char* pszPackage = proxy::AuthSchemeName(m_scheme);
    m_pSession.reset(new (std::nothrow) CSspiSession);
    if (!m_pSession)
    {
        *plDetail = VEXDET_PROXY_SIGN_ON;
        return false;
    }
    const bool bExplicit = m_route.HasCredentials();
    m_status = static_cast<uint32_t>(m_pSession->Acquire(pszPackage, bExplicit ? m_route.user : std::string(),
                                                         bExplicit ? m_route.password : std::string()));
    m_note = std::string(pszPackage) + (bExplicit ? " with HTTPProxyUsername" : " with the logged-on user") +
             ": AcquireCredentialsHandle returned " + tls::SecurityStatusName(m_status);
    if (m_status != SEC_E_OK)
    {
        *plDetail = VEXDET_PROXY_SIGN_ON;
        return false;
    }
    // Kerberos knows the proxy by the name of its service account: the name
    // as configured first, then the resolver's own name for it (an alias,
    // or an address given instead of a name).
    if (FirstLegForTarget(m_route.host))
        return true;
    const uint32_t firstStatus = m_status;
    const std::string canonical = m_scheme == proxy::AuthScheme::kNegotiate ? CanonicalHostName(m_route.host) : "";
    if (!canonical.empty() && canonical != m_route.host)
    {
        const std::string firstNote = m_note;
        m_pSession->RestartContext();
        const bool bStarted = FirstLegForTarget(canonical);
        m_note = firstNote + "; then " + m_note;
        if (bStarted)
            return true;
    }
    *plDetail = firstStatus == static_cast<uint32_t>(SEC_E_TARGET_UNKNOWN) ? VEXDET_PROXY_KERBEROS_NAME
                                                                            : VEXDET_PROXY_SIGN_ON;
    return false;
}

bool CProxySignOn::FirstLegForTarget(const std::string& host)
{
    m_target = AnsiToWide(("HTTP/" + host).c_str());
    long lIgnored = 0;
    return Leg(std::string(), &lIgnored);
}

bool CProxySignOn::Leg(const std::string& token, long* plDetail)
{
    std::string input;
    if (!base64::Decode(token, &input))
    {
        *plDetail = VEXDET_PROXY_BAD_ANSWER;
        return false;
    }
    std::string output;
    const SECURITY_STATUS status = m_pSession->Step(m_target, input, &output);
    m_status = static_cast<uint32_t>(status);
    m_bComplete = status == SEC_E_OK;
    m_note = std::string(proxy::AuthSchemeName(m_scheme)) + " for " + WideToUtf8(m_target.c_str()) + ": " +
             std::to_string(input.size()) + "-byte token in, InitializeSecurityContext returned " +
             tls::SecurityStatusName(m_status) + ", " + std::to_string(output.size()) + "-byte token out";
    if (Failed(status) || output.empty())
    {
        *plDetail = Failed(status) ? VEXDET_PROXY_SIGN_ON : VEXDET_PROXY_AUTH_REFUSED;
        return false;
    }
    m_authorization = std::string(proxy::AuthSchemeName(m_scheme)) + " " + base64::Encode(output);
    return true;
}

void CProxySignOn::Finish(const proxy::CProxyChallenges& challenges)
{
    if (!m_pSession || m_bComplete || m_scheme == proxy::AuthScheme::kNone)
        return;
    const std::string& token = challenges.Token(m_scheme);
    std::string input;
    if (token.empty() || !base64::Decode(token, &input))
        return;
    std::string ignored;
    m_status = static_cast<uint32_t>(m_pSession->Step(m_target, input, &ignored));
    m_bComplete = m_status == SEC_E_OK;
    m_note = std::string(proxy::AuthSchemeName(m_scheme)) + ": the proxy's final token, " +
             std::to_string(input.size()) + " bytes, InitializeSecurityContext returned " +
             tls::SecurityStatusName(m_status);
}
