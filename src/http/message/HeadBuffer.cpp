#include "HeadBuffer.h"

#include <cstring>
#include <new>

namespace http {

CHeadBuffer::CHeadBuffer()
    : m_pData(new (std::nothrow) char[kCapacity])
{
}

void CHeadBuffer::Commit(size_t cb)
{
    if (cb <= FreeCount())
        m_cbBuffered += cb;
}

bool CHeadBuffer::TakeLine(std::string* pLine)
{
    if (!m_pData)
        return false;
    const char* pStart = m_pData.get() + m_cbTaken;
    const auto* pLineFeed = static_cast<const char*>(std::memchr(pStart, '\n', RestCount()));
    if (!pLineFeed)
        return false;
    size_t cch = static_cast<size_t>(pLineFeed - pStart);
    m_cbTaken += cch + 1;
    if (cch > 0 && pStart[cch - 1] == '\r')
        --cch;
    pLine->assign(pStart, cch);
    return true;
}

} // namespace http
