// The SOCKS client: exact bytes and every refusal against scripted proxies,
// and real CONNECT and BIND exchanges with dante and OpenSSH's SOCKS
// forwarding (which also speaks SOCKS 4A).
#include "VexSock.h"

#include "CallerTrace.h"
#include "ClosedPort.h"
#include "ScriptedPeer.h"
#include "SocksMessages.h"
#include "TestEnv.h"
#include "VexErrors.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Bytes(std::initializer_list<uint8_t> bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

// A destination that answers "ping" with "pong": proves that the channel
// carries the destination's byte stream after the handshake.
struct PingPongPeer
{
    CScriptedPeer peer;
    uint16_t port;
    PingPongPeer() { port = peer.Expect(4).Send("pong").Close().Start(); }
};

void ExpectPingPong(VEXSOCK& sock, const CCallerTrace& = {})
{
    ASSERT_EQ(sock.SendAll("ping", 4, 0), 4);
    char buffer[8] = {};
    int cb = 0, cbTotal = 0;
    while (cbTotal < 4 && (cb = sock.Receive(buffer + cbTotal, 4 - cbTotal, 0)) > 0)
        cbTotal += cb;
    EXPECT_EQ(std::string(buffer, cbTotal), "pong");
}

const std::string kSocks5Granted = Bytes({5, 0, 0, 1, 127, 0, 0, 1, 0x12, 0x34});
const std::string kSocks4Granted = Bytes({0, 90, 0, 0, 0, 0, 0, 0});

// --- Scripted proxies: exact bytes -------------------------------------------

TEST(Socks5Connect, DottedDestinationWithoutAuthentication)
{
    CScriptedPeer proxy;
    proxy.Expect(3).Send({5, 0}).Expect(10).Send(kSocks5Granted).Expect(4).Close();
    const uint16_t proxyPort = proxy.Start();
    VEXSOCK sock;
    ASSERT_TRUE(sock.Create(2, false));
    ASSERT_TRUE(sock.ConnectSocks("127.0.0.9", 21, "127.0.0.1", proxyPort, 5, 0, "u", "p"));
    EXPECT_EQ(sock.GetLastError(), 0);
    ASSERT_EQ(sock.SendAll("data", 4, 0), 4);
    proxy.Join();
    EXPECT_EQ(proxy.Received(), Bytes({5, 1, 0,                       // greeting: method 0 only
                                       5, 1, 0, 1, 127, 0, 0, 9, 0, 21}) // CONNECT 127.0.0.9:21
                                    + "data");
    EXPECT_TRUE(sock.m_bViaSocks);
    EXPECT_EQ(sock.m_nSocksVersion, 5u);
    EXPECT_EQ(sock.m_nSocksPort, proxyPort);
    EXPECT_EQ(sock.m_nSocksAuth, 0u);
    EXPECT_STREQ(sock.m_pszSocksHost.Get(), "127.0.0.1");
    EXPECT_STREQ(sock.m_pszSocksUser.Get(), "u");
    EXPECT_STREQ(sock.m_pszSocksPassword.Get(), "p");
    EXPECT_STREQ(sock.m_pszTargetHost.Get(), "127.0.0.9");
    EXPECT_EQ(sock.m_nTargetPort, 21);
    EXPECT_EQ(sock.m_addr.sin_addr.s_addr, 0u);
    EXPECT_EQ(sock.m_addr.sin_port, 0);
}

TEST(Socks5Connect, NameGoesToTheProxyAndMethodZeroSkipsTheSubNegotiation)
{
    CScriptedPeer proxy;
    proxy.Expect(4).Send({5, 0}).Expect(18).Send(kSocks5Granted).Close();
    const uint16_t proxyPort = proxy.Start();
    VEXSOCK sock;
    ASSERT_TRUE(sock.Create(2, false));
    ASSERT_TRUE(sock.ConnectSocks("example.org", 80, "127.0.0.1", proxyPort, 2, 2, "u", "p"));
    proxy.Join();
    EXPECT_EQ(proxy.Received(), Bytes({5, 2, 0, 2,    // greeting: methods 0 and 2
                                       5, 1, 0, 3, 11}) // CONNECT, ATYP 3, 11 characters
                                    + "example.org" + Bytes({0, 80}));
    EXPECT_EQ(sock.m_nSocksAuth, 2u);
}

