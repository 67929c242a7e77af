#include "HostResolver.h"

#include "AddressInfo.h"
#include "SocketAddress.h"
#include "VexErrors.h"
#include "VexLimits.h"

long ResolveHost(const char* pszHost, uint16_t port, std::vector<NetAddress>* pAddresses)
{
    pAddresses->clear();
    if (!pszHost || !*pszHost)
        return VEXWSA_HOST_NOT_FOUND;
    NetAddress literal;
    if (ParseAddressLiteral(pszHost, port, &literal))
    {
        pAddresses->push_back(literal);
        return 0;
    }
    // No AI_ADDRCONFIG: Windows counts no loopback address as configured,
    // so a machine whose only network is loopback would get no answer.
    addrinfo hints = {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    CAddressInfo list;
    // Every failure reads as a name not found, as the channel has always
    // reported it. (In a network without a name server Wine's getaddrinfo
    // answers 11002, try again, where gethostbyname answered 11001.)
    if (getaddrinfo(pszHost, nullptr, &hints, list.Receive()) != 0)
        return VEXWSA_HOST_NOT_FOUND;
    for (const addrinfo* p = list.Get(); p && pAddresses->size() < kMaxAddressesPerName; p = p->ai_next)
    {
        NetAddress address;
        if (p->ai_addr && FromSocketAddress(p->ai_addr, static_cast<int>(p->ai_addrlen), &address))
        {
            address.port = port;
            pAddresses->push_back(address);
        }
    }
    return pAddresses->empty() ? VEXWSA_NO_DATA : 0;
}
