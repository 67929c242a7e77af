#include "TunnelMessages.h"

#include "Ascii.h"
#include "HostSyntax.h"
#include "Http11Messages.h"

namespace proxy {
namespace {

// The bytes of a host name or an address literal: only what keeps the
// request line whole, since the host was checked where it was read.
bool IsHostByte(char c)
{
    return hostsyntax::IsLabelByte(c) || c == '.';
}

} // namespace

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

bool AnswerClosesConnection(const std::string& head)
{
    bool bClose = !ascii::StartsWithNoCase(head, "http/1.1");
    for (size_t at = head.find('\n'); at != std::string::npos; at = head.find('\n', at + 1))
    {
        const std::string line = head.substr(at + 1, head.find('\n', at + 1) - at - 1);
        if (http::FieldClosesConnection(line))
            return true;
        // An HTTP/1.0 proxy keeps the connection only when it says so.
        if ((ascii::StartsWithNoCase(line, "connection:") || ascii::StartsWithNoCase(line, "proxy-connection:")) &&
            ascii::ToLower(line).find("keep-alive") != std::string::npos)
            bClose = false;
    }
    return bClose;
}

} // namespace proxy
