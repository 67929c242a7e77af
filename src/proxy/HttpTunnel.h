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
    // The security package's status when a Windows sign-on failed.
    uint32_t securityStatus = 0;
};

// Opens channel's connection to the proxy. The channel is created anew.
bool ConnectToHttpProxy(VEXSOCK& channel, const HttpProxyRoute& route, ProxyFailure* pFailure);

// Opens a tunnel to host:port through the proxy: CONNECT, answered with
// 2xx. A 407 is answered as CProxySignOn decides: Negotiate or NTLM, each
// leg on the connection of the 407 it answers (a new one when the proxy
// closes it), or Basic with the route's credentials. No byte past the
// proxy's final answer is read, so the server's first words (an FTP
// greeting) stay on the channel.
bool OpenHttpTunnel(VEXSOCK& channel, HttpProxyRoute& route, const char* pszHost, uint16_t port,
                    ProxyFailure* pFailure);
