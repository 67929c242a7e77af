#include "HttpTunnel.h"

#include "Http11Messages.h"
#include "TunnelMessages.h"
#include "VexErrors.h"

namespace {

void Fail(ProxyFailure* pFailure, long lError, long lErrorEx)
{
    pFailure->lError = lError;
    pFailure->lErrorEx = lErrorEx;
}

// Reads the proxy's answer head and nothing after it: each round peeks at
// what has arrived and takes only the bytes up to the head's end.
bool ReceiveAnswerHead(VEXSOCK& channel, std::string* pHead, ProxyFailure* pFailure)
{
    char block[1024];
    for (;;)
    {
        const int cbPeeked = channel.Receive(block, sizeof(block), MSG_PEEK);
        if (cbPeeked < 0)
        {
            Fail(pFailure, channel.GetLastError(), channel.GetLastErrorEx());
            return false;
        }
        if (cbPeeked == 0)
        {
            Fail(pFailure, VEXERR_PROXY, VEXDET_PROXY_BAD_ANSWER);
            return false;
        }
        const size_t cbBefore = pHead->size();
        pHead->append(block, static_cast<size_t>(cbPeeked));
        const size_t end = proxy::HeadEnd(*pHead, cbBefore >= 3 ? cbBefore - 3 : 0);
        const size_t cbTake = end == std::string::npos ? static_cast<size_t>(cbPeeked) : end - cbBefore;
        pHead->resize(cbBefore + cbTake);
        // The bytes were there to peek at, so they are there to take.
        if (channel.Receive(block, static_cast<int>(cbTake), 0) != static_cast<int>(cbTake))
        {
            Fail(pFailure, channel.GetLastError(), channel.GetLastErrorEx());
            return false;
        }
        if (end != std::string::npos)
            return true;
        if (pHead->size() > proxy::kMaxAnswerHead)
        {
            Fail(pFailure, VEXERR_PROXY, VEXDET_PROXY_BAD_ANSWER);
            return false;
        }
    }
}

// One CONNECT on a fresh connection; the status of the proxy's answer, or
// 0 when there was none (pFailure says why).
int AskForTunnel(VEXSOCK& channel, const HttpProxyRoute& route, const char* pszHost, uint16_t port,
                 ProxyFailure* pFailure, proxy::CProxyChallenges* pChallenges)
{
    if (!ConnectToHttpProxy(channel, route, pFailure))
        return 0;
    const std::string request = proxy::BuildConnectRequest(pszHost ? pszHost : "", port, route.Authorization());
    if (request.empty())
    {
        // A host that would split the request line is never sent.
        Fail(pFailure, VEXERR_PROXY, VEXDET_PROXY_BAD_TARGET);
        return 0;
    }
    const int cbRequest = static_cast<int>(request.size());
    if (channel.SendAll(request.data(), cbRequest, 0) != cbRequest)
    {
        Fail(pFailure, channel.GetLastError(), channel.GetLastErrorEx());
        return 0;
    }
    std::string head;
    if (!ReceiveAnswerHead(channel, &head, pFailure))
        return 0;
    const std::string statusLine = head.substr(0, head.find_first_of("\r\n"));
    int status = 0;
    if (statusLine.find('\0') != std::string::npos ||
        !http::ParseStatusLine11(statusLine.c_str(), &status, nullptr))
    {
        Fail(pFailure, VEXERR_PROXY, VEXDET_PROXY_BAD_ANSWER);
        return 0;
    }
    pFailure->answer = statusLine;
    for (size_t at = 0; at < head.size();)
    {
        const size_t end = head.find('\n', at);
        pChallenges->AddLine(head.substr(at, end == std::string::npos ? std::string::npos : end - at));
        at = end == std::string::npos ? head.size() : end + 1;
    }
    return status;
}

} // namespace

bool ConnectToHttpProxy(VEXSOCK& channel, const HttpProxyRoute& route, ProxyFailure* pFailure)
{
    if (!channel.Create(channel.m_nTimeout, false))
    {
        Fail(pFailure, VEXERR_SOCKET, channel.GetLastErrorEx());
        return false;
    }
    if (channel.Connect(route.host.c_str(), route.port))
        return true;
    Fail(pFailure, VEXERR_PROXY, channel.ConnectFailureReason());
    return false;
}

bool OpenHttpTunnel(VEXSOCK& channel, HttpProxyRoute& route, const char* pszHost, uint16_t port,
                    ProxyFailure* pFailure)
{
    for (;;)
    {
        *pFailure = ProxyFailure();
        proxy::CProxyChallenges challenges;
        const int status = AskForTunnel(channel, route, pszHost, port, pFailure, &challenges);
        channel.LogFormat("OpenHttpTunnel( %s, %u ) through %s:%u: %.200s\n", pszHost ? pszHost : "", port,
                          route.host.c_str(), route.port,
                          status ? pFailure->answer.c_str() : "no answer");
        if (status >= 200 && status <= 299)
        {
            *pFailure = ProxyFailure();
            return true;
        }
        if (status == 0)
            break;
        long lDetail = status;
        if (status == 407 && route.RetryAfterChallenge(challenges, &lDetail))
            continue;
        // Only the proxy answers a CONNECT: a 401 to credentials (tinyproxy
        // answers so) refuses them as a second 407 would.
        if (status == 401 && route.bSendCredentials)
            lDetail = VEXDET_PROXY_AUTH_REFUSED;
        Fail(pFailure, VEXERR_PROXY, lDetail);
        break;
    }
    channel.Close();
    return false;
}
