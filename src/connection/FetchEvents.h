// IFetchEvents: what the engine tells its host while and after a fetch runs,
// on the thread that called the fetch.
#pragma once

class IFetchEvents
{
public:
    // Byte counts as doubles, as the host's events carry them: exact up to
    // 2^53. cbExpected is -1 while the length is unknown.
    virtual void FetchProgress(double cbReceived, double cbExpected) = 0;
    virtual void FetchDone(bool bCompleted) = 0;

protected:
    ~IFetchEvents() = default;
};
