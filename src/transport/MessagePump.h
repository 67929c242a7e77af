#pragma once

#include <cstdint>

// Removes, translates and dispatches every window message pending for the
// calling thread; returns when its queue is empty. Every wait of the engine
// calls this so that the host's windows stay alive during a transfer.
void PumpMessages();

// Sleeps until the event (a HANDLE; null: none) is signalled, a window
// message arrives (dispatched then) or the milliseconds have passed;
// without an event, a wait slice at most. True when the event woke it;
// the event is reset then, so that nothing after the caller's next look is
// missed.
bool SleepUntilEventOrMessage(void* hEvent, unsigned long dwMilliseconds);

// A transfer's rhythm of pumping: between the blocks of a transfer the queue
// is drained when the last drain is a wait slice ago, not after every block.
// Each drain is a round trip to the window server under Wine, and a fast
// transfer moves many blocks per slice; the host's windows stay as alive as
// during a wait.
class CTransferPump
{
public:
    void BetweenBlocks();

private:
    uint64_t m_lastDrain = 0; // milliseconds of the monotonic clock
};
