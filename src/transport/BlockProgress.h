// The rhythm of a transfer's hooks: progress and the abort question on
// every seventh block.
#pragma once

#include "VexLimits.h"
#include "VexSock.h"

#include <cstdint>

class CBlockProgress
{
public:
    CBlockProgress(VEXSOCK& channel, uint64_t cbExpected)
        : m_channel(channel), m_cbExpected(cbExpected)
    {
    }

    // Counts one block moved; true when the abort hook asked to stop.
    bool CountBlock(uint64_t cbTotal)
    {
        if (++m_nBlocks < kBlocksPerProgressReport)
            return false;
        m_nBlocks = 0;
        m_channel.NotifyProgress(m_cbExpected, cbTotal);
        return m_channel.QueryAbort();
    }

private:
    VEXSOCK& m_channel;
    uint64_t m_cbExpected;
    unsigned m_nBlocks = 0;
};
