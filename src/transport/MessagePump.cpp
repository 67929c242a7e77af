#include "MessagePump.h"

#include "MonotonicClock.h"
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
    const uint64_t now = MonotonicNowMilliseconds();
    if (now - m_lastDrain < kWaitSliceMilliseconds)
        return;
    m_lastDrain = now;
    PumpMessages();
}
