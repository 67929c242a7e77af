#include "CanonicalHostName.h"

#include "AddressInfo.h"

std::string CanonicalHostName(const std::string& host)
{
    addrinfo hints = {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_CANONNAME;
    CAddressInfo list;
    if (getaddrinfo(host.c_str(), nullptr, &hints, list.Receive()) != 0 || !list.Get())
        return std::string();
    const addrinfo* pFirst = list.Get();
    if (pFirst->ai_canonname && host != pFirst->ai_canonname)
        return pFirst->ai_canonname;
    // An address literal is its own canonical name: ask for the name of the
    // address instead.
    char name[NI_MAXHOST];
    if (getnameinfo(pFirst->ai_addr, static_cast<socklen_t>(pFirst->ai_addrlen), name, sizeof(name), nullptr, 0,
                    NI_NAMEREQD) != 0)
        return std::string();
    return name;
}
