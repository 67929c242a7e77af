// The rhythm of a transfer's hooks, and the loop every transfer runs.
#pragma once

#include "MessagePump.h"
#include "VexLimits.h"
#include "VexSock.h"

#include <cstdint>

// Progress on every seventh block; the abort question with it, or after
// every block for a client that always asked that often.
class CBlockProgress
{
public:
    enum class AbortQuestion
    {
        kWithProgress,
        kEveryBlock,
    };

    CBlockProgress(VEXSOCK& channel, uint64_t cbExpected, AbortQuestion question = AbortQuestion::kWithProgress)
        : m_channel(channel), m_cbExpected(cbExpected), m_question(question)
    {
    }

    // Counts one block moved; true when the abort hook asked to stop.
    bool CountBlock(uint64_t cbTotal)
    {
        const bool bReport = ++m_nBlocks == kBlocksPerProgressReport;
        if (bReport)
        {
            m_nBlocks = 0;
            m_channel.NotifyProgress(m_cbExpected, cbTotal);
        }
        return (bReport || m_question == AbortQuestion::kEveryBlock) && m_channel.QueryAbort();
    }

private:
    VEXSOCK& m_channel;
    uint64_t m_cbExpected;
    AbortQuestion m_question;
    unsigned m_nBlocks = 0;
};

enum class CopyEnd
{
    kComplete,    // read gave 0: the source ended
    kReadFailed,  // read gave -1
    kWriteFailed, // write gave false
    kAborted,     // the abort hook asked to stop
};

// Moves blocks until the source ends: read(pBlock, cbBlock) gives the bytes
// read, 0 at the end or -1 on failure; write(pBlock, cb) whether all cb bytes
// went out. *pcbTotal counts what was written. Between blocks the thread's
// messages are dispatched, then progress counts the block. Nothing runs
// between a failed call and the return, so the caller still reads the
// failure's reason.
template <typename Read, typename Write>
CopyEnd CopyBlocks(char* pBlock, int cbBlock, CBlockProgress& progress, uint64_t* pcbTotal, Read&& read,
                   Write&& write)
{
    CTransferPump pump;
    for (;;)
    {
        const long cb = read(pBlock, cbBlock);
        if (cb < 0)
            return CopyEnd::kReadFailed;
        if (cb == 0)
            return CopyEnd::kComplete;
        if (!write(pBlock, static_cast<int>(cb)))
            return CopyEnd::kWriteFailed;
        *pcbTotal += static_cast<uint64_t>(cb);
        pump.BetweenBlocks();
        if (progress.CountBlock(*pcbTotal))
            return CopyEnd::kAborted;
    }
}
