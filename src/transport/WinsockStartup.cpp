#include "WinsockStartup.h"

#include <winsock.h>

CWinsockStartup::CWinsockStartup()
{
    WSADATA data;
    if (WSAStartup(MAKEWORD(1, 1), &data) != 0)
        return;
    // Only exactly 1.1 is accepted; any other grant is undone at once.
    if (LOBYTE(data.wVersion) != 1 || HIBYTE(data.wVersion) != 1)
    {
        WSACleanup();
        return;
    }
    m_bStarted = true;
}

CWinsockStartup::~CWinsockStartup()
{
    if (m_bStarted)
        WSACleanup();
}
