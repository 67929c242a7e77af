#include "LineReader.h"

#include "VexSock.h"

LineWait WaitForLine(VEXSOCK& channel, CLineBuffer& buffer)
{
    while (!buffer.HasLine())
    {
        if (!buffer.IsAllocated() || buffer.IsFull() || buffer.PeerClosed())
            return LineWait::kNoLine;
        const int cb = channel.Receive(buffer.FreeSpace(), buffer.FreeCount(), 0);
        if (cb == -1)
            return LineWait::kReceiveFailed;
        if (cb == 0)
            buffer.MarkPeerClosed();
        else
            buffer.Commit(cb);
    }
    return LineWait::kLineReady;
}
