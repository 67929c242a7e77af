// A response header line as the trace log may show it. Traces are sent to
// support and attached to tickets; what a server hands a client to prove who
// it is must not travel with them:
//
//   Set-Cookie: id=4711; Path=/        ->  Set-Cookie: {value}
//   Cookie: id=4711                    ->  Cookie: {value}
//   Location: http://u:pw@host/path    ->  Location: http://{user info}@host/path
//
// Names compare without case; a line's end (CR LF) stays; every other line
// is shown as it came. No platform header.
#pragma once

#include <string>

namespace http {

std::string HeaderLineForTrace(const std::string& line);

} // namespace http
