#include "FtpReplies.h"

#include "Ascii.h"
#include "HostSyntax.h"
#include "LeadingDigits.h"

#include <climits>
#include <cstdio>
#include <cstring>

namespace ftp {
namespace {

using ascii::IsDigit;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// Leading decimal number of text (blanks skipped), clamped to max.
uint64_t LeadingNumber(const char* p, uint64_t max)
{
    while (IsBlank(*p))
        ++p;
    return LeadingDigits(p, max);
}

bool EndsReply(const char* pszLine)
{
    return std::strlen(pszLine) >= 4 && pszLine[3] == ' ';
}

} // namespace

int ReplyCode(const char* pszLine)
{
    if (!pszLine)
        return -1;
    const char* p = pszLine;
    while (IsBlank(*p))
        ++p;
    bool bNegative = false;
    if (*p == '+' || *p == '-')
        bNegative = *p++ == '-';
    const auto magnitude = static_cast<long long>(LeadingNumber(p, INT_MAX));
    return static_cast<int>(bNegative ? -magnitude : magnitude);
}

CReplyAssembler::Result CReplyAssembler::Feed(const char* pszLine)
{
    if (!m_bStarted)
    {
        if (!IsDigit(pszLine[0]))
            return kNotAReply;
        m_bStarted = true;
        m_nFirst = m_nLast = ReplyCode(pszLine);
        return EndsReply(pszLine) ? kComplete : kNeedMoreLines;
    }
    // Every line that starts with a digit carries the code the reply ends
    // with, unless a later one replaces it.
    if (IsDigit(pszLine[0]))
        m_nLast = ReplyCode(pszLine);
    if (!EndsReply(pszLine))
        return kNeedMoreLines;
    return m_nLast == m_nFirst ? kComplete : kCodeMismatch;
}

bool ParsePassiveReply(const char* pszLine, char (&address)[kPassiveAddressSize], uint32_t* pPort)
{
    const char* pFirstComma = std::strchr(pszLine, ',');
    if (!pFirstComma || pFirstComma == pszLine)
        return false;

    // The first number is the run of digits just before the first comma; the
    // text before it ("Entering Passive Mode (") is never part of it.
    const char* pStart = pFirstComma;
    while (pStart > pszLine && IsDigit(pStart[-1]))
        --pStart;
    if (pStart == pFirstComma || pStart == pszLine)
        return false;

    // Commas 1 to 5 counted from the first number.
    const char* commas[5];
    const char* p = pStart;
    for (const char*& pComma : commas)
    {
        pComma = std::strchr(p, ',');
        if (!pComma || pComma == p)
            return false;
        p = pComma + 1;
    }
    if (*p == '\0')
        return false;

    const size_t cchAddress = static_cast<size_t>(commas[3] - pStart);
    if (cchAddress >= kPassiveAddressSize)
        return false;
    std::memcpy(address, pStart, cchAddress);
    address[cchAddress] = '\0';
    for (size_t i = 0; i < cchAddress; ++i)
    {
        if (address[i] == ',')
            address[i] = '.';
    }

    const uint64_t p1 = LeadingNumber(commas[3] + 1, 0xffffff);
    const uint64_t p2 = LeadingNumber(commas[4] + 1, 0xffffff);
    *pPort = static_cast<uint32_t>(p1 * 256 + p2);
    return true;
}

uint64_t ParseSizeReply(const char* pszLine)
{
    if (std::strlen(pszLine) < 3)
        return 0;
    return LeadingNumber(pszLine + 3, UINT64_MAX);
}

size_t FormatPortCommand(char* buf, size_t cap, const char* pszDottedAddress, uint16_t port,
                         const char* pszLineEnd)
{
    uint8_t octets[4];
    if (!pszDottedAddress || !hostsyntax::ParseIPv4Literal(pszDottedAddress, octets))
        return 0;
    const int cch = std::snprintf(buf, cap, "PORT %u,%u,%u,%u,%d,%d%s", unsigned{octets[0]}, unsigned{octets[1]},
                                  unsigned{octets[2]}, unsigned{octets[3]}, port >> 8, port & 0xff, pszLineEnd);
    if (cch < 0 || static_cast<size_t>(cch) >= cap)
        return 0;
    return static_cast<size_t>(cch);
}

bool ParseExtendedPassiveReply(const char* pszLine, uint16_t* pPort)
{
    // "(<d><d><d><port><d>)": the delimiter is any printable ASCII byte
    // other than a digit, the same four times.
    const char* pOpen = pszLine ? std::strchr(pszLine, '(') : nullptr;
    if (!pOpen)
        return false;
    const char d = pOpen[1];
    if (d < 33 || d > 126 || IsDigit(d) || pOpen[2] != d || pOpen[3] != d)
        return false;
    const char* pDigits = pOpen + 4;
    const char* p = pDigits;
    while (IsDigit(*p) && p - pDigits < 6)
        ++p;
    if (p[0] != d || p[1] != ')')
        return false;
    return hostsyntax::ParsePort(std::string_view(pDigits, static_cast<size_t>(p - pDigits)), pPort);
}

bool IsCommandRefusal(int replyCode)
{
    return replyCode == 500 || replyCode == 502 || replyCode == 504;
}

size_t FormatEprtCommand(char* buf, size_t cap, const char* pszAddress, uint16_t port, const char* pszLineEnd)
{
    if (!pszAddress)
        return 0;
    uint8_t bytes[16];
    const bool bIPv4 = hostsyntax::IsIPv4Literal(pszAddress);
    if (!bIPv4 && !hostsyntax::ParseIPv6Literal(pszAddress, bytes))
        return 0;
    const int cch = std::snprintf(buf, cap, "EPRT |%d|%s|%u|%s", bIPv4 ? 1 : 2, pszAddress, unsigned{port}, pszLineEnd);
    if (cch < 0 || static_cast<size_t>(cch) >= cap)
        return 0;
    return static_cast<size_t>(cch);
}

} // namespace ftp
