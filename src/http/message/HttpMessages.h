// HTTP/1.0 request building and reading of status and header lines. No
// sockets and no platform headers, so these also build natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace http {

// Request buffer: the whole request must fit, terminator included.
constexpr size_t kRequestSize = 1024;

// Formats the GET request:
//
//   GET <path> HTTP/1.0 CR LF
//   Host: <host>[:<port> unless 80] CR LF
//   Referer: <referer> CR LF
//   User-Agent: <agent> CR LF
//   [Proxy-Authorization: <proxy auth> CR LF]   when not null and not empty
//   CR LF
//
// Returns its length, or 0 when it does not fit or a field holds a line
// break (which would let a caller's text forge headers).
size_t BuildGetRequest(char* buf, size_t cap, const char* pszPath, const char* pszHost, uint16_t port,
                       const char* pszReferer, const char* pszUserAgent, const char* pszProxyAuthorization = nullptr);

// A request path for a host's text that the system code page cannot hold,
// as FetchURL sends a path: its UTF-8 form with every byte that cannot stand
// in a request target percent-encoded (upper-case hex): bytes above 0x7F,
// controls, space and "<>\^`{|}; '%' and the others as they are. Converted
// to the code page it would go out with question marks and name another
// file.
std::string EscapeRequestPath(const std::string& utf8);

// A request as the trace log may show it: the value of a Proxy-Authorization
// field, which carries a password, replaced by "{credentials}".
std::string WithoutCredentials(const std::string& request);

// The line starts with "HTTP/1." (case-sensitive).
bool IsStatusLine(const char* pszLine);

// Status code of a status line: the decimal number at index 9 (blanks
// skipped, optional sign, clamped to int range); 0 when there is none, -1
// for a null line.
long ParseStatusCode(const char* pszLine);

// Looks for "Content-Length: " (case-sensitive, exactly one space) anywhere
// in a header line; when found, stores the number after it and returns true.
bool FindContentLength(const char* pszLine, uint64_t* pLength);

} // namespace http
