#include "LineBuffer.h"

#include <cstring>
#include <new>

CLineBuffer::CLineBuffer()
    : m_pBuffer(new (std::nothrow) char[kBlockSize])
{
    if (m_pBuffer)
        std::memset(m_pBuffer, 0, kBlockSize);
}

CLineBuffer::~CLineBuffer()
{
    delete[] m_pBuffer;
}

void CLineBuffer::Commit(int cb)
{
    if (cb > 0 && cb <= FreeCount())
        m_nBuffered += cb;
}

bool CLineBuffer::HasLine() const
{
    return m_nBuffered > 0 && std::memchr(m_pBuffer, '\n', m_nBuffered) != nullptr;
}

int CLineBuffer::TakeLine(char (&line)[kBlockSize])
{
    const char* pLineFeed = m_nBuffered > 0
                                ? static_cast<const char*>(std::memchr(m_pBuffer, '\n', m_nBuffered))
                                : nullptr;
    if (!pLineFeed)
        return -1;
    const int n = static_cast<int>(pLineFeed - m_pBuffer);
    std::memcpy(line, m_pBuffer, n);
    // The character before the line feed is always dropped; an empty line
    // gives an empty string.
    line[n > 0 ? n - 1 : 0] = '\0';

    const int cbRest = m_nBuffered - (n + 1);
    std::memmove(m_pBuffer, pLineFeed + 1, cbRest);
    std::memset(m_pBuffer + cbRest, 0, kBlockSize - cbRest);
    m_nBuffered = cbRest;
    return n;
}
