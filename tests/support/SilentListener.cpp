#include "SilentListener.h"

#include "WinsockStartup.h"

#include <winsock.h>

namespace {

CWinsockStartup g_winsock;

// Connects a non-blocking socket and reports whether the handshake completed
// within a short time. Once the listener's queue is full, new handshakes no
// longer complete (the kernel drops their SYNs).
bool ConnectCompletes(SOCKET h, const sockaddr_in& addr)
{
    u_long enable = 1;
    ioctlsocket(h, FIONBIO, &enable);
    connect(h, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr));
    fd_set writable;
    FD_ZERO(&writable);
    FD_SET(h, &writable);
    timeval tv = {0, 200 * 1000};
    return select(0, nullptr, &writable, nullptr, &tv) == 1;
}

} // namespace

CSilentListener::CSilentListener()
    : m_hListener(socket(AF_INET, SOCK_STREAM, 0))
{
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int cbAddr = sizeof(addr);
    if (bind(m_hListener, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
        listen(m_hListener, 0) != 0 ||
        getsockname(m_hListener, reinterpret_cast<sockaddr*>(&addr), &cbAddr) != 0)
        return;
    m_port = ntohs(addr.sin_port);

    // Fill the accept queue; the filler whose handshake no longer completes
    // proves it full.
    for (int i = 0; i < 16; ++i)
    {
        const SOCKET hFiller = socket(AF_INET, SOCK_STREAM, 0);
        m_fillers.push_back(hFiller);
        if (!ConnectCompletes(hFiller, addr))
            return;
    }
}

CSilentListener::~CSilentListener()
{
    for (uintptr_t hFiller : m_fillers)
        closesocket(hFiller);
    if (m_hListener != INVALID_SOCKET)
        closesocket(m_hListener);
}
