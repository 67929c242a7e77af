// CFetchWatch: what a host sees of one running fetch and what it may say to
// it. The fetch's channels consult it at every wait (the host's time limit,
// and whether the host asked to stop) and report to it every block they
// write to the local file; it counts the bytes and passes them on to its
// observer, with a progress report at most every kProgressIntervalMs.
#pragma once

#include <cstddef>
#include <cstdint>

class IFetchObserver
{
public:
    // A body begins: what came before (a body the fetch abandoned) is void.
    virtual void OnBodyStarted() = 0;
    virtual void OnBodyBytes(const void* pData, size_t cb) = 0;
    // cbExpected is -1 while the length is unknown.
    virtual void OnProgress(uint64_t cbReceived, int64_t cbExpected) = 0;

protected:
    ~IFetchObserver() = default;
};

class CFetchWatch
{
public:
    static constexpr uint64_t kProgressIntervalMs = 100;

    CFetchWatch(unsigned timeoutSeconds, IFetchObserver* pObserver)
        : m_timeoutSeconds(timeoutSeconds), m_pObserver(pObserver)
    {
    }
    CFetchWatch(const CFetchWatch&) = delete;
    CFetchWatch& operator=(const CFetchWatch&) = delete;

    unsigned TimeoutSeconds() const { return m_timeoutSeconds; }

    // The host asked the fetch to end at its next wait.
    void RequestCancel() { m_bCancelRequested = true; }
    bool CancelRequested() const { return m_bCancelRequested; }

    // The local file is (re)opened for a body of cbExpected bytes, -1 when
    // its length is unknown.
    void BodyStarted(int64_t cbExpected);
    void BodyWritten(const void* pData, size_t cb);
    // The last report, whatever the interval: the fetch is over.
    void Finish();

    uint64_t Received() const { return m_cbReceived; }
    int64_t Expected() const { return m_cbExpected; }

private:
    void Report();

    unsigned m_timeoutSeconds;
    IFetchObserver* m_pObserver;
    bool m_bCancelRequested = false;
    uint64_t m_cbReceived = 0;
    int64_t m_cbExpected = -1;
    uint64_t m_lastReportMs = 0;
};
