// The Negotiate or NTLM sign-on of one request at an HTTP peer, a proxy or
// a server, through SSPI: with the logged-on user's logon, or with the
// credentials given (DOMAIN\user or user@REALM). Kerberos asks for the
// service HTTP/<host>, with the host as named and then by the resolver's
// own name for it. The legs are tied to the connection that carries them:
// the caller sends each on the connection of the answer it replies to.
#pragma once

#include "ProxyChallenges.h"
#include "SspiSession.h"

#include <cstdint>
#include <memory>
#include <string>

class CHttpSignOn
{
public:
    // pszCredentialsName names where user and password come from, for the
    // trace ("HTTPProxyUsername", "the URL"); user empty: the logon.
    CHttpSignOn(const std::string& host, const std::string& user, const std::string& password,
                const char* pszCredentialsName);

    // The first leg for scheme (Negotiate or NTLM). False, with *plDetail
    // (VEXDET_PROXY_*), when the security package cannot start.
    bool Begin(proxy::AuthScheme scheme, long* plDetail);
    // The next leg, for the token of the peer's next challenge. False when
    // the peer refused the last leg (a bare challenge again) or the package
    // failed, with *plDetail.
    bool Continue(const proxy::CProxyChallenges& challenges, long* plDetail);
    // After the peer's final answer: its proof of itself (Kerberos mutual
    // authentication), when it sent one, goes to the package.
    void Finish(const proxy::CProxyChallenges& challenges);

    bool IsStarted() const { return m_scheme != proxy::AuthScheme::kNone; }
    // "<scheme> <token>", the value of the next (Proxy-)Authorization field.
    const std::string& Authorization() const { return m_authorization; }
    // What the last step did, for the trace: scheme, service name, status
    // by name and token sizes; never a token or a password.
    const std::string& Note() const { return m_note; }
    uint32_t SecurityStatus() const { return m_status; }

private:
    bool FirstLegForTarget(const std::string& host);
    // One SSPI leg for the peer's token (Base64 text; empty at first).
    bool Leg(const std::string& token, long* plDetail);

    const std::string m_host;
    const std::string m_user;
    const std::string m_password;
    const char* m_pszCredentialsName;
    proxy::AuthScheme m_scheme = proxy::AuthScheme::kNone;
    std::unique_ptr<CSspiSession> m_pSession;
    std::wstring m_target;
    std::string m_authorization;
    std::string m_note;
    uint32_t m_status = 0;
    bool m_bComplete = false;
};
