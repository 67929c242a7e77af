#include "LineReader.h"

#include "VexSock.h"

LineWait WaitForLine(VEXSOCK& channel, CLineBuffer& buffer)
{
    return WaitForLineFrom([&channel](char* p, int cb) { return channel.Receive(p, cb, 0); }, buffer);
}
