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

    const char* pColon = static_cast<const char*>(std::memchr(pszText, ':', cch));
    const size_t cchHost = pColon ? static_cast<size_t>(pColon - pszText) : cch;
    uint16_t port = kDefaultProbePort;
    if (pColon && !hostsyntax::ParsePort(std::string_view(pColon + 1, cch - cchHost - 1), &port))
        return false;
    const std::string_view host(pszText, cchHost);
    if (cchHost > kMaxProbeHostLength || (!hostsyntax::IsIPv4Literal(host) && !hostsyntax::IsHostName(host)))
        return false;

    std::memcpy(m_szHost, pszText, cchHost);
    m_szHost[cchHost] = '\0';
    m_nPort = port;
    return true;
}
