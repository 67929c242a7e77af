#include "ProbeTarget.h"

#include "HostSyntax.h"

#include <cstring>

namespace {

constexpr size_t kMaxPortDigits = 5;
constexpr size_t kMaxTextLength = kMaxProbeHostLength + 1 + kMaxPortDigits;

} // namespace

void CProbeTarget::Reset()
{
    static_assert(sizeof(kDefaultProbeHost) <= sizeof(m_szHost), "default host fits");
    std::memcpy(m_szHost, kDefaultProbeHost, sizeof(kDefaultProbeHost));
    m_nPort = kDefaultProbePort;
    m_bDefault = true;
}

bool CProbeTarget::Parse(const char* pszText)
{
    Reset();
    if (!pszText)
        return false;
    // Look no further than the longest acceptable text.
    size_t cch = 0;
    while (cch <= kMaxTextLength && pszText[cch])
        ++cch;
    if (cch > kMaxTextLength)
        return false;

    std::string_view host, portText;
    bool bHasPort = false;
    uint16_t port = kDefaultProbePort;
    if (!hostsyntax::SplitHostPort(std::string_view(pszText, cch), &host, &portText, &bHasPort) ||
        (bHasPort && !hostsyntax::ParsePort(portText, &port)))
        return false;
    if (host.size() > kMaxProbeHostLength ||
        (!hostsyntax::IsIPv4Literal(host) && !hostsyntax::IsIPv6Literal(host) && !hostsyntax::IsHostName(host)))
        return false;

    std::memcpy(m_szHost, host.data(), host.size());
    m_szHost[host.size()] = '\0';
    m_bDefault = false;
    m_nPort = port;
    return true;
}
