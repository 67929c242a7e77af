#include "Http11Messages.h"

#include "Ascii.h"
#include "HostSyntax.h"
#include "Url.h"

#include <cstring>

namespace http {
namespace {

using ascii::EqualsNoCase;
using ascii::IsControl;
using ascii::IsDigit;
using ascii::IsLetter;

bool IsWhite(char c)
{
    return c == ' ' || c == '\t';
}

bool HasLineBreak(const char* psz)
{
    return std::strpbrk(psz, "\r\n") != nullptr;
}

// Bytes of a field name (a token).
bool IsTokenByte(char c)
{
    return IsLetter(c) || IsDigit(c) || (c != '\0' && std::strchr("!#$%&'*+-.^_`|~", c) != nullptr);
}

// Appends text to a bounded buffer; remembers when it did not fit.
class CRequestWriter
{
public:
    CRequestWriter(char* buf, size_t cap) : m_buf(buf), m_cap(cap) {}

    void Append(const char* psz)
    {
        const size_t cch = std::strlen(psz);
        if (m_bOverflow || cch >= m_cap - m_cch)
        {
            m_bOverflow = true;
            return;
        }
        std::memcpy(m_buf + m_cch, psz, cch);
        m_cch += cch;
        m_buf[m_cch] = '\0';
    }

