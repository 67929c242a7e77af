// Where the connectivity probe connects: a host (dotted IPv4 address, IPv6
// address or name) and a TCP port. A fixed public default, which the settings value
// "ProbeTarget" ("host" or "host:port") may replace. No platform header, so
// the parsing also builds natively.
#pragma once

#include <cstddef>
#include <cstdint>

// 1.1.1.1: the anycast address of a large public DNS resolver, which also
// serves HTTP on port 80 and is announced from nearly every network, so a
// TCP handshake with it is a fair sign that the internet is reachable.
// Dotted, so that the probe needs no name lookup.
constexpr char kDefaultProbeHost[] = "1.1.1.1";
// The same service's IPv6 address, for machines without an IPv4 route.
constexpr char kDefaultProbeHostIPv6[] = "2606:4700:4700::1111";
constexpr uint16_t kDefaultProbePort = 80;

// Longest host name that DNS can carry.
constexpr size_t kMaxProbeHostLength = 253;

class CProbeTarget
{
public:
    CProbeTarget() { Reset(); }

    // Takes the target that pszText names. A malformed text (empty host, a
    // port of 0, above 65535 or with other characters than digits, a host
    // that is neither a dotted IPv4 address, an IPv6 address ("[::1]:80",
    // or "::1" without a port) nor a host name as a URL takes it
    // (HostSyntax.h), anything too long) gives the default target and false.
    bool Parse(const char* pszText);
    void Reset();

    const char* Host() const { return m_szHost; }
    uint16_t Port() const { return m_nPort; }
    // The default target's IPv6 address; null for a configured target,
    // which is used as given.
    const char* IPv6Twin() const { return m_bDefault ? kDefaultProbeHostIPv6 : nullptr; }

private:
    char m_szHost[kMaxProbeHostLength + 1];
    uint16_t m_nPort;
    bool m_bDefault = true;
};
