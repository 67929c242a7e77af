// The clock of every deadline: milliseconds since the system started. Unlike
// the wall clock it never steps (a time synchronisation, a person setting the
// time or a resumed virtual machine move the wall clock, not this one), so a
// wait ends after its limit whatever happens to the time of day.
#pragma once

#include <cstdint>

uint64_t MonotonicNowMilliseconds();

// Tests substitute the source to drive waits; null restores the system's.
typedef uint64_t (*MonotonicSource)();
void SetMonotonicSourceForTesting(MonotonicSource pfnSource);

// How long a wait may sleep on the platform's timers before it reads this
// clock again: up to its deadline on the system's source, whose time the
// timers keep; a slice on a substituted one, of which they know nothing.
uint64_t LongestSleepMilliseconds();

// The point in time that lies nSeconds from now.
inline uint64_t DeadlineAfterSeconds(unsigned nSeconds)
{
    return MonotonicNowMilliseconds() + uint64_t(nSeconds) * 1000;
}
