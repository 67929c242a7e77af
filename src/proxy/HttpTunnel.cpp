#include "HttpTunnel.h"

#include "Http11Messages.h"
#include "ProxySignOn.h"
#include "TunnelMessages.h"
#include "VexErrors.h"

namespace {

// The largest 407 body read to keep its connection: proxies send an error
// page of a few kilobytes.
constexpr uint64_t kMaxDiscardedBody = 64 * 1024;

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

// One CONNECT on the channel's connection; the status of the proxy's
// answer, or 0 when there was none (pFailure says why). *pHead is the
// answer's head.
int AskForTunnel(VEXSOCK& channel, const char* pszHost, uint16_t port, const std::string& authorization,
                 ProxyFailure* pFailure, proxy::CProxyChallenges* pChallenges, std::string* pHead)
{
    const std::string request = proxy::BuildConnectRequest(pszHost ? pszHost : "", port, authorization);
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
    std::string& head = *pHead;
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

// Reads and drops the body of a 407 so that the next leg of a sign-on can
// follow on the same connection, as NTLM and Negotiate need. False when the
// connection can carry no further request: the proxy said it closes it, or
// the body has no length to read it by.
bool DiscardAnswerBody(VEXSOCK& channel, const std::string& head)
{
    if (proxy::AnswerClosesConnection(head))
        return false;
    http::CResponseHeaders headers;
    for (size_t at = head.find('\n'); at != std::string::npos && at + 1 < head.size();)
    {
        const size_t end = head.find('\n', at + 1);
        std::string line = head.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && !headers.AddLine(line.c_str()))
            return false;
        at = end;
    }
    if (!headers.HasContentLength() || headers.IsChunked() || headers.ContentLength() > kMaxDiscardedBody)
        return false;
    char block[1024];
    for (uint64_t cbLeft = headers.ContentLength(); cbLeft > 0;)
    {
        const int cb = channel.Receive(block, static_cast<int>(cbLeft < sizeof(block) ? cbLeft : sizeof(block)), 0);
        if (cb <= 0)
            return false;
        cbLeft -= static_cast<uint64_t>(cb);
    }
    return true;
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
    CProxySignOn signOn(route);
    bool bConnected = false;
    // The connection of the last 407 carries the next leg of a sign-on.
    bool bKept = false;
    for (;;)
    {
        *pFailure = ProxyFailure();
        if (!bConnected && !ConnectToHttpProxy(channel, route, pFailure))
            break;
        bConnected = true;
        proxy::CProxyChallenges challenges;
        std::string head;
        const int status = AskForTunnel(channel, pszHost, port, signOn.Authorization(), pFailure, &challenges, &head);
        if (bKept && status == 0)
        {
            // The proxy closed the connection it had kept: the same request
            // goes once more, on a new one.
            channel.LogFormat("OpenHttpTunnel() the proxy closed the connection: the request goes again on a "
                              "new one\n");
            channel.Close();
            bConnected = bKept = false;
            continue;
        }
        bKept = false;
        channel.LogFormat("OpenHttpTunnel( %s, %u ) through %s:%u: %.200s\n", pszHost ? pszHost : "", port,
                          route.host.c_str(), route.port,
                          status ? pFailure->answer.c_str() : "no answer");
        if (status >= 200 && status <= 299)
        {
            signOn.Finish(challenges);
            if (!signOn.Note().empty())
                channel.LogFormat("OpenHttpTunnel() sign-on: %s\n", signOn.Note().c_str());
            *pFailure = ProxyFailure();
            return true;
        }
        if (status == 0)
            break;
        long lDetail = status;
        const bool bAgain = status == 407 && signOn.Answer(challenges, &lDetail);
        if (!signOn.Note().empty())
            channel.LogFormat("OpenHttpTunnel() sign-on: %s\n", signOn.Note().c_str());
        if (bAgain)
        {
            bKept = DiscardAnswerBody(channel, head);
            if (!bKept)
            {
                channel.LogFormat("OpenHttpTunnel() the proxy closes the connection: the next request goes on a "
                                  "new one\n");
                channel.Close();
                bConnected = false;
            }
            continue;
        }
        // Only the proxy answers a CONNECT: a 401 to credentials (tinyproxy
        // answers so) refuses them as a second 407 would.
        if (status == 401 && route.bSendCredentials)
            lDetail = VEXDET_PROXY_AUTH_REFUSED;
        Fail(pFailure, VEXERR_PROXY, lDetail);
        pFailure->securityStatus = signOn.SecurityStatus();
        break;
    }
    channel.Close();
    return false;
}