TEST(Socks5Connect, UserNameAndPasswordAreSentWithTerminators)
{
    CScriptedPeer proxy;
    proxy.Expect(4).Send({5, 2}).Expect(10).Send({1, 0}).Expect(10).Send(kSocks5Granted).Close();
    const uint16_t proxyPort = proxy.Start();
    VEXSOCK sock;
    ASSERT_TRUE(sock.Create(2, false));
    ASSERT_TRUE(sock.ConnectSocks("127.0.0.9", 21, "127.0.0.1", proxyPort, 5, 2, "jo", "pwd"));
    proxy.Join();
    EXPECT_EQ(proxy.Received().substr(4, 10), Bytes({1, 3, 'j', 'o', 0, 4, 'p', 'w', 'd', 0}));
}

TEST(Socks5Connect, RefusedCredentialsCloseTheChannelAndLeaveOnlyTheDetail)
{
    for (const std::string& answer : {Bytes({1, 1}), std::string()})
    {
        CScriptedPeer proxy;
        proxy.Expect(4).Send({5, 2}).Expect(10);
        if (!answer.empty())
            proxy.Send(answer);
        proxy.Close();
        const uint16_t proxyPort = proxy.Start();
        VEXSOCK sock;
        ASSERT_TRUE(sock.Create(2, false));
        EXPECT_FALSE(sock.ConnectSocks("127.0.0.9", 21, "127.0.0.1", proxyPort, 5, 2, "jo", "pwd"));
        EXPECT_EQ(sock.GetLastError(), 0) << "answer size " << answer.size();
        EXPECT_EQ(sock.GetLastErrorEx(), VEXDET_SOCKS_AUTH);
        EXPECT_FALSE(sock.m_bOpen);
        EXPECT_EQ(sock.m_hSocket, INVALID_SOCKET);
        EXPECT_FALSE(sock.m_bViaSocks);
    }
}

TEST(Socks5Connect, ReplyCodesMapToTheirDetails)
{
    const struct { uint8_t ver, rep; long lErrorEx; } cases[] = {
        {5, 1, 1021}, {5, 2, 1022}, {5, 3, 1023}, {5, 4, 1024}, {5, 5, 1025},
        {5, 6, 1026}, {5, 7, 1027}, {5, 8, 1028}, {5, 9, 1021}, {5, 200, 1021},
        {4, 0, 1014},
    };
    for (const auto& c : cases)
    {
        CScriptedPeer proxy;
        proxy.Expect(3).Send({5, 0}).Expect(10).Send({c.ver, c.rep, 0, 1, 0, 0, 0, 0, 0, 0}).Close();
        const uint16_t proxyPort = proxy.Start();
        VEXSOCK sock;
        ASSERT_TRUE(sock.Create(2, false));
        EXPECT_FALSE(sock.ConnectSocks("127.0.0.9", 21, "127.0.0.1", proxyPort, 5, 0, nullptr, nullptr));
        EXPECT_EQ(sock.GetLastError(), VEXERR_SOCKS) << "REP " << int(c.rep);
        EXPECT_EQ(sock.GetLastErrorEx(), c.lErrorEx) << "REP " << int(c.rep);
    }
}

