#include "TunnelMessages.h"

#include "Ascii.h"
#include "HostSyntax.h"

namespace proxy {
namespace {

// The bytes of a host name or an address literal: only what keeps the
// request line whole, since the host was checked where it was read.
bool IsHostByte(char c)
{
    return hostsyntax::IsLabelByte(c) || c == '.';
}

// White space, and the line end of a line read with it.
bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

} // namespace

void CProxyChallenges::AddLine(const std::string& line)
{
    static const char kField[] = "proxy-authenticate:";
    if (!ascii::StartsWithNoCase(line, kField))
        return;
    // Challenges and their parameters share one comma-separated list: an
    // element that starts with "name=" continues the challenge before it,
    // any other starts a challenge with its scheme. Commas inside quoted
    // strings separate nothing.
    size_t start = sizeof(kField) - 1;
    bool bQuoted = false;
    for (size_t i = start; i <= line.size(); ++i)
    {
        if (i < line.size())
        {
            if (line[i] == '"')
                bQuoted = !bQuoted;
            if (bQuoted || line[i] != ',')
                continue;
        }
        size_t first = start;
        while (first < i && IsBlank(line[first]))
            ++first;
        size_t last = first;
        while (last < i && !IsBlank(line[last]) && line[last] != '=')
            ++last;
        if (last > first && (last == i || line[last] != '='))
        {
            if (ascii::EqualsNoCase(std::string_view(line).substr(first, last - first), "basic"))
                m_bBasic = true;
            else
                m_bOther = true;
        }
        start = i + 1;
    }
}

std::string BuildConnectRequest(const std::string& host, uint16_t port, const std::string& proxyAuthorization)
{
    if (host.empty() || proxyAuthorization.find_first_of("\r\n") != std::string::npos)
        return std::string();
    for (const char c : host)
    {
        if (!IsHostByte(c) && !hostsyntax::IsIPv6Literal(host))
            return std::string();
    }
    const std::string authority = hostsyntax::HostPort(host, port);
    std::string request = "CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority + "\r\n";
    if (!proxyAuthorization.empty())
        request += "Proxy-Authorization: " + proxyAuthorization + "\r\n";
    return request + "\r\n";
}

std::string AbsoluteHttpTarget(const std::string& host, uint16_t port, const std::string& path)
{
    std::string target = "http://" + hostsyntax::AuthorityHost(host);
    if (port != 80)
        target += ":" + std::to_string(port);
    if (path.empty() || path.front() != '/')
        target += '/';
    return target + path;
}

size_t HeadEnd(const std::string& text, size_t from)
{
    // A line end is LF, optionally after CR; the head ends at a line end
    // followed by an empty line.
    for (size_t i = from; i < text.size(); ++i)
    {
        if (text[i] != '\n' || i == 0)
            continue;
        if (text[i - 1] == '\n')
            return i + 1;
        if (text[i - 1] == '\r' && i >= 2 && text[i - 2] == '\n')
            return i + 1;
    }
    return std::string::npos;
}

} // namespace proxy
