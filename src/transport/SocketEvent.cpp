#include "SocketEvent.h"

#include <winsock2.h>

CSocketEvent::~CSocketEvent()
{
    if (m_hEvent)
        WSACloseEvent(m_hEvent);
}

bool CSocketEvent::Watch(UINT_PTR hSocket, long networkEvents)
{
    if (!m_hEvent)
        m_hEvent = WSACreateEvent();
    if (m_hEvent == WSA_INVALID_EVENT)
    {
        m_hEvent = nullptr;
        return false;
    }
    // A new selection replaces the socket's previous one (a socket that
    // accept returned starts with its listener's) and signals at once what
    // is already true; the caller polls once more after clearing anyway.
    WSAResetEvent(m_hEvent);
    return WSAEventSelect(static_cast<SOCKET>(hSocket), m_hEvent, networkEvents) == 0;
}