TEST(Socks5Connect, ReplyIsReadByItsAddressTypeAndTheDestinationsBytesStay)
{
    const std::string ipv6Loopback = Bytes({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1});
    const struct { const char* name; std::string reply; long lErrorEx; } cases[] = {
        {"IPv4", kSocks5Granted, 0},
        {"name", Bytes({5, 0, 0, 3, 9}) + "proxy.lan" + Bytes({0x12, 0x34}), 0},
        {"IPv6", Bytes({5, 0, 0, 4}) + ipv6Loopback + Bytes({0x12, 0x34}), 0},
        {"unknown address type", Bytes({5, 0, 0, 2, 127, 0, 0, 1, 0x12, 0x34}), VEXDET_BAD_REPLY},
    };
    for (const auto& c : cases)
    {
        // The reply and the destination's greeting arrive in one segment.
        CScriptedPeer proxy;
        proxy.Expect(3).Send({5, 0}).Expect(10).Send(c.reply + "220 ready\r\n").Close();
        const uint16_t proxyPort = proxy.Start();
        VEXSOCK sock;
        ASSERT_TRUE(sock.Create(2, false));
        const bool bConnected = sock.ConnectSocks("127.0.0.9", 21, "127.0.0.1", proxyPort, 5, 0, nullptr, nullptr);
        EXPECT_EQ(bConnected, c.lErrorEx == 0) << c.name;
        EXPECT_EQ(sock.GetLastError(), c.lErrorEx ? VEXERR_SOCKS : 0) << c.name;
        EXPECT_EQ(sock.GetLastErrorEx(), c.lErrorEx) << c.name;
        if (!bConnected)
            continue;
        std::string received;
        char buffer[64];
        for (int cb; (cb = sock.Receive(buffer, sizeof(buffer), 0)) > 0;)
            received.append(buffer, cb);
        EXPECT_EQ(received, "220 ready\r\n") << c.name;
    }
}

TEST(Socks5Connect, ProxyThatClosesOrGoesQuietAfterTheGreetingIsRefused)
{
    // Closed: the zeroed reply buffer reads VER 0. Quiet: the receive times out.
    for (bool bQuiet : {false, true})
    {
        CScriptedPeer proxy;
        proxy.Expect(3).Send({5, 0}).Expect(10);
        if (bQuiet)
            proxy.HoldUntilClientCloses();
        else
            proxy.Close();
        const uint16_t proxyPort = proxy.Start();
        VEXSOCK sock;
        ASSERT_TRUE(sock.Create(1, false));
        EXPECT_FALSE(sock.ConnectSocks("127.0.0.9", 21, "127.0.0.1", proxyPort, 5, 0, nullptr, nullptr));
        EXPECT_EQ(sock.GetLastError(), VEXERR_SOCKS);
        EXPECT_EQ(sock.GetLastErrorEx(), bQuiet ? VEXDET_SOCKS_GENERAL : VEXDET_BAD_REPLY);
        sock.Close();
    }
}

TEST(Socks4Connect, DottedDestinationWithTheDefaultUserId)
{
    for (unsigned version : {0u, 1u})
    {
        CScriptedPeer proxy;
        proxy.Expect(16).Send(kSocks4Granted).Close();
        const uint16_t proxyPort = proxy.Start();
        VEXSOCK sock;
        ASSERT_TRUE(sock.Create(2, false));
        ASSERT_TRUE(sock.ConnectSocks("127.0.0.9", 0x1f90, "127.0.0.1", proxyPort, version, 0, "", "x"));
        proxy.Join();
        EXPECT_EQ(proxy.Received(), Bytes({4, 1, 0x1f, 0x90, 127, 0, 0, 9}) + "vexsock" + '\0');
        EXPECT_EQ(sock.m_nSocksVersion, 4u);
        // The locally resolved destination is the channel's peer address.
        EXPECT_EQ(sock.GetPeerAddress(), inet_addr("127.0.0.9"));
        EXPECT_EQ(sock.GetPeerPort(), htons(0x1f90));
    }
}

