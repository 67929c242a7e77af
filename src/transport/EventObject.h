// Owner of an auto-reset event: one thread signals, one waiting thread wakes
// and the event clears itself. CloseHandle is called here and nowhere else.
#pragma once

#include <windows.h>

class CEventObject
{
public:
    CEventObject() : m_hEvent(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}
    ~CEventObject()
    {
        if (m_hEvent)
            CloseHandle(m_hEvent);
    }
    CEventObject(const CEventObject&) = delete;
    CEventObject& operator=(const CEventObject&) = delete;

    // Null when the event could not be made; waits then fall back to slices.
    HANDLE Get() const { return m_hEvent; }
    void Signal() const
    {
        if (m_hEvent)
            SetEvent(m_hEvent);
    }

private:
    HANDLE m_hEvent;
};
