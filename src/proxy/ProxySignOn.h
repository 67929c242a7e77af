// How one connection to an HTTP proxy answers the proxy's 407s: Negotiate
// or NTLM through SSPI, with the logged-on user's credentials or those of
// HTTPProxyUsername and HTTPProxyPassword, or Basic with the latter only.
// Negotiate and NTLM are handshakes of several legs that the proxy ties to
// the connection they arrive on: the caller sends each leg on the
// connection that carried the 407 whose token it answers.
#pragma once

#include "HttpProxyRoute.h"
#include "ProxyChallenges.h"
#include "SspiSession.h"

#include <cstdint>
#include <memory>
#include <string>

class CProxySignOn
{
public:
    explicit CProxySignOn(HttpProxyRoute& route);

    // The Proxy-Authorization value of the next request; empty for none.
    const std::string& Authorization() const { return m_authorization; }

    // After a 407: true when one more request is due, with Authorization();
    // otherwise *plDetail (VEXDET_PROXY_*) says why there is none.
    bool Answer(const proxy::CProxyChallenges& challenges, long* plDetail);

    // After the proxy's final answer: a Kerberos proxy's proof of itself (the
    // token of its 2xx) goes to the security package.
    void Finish(const proxy::CProxyChallenges& challenges);

    // What the last step did, for the trace: scheme, target, status by
    // name and token sizes; never a token or a password.
    const std::string& Note() const { return m_note; }
    // The security package's status of the last step.
    uint32_t SecurityStatus() const { return m_status; }

private:
    bool Start(long* plDetail);
    // One SSPI leg for the server's token (Base64 text; empty at first).
    bool Leg(const std::string& token, long* plDetail);
    bool FirstLegForTarget(const std::string& host);

    HttpProxyRoute& m_route;
    proxy::AuthScheme m_scheme = proxy::AuthScheme::kNone;
    std::unique_ptr<CSspiSession> m_pSession;
    std::wstring m_target;
    std::string m_authorization;
    std::string m_note;
    uint32_t m_status = 0;
    bool m_bComplete = false;
    unsigned m_nAnswers = 0;
};