TEST(Socks4Connect, NameTheClientCannotResolveGoesOutAsSocks4a)
{
    CScriptedPeer proxy;
    proxy.Expect(10 + 3 + 17).Send({0, 90, 0, 0, 127, 0, 0, 7}).Close();
    const uint16_t proxyPort = proxy.Start();
    VEXSOCK sock;
    ASSERT_TRUE(sock.Create(2, false));
    ASSERT_TRUE(sock.ConnectSocks("unknown.invalid.x", 21, "127.0.0.1", proxyPort, 1, 0, "bob", nullptr));
    proxy.Join();
    EXPECT_EQ(proxy.Received(), Bytes({4, 1, 0, 21, 0, 0, 0, 1}) + "bob" + '\0' + "unknown.invalid.x" + '\0');
    EXPECT_EQ(sock.m_addr.sin_family, AF_INET);
    EXPECT_EQ(sock.GetPeerPort(), htons(21));
    EXPECT_EQ(sock.GetPeerAddress(), inet_addr("127.0.0.7"));
}

TEST(Socks4Connect, RefusalsMapToTheirDetails)
{
    const struct { uint8_t vn, cd; long lErrorEx; } cases[] = {
        {0, 91, 1025}, {0, 92, 1024}, {0, 93, 1020}, {0, 1, 1021}, {4, 90, 1014},
    };
    for (const auto& c : cases)
    {
        CScriptedPeer proxy;
        proxy.Expect(16).Send({c.vn, c.cd, 0, 0, 0, 0, 0, 0}).Close();
        const uint16_t proxyPort = proxy.Start();
        VEXSOCK sock;
        ASSERT_TRUE(sock.Create(2, false));
        EXPECT_FALSE(sock.ConnectSocks("127.0.0.9", 21, "127.0.0.1", proxyPort, 0, 0, nullptr, nullptr));
        EXPECT_EQ(sock.GetLastError(), VEXERR_SOCKS) << "CD " << int(c.cd);
        EXPECT_EQ(sock.GetLastErrorEx(), c.lErrorEx) << "CD " << int(c.cd);
    }
}

TEST(SocksConnect, UnreachableProxyIsASocketLayerFailure)
{
    const uint16_t closedPort = ClosedPort();
    VEXSOCK sock;
    ASSERT_TRUE(sock.Create(2, false));
    EXPECT_FALSE(sock.ConnectSocks("127.0.0.9", 21, "127.0.0.1", closedPort, 5, 0, nullptr, nullptr));
    EXPECT_EQ(sock.GetLastError(), VEXERR_SOCKET);
    EXPECT_FALSE(sock.m_bViaSocks);
}

TEST(SocksConnect, FieldsThatDoNotFitAreRefusedBeforeTheProxyIsContacted)
{
    // The proxy port is closed: contacting it would give -120, not -110 / 1021.
    const uint16_t closedPort = ClosedPort();
    const std::string longName(249, 'n');
    const std::string longUser(247, 'u');
    const std::string longPassword(255, 'p');
    struct { const char* host; unsigned version; unsigned auth; const char* user; const char* password; } cases[] = {
        {longName.c_str(), 5, 0, nullptr, nullptr},
        {"127.0.0.9", 0, 0, longUser.c_str(), nullptr},
        {"127.0.0.9", 5, 2, "u", longPassword.c_str()},
    };
    for (const auto& c : cases)
    {
        VEXSOCK sock;
        ASSERT_TRUE(sock.Create(2, false));
        EXPECT_FALSE(sock.ConnectSocks(c.host, 21, "127.0.0.1", closedPort, c.version, c.auth, c.user, c.password));
        EXPECT_EQ(sock.GetLastError(), VEXERR_SOCKS);
        EXPECT_EQ(sock.GetLastErrorEx(), VEXDET_SOCKS_GENERAL);
    }
}

TEST(SocksConnect, Socks4aRequestThatDoesNotFitIsNotSent)
{
    CScriptedPeer proxy;
    proxy.HoldUntilClientCloses();
    const uint16_t proxyPort = proxy.Start();
    const std::string longName(240, 'n'); // with "vexsock": 247 > 245
    VEXSOCK sock;
    ASSERT_TRUE(sock.Create(2, false));
    EXPECT_FALSE(sock.ConnectSocks(longName.c_str(), 21, "127.0.0.1", proxyPort, 0, 0, nullptr, nullptr));
    EXPECT_EQ(sock.GetLastError(), VEXERR_SOCKS);
    EXPECT_EQ(sock.GetLastErrorEx(), VEXDET_SOCKS_GENERAL);
    sock.Close();
    proxy.Join();
    EXPECT_EQ(proxy.Received(), "");
}

