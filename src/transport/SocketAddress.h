// NetAddress to and from the platform's socket address structures, for the
// calls that take a sockaddr of either family.
#pragma once

#include "NetAddress.h"

struct sockaddr;

// Room for a sockaddr_in or sockaddr_in6, aligned as the platform wants it.
struct SocketAddressBuffer
{
    alignas(8) unsigned char bytes[128] = {};
    int length = 0;

    sockaddr* Get() { return reinterpret_cast<sockaddr*>(bytes); }
    const sockaddr* Get() const { return reinterpret_cast<const sockaddr*>(bytes); }
};

// The platform's address family value (AF_INET or AF_INET6).
int PlatformFamily(const NetAddress& address);
void ToSocketAddress(const NetAddress& address, SocketAddressBuffer* pBuffer);
// False for a family other than IPv4 and IPv6, or a length too short for it.
bool FromSocketAddress(const sockaddr* pAddress, int cbAddress, NetAddress* pResult);
