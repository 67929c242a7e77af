// The socket channel against in-process loopback peers: connection outcomes,
// waits and their deadlines, sends and receives, listen and accept, and the
// message pumping that keeps a host's windows alive during a wait.
#include "VexSock.h"

#include "ClosedPort.h"
#include "MonotonicClock.h"
#include "ScriptedPeer.h"
#include "SilentListener.h"
#include "TestFiles.h"
#include "TestTiming.h"
#include "VexErrors.h"
#include "VexLimits.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <string>

namespace {

constexpr long kSentinel = 777777;

void SetSentinelPair(VEXSOCK& sock)
{
    sock.m_lLastError = kSentinel;
    sock.m_lLastErrorEx = kSentinel;
}

TEST(VexSockConstruction, StartsNonBlockingWithTheTransferTimeout)
{
    VEXSOCK sock;
    EXPECT_TRUE(sock.m_winsock.Started());
    EXPECT_TRUE(sock.m_bOpen);
    EXPECT_TRUE(sock.m_bNonBlocking);
    EXPECT_NE(sock.m_hSocket, INVALID_SOCKET);
    EXPECT_EQ(sock.m_nTimeout, kTransferTimeoutSeconds);
    EXPECT_EQ(sock.GetLastError(), 0);
    EXPECT_EQ(sock.GetLastErrorEx(), 0);
    EXPECT_FALSE(sock.m_bViaSocks);
    EXPECT_TRUE(sock.m_pszSocksHost.IsNull());
}

TEST(VexSockConstruction, CreateBindsTheWildcardAddressWithTheCallersTimeout)
{
    VEXSOCK sock;
    ASSERT_TRUE(sock.Create(7, false));
    EXPECT_EQ(sock.m_nTimeout, 7u);
    EXPECT_EQ(sock.m_addr.sin_addr.s_addr, htonl(INADDR_ANY));
    EXPECT_NE(sock.GetLocalPort(), 0);
    CAnsiString text;
    uint16_t port = 0;
    ASSERT_EQ(sock.GetLocalAddress(text, &port), 0);
    EXPECT_STREQ(text.Get(), "0.0.0.0");
    EXPECT_EQ(port, sock.GetLocalPort());
}

TEST(VexSockResolve, DottedAddressIsTakenAsItIs)
{
    sockaddr_in addr;
    ASSERT_TRUE(VEXSOCK::Resolve("127.0.0.9", 8021, &addr));
    EXPECT_EQ(addr.sin_family, AF_INET);
    EXPECT_EQ(addr.sin_addr.s_addr, inet_addr("127.0.0.9"));
    EXPECT_EQ(addr.sin_port, htons(8021));
}

TEST(VexSockResolve, NullHostIsTheWildcard)
{
    sockaddr_in addr;
    ASSERT_TRUE(VEXSOCK::Resolve(nullptr, 21, &addr));
    EXPECT_EQ(addr.sin_addr.s_addr, htonl(INADDR_ANY));
}

TEST(VexSockResolve, NamesAreLookedUp)
{
    sockaddr_in addr;
    ASSERT_TRUE(VEXSOCK::Resolve("localhost", 80, &addr));
    EXPECT_EQ(addr.sin_addr.s_addr, htonl(INADDR_LOOPBACK));
}

TEST(VexSockConnect, UnknownNameFailsWithHostNotFoundAndLeavesThePair)
{
    VEXSOCK sock;
    ASSERT_TRUE(sock.Create(1, false));
    SetSentinelPair(sock);
    WSASetLastError(0);
    EXPECT_FALSE(sock.Connect("no-such-host.invalid", 80));
    EXPECT_EQ(WSAGetLastError(), VEXWSA_HOST_NOT_FOUND);
    EXPECT_EQ(sock.GetLastError(), kSentinel);
    EXPECT_EQ(sock.GetLastErrorEx(), kSentinel);
}

TEST(VexSockConnect, ListeningPeerConnectsAndClearsThePair)
{
    CScriptedPeer peer;
    peer.Close();
    const uint16_t port = peer.Start();
    VEXSOCK sock;
    ASSERT_TRUE(sock.Create(2, false));
    SetSentinelPair(sock);
    ASSERT_TRUE(sock.Connect("127.0.0.1", port));
    EXPECT_EQ(sock.GetLastError(), 0);
    EXPECT_EQ(sock.GetLastErrorEx(), 0);
    EXPECT_EQ(sock.m_addr.sin_port, htons(port));
    EXPECT_EQ(sock.GetPeerPort(), htons(port));
    EXPECT_EQ(sock.GetPeerAddress(), inet_addr("127.0.0.1"));
    peer.Join();
    EXPECT_TRUE(peer.Accepted());
}

TEST(VexSockConnect, RefusedConnectionSetsConnectFailedAndKeepsTheDetail)
{
    const uint16_t port = ClosedPort();
    VEXSOCK sock;
    ASSERT_TRUE(sock.Create(2, false));
    SetSentinelPair(sock);
    EXPECT_FALSE(sock.Connect("127.0.0.1", port));
    EXPECT_EQ(sock.GetLastError(), VEXERR_CONNECT_FAILED);
    EXPECT_EQ(sock.GetLastErrorEx(), kSentinel);
}

TEST(VexSockConnect, PeerThatNeverAnswersTimesOutAfterTheChannelsLimit)
{
    CSilentListener silent;
    ASSERT_NE(silent.Port(), 0);
    VEXSOCK sock;
    ASSERT_TRUE(sock.Create(1, false));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(sock.Connect("127.0.0.1", silent.Port()));
    const double elapsed = SecondsSince(start);
    EXPECT_EQ(sock.GetLastError(), VEXERR_SOCKET);
    EXPECT_EQ(sock.GetLastErrorEx(), VEXWSA_TIMEDOUT);
    EXPECT_GE(elapsed, 0.9);
    EXPECT_LT(elapsed, 5.0);
}

// Each reading of this clock lies a minute after the last: a wait measured on
// it must run out after a few slices, whatever the time of day does.
uint64_t g_fastClock = 0;
uint64_t FastMonotonicClock()
{
    return g_fastClock += 60 * 1000;
}

TEST(VexSockWait, DeadlineIsMeasuredOnTheMonotonicClock)
{
    CScriptedPeer peer;
    peer.HoldUntilClientCloses();
    const uint16_t port = peer.Start();
    VEXSOCK sock;
    ASSERT_TRUE(sock.Create(300, false));
    ASSERT_TRUE(sock.Connect("127.0.0.1", port));
    SetMonotonicSourceForTesting(FastMonotonicClock);
    const auto start = std::chrono::steady_clock::now();
    const int result = sock.WaitRead();
    SetMonotonicSourceForTesting(nullptr);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(sock.GetLastErrorEx(), VEXWSA_TIMEDOUT);
    EXPECT_LT(SecondsSince(start), 2.0);
    sock.Close();
}

TEST(VexSockWait, UnknownModeFailsWithSocketLayerCode)
{
    VEXSOCK sock;
    EXPECT_EQ(sock.Wait(3), -1);
    EXPECT_EQ(sock.GetLastError(), VEXERR_SOCKET);
}

TEST(VexSockWait, WaitWithoutSocketFailsInSelect)
{
    VEXSOCK sock;
    sock.Close();
    EXPECT_EQ(sock.WaitRead(), -1);
    EXPECT_EQ(sock.GetLastError(), VEXERR_SOCKET);
    EXPECT_EQ(sock.GetLastErrorEx(), WSAENOTSOCK);
}

TEST(VexSockTransfer, ReceiveReturnsZeroWhenThePeerClosesAndRecordsNothing)
{
    CScriptedPeer peer;
    peer.Send("hello").Close();
    const uint16_t port = peer.Start();
    VEXSOCK sock;
    ASSERT_TRUE(sock.Create(2, false));
    ASSERT_TRUE(sock.Connect("127.0.0.1", port));
    std::string received;
    char buffer[64];
    int cb;
    while ((cb = sock.Receive(buffer, sizeof(buffer), 0)) > 0)
        received.append(buffer, cb);
    EXPECT_EQ(cb, 0);
    EXPECT_EQ(received, "hello");
    EXPECT_EQ(sock.GetLastError(), 0);
    EXPECT_EQ(sock.GetLastErrorEx(), 0);
}

TEST(VexSockTransfer, ReceiveTimeoutReportsThePlatformErrorNotTimedOut)
{
    CScriptedPeer peer;
    peer.HoldUntilClientCloses();
    const uint16_t port = peer.Start();
    VEXSOCK sock;
    ASSERT_TRUE(sock.Create(1, false));
    ASSERT_TRUE(sock.Connect("127.0.0.1", port));
    WSASetLastError(0);
    char buffer[16];
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(sock.Receive(buffer, sizeof(buffer), 0), -1);
    EXPECT_GE(SecondsSince(start), 0.9);
    EXPECT_EQ(sock.GetLastError(), VEXERR_SOCKET);
    EXPECT_NE(sock.GetLastErrorEx(), VEXWSA_TIMEDOUT);
    sock.Close();
}

TEST(VexSockTransfer, SendAllDeliversEveryByteAndNothingForLengthZero)
{
    const std::string payload = BinaryContent(3 * 1024 * 1024);
    CScriptedPeer peer;
    peer.Expect(payload.size()).Close();
    const uint16_t port = peer.Start();
    VEXSOCK sock;
    ASSERT_TRUE(sock.Create(4, false));
    ASSERT_TRUE(sock.Connect("127.0.0.1", port));
    EXPECT_EQ(sock.SendAll(payload.data(), 0, 0), 0);
    EXPECT_EQ(sock.SendAll(payload.data(), -5, 0), 0);
    EXPECT_EQ(sock.SendAll(payload.data(), static_cast<int>(payload.size()), 0),
              static_cast<int>(payload.size()));
    peer.Join();
    EXPECT_TRUE(peer.Received() == payload);
}

TEST(VexSockTransfer, SendAfterThePeerResetFailsWithSocketLayerCode)
{
    CScriptedPeer peer;
    peer.Reset();
    const uint16_t port = peer.Start();
    VEXSOCK sock;
    ASSERT_TRUE(sock.Create(2, false));
    ASSERT_TRUE(sock.Connect("127.0.0.1", port));
    peer.Join();
    const std::string block(64 * 1024, 'x');
    int result = 0;
    for (int i = 0; i < 64 && result != -1; ++i)
        result = sock.SendAll(block.data(), static_cast<int>(block.size()), 0);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(sock.GetLastError(), VEXERR_SOCKET);
    EXPECT_NE(sock.GetLastErrorEx(), 0);
}

TEST(VexSockClose, IsIdempotentAndKeepsTheDetail)
{
    VEXSOCK sock;
    ASSERT_TRUE(sock.Create(9, false));
    sock.m_lLastError = VEXERR_SOCKET;
    sock.m_lLastErrorEx = 10054;
    sock.m_pszSocksHost.Assign("proxy");
    sock.m_nSocksPort = 1080;
    sock.m_nSocksVersion = 5;
    sock.Close();
    sock.Close();
    EXPECT_EQ(sock.GetLastError(), 0);
    EXPECT_EQ(sock.GetLastErrorEx(), 10054);
    EXPECT_EQ(sock.m_hSocket, INVALID_SOCKET);
    EXPECT_FALSE(sock.m_bOpen);
    EXPECT_EQ(sock.m_nTimeout, kTransferTimeoutSeconds);
    EXPECT_TRUE(sock.m_pszSocksHost.IsNull());
    EXPECT_EQ(sock.m_nSocksPort, 0u);
    EXPECT_EQ(sock.m_nSocksVersion, 5u); // left alone
    EXPECT_TRUE(sock.m_bNonBlocking);    // left alone
}

TEST(VexSockListen, AcceptReplacesTheListeningSocket)
{
    VEXSOCK listener;
    ASSERT_TRUE(listener.Create(2, false));
    ASSERT_EQ(listener.Listen(5), 0);
    const uint16_t port = listener.GetLocalPort();

    VEXSOCK client;
    ASSERT_TRUE(client.Create(2, false));
    ASSERT_TRUE(client.Connect("127.0.0.1", port));
    sockaddr_in from;
    int cbFrom = sizeof(from);
    ASSERT_EQ(listener.Accept(reinterpret_cast<sockaddr*>(&from), &cbFrom), 0);
    EXPECT_EQ(from.sin_addr.s_addr, inet_addr("127.0.0.1"));
    EXPECT_EQ(listener.GetLastError(), 0);

    // The accepted connection carries data both ways ...
    ASSERT_EQ(client.SendAll("ping", 4, 0), 4);
    char buffer[8] = {};
    ASSERT_EQ(listener.Receive(buffer, sizeof(buffer), 0), 4);
    EXPECT_STREQ(buffer, "ping");

    // ... and nothing listens on the port any more.
    VEXSOCK second;
    ASSERT_TRUE(second.Create(2, false));
    EXPECT_FALSE(second.Connect("127.0.0.1", port));
    EXPECT_EQ(second.GetLastError(), VEXERR_CONNECT_FAILED);
}

TEST(VexSockListen, AcceptWithNullAddressAndTimeout)
{
    VEXSOCK listener;
    ASSERT_TRUE(listener.Create(1, false));
    ASSERT_EQ(listener.Listen(5), 0);
    EXPECT_EQ(listener.Accept(nullptr, nullptr), -1);
    EXPECT_EQ(listener.GetLastError(), VEXERR_SOCKET);
    EXPECT_EQ(listener.GetLastErrorEx(), VEXWSA_TIMEDOUT);
}

int g_nStartCalls;
uint32_t g_cbProgressExpected, g_cbProgressSoFar;
bool g_bAbortAnswer;
void CountStart(uint32_t) { ++g_nStartCalls; }
void RememberProgress(uint32_t cbExpected, uint32_t cbSoFar)
{
    g_cbProgressExpected = cbExpected;
    g_cbProgressSoFar = cbSoFar;
}
bool AnswerAbort() { return g_bAbortAnswer; }

TEST(VexSockHooks, AreCalledWhenSetAndQueryAbortStoresTheAnswer)
{
    VEXSOCK sock;
    sock.NotifyStart(10);
    sock.NotifyProgress(10, 5);
    EXPECT_FALSE(sock.QueryAbort());
    EXPECT_FALSE(sock.m_bAbort);

    g_nStartCalls = 0;
    sock.SetStartHook(CountStart);
    sock.SetProgressHook(RememberProgress);
    sock.SetAbortHook(AnswerAbort);
    sock.NotifyStart(100);
    sock.NotifyProgress(100, 42);
    g_bAbortAnswer = true;
    EXPECT_TRUE(sock.QueryAbort());
    EXPECT_TRUE(sock.m_bAbort);
    EXPECT_EQ(g_nStartCalls, 1);
    EXPECT_EQ(g_cbProgressExpected, 100u);
    EXPECT_EQ(g_cbProgressSoFar, 42u);

    sock.Close(); // hooks survive Close
    g_bAbortAnswer = false;
    EXPECT_FALSE(sock.QueryAbort());
    EXPECT_FALSE(sock.m_bAbort);
}

int g_nTimerTicks;
int g_nPostedSeen;
constexpr UINT kPostedMessage = WM_APP + 7;

LRESULT CALLBACK CountingWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_TIMER)
        ++g_nTimerTicks;
    if (msg == kPostedMessage)
        ++g_nPostedSeen;
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