    // The length, 0 when something did not fit with its terminator.
    size_t Finish() const { return m_bOverflow ? 0 : m_cch; }

private:
    char* m_buf;
    size_t m_cap;
    size_t m_cch = 0;
    bool m_bOverflow = false;
};

// Calls visit(p, cch) for each element of a comma-separated list, white
// space around it trimmed (empty elements included).
template <typename Visit>
void ForEachElement(const char* pValue, size_t cchValue, Visit visit)
{
    size_t start = 0;
    for (size_t i = 0; i <= cchValue; ++i)
    {
        if (i < cchValue && pValue[i] != ',')
            continue;
        size_t first = start;
        size_t last = i;
        while (first < last && IsWhite(pValue[first]))
            ++first;
        while (last > first && IsWhite(pValue[last - 1]))
            --last;
        visit(pValue + first, last - first);
        start = i + 1;
    }
}

} // namespace

size_t BuildGet11Request(char* buf, size_t cap, const char* pszTarget, const char* pszHostHeader,
                         const char* pszUserAgent, const char* pszAuthorization, const char* pszProxyAuthorization,
                         bool bKeepAlive)
{
    if (!buf || cap == 0 || !pszTarget || !*pszTarget || !pszHostHeader || !*pszHostHeader)
        return 0;
    for (const char* p = pszTarget; *p; ++p)
    {
        if (*p == ' ' || IsControl(*p))
            return 0;
    }
    const char* pszAgent = pszUserAgent ? pszUserAgent : "";
    const bool bAuthorization = pszAuthorization && *pszAuthorization;
    const bool bProxyAuthorization = pszProxyAuthorization && *pszProxyAuthorization;
    if (HasLineBreak(pszHostHeader) || HasLineBreak(pszAgent) || (bAuthorization && HasLineBreak(pszAuthorization)) ||
        (bProxyAuthorization && HasLineBreak(pszProxyAuthorization)))
        return 0;

    buf[0] = '\0';
    CRequestWriter writer(buf, cap);
    writer.Append("GET ");
    writer.Append(pszTarget);
    writer.Append(" HTTP/1.1\r\nHost: ");
    writer.Append(pszHostHeader);
    writer.Append("\r\nUser-Agent: ");
    writer.Append(pszAgent);
    if (bAuthorization)
    {
        writer.Append("\r\nAuthorization: ");
        writer.Append(pszAuthorization);
    }
    if (bProxyAuthorization)
    {
        writer.Append("\r\nProxy-Authorization: ");
        writer.Append(pszProxyAuthorization);
    }
    if (!bKeepAlive)
        writer.Append("\r\nConnection: close");
    else if (std::strncmp(pszTarget, "http://", 7) == 0)
        writer.Append("\r\nProxy-Connection: keep-alive");
    writer.Append("\r\nAccept-Encoding: identity\r\n\r\n");
    return writer.Finish();
}

bool FieldClosesConnection(const std::string& line)
{
    if (!ascii::StartsWithNoCase(line, "connection:") && !ascii::StartsWithNoCase(line, "proxy-connection:"))
        return false;
    return ascii::ToLower(line.substr(line.find(':') + 1)).find("close") != std::string::npos;
}

std::string HostHeader(const std::string& host, uint16_t port, uint16_t defaultPort)
{
    return port == defaultPort ? hostsyntax::AuthorityHost(host) : hostsyntax::HostPort(host, port);
}

bool ParseStatusLine11(const char* pszLine, int* pStatus, const char** ppReason)
{
    if (!pszLine || !pStatus || std::strncmp(pszLine, "HTTP/1.", 7) != 0 || !IsDigit(pszLine[7]) ||
        pszLine[8] != ' ')
        return false;
    const char* pCode = pszLine + 9;
    if (!IsDigit(pCode[0]) || !IsDigit(pCode[1]) || !IsDigit(pCode[2]) || (pCode[3] != '\0' && pCode[3] != ' '))
        return false;
    const int status = (pCode[0] - '0') * 100 + (pCode[1] - '0') * 10 + (pCode[2] - '0');
    if (status < 100 || status > 599)
        return false;
    *pStatus = status;
    if (ppReason)
        *ppReason = pCode[3] == ' ' ? pCode + 4 : pCode + 3;
    return true;
}

bool CResponseHeaders::AddLine(const char* pszLine)
{
    if (!pszLine || ++m_nLines > kMaxLines)
        return false;
    size_t cch = 0;
    while (pszLine[cch])
    {
        if (++cch > kMaxLineLength)
            return false;
    }
    const char* pColon = static_cast<const char*>(std::memchr(pszLine, ':', cch));
    if (!pColon || pColon == pszLine)
        return false;
    for (const char* p = pszLine; p < pColon; ++p)
    {
        if (!IsTokenByte(*p))
            return false;
    }
    const char* pValue = pColon + 1;
    const char* pEnd = pszLine + cch;
    for (const char* p = pValue; p < pEnd; ++p)
    {
        if (IsControl(*p) && *p != '\t')
            return false;
    }
    while (pValue < pEnd && IsWhite(*pValue))
        ++pValue;
    while (pEnd > pValue && IsWhite(pEnd[-1]))
        --pEnd;

    const size_t cchName = static_cast<size_t>(pColon - pszLine);
    const size_t cchValue = static_cast<size_t>(pEnd - pValue);
    if (EqualsNoCase({pszLine, cchName}, "content-length"))
        AddContentLength(pValue, cchValue);
    else if (EqualsNoCase({pszLine, cchName}, "transfer-encoding"))
        AddTransferEncoding(pValue, cchValue);
    else if (EqualsNoCase({pszLine, cchName}, "location"))
        AddLocation(pValue, cchValue);
    return true;
}

void CResponseHeaders::AddContentLength(const char* pValue, size_t cchValue)
{
    constexpr uint64_t kMaxLength = 0x7fffffffffffffffULL;
    ForEachElement(pValue, cchValue, [this](const char* p, size_t cch) {
        uint64_t length = 0;
        bool bValid = cch > 0;
        for (size_t i = 0; bValid && i < cch; ++i)
        {
            bValid = IsDigit(p[i]);
            const uint64_t digit = bValid ? static_cast<uint64_t>(p[i] - '0') : 0;
            bValid = bValid && length <= (kMaxLength - digit) / 10;
            if (bValid)
                length = length * 10 + digit;
        }
        if (!bValid || (m_bHasContentLength && length != m_cbContentLength))
            m_bConflicting = true;
        m_bHasContentLength = true;
        m_cbContentLength = length;
    });
}

void CResponseHeaders::AddTransferEncoding(const char* pValue, size_t cchValue)
{
    m_bHasTransferEncoding = true;
    ForEachElement(pValue, cchValue, [this](const char* p, size_t cch) {
        // An empty element is no coding; a list may hold them.
        if (cch == 0)
            return;
        ++m_nCodings;
        m_bLastChunked = EqualsNoCase({p, cch}, "chunked");
    });
}

void CResponseHeaders::AddLocation(const char* pValue, size_t cchValue)
{
    const bool bDiffers = m_bHasLocation && m_location.compare(0, std::string::npos, pValue, cchValue) != 0;
    m_bHasLocation = true;
    if (m_bLocationRefused || bDiffers || cchValue > url::kMaxUrlLength)
    {
        m_bLocationRefused = true;
        m_location.clear();
        return;
    }
    m_location.assign(pValue, cchValue);
}

} // namespace http
