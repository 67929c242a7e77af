#include "FetchWatch.h"

#include "MonotonicClock.h"

void CFetchWatch::BodyStarted(int64_t cbExpected)
{
    m_cbReceived = 0;
    m_cbExpected = cbExpected < 0 ? -1 : cbExpected;
    if (m_pObserver)
        m_pObserver->OnBodyStarted();
    Report();
}

void CFetchWatch::BodyWritten(const void* pData, size_t cb)
{
    m_cbReceived += cb;
    if (m_pObserver)
        m_pObserver->OnBodyBytes(pData, cb);
    if (MonotonicNowMilliseconds() - m_lastReportMs >= kProgressIntervalMs)
        Report();
}

void CFetchWatch::Finish()
{
    Report();
}

void CFetchWatch::Report()
{
    m_lastReportMs = MonotonicNowMilliseconds();
    if (m_pObserver)
        m_pObserver->OnProgress(m_cbReceived, m_cbExpected);
}
