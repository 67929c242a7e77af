// A loopback address:port whose connection attempts are never answered: a
// listener whose accept queue is full and which never accepts. Connections
// to it neither succeed nor get refused until the client's own deadline.
#pragma once

#include <cstdint>
#include <vector>

class CSilentListener
{
public:
    CSilentListener();
    ~CSilentListener();
    CSilentListener(const CSilentListener&) = delete;
    CSilentListener& operator=(const CSilentListener&) = delete;

    uint16_t Port() const { return m_port; }

private:
    uintptr_t m_hListener;
    std::vector<uintptr_t> m_fillers;
    uint16_t m_port = 0;
};
