#pragma once

// Removes, translates and dispatches every window message pending for the
// calling thread; returns when its queue is empty. Every wait of the engine
// calls this so that the host's windows stay alive during a transfer.
void PumpMessages();
