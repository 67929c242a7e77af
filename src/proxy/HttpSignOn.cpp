#include "HttpSignOn.h"

#include "Base64.h"
#include "CanonicalHostName.h"
#include "SecurityStatusName.h"
#include "VexErrors.h"
#include "WideText.h"

#include <new>

namespace {

bool Failed(SECURITY_STATUS status)
{
    return status != SEC_E_OK && status != SEC_I_CONTINUE_NEEDED;
}

} // namespace

CHttpSignOn::CHttpSignOn(const std::string& host, const std::string& user, const std::string& password,
                         const char* pszCredentialsName)
    : m_host(host), m_user(user), m_password(password), m_pszCredentialsName(pszCredentialsName)
{
}

bool CHttpSignOn::Begin(proxy::AuthScheme scheme, long* plDetail)
{
    m_scheme = scheme;
    const char* pszPackage = proxy::AuthSchemeName(m_scheme);
    m_pSession.reset(new (std::nothrow) CSspiSession);
    if (!m_pSession)
    {
        *plDetail = VEXDET_PROXY_SIGN_ON;
        return false;
    }
    m_status = static_cast<uint32_t>(m_pSession->Acquire(pszPackage, m_user, m_password));
    m_note = std::string(pszPackage) + " with " + (m_user.empty() ? "the logged-on user" : m_pszCredentialsName) +
             ": AcquireCredentialsHandle returned " + tls::SecurityStatusName(m_status);
    if (m_status != SEC_E_OK)
    {
        *plDetail = VEXDET_PROXY_SIGN_ON;
        return false;
    }
    // Kerberos knows the peer by the name of its service account: the name
    // as given first, then the resolver's own name for it (an alias, or an
    // address given instead of a name).
    if (FirstLegForTarget(m_host))
        return true;
    const uint32_t firstStatus = m_status;
    const std::string canonical = m_scheme == proxy::AuthScheme::kNegotiate ? CanonicalHostName(m_host) : "";
    if (!canonical.empty() && canonical != m_host)
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

bool CHttpSignOn::Continue(const proxy::CProxyChallenges& challenges, long* plDetail)
{
    // A handshake under way goes on only with the peer's next token; a bare
    // challenge again means the peer refused the last leg.
    const std::string& token = challenges.Token(m_scheme);
    if (!m_pSession || token.empty() || m_bComplete)
    {
        *plDetail = VEXDET_PROXY_AUTH_REFUSED;
        return false;
    }
    return Leg(token, plDetail);
}

bool CHttpSignOn::FirstLegForTarget(const std::string& host)
{
    m_target = AnsiToWide(("HTTP/" + host).c_str());
    long lIgnored = 0;
    return Leg(std::string(), &lIgnored);
}

bool CHttpSignOn::Leg(const std::string& token, long* plDetail)
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

void CHttpSignOn::Finish(const proxy::CProxyChallenges& challenges)
{
    if (!m_pSession || m_bComplete)
        return;
    const std::string& token = challenges.Token(m_scheme);
    std::string input;
    if (token.empty() || !base64::Decode(token, &input))
        return;
    std::string ignored;
    m_status = static_cast<uint32_t>(m_pSession->Step(m_target, input, &ignored));
    m_bComplete = m_status == SEC_E_OK;
    m_note = std::string(proxy::AuthSchemeName(m_scheme)) + ": the peer's final token, " +
             std::to_string(input.size()) + " bytes, InitializeSecurityContext returned " +
             tls::SecurityStatusName(m_status);
}