TEST(VexSockWait, DispatchesWindowMessagesWhileWaiting)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = CountingWindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "VexSockTestWindow";
    RegisterClassA(&wc);
    HWND hwnd = CreateWindowA("VexSockTestWindow", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              wc.hInstance, nullptr);
    ASSERT_NE(hwnd, nullptr);
    g_nTimerTicks = 0;
    g_nPostedSeen = 0;
    PostMessageA(hwnd, kPostedMessage, 0, 0);
    SetTimer(hwnd, 1, 50, nullptr);

    CScriptedPeer peer;
    peer.HoldUntilClientCloses();
    const uint16_t port = peer.Start();
    VEXSOCK sock;
    ASSERT_TRUE(sock.Create(1, false));
    ASSERT_TRUE(sock.Connect("127.0.0.1", port));
    EXPECT_EQ(sock.WaitRead(), 0);
    EXPECT_EQ(sock.GetLastErrorEx(), VEXWSA_TIMEDOUT);
    KillTimer(hwnd, 1);
    DestroyWindow(hwnd);
    sock.Close();

    EXPECT_EQ(g_nPostedSeen, 1);
    // A one-second wait at a 50 ms timer: the queue was drained all along.
    EXPECT_GE(g_nTimerTicks, 10);
}

} // namespace
