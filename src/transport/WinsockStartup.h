// Starts Windows Sockets 1.1 for the lifetime of its owner. The platform
// counts start-ups, so the socket layer stays up while any owner lives.
#pragma once

class CWinsockStartup
{
public:
    CWinsockStartup();
    ~CWinsockStartup();
    CWinsockStartup(const CWinsockStartup&) = delete;
    CWinsockStartup& operator=(const CWinsockStartup&) = delete;

    bool Started() const { return m_bStarted; }

private:
    bool m_bStarted = false;
};
