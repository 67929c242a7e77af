#pragma once

#include <cstdint>

// The UTC system time as a count of 100-nanosecond units (a FILETIME).
uint64_t UtcNowTicks();
