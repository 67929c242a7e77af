#include "BodyFraming.h"

namespace http {

CBodyFraming::CBodyFraming(const CResponseHeaders& headers)
{
    m_bUsable = !headers.Conflicting() && !headers.UnsupportedEncoding();
    if (headers.IsChunked())
    {
        m_mode = Mode::kChunked;
    }
    else if (headers.HasContentLength())
    {
        m_mode = Mode::kLength;
        m_cbRemaining = headers.ContentLength();
        m_bComplete = m_cbRemaining == 0;
    }
}

BodyState CBodyFraming::Take(char* pData, size_t cbData, size_t* pcbBody)
{
    *pcbBody = 0;
    if (m_bComplete)
        return BodyState::kComplete;
    switch (m_mode)
    {
    case Mode::kLength:
    {
        // Bytes past the announced length are not the body's.
        const size_t cbBody = m_cbRemaining < cbData ? static_cast<size_t>(m_cbRemaining) : cbData;
        m_cbRemaining -= cbBody;
        m_cbTaken += cbBody;
        *pcbBody = cbBody;
        m_bComplete = m_cbRemaining == 0;
        break;
    }
    case Mode::kChunked:
    {
        size_t cbConsumed = 0;
        const ChunkState state = m_chunks.Decode(pData, cbData, pcbBody, &cbConsumed);
        if (state == ChunkState::kError)
            return BodyState::kBadFraming;
        m_bComplete = state == ChunkState::kDone;
        break;
    }
    case Mode::kUntilClose:
        *pcbBody = cbData;
        break;
    }
    return m_bComplete ? BodyState::kComplete : BodyState::kMore;
}

bool CBodyFraming::CompleteAtClose() const
{
    return m_bComplete || m_mode == Mode::kUntilClose;
}

} // namespace http
