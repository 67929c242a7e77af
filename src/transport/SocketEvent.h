// The event object a socket signals when something happens on it
// (WSAEventSelect), so that a wait can block on the socket and on the
// thread's window messages at once instead of polling both in slices. The
// Windows Sockets 2 header stays inside SocketEvent.cpp: the channel keeps
// to the 1.1 header, whose SOCKET is a UINT_PTR and which names the FD_*
// events.
#pragma once

#include <windows.h>

class CSocketEvent
{
public:
    CSocketEvent() = default;
    ~CSocketEvent();
    CSocketEvent(const CSocketEvent&) = delete;
    CSocketEvent& operator=(const CSocketEvent&) = delete;

    // Makes the event stand for these FD_* events of the socket (a SOCKET)
    // and clears it. The socket must already be non-blocking: this keeps it
    // so. False when the platform refuses; the caller then polls.
    bool Watch(UINT_PTR hSocket, long networkEvents);
    HANDLE Handle() const { return m_hEvent; }

private:
    HANDLE m_hEvent = nullptr;
};
