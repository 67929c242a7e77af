// Waits on a silent loopback peer for a few seconds, either through the
// channel's wait or through a zero-timeout polling loop that drains the
// message queue between polls (the classic busy wait, kept here only as
// the baseline), or in Sleep (the floor: what any idle Wine process
// costs). It prints the wall time of the wait and the processor time
// this process spent in it; bench/channel-wait.sh adds wineserver's.
//
// The dispatch modes measure how long a message posted to a window of the
// waiting thread takes until its window procedure runs: during the
// channel's wait, and in a plain GetMessage loop (the baseline). Another
// thread posts one message every 20 ms; the median latency is printed in
// milliseconds.
#include "MessagePump.h"
#include "VexSock.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>
#include <windows.h>

namespace {

constexpr UINT kTimedMessage = WM_APP + 1;
constexpr DWORD kPostIntervalMilliseconds = 20;

struct DispatchTimes
{
    LARGE_INTEGER frequency;
    std::vector<LONGLONG> posted, dispatched;
};
DispatchTimes g_times;

LRESULT CALLBACK TimedWindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (uMsg != kTimedMessage)
        return DefWindowProcA(hWnd, uMsg, wParam, lParam);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    if (wParam < g_times.dispatched.size())
        g_times.dispatched[wParam] = now.QuadPart;
    return 0;
}

// Posts `count` timed messages to the window, one every interval, and then
// WM_QUIT to the thread that owns it.
void PostTimedMessages(HWND hWnd, DWORD threadId, unsigned count)
{
    for (unsigned i = 0; i < count; ++i)
    {
        Sleep(kPostIntervalMilliseconds);
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        g_times.posted[i] = now.QuadPart;
        PostMessageA(hWnd, kTimedMessage, i, 0);
    }
    Sleep(kPostIntervalMilliseconds);
    PostThreadMessageA(threadId, WM_QUIT, 0, 0);
}

double MedianLatencyMilliseconds()
{
    std::vector<double> latencies;
    for (size_t i = 0; i < g_times.posted.size(); ++i)
    {
        if (g_times.dispatched[i] != 0)
            latencies.push_back((g_times.dispatched[i] - g_times.posted[i]) * 1000.0 / g_times.frequency.QuadPart);
    }
    if (latencies.empty())
        return -1;
    std::sort(latencies.begin(), latencies.end());
    return latencies[latencies.size() / 2];
}

// The dispatch modes: "dispatch-vexsock" waits in the channel on a silent
// peer while the messages come, "dispatch-getmessage" in GetMessage.
int MeasureDispatch(bool bChannel, VEXSOCK& sock, unsigned count)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = TimedWindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "VexaBenchTimedWindow";
    RegisterClassA(&wc);
    HWND hWnd = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    if (!hWnd)
        return 1;
    QueryPerformanceFrequency(&g_times.frequency);
    g_times.posted.assign(count, 0);
    g_times.dispatched.assign(count, 0);
    std::thread poster(PostTimedMessages, hWnd, GetCurrentThreadId(), count);
    if (bChannel)
    {
        // The wait outlasts the posts; WM_QUIT is dispatched to nobody.
        sock.WaitRead();
    }
    else
    {
        MSG msg;
        while (GetMessageA(&msg, nullptr, 0, 0) > 0)
            DispatchMessageA(&msg);
    }
    poster.join();
    DestroyWindow(hWnd);
    std::printf("%.3f\n", MedianLatencyMilliseconds());
    return 0;
}

// User and kernel time of this process so far.
double ProcessCpuSeconds()
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
        return 0;
    const auto seconds = [](const FILETIME& t) {
        return ((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

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
        std::fprintf(stderr, "usage: channel_wait vexsock|spin|sleep SECONDS\n"
                             "       channel_wait dispatch-vexsock|dispatch-getmessage COUNT\n");
        return 2;
    }
    const bool bDispatch = std::strncmp(argv[1], "dispatch-", 9) == 0;
    const unsigned number = static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10));
    // A dispatch run waits as long as the posts take, and some more.
    const unsigned seconds = bDispatch ? number * kPostIntervalMilliseconds / 1000 + 2 : number;

    VEXSOCK listener;
    if (!listener.Create(seconds + 5, false) || listener.Listen(1) != 0)
        return 1;
    VEXSOCK sock;
    if (!sock.Create(seconds, false) || !sock.Connect("127.0.0.1", listener.GetLocalPort()))
        return 1;

    if (bDispatch)
        return MeasureDispatch(std::strcmp(argv[1], "dispatch-vexsock") == 0, sock, number);
    const DWORD start = GetTickCount();
    const double cpuBefore = ProcessCpuSeconds();
    if (std::strcmp(argv[1], "spin") == 0)
        SpinUntil(sock.m_hSocket, seconds * 1000);
    else if (std::strcmp(argv[1], "sleep") == 0)
        Sleep(seconds * 1000);
    else if (sock.WaitRead() != 0)
        return 1;
    std::printf("%.2f %.4f\n", (GetTickCount() - start) / 1000.0, ProcessCpuSeconds() - cpuBefore);
    return 0;
}
