// CVexHTTP11: one HTTP/1.1 GET of one URL into a local file, directly or
// through a SOCKS proxy, over TLS for https. One request per connection
// (Connection: close), except the legs of a sign-on at a proxy or at the
// server; the body is framed by its length, by chunked coding or by the
// server's close. A redirect is handed back to the caller, who decides
// whether and where to follow it.
#pragma once

#include "HeadBuffer.h"
#include "HttpStream.h"
#include "HttpProxyRoute.h"
#include "ProxyChallenges.h"
#include "TlsChannel.h"
#include "VexSock.h"

#include <cstdint>
#include <memory>
#include <string>

namespace http {
class CBodyFraming;
class CResponseHeaders;
struct Get11Request;
}

class CLocalFile;

class CVexHTTP11 : public VEXSOCK
{
public:
    struct Reply
    {
        int status = 0;
        std::string reason;   // the server's reason phrase, as sent (bounded)
        std::string location; // of a redirect
        // What a proxy's 407 and a server's 401 (or a final answer's
        // mutual authentication) offer, and whether the connection can
        // carry the next request (asked for with bKeepAlive; the 401's or
        // 407's body was read).
        proxy::CProxyChallenges proxyChallenges;
        proxy::CProxyChallenges serverChallenges = proxy::CProxyChallenges("www-authenticate");
        bool bConnectionKept = false;
    };

    CVexHTTP11();
    ~CVexHTTP11();

    bool Connect(const char* pszHost, uint16_t port);
    bool ConnectSocks(const char* pszHost, uint16_t port, const SocksEndpoint& socks);
    // To an HTTP proxy, for a request in absolute form.
    bool ConnectHttpProxy(const HttpProxyRoute& route);
    // Through an HTTP proxy's tunnel to the server (for TLS).
    bool ConnectHttpTunnel(HttpProxyRoute& route, const char* pszHost, uint16_t port);
    // TLS on the connection, the certificate checked for pszServerName.
    bool StartTls(const char* pszServerName);

    // Sends the request and reads the response. True for status 200 with the
    // whole body in pwszLocal, and for a redirect (301, 302, 303, 307, 308;
    // nothing written, the Location in the reply). False for anything else,
    // with the pair set and the status, when there was one, in the reply.
    bool Get(const http::Get11Request& request, const wchar_t* pwszLocal, Reply* pReply);
    void Disconnect();

    static bool IsRedirect(int status);

    long GetLastError() const { return m_lLastError; }
    long GetLastErrorEx() const { return m_lLastErrorEx; }

    // Hides the channel's pair: the client's own record of its last failure.
    long m_lLastError = 0;
    long m_lLastErrorEx = 0;
    // The proxy's status line when a tunnel was refused, and the security
    // package's status when a Windows sign-on there failed.
    std::string m_proxyAnswer;
    uint32_t m_proxySecurityStatus = 0;

private:
    void SetError(long lError, long lErrorEx)
    {
        m_lLastError = lError;
        m_lLastErrorEx = lErrorEx;
    }
    void CopyStreamError() { SetError(m_stream.LastError(), m_stream.LastErrorEx()); }
    bool EnsureCreated();
    // The socket, then the connection, directly or through SOCKS; a failure
    // is recorded as VEXSOCK::OpenTo leaves it.
    bool Open(const char* pszHost, uint16_t port, const SocksEndpoint* pSocks);
    // The next line of the head; false (pair set) when none can come.
    bool NextLine(std::string* pLine);
    bool ReadStatus(Reply* pReply);
    // The header fields up to the empty line; the challenges into pReply,
    // *pbCloses set when the peer closes the connection after this answer.
    bool ReadHeaders(http::CResponseHeaders* pHeaders, Reply* pReply, bool* pbCloses);
    // Reads and drops the body of a 401 or 407 (by its length, up to
    // kMaxDroppedBody) so that the connection can carry the next leg of a
    // sign-on; false when it cannot.
    bool DropChallengeBody(const http::CResponseHeaders& headers);
    bool ReceiveBody(const http::CResponseHeaders& headers, const wchar_t* pwszLocal);
    // Moves the body into file through pBlock (kTransferBlockSize bytes);
    // returns the bytes written, a failure recorded in the pair.
    uint64_t CopyBody(http::CBodyFraming& framing, CLocalFile& file, char* pBlock);
    // A body that ended with the connection: cut unless its framing allows
    // that and, over TLS, the server sent close_notify.
    void CheckEndAtClose(const http::CBodyFraming& framing);

    bool m_bCreated = false;
    std::unique_ptr<CTlsChannel> m_pTls;
    CHttpStream m_stream;
    http::CHeadBuffer m_head;
};
