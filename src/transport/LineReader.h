#pragma once

#include "LineBuffer.h"

class VEXSOCK;

enum class LineWait
{
    kLineReady,     // a complete line is buffered
    kReceiveFailed, // the receive failed or timed out (its pair says why)
    kNoLine,        // none will come: the peer closed, or the line is too long
};

// Receives until the buffer holds a complete line. Never waits again once
// the peer has closed, and never runs past the buffer. receive(p, cb) has
// the channel's shape: >0 bytes, 0 when the peer closed, -1 on failure.
template <typename Receive>
LineWait WaitForLineFrom(Receive receive, CLineBuffer& buffer)
{
    while (!buffer.HasLine())
    {
        if (!buffer.IsAllocated() || buffer.IsFull() || buffer.PeerClosed())
            return LineWait::kNoLine;
        const int cb = receive(buffer.FreeSpace(), buffer.FreeCount());
        if (cb == -1)
            return LineWait::kReceiveFailed;
        if (cb == 0)
            buffer.MarkPeerClosed();
        else
            buffer.Commit(cb);
    }
    return LineWait::kLineReady;
}

// The same on a channel, straight.
LineWait WaitForLine(VEXSOCK& channel, CLineBuffer& buffer);
