// How the requests of one connection path through an HTTP proxy answer
// the proxy's 407s: Negotiate or NTLM (CHttpSignOn), with the logged-on
// user's logon or with HTTPProxyUsername and HTTPProxyPassword, or Basic
// with the latter only.
#pragma once

#include "HttpProxyRoute.h"
#include "HttpSignOn.h"
#include "ProxyChallenges.h"

#include <cstdint>
#include <string>

class CProxySignOn
{
public:
    explicit CProxySignOn(HttpProxyRoute& route);

    // The Proxy-Authorization value of the next request; empty for none.
    const std::string& Authorization() const
    {
        return m_sspi.IsStarted() ? m_sspi.Authorization() : m_basicAuthorization;
    }

    // After a 407: true when one more request is due, with Authorization();
    // otherwise *plDetail (VEXDET_PROXY_*) says why there is none.
    bool Answer(const proxy::CProxyChallenges& challenges, long* plDetail);

    // After the proxy's final answer: its proof of itself, when it sent one.
    void Finish(const proxy::CProxyChallenges& challenges) { m_sspi.Finish(challenges); }

    // What the last step did, for the trace (never a token or a password).
    const std::string& Note() const { return m_sspi.IsStarted() ? m_sspi.Note() : m_basicNote; }
    // The security package's status of the last step.
    uint32_t SecurityStatus() const { return m_sspi.SecurityStatus(); }

private:
    HttpProxyRoute& m_route;
    CHttpSignOn m_sspi;
    bool m_bBasic = false;
    std::string m_basicAuthorization;
    std::string m_basicNote;
    unsigned m_nAnswers = 0;
};
