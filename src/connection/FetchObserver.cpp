#include "FetchObserver.h"

#include "FetchEvents.h"

void CFetchObserver::OnBodyStarted()
{
    m_bStarted = true;
    if (Verifies())
        m_digest.Begin(m_verifyWith);
}

void CFetchObserver::OnBodyBytes(const void* pData, size_t cb)
{
    if (Verifies())
        m_digest.Add(pData, cb);
}

void CFetchObserver::OnProgress(uint64_t cbReceived, int64_t cbExpected)
{
    if (m_pEvents)
        m_pEvents->FetchProgress(static_cast<double>(cbReceived), static_cast<double>(cbExpected));
}

void CFetchObserver::Finish()
{
    // A fetch that completed without a body wrote an empty file.
    if (!m_bStarted)
        OnBodyStarted();
    if (Verifies())
        m_verifyHex = m_digest.FinishHex();
}
