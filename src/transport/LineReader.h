#pragma once

#include "LineBuffer.h"

class VEXSOCK;

enum class LineWait
{
    kLineReady,     // a complete line is buffered
    kReceiveFailed, // the channel's receive failed or timed out (its pair says why)
    kNoLine,        // none will come: the peer closed, or the line is too long
};

// Receives on the channel until the buffer holds a complete line. Never
// waits again once the peer has closed, and never runs past the buffer.
LineWait WaitForLine(VEXSOCK& channel, CLineBuffer& buffer);
