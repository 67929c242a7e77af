#include "MessagePump.h"

#include "UtcClock.h"
#include "VexLimits.h"

#include <windows.h>

void PumpMessages()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
    {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

void CTransferPump::BetweenBlocks()
{
    const unsigned long long now = UtcNowTicks();
    if (now - m_lastTicks < kWaitSliceMilliseconds * kTicksPerMillisecond)
        return;
    m_lastTicks = now;
    PumpMessages();
}
