#include "NetAddress.h"

#include "HostSyntax.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr size_t kGroups = 8;

uint16_t Group(const NetAddress& address, size_t i)
{
    return static_cast<uint16_t>(address.bytes[2 * i] << 8 | address.bytes[2 * i + 1]);
}

bool IsIPv4Mapped(const NetAddress& address)
{
    static const uint8_t kPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    return std::memcmp(address.bytes, kPrefix, sizeof(kPrefix)) == 0;
}

std::string DottedQuad(const uint8_t* octets)
{
    return std::to_string(octets[0]) + "." + std::to_string(octets[1]) + "." + std::to_string(octets[2]) + "." +
           std::to_string(octets[3]);
}

// The longest run of two or more zero groups: its start and length (0: none).
void LongestZeroRun(const NetAddress& address, size_t* pStart, size_t* pLength)
{
    *pStart = 0;
    *pLength = 0;
    for (size_t i = 0; i < kGroups;)
    {
        size_t end = i;
        while (end < kGroups && Group(address, end) == 0)
            ++end;
        if (end - i >= 2 && end - i > *pLength)
        {
            *pStart = i;
            *pLength = end - i;
        }
        i = end == i ? i + 1 : end;
    }
}

std::string IPv6Text(const NetAddress& address)
{
    if (IsIPv4Mapped(address))
        return "::ffff:" + DottedQuad(address.bytes + 12);
    size_t runStart = 0, runLength = 0;
    LongestZeroRun(address, &runStart, &runLength);
    std::string text;
    for (size_t i = 0; i < kGroups; ++i)
    {
        if (runLength > 0 && i == runStart)
        {
            text += "::";
            i += runLength - 1;
            continue;
        }
        if (!text.empty() && text.back() != ':')
            text += ':';
        char group[8];
        std::snprintf(group, sizeof(group), "%x", Group(address, i));
        text += group;
    }
    return text;
}

} // namespace

uint32_t NetAddress::IPv4Net() const
{
    if (IsIPv6())
        return 0;
    uint32_t value = 0;
    std::memcpy(&value, bytes, 4);
    return value;
}

bool NetAddress::SameHost(const NetAddress& other) const
{
    return family == other.family && std::memcmp(bytes, other.bytes, IsIPv6() ? 16 : 4) == 0;
}

NetAddress IPv4Address(uint32_t addressNet, uint16_t port)
{
    NetAddress address;
    std::memcpy(address.bytes, &addressNet, 4);
    address.port = port;
    return address;
}

bool ParseAddressLiteral(std::string_view text, uint16_t port, NetAddress* pAddress)
{
    NetAddress parsed;
    parsed.port = port;
    uint8_t octets[4];
    if (hostsyntax::ParseIPv4Literal(text, octets))
    {
        std::memcpy(parsed.bytes, octets, 4);
    }
    else
    {
        if (!hostsyntax::ParseIPv6Literal(text, parsed.bytes))
            return false;
        parsed.family = NetAddress::Family::kIPv6;
    }
    *pAddress = parsed;
    return true;
}

std::string AddressText(const NetAddress& address)
{
    return address.IsIPv6() ? IPv6Text(address) : DottedQuad(address.bytes);
}

std::string AddressHostText(const NetAddress& address)
{
    return address.IsIPv6() ? "[" + IPv6Text(address) + "]" : DottedQuad(address.bytes);
}

std::vector<NetAddress> InterleaveFamilies(const std::vector<NetAddress>& resolved)
{
    if (resolved.empty())
        return {};
    std::vector<NetAddress> first, second;
    for (const NetAddress& address : resolved)
        (address.family == resolved.front().family ? first : second).push_back(address);
    std::vector<NetAddress> ordered;
    ordered.reserve(resolved.size());
    for (size_t i = 0; i < first.size() || i < second.size(); ++i)
    {
        if (i < first.size())
            ordered.push_back(first[i]);
        if (i < second.size())
            ordered.push_back(second[i]);
    }
    return ordered;
}
