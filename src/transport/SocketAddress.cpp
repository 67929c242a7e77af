#include <winsock2.h>
#include <ws2tcpip.h>

#include "SocketAddress.h"

#include <cstring>

static_assert(sizeof(SocketAddressBuffer::bytes) >= sizeof(sockaddr_in6), "room for an IPv6 address");

int PlatformFamily(const NetAddress& address)
{
    return address.IsIPv6() ? AF_INET6 : AF_INET;
}

void ToSocketAddress(const NetAddress& address, SocketAddressBuffer* pBuffer)
{
    std::memset(pBuffer->bytes, 0, sizeof(pBuffer->bytes));
    if (address.IsIPv6())
    {
        auto* pIn6 = reinterpret_cast<sockaddr_in6*>(pBuffer->bytes);
        pIn6->sin6_family = AF_INET6;
        pIn6->sin6_port = htons(address.port);
        std::memcpy(&pIn6->sin6_addr, address.bytes, 16);
        pBuffer->length = sizeof(sockaddr_in6);
        return;
    }
    auto* pIn = reinterpret_cast<sockaddr_in*>(pBuffer->bytes);
    pIn->sin_family = AF_INET;
    pIn->sin_port = htons(address.port);
    std::memcpy(&pIn->sin_addr, address.bytes, 4);
    pBuffer->length = sizeof(sockaddr_in);
}

bool FromSocketAddress(const sockaddr* pAddress, int cbAddress, NetAddress* pResult)
{
    NetAddress result;
    if (pAddress->sa_family == AF_INET6 && cbAddress >= static_cast<int>(sizeof(sockaddr_in6)))
    {
        sockaddr_in6 in6;
        std::memcpy(&in6, pAddress, sizeof(in6));
        result.family = NetAddress::Family::kIPv6;
        std::memcpy(result.bytes, &in6.sin6_addr, 16);
        result.port = ntohs(in6.sin6_port);
    }
    else if (pAddress->sa_family == AF_INET && cbAddress >= static_cast<int>(sizeof(sockaddr_in)))
    {
        sockaddr_in in;
        std::memcpy(&in, pAddress, sizeof(in));
        std::memcpy(result.bytes, &in.sin_addr, 4);
        result.port = ntohs(in.sin_port);
    }
    else
    {
        return false;
    }
    *pResult = result;
    return true;
}
