#include "HttpMessages.h"

#include "HostSyntax.h"
#include "LeadingDigits.h"

#include <climits>
#include <cstdio>
#include <cstring>

namespace http {
namespace {

bool HasLineBreak(const char* psz)
{
    return psz && std::strpbrk(psz, "\r\n") != nullptr;
}

// Decimal number at p: blanks skipped, optional sign, clamped to max.
long long LeadingNumber(const char* p, long long max)
{
    while (*p == ' ' || *p == '\t')
        ++p;
    bool bNegative = false;
    if (*p == '+' || *p == '-')
        bNegative = *p++ == '-';
    const auto value = static_cast<long long>(LeadingDigits(p, static_cast<uint64_t>(max)));
    return bNegative ? -value : value;
}

} // namespace

size_t BuildGetRequest(char* buf, size_t cap, const char* pszPath, const char* pszHost, uint16_t port,
                       const char* pszReferer, const char* pszUserAgent, const char* pszProxyAuthorization)
{
    if (HasLineBreak(pszPath) || HasLineBreak(pszHost) || HasLineBreak(pszReferer) || HasLineBreak(pszUserAgent) ||
        HasLineBreak(pszProxyAuthorization))
        return 0;
    const bool bProxyAuthorization = pszProxyAuthorization && *pszProxyAuthorization;
    char portSuffix[8] = "";
    if (port != 80)
        std::snprintf(portSuffix, sizeof(portSuffix), ":%u", port);
    // An IPv6 literal goes in brackets, as in a URL.
    const std::string host = hostsyntax::AuthorityHost(pszHost ? pszHost : "");
    const int cch = std::snprintf(buf, cap,
                                  "GET %s HTTP/1.0\r\n"
                                  "Host: %s%s\r\n"
                                  "Referer: %s\r\n"
                                  "User-Agent: %s\r\n"
                                  "%s%s%s"
                                  "\r\n",
                                  pszPath ? pszPath : "", host.c_str(), portSuffix,
                                  pszReferer ? pszReferer : "", pszUserAgent ? pszUserAgent : "",
                                  bProxyAuthorization ? "Proxy-Authorization: " : "",
                                  bProxyAuthorization ? pszProxyAuthorization : "", bProxyAuthorization ? "\r\n" : "");
    if (cch < 0 || static_cast<size_t>(cch) >= cap)
        return 0;
    return static_cast<size_t>(cch);
}

std::string WithoutCredentials(const std::string& request)
{
    static const char kField[] = "\r\nProxy-Authorization: ";
    const size_t field = request.find(kField);
    if (field == std::string::npos)
        return request;
    const size_t value = field + sizeof(kField) - 1;
    const size_t end = request.find("\r\n", value);
    return request.substr(0, value) + "{credentials}" + (end == std::string::npos ? "" : request.substr(end));
}

bool IsStatusLine(const char* pszLine)
{
    return pszLine && std::strncmp(pszLine, "HTTP/1.", 7) == 0;
}

long ParseStatusCode(const char* pszLine)
{
    if (!pszLine)
        return -1;
    if (std::strlen(pszLine) < 9)
        return 0;
    return static_cast<long>(LeadingNumber(pszLine + 9, INT_MAX));
}

bool FindContentLength(const char* pszLine, uint64_t* pLength)
{
    static const char kHeader[] = "Content-Length: ";
    const char* p = std::strstr(pszLine, kHeader);
    if (!p)
        return false;
    const long long value = LeadingNumber(p + sizeof(kHeader) - 1, LLONG_MAX);
    // A negative length can never be met, so a transfer that announces one
    // never counts as complete.
    *pLength = value < 0 ? UINT64_MAX : static_cast<uint64_t>(value);
    return true;
}

std::string EscapeRequestPath(const std::string& utf8)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string escaped;
    escaped.reserve(utf8.size());
    for (char c : utf8)
    {
        const auto byte = static_cast<unsigned char>(c);
        if (byte > 0x20 && byte < 0x7F && !std::strchr("\"<>\\^`{|}", c))
        {
            escaped += c;
            continue;
        }
        escaped += '%';
        escaped += kHex[byte >> 4];
        escaped += kHex[byte & 15];
    }
    return escaped;
}

} // namespace http
