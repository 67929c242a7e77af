// A connection through an HTTP proxy: to the proxy itself, for requests in
// absolute form, or through a CONNECT tunnel to a server, for TLS and FTP.
// Failures at the proxy are VEXERR_PROXY with a detail that names them:
// a Windows Sockets code when the proxy could not be reached, the proxy's
// HTTP status when it refused the tunnel, or a VEXDET_PROXY_* code.
#pragma once

#include "HttpProxyRoute.h"
#include "VexSock.h"

#include <cstdint>
#include <string>

struct ProxyFailure
{
    long lError = 0;
    long lErrorEx = 0;
    // The proxy's status line, as it sent it, when it answered at all.
    std::string answer;
};

// Opens channel's connection to the proxy. The channel is created anew.
bool ConnectToHttpProxy(VEXSOCK& channel, const HttpProxyRoute& route, ProxyFailure* pFailure);

// Opens a tunnel to host:port through the proxy: CONNECT, answered with
// 2xx. A 407 that offers Basic is answered once more with credentials when
// the route has them. No byte past the proxy's answer is read, so the server's first
// words (an FTP greeting) stay on the channel.
bool OpenHttpTunnel(VEXSOCK& channel, HttpProxyRoute& route, const char* pszHost, uint16_t port,
                    ProxyFailure* pFailure);
