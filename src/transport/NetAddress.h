// An IPv4 or IPv6 address with its port, as the channel connects to it,
// listens on it or names it to a peer; and the order in which the addresses
// of one name are tried. No platform header, so this also builds natively.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct NetAddress
{
    enum class Family : uint8_t
    {
        kIPv4,
        kIPv6,
    };

    Family family = Family::kIPv4;
    uint8_t bytes[16] = {}; // network byte order; the first four for IPv4
    uint16_t port = 0;      // host byte order

    bool IsIPv6() const { return family == Family::kIPv6; }
    // The four IPv4 bytes as one value in network byte order (0 for IPv6).
    uint32_t IPv4Net() const;
    // Same family and bytes; the port does not count.
    bool SameHost(const NetAddress& other) const;
};

NetAddress IPv4Address(uint32_t addressNet, uint16_t port);

// A dotted-quad or IPv6 literal (no brackets, no zone) with the port.
bool ParseAddressLiteral(std::string_view text, uint16_t port, NetAddress* pAddress);

// "192.0.2.1" or the IPv6 text form of RFC 5952: lower case, leading zeros
// dropped, the longest run of two or more zero groups as "::" (the first of
// equal runs), an IPv4-mapped address as "::ffff:192.0.2.1".
std::string AddressText(const NetAddress& address);
// The address as a host of "host:port" texts: IPv6 in brackets.
std::string AddressHostText(const NetAddress& address);

// The order of connection attempts for one name (RFC 8305, section 4): the
// resolver's order within each family, the families taking turns, starting
// with the family of the resolver's first answer.
std::vector<NetAddress> InterleaveFamilies(const std::vector<NetAddress>& resolved);
