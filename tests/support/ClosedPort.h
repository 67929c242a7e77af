// A loopback port where nothing listens: a channel binds it for a moment and
// releases it again, so that connections there are refused.
#pragma once

#include "CallerTrace.h"
#include "VexSock.h"

#include <cstdint>

inline uint16_t ClosedPort(const CCallerTrace& = {})
{
    VEXSOCK probe;
    EXPECT_TRUE(probe.Create(1, false));
    return probe.GetLocalPort();
}
