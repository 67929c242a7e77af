// HTTP/1.1 as FetchURL speaks it: the GET request, the status line and the
// header fields that decide how the body is framed and where a redirect
// goes. Everything read here comes from the server, so it is bounded and a
// doubtful framing is refused rather than guessed. No sockets and no
// platform headers, so these also build natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace http {

// The fields of one GET, named so that the two credentials cannot trade
// places on the way to BuildGet11Request.
struct Get11Request
{
    const char* pszTarget = nullptr;
    const char* pszHostHeader = nullptr;
    const char* pszUserAgent = nullptr;
    const char* pszAuthorization = nullptr;      // for the server
    const char* pszProxyAuthorization = nullptr; // for an HTTP proxy, absolute-form requests only
    // The connection stays for the next leg of a sign-on (NTLM and
    // Negotiate tie their legs to one connection).
    bool bKeepAlive = false;
};

// Formats the request:
//
//   GET <target> HTTP/1.1 CR LF
//   Host: <host header> CR LF
//   User-Agent: <agent> CR LF
//   [Authorization: <authorization> CR LF]    when not null and not empty
//   [Proxy-Authorization: <proxy auth> CR LF] when not null and not empty
//   Connection: close CR LF                   one request per connection; with
//                                             bKeepAlive none (HTTP/1.1 keeps
//                                             it), or for an absolute target:
//   Proxy-Connection: keep-alive CR LF        (a proxy's request)
//   Accept-Encoding: identity CR LF           the engine decodes no gzip
//   CR LF
//
// The target is written as given (a path, or an absolute URL for a proxy).
// Returns the length (the terminator, also written, not counted), or 0 when
// it does not fit, the target or host is empty, the target holds a space or
// control byte (which would split the request line) or a field holds a line
// break (which would let a caller's or a URL's text forge headers). A null
// agent is written empty.
size_t BuildGet11Request(char* buf, size_t cap, const char* pszTarget, const char* pszHostHeader,
                         const char* pszUserAgent, const char* pszAuthorization,
                         const char* pszProxyAuthorization = nullptr, bool bKeepAlive = false);

// Whether a header line is a Connection or Proxy-Connection field that
// names "close": the peer closes the connection after this message.
bool FieldClosesConnection(const std::string& line);

// The Host header's value: the host, and ":port" unless the port is the
// scheme's default.
std::string HostHeader(const std::string& host, uint16_t port, uint16_t defaultPort);

// "HTTP/1.<digit> SP <3 digits> [SP <reason>]", the code 100 to 599 (a
// first digit outside 1-5 names no class the client could act on). On
// success stores the code and, when ppReason is not null, where the reason
// starts in line (an empty string when there is none). False for anything
// else, with nothing stored.
bool ParseStatusLine11(const char* pszLine, int* pStatus, const char** ppReason);

// The header fields of one response, fed one line at a time (without its
// line end) up to the empty line that ends them. How the caller frames the
// body:
//   - UnsupportedEncoding() or Conflicting(): the response is unusable;
//   - IsChunked(): a chunked body (any Content-Length is ignored);
//   - HasContentLength(): exactly ContentLength() bytes;
//   - otherwise: the body runs until the server closes.
class CResponseHeaders
{
public:
    static constexpr size_t kMaxLines = 100;
    static constexpr size_t kMaxLineLength = 8192;

    // False for a line that is no header field: no colon, an empty name or
    // one with other bytes than a token's (spaces included), a control
    // byte other than tab in the value, a continuation line (starting with
    // a space or tab, which servers no longer send and readers disagree
    // on), a line longer than kMaxLineLength, or any line after kMaxLines.
    bool AddLine(const char* pszLine);

    size_t LineCount() const { return m_nLines; }

    // One length, however often repeated, and no Conflicting().
    bool HasContentLength() const { return m_bHasContentLength && !m_bConflicting; }
    uint64_t ContentLength() const { return HasContentLength() ? m_cbContentLength : 0; }
    // Content-Length fields that disagree, hold an empty element or other
    // bytes than digits, or exceed 2^63 - 1: a body that two readers would
    // cut at different places.
    bool Conflicting() const { return m_bConflicting; }

    // The last transfer coding is "chunked".
    bool IsChunked() const { return m_bLastChunked; }
    // A Transfer-Encoding other than "chunked" alone: the body is not
    // framed the way this client reads, or is coded in a way it cannot undo.
    bool UnsupportedEncoding() const { return m_bHasTransferEncoding && !(m_nCodings == 1 && m_bLastChunked); }

    // The Location field, white space trimmed; empty when there is none.
    const std::string& Location() const { return m_location; }
    // A Location longer than url::kMaxUrlLength, or several that differ:
    // the redirect must fail rather than follow a cut or chosen one.
    bool LocationRefused() const { return m_bLocationRefused; }

private:
    void AddContentLength(const char* pValue, size_t cchValue);
    void AddTransferEncoding(const char* pValue, size_t cchValue);
    void AddLocation(const char* pValue, size_t cchValue);

    size_t m_nLines = 0;
    bool m_bHasContentLength = false;
    uint64_t m_cbContentLength = 0;
    bool m_bConflicting = false;
    bool m_bHasTransferEncoding = false;
    size_t m_nCodings = 0;
    bool m_bLastChunked = false;
    bool m_bHasLocation = false;
    bool m_bLocationRefused = false;
    std::string m_location;
};

} // namespace http
