// Owner of a WinINet handle, for the benchmarks' baseline clients.
#pragma once

#include <windows.h>
#include <wininet.h>

class CInternetHandle
{
public:
    explicit CInternetHandle(HINTERNET h) : m_h(h) {}
    ~CInternetHandle()
    {
        if (m_h)
            InternetCloseHandle(m_h);
    }
    CInternetHandle(const CInternetHandle&) = delete;
    CInternetHandle& operator=(const CInternetHandle&) = delete;

    HINTERNET Get() const { return m_h; }
    explicit operator bool() const { return m_h != nullptr; }

private:
    HINTERNET m_h;
};