// --- dante --------------------------------------------------------------------

TEST(DanteConnect, Socks5AndSocks4CarryTheDestinationsBytes)
{
    for (unsigned version : {5u, 1u})
    {
        PingPongPeer destination;
        VEXSOCK sock;
        ASSERT_TRUE(sock.Create(4, false));
        ASSERT_TRUE(sock.ConnectSocks("127.0.0.1", destination.port, "127.0.0.1", testenv::DantePort(),
                                      version, 0, nullptr, nullptr))
            << "version " << version << ": " << sock.GetLastError() << " / " << sock.GetLastErrorEx();
        ExpectPingPong(sock);
    }
}

TEST(DanteConnect, Socks5WithUserNameAndPassword)
{
    PingPongPeer destination;
    VEXSOCK sock;
    ASSERT_TRUE(sock.Create(4, false));
    ASSERT_TRUE(sock.ConnectSocks("127.0.0.1", destination.port, "localhost", testenv::DantePort(), 5, 2,
                                  testenv::ProxyUser().c_str(), testenv::ProxyPassword().c_str()))
        << sock.GetLastError() << " / " << sock.GetLastErrorEx();
    ExpectPingPong(sock);
}

TEST(DanteConnect, Socks5WrongPasswordIsRefused)
{
    VEXSOCK sock;
    ASSERT_TRUE(sock.Create(4, false));
    EXPECT_FALSE(sock.ConnectSocks("127.0.0.1", 21, "127.0.0.1", testenv::DantePort(), 5, 2,
                                   testenv::ProxyUser().c_str(), "wrong"));
    EXPECT_EQ(sock.GetLastError(), 0);
    EXPECT_EQ(sock.GetLastErrorEx(), VEXDET_SOCKS_AUTH);
}

TEST(DanteConnect, RefusalsByRuleAndByTheDestination)
{
    const uint16_t closedPort = ClosedPort();
    const struct { const char* host; uint16_t port; unsigned version; long lErrorEx; } cases[] = {
        {"127.0.0.66", 21, 5, VEXDET_SOCKS_NOT_ALLOWED}, // blocked by rule
        {"127.0.0.66", 21, 0, VEXDET_SOCKS_REFUSED},     // SOCKS 4 knows only 91
        {"127.0.0.1", closedPort, 5, VEXDET_SOCKS_REFUSED},
        {"127.0.0.1", closedPort, 0, VEXDET_SOCKS_REFUSED},
    };
    for (const auto& c : cases)
    {
        VEXSOCK sock;
        ASSERT_TRUE(sock.Create(4, false));
        EXPECT_FALSE(sock.ConnectSocks(c.host, c.port, "127.0.0.1", testenv::DantePort(), c.version, 0,
                                       nullptr, nullptr));
        EXPECT_EQ(sock.GetLastError(), VEXERR_SOCKS) << c.host << " v" << c.version;
        EXPECT_EQ(sock.GetLastErrorEx(), c.lErrorEx) << c.host << " v" << c.version;
    }
}

