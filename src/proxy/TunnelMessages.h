// What the engine says to an HTTP proxy and reads back from it: the CONNECT
// request that opens a tunnel, the absolute-form request target of a plain
// http request, and where the proxy's answer head ends. No platform header,
// so this also builds natively.
#pragma once

#include "ProxyChallenges.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace proxy {

// Largest answer head taken from a proxy; a longer one is no answer to use.
constexpr size_t kMaxAnswerHead = 8192;

// Formats:
//
//   CONNECT <host>:<port> HTTP/1.1 CR LF
//   Host: <host>:<port> CR LF
//   [Proxy-Authorization: <authorization> CR LF]    when not empty
//   CR LF
//
// Empty when the host is empty or holds a byte that is no host name's
// (which would split the request line or forge a header), or when the
// authorization holds a line break.
std::string BuildConnectRequest(const std::string& host, uint16_t port, const std::string& proxyAuthorization);

// "http://host[:port]" and the path: the form of the request target that a
// proxy needs to know where a plain http request goes. The port is left out
// when it is 80; a '/' is put before a path that lacks one.
std::string AbsoluteHttpTarget(const std::string& host, uint16_t port, const std::string& path);

// Where the head in text ends: the offset just after its empty line (CR LF
// CR LF, or bare LF line ends), searched from offset from (so that a caller
// adding data need not search again from the start); npos when the empty
// line has not come yet.
size_t HeadEnd(const std::string& text, size_t from);

// Whether the proxy closes the connection after this answer head: an
// HTTP/1.0 answer without "keep-alive", or a Connection or
// Proxy-Connection field naming "close".
bool AnswerClosesConnection(const std::string& head);

} // namespace proxy
