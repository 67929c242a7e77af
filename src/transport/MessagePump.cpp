#include "MessagePump.h"

#include "MonotonicClock.h"
#include "VexLimits.h"

#include <windows.h>

#include <algorithm>

void PumpMessages()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
    {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

bool SleepUntilEventOrMessage(void* hEvent, unsigned long dwMilliseconds)
{
    if (!hEvent)
        dwMilliseconds = std::min<DWORD>(dwMilliseconds, kWaitSliceMilliseconds);
    const DWORD nHandles = hEvent ? 1 : 0;
    // MWMO_INPUTAVAILABLE: messages already in the queue wake the wait too,
    // not only those that arrive during it.
    const DWORD dwWoken = MsgWaitForMultipleObjectsEx(nHandles, hEvent ? &hEvent : nullptr, dwMilliseconds,
                                                      QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (dwWoken == WAIT_OBJECT_0 + nHandles)
        PumpMessages();
    if (!hEvent || dwWoken != WAIT_OBJECT_0)
        return false;
    ResetEvent(hEvent);
    return true;
}

void CTransferPump::BetweenBlocks()
{
    const uint64_t now = MonotonicNowMilliseconds();
    if (now - m_lastDrain < kWaitSliceMilliseconds)
        return;
    m_lastDrain = now;
    PumpMessages();
}