// BIND as the FTP data channel uses it: the proxy listens, reports where, and
// sends a second reply once the expected peer has connected there.
void RunDanteBind(unsigned version)
{
    VEXSOCK data;
    ASSERT_TRUE(data.Create(4, false));
    // The version argument selects SOCKS 4 with 0 or 1, SOCKS 5 with anything larger.
    ASSERT_TRUE(data.ConnectProxy("127.0.0.1", testenv::DantePort(), version == 4 ? 1 : 5, 0, nullptr, nullptr));

    uint8_t request[socks::kRequestBufferSize] = {};
    const uint32_t expectedPeer = inet_addr("127.0.0.1");
    const size_t cbRequest =
        version == 4 ? socks::BuildSocks4Request(request, sizeof(request), socks::kCommandBind, 21,
                                                 expectedPeer, nullptr, nullptr)
                     : socks::BuildSocks5Request(request, sizeof(request), socks::kCommandBind,
                                                 "127.0.0.1", &expectedPeer, 21);
    const int cbReply = static_cast<int>(version == 4 ? socks::kSocks4ReplyLength : socks::kSocks5ReplyLength);
    ASSERT_EQ(data.SendAll(reinterpret_cast<const char*>(request), static_cast<int>(cbRequest), 0),
              static_cast<int>(cbRequest));

    uint8_t first[socks::kReplyBufferSize] = {};
    ASSERT_EQ(data.Receive(reinterpret_cast<char*>(first), cbReply, 0), cbReply);
    data.EvaluateSocksReply(first, version);
    ASSERT_EQ(data.GetLastError(), 0) << data.GetLastErrorEx();
    const int portOffset = version == 4 ? 2 : 8;
    const uint16_t bindPort = static_cast<uint16_t>(first[portOffset] << 8 | first[portOffset + 1]);
    ASSERT_NE(bindPort, 0);

    // The "server" connects to the address the proxy announced.
    VEXSOCK server;
    ASSERT_TRUE(server.Create(4, false));
    ASSERT_TRUE(server.Connect("127.0.0.1", bindPort));

    uint8_t second[socks::kReplyBufferSize] = {};
    ASSERT_EQ(data.Receive(reinterpret_cast<char*>(second), cbReply, 0), cbReply);
    EXPECT_EQ(second[1], version == 4 ? socks::kSocks4Granted : socks::kSocks5Succeeded);

    ASSERT_EQ(server.SendAll("file", 4, 0), 4);
    char buffer[8] = {};
    int cbTotal = 0, cb = 0;
    while (cbTotal < 4 && (cb = data.Receive(buffer + cbTotal, 4 - cbTotal, 0)) > 0)
        cbTotal += cb;
    EXPECT_EQ(std::string(buffer, cbTotal), "file");
}

TEST(DanteBind, Socks5) { RunDanteBind(5); }
TEST(DanteBind, Socks4) { RunDanteBind(4); }

// --- OpenSSH dynamic forwarding ------------------------------------------------

TEST(SshSocks, Socks4aNameResolvedOnlyByTheProxy)
{
    const std::string name = testenv::ProxyOnlyHostName();
    sockaddr_in addr;
    ASSERT_FALSE(VEXSOCK::Resolve(name.c_str(), 1, &addr)) << "the client must not know " << name;

    PingPongPeer destination;
    VEXSOCK sock;
    ASSERT_TRUE(sock.Create(4, false));
    ASSERT_TRUE(sock.ConnectSocks(name.c_str(), destination.port, "127.0.0.1", testenv::SshSocksPort(), 1, 0,
                                  nullptr, nullptr))
        << sock.GetLastError() << " / " << sock.GetLastErrorEx();
    EXPECT_EQ(sock.GetPeerPort(), htons(destination.port));
    ExpectPingPong(sock);
}

TEST(SshSocks, Socks5NameAndSocks4Address)
{
    {
        PingPongPeer destination;
        VEXSOCK sock;
        ASSERT_TRUE(sock.Create(4, false));
        ASSERT_TRUE(sock.ConnectSocks(testenv::ProxyOnlyHostName().c_str(), destination.port, "127.0.0.1",
                                      testenv::SshSocksPort(), 5, 0, nullptr, nullptr));
        ExpectPingPong(sock);
    }
    {
        PingPongPeer destination;
        VEXSOCK sock;
        ASSERT_TRUE(sock.Create(4, false));
        ASSERT_TRUE(sock.ConnectSocks("127.0.0.1", destination.port, "127.0.0.1", testenv::SshSocksPort(), 0, 0,
                                      nullptr, nullptr));
        ExpectPingPong(sock);
    }
}

} // namespace
