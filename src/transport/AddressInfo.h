// Owner of the address list that getaddrinfo returns.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

class CAddressInfo
{
public:
    CAddressInfo() = default;
    ~CAddressInfo()
    {
        if (m_pList)
            freeaddrinfo(m_pList);
    }
    CAddressInfo(const CAddressInfo&) = delete;
    CAddressInfo& operator=(const CAddressInfo&) = delete;

    addrinfo** Receive() { return &m_pList; }
    const addrinfo* Get() const { return m_pList; }

private:
    addrinfo* m_pList = nullptr;
};
