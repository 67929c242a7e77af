#include "MonotonicClock.h"

#include "VexLimits.h"

#include <windows.h>

namespace {

uint64_t SystemMonotonicSource()
{
    return GetTickCount64();
}

MonotonicSource g_pfnSource = SystemMonotonicSource;

} // namespace

uint64_t MonotonicNowMilliseconds()
{
    return g_pfnSource();
}

uint64_t LongestSleepMilliseconds()
{
    return g_pfnSource == SystemMonotonicSource ? INFINITE - 1 : kWaitSliceMilliseconds; // the longest finite wait
}

void SetMonotonicSourceForTesting(MonotonicSource pfnSource)
{
    g_pfnSource = pfnSource ? pfnSource : SystemMonotonicSource;
}
