// Waits on a silent loopback peer for a few seconds, either through the
// channel's wait or through a zero-timeout polling loop that drains the
// message queue between polls (the classic busy wait, kept here only as
// the baseline). CPU time is measured from outside by bench/channel-wait.sh.
#include "MessagePump.h"
#include "VexSock.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <windows.h>

namespace {

// The classic poll: select with a zero timeout, then drain the queue.
void SpinUntil(SOCKET h, DWORD msDeadline)
{
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < msDeadline)
    {
        fd_set readSet;
        FD_ZERO(&readSet);
        FD_SET(h, &readSet);
        timeval zero = {0, 0};
        if (select(0, &readSet, nullptr, nullptr, &zero) != 0)
            return;
        PumpMessages();
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
    {
        std::fprintf(stderr, "usage: channel_wait vexsock|spin SECONDS\n");
        return 2;
    }
    const unsigned seconds = static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10));

    VEXSOCK listener;
    if (!listener.Create(seconds + 5, false) || listener.Listen(1) != 0)
        return 1;
    VEXSOCK sock;
    if (!sock.Create(seconds, false) || !sock.Connect("127.0.0.1", listener.GetLocalPort()))
        return 1;

    const DWORD start = GetTickCount();
    if (std::strcmp(argv[1], "spin") == 0)
        SpinUntil(sock.m_hSocket, seconds * 1000);
    else if (sock.WaitRead() != 0)
        return 1;
    std::printf("%.2f\n", (GetTickCount() - start) / 1000.0);
    return 0;
}
