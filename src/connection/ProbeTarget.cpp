#include "ProbeTarget.h"

#include <cstring>

namespace {

constexpr size_t kMaxLabelLength = 63;
constexpr size_t kMaxPortDigits = 5;
constexpr size_t kMaxTextLength = kMaxProbeHostLength + 1 + kMaxPortDigits;

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// One number of a dotted address: 0 to 255, without leading zeros, which
// the platform's address parser would read as octal.
bool IsOctet(const char* p, size_t cch)
{
    if (cch == 0 || cch > 3 || (cch > 1 && p[0] == '0'))
        return false;
    unsigned value = 0;
    for (size_t i = 0; i < cch; ++i)
    {
        if (!IsDigit(p[i]))
            return false;
        value = value * 10 + static_cast<unsigned>(p[i] - '0');
    }
    return value <= 255;
}

// Four decimal numbers separated by dots.
bool IsDottedQuad(const char* p, size_t cch)
{
    unsigned octets = 0;
    size_t start = 0;
    for (size_t i = 0; i <= cch; ++i)
    {
        if (i < cch && p[i] != '.')
            continue;
        if (++octets > 4 || !IsOctet(p + start, i - start))
            return false;
        start = i + 1;
    }
    return octets == 4;
}

// Labels of letters, digits and hyphens, 1 to 63 characters, no hyphen at
// either end. The last label must start with a letter: the platform's
// address parser also takes forms such as "10.1" or "0x7f.1", and those
// must not pass for names.
bool IsHostName(const char* p, size_t cch)
{
    size_t start = 0;
    for (size_t i = 0; i <= cch; ++i)
    {
        if (i < cch && p[i] != '.')
        {
            if (!IsLetter(p[i]) && !IsDigit(p[i]) && p[i] != '-')
                return false;
            continue;
        }
        const size_t cchLabel = i - start;
        if (cchLabel == 0 || cchLabel > kMaxLabelLength || p[start] == '-' || p[i - 1] == '-')
            return false;
        if (i == cch && !IsLetter(p[start]))
            return false;
        start = i + 1;
    }
    return true;
}

// 1 to 65535, digits only.
bool ParsePort(const char* p, size_t cch, uint16_t* pPort)
{
    if (cch == 0 || cch > kMaxPortDigits)
        return false;
    uint32_t value = 0;
    for (size_t i = 0; i < cch; ++i)
    {
        if (!IsDigit(p[i]))
            return false;
        value = value * 10 + static_cast<uint32_t>(p[i] - '0');
    }
    if (value == 0 || value > 65535)
        return false;
    *pPort = static_cast<uint16_t>(value);
    return true;
}

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
    if (pColon && !ParsePort(pColon + 1, cch - cchHost - 1, &port))
        return false;
    if (cchHost == 0 || cchHost > kMaxProbeHostLength)
        return false;
    if (!IsDottedQuad(pszText, cchHost) && !IsHostName(pszText, cchHost))
        return false;

    std::memcpy(m_szHost, pszText, cchHost);
    m_szHost[cchHost] = '\0';
    m_nPort = port;
    return true;
}
