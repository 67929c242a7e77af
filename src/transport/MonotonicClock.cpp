#include "MonotonicClock.h"

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

void SetMonotonicSourceForTesting(MonotonicSource pfnSource)
{
    g_pfnSource = pfnSource ? pfnSource : SystemMonotonicSource;
}
