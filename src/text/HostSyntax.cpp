#include "HostSyntax.h"

#include "Ascii.h"

#include <cstring>

namespace hostsyntax {
namespace {

constexpr size_t kIPv6Groups = 8;
constexpr size_t kMaxGroupDigits = 4;

// The text before the first sep (all of it when there is none), and the
// position just after that sep (npos when there is none).
std::string_view Field(std::string_view text, size_t from, char sep, size_t* pNext)
{
    const size_t end = text.find(sep, from);
    *pNext = end == std::string_view::npos ? end : end + 1;
    return text.substr(from, end == std::string_view::npos ? end : end - from);
}

// The value of a run of digits in base 10 or 16; false when a byte is no
// digit or the value passes max, which stops the reading there, however
// long the run.
bool ReadNumber(std::string_view text, uint32_t base, uint32_t max, uint32_t* pValue)
{
    uint32_t value = 0;
    for (const char c : text)
    {
        const int digit = base == 16 ? ascii::HexValue(c) : ascii::DecimalValue(c);
        if (digit < 0)
            return false;
        value = value * base + static_cast<uint32_t>(digit);
        if (value > max)
            return false;
    }
    *pValue = value;
    return true;
}

bool ParseOctet(std::string_view text, uint8_t* pOctet)
{
    uint32_t value = 0;
    if (text.empty() || text.size() > 3 || (text.size() > 1 && text[0] == '0') || !ReadNumber(text, 10, 255, &value))
        return false;
    *pOctet = static_cast<uint8_t>(value);
    return true;
}

bool ParseGroup(std::string_view text, uint16_t* pGroup)
{
    uint32_t value = 0;
    if (text.empty() || text.size() > kMaxGroupDigits || !ReadNumber(text, 16, 0xffff, &value))
        return false;
    *pGroup = static_cast<uint16_t>(value);
    return true;
}

// Reads the groups of an IPv6 literal into groups[], at most eight of
// them; *pGap receives where "::" stood (npos without one).
bool ReadGroups(std::string_view text, uint16_t (&groups)[kIPv6Groups], size_t* pCount, size_t* pGap)
{
    size_t count = 0;
    size_t gap = std::string_view::npos;
    size_t pos = 0;
    if (text.substr(0, 2) == "::")
    {
        gap = 0;
        pos = text.size() == 2 ? std::string_view::npos : 2;
    }
    while (pos != std::string_view::npos)
    {
        size_t next = 0;
        const std::string_view field = Field(text, pos, ':', &next);
        if (next == std::string_view::npos && field.find('.') != std::string_view::npos)
        {
            uint8_t octets[4];
            if (count + 2 > kIPv6Groups || !ParseIPv4Literal(field, octets))
                return false;
            groups[count++] = static_cast<uint16_t>(octets[0] << 8 | octets[1]);
            groups[count++] = static_cast<uint16_t>(octets[2] << 8 | octets[3]);
            break;
        }
        if (count == kIPv6Groups || !ParseGroup(field, &groups[count]))
            return false;
        ++count;
        pos = next;
        if (pos == text.size())
            return false; // a lone ':' at the end
        if (pos != std::string_view::npos && text[pos] == ':')
        {
            if (gap != std::string_view::npos)
                return false;
            gap = count;
            pos = pos + 1 == text.size() ? std::string_view::npos : pos + 1;
        }
    }
    *pCount = count;
    *pGap = gap;
    return true;
}

} // namespace

bool IsLabelByte(char c)
{
    return ascii::IsLetter(c) || ascii::IsDigit(c) || c == '-' || c == '_';
}

bool IsHostName(std::string_view text)
{
    if (text.empty() || text.size() > kMaxHostNameLength)
        return false;
    size_t pos = 0;
    while (pos != std::string_view::npos)
    {
        size_t next = 0;
        const std::string_view label = Field(text, pos, '.', &next);
        if (label.empty() || label.size() > kMaxLabelLength)
            return false;
        for (const char c : label)
        {
            if (!IsLabelByte(c))
                return false;
        }
        if (next == std::string_view::npos && !ascii::IsLetter(label[0]))
            return false;
        pos = next;
    }
    return true;
}

bool ParseIPv4Literal(std::string_view text, uint8_t (&octets)[4])
{
    uint8_t parsed[4];
    size_t pos = 0;
    for (uint8_t& octet : parsed)
    {
        if (pos == std::string_view::npos || !ParseOctet(Field(text, pos, '.', &pos), &octet))
            return false;
    }
    if (pos != std::string_view::npos)
        return false;
    std::memcpy(octets, parsed, sizeof(parsed));
    return true;
}

bool IsIPv4Literal(std::string_view text)
{
    uint8_t octets[4];
    return ParseIPv4Literal(text, octets);
}

bool ParseIPv6Literal(std::string_view text, uint8_t (&bytes)[16])
{
    uint16_t groups[kIPv6Groups] = {};
    size_t count = 0;
    size_t gap = 0;
    if (!ReadGroups(text, groups, &count, &gap))
        return false;
    // "::" stands for at least one zero group.
    if (gap == std::string_view::npos ? count != kIPv6Groups : count >= kIPv6Groups)
        return false;
    uint16_t expanded[kIPv6Groups] = {};
    const size_t head = gap == std::string_view::npos ? count : gap;
    for (size_t i = 0; i < count; ++i)
        expanded[i < head ? i : kIPv6Groups - count + i] = groups[i];
    for (size_t i = 0; i < kIPv6Groups; ++i)
    {
        bytes[2 * i] = static_cast<uint8_t>(expanded[i] >> 8);
        bytes[2 * i + 1] = static_cast<uint8_t>(expanded[i] & 0xff);
    }
    return true;
}

bool IsIPv6Literal(std::string_view text)
{
    uint8_t bytes[16];
    return ParseIPv6Literal(text, bytes);
}

bool ParsePort(std::string_view text, uint16_t* pPort)
{
    uint32_t value = 0;
    if (!ReadNumber(text, 10, 65535, &value) || value == 0)
        return false;
    *pPort = static_cast<uint16_t>(value);
    return true;
}

bool SplitHostPort(std::string_view text, std::string_view* pHost, std::string_view* pPort, bool* pHasPort)
{
    size_t hostEnd = text.size();
    size_t colon = std::string_view::npos;
    *pHost = text;
    if (!text.empty() && text[0] == '[')
    {
        hostEnd = text.find(']');
        if (hostEnd == std::string_view::npos || (hostEnd + 1 < text.size() && text[hostEnd + 1] != ':') ||
            !IsIPv6Literal(text.substr(1, hostEnd - 1)))
            return false;
        *pHost = text.substr(1, hostEnd - 1);
        colon = hostEnd + 1 < text.size() ? hostEnd + 1 : std::string_view::npos;
    }
    else if (text.find(':') == text.rfind(':'))
    {
        colon = text.find(':');
        *pHost = text.substr(0, colon);
    }
    *pHasPort = colon != std::string_view::npos;
    *pPort = *pHasPort ? text.substr(colon + 1) : std::string_view();
    return true;
}

std::string AuthorityHost(std::string_view host)
{
    if (IsIPv6Literal(host))
        return "[" + std::string(host) + "]";
    return std::string(host);
}

std::string HostPort(std::string_view host, uint16_t port)
{
    return AuthorityHost(host) + ":" + std::to_string(port);
}

} // namespace hostsyntax
