// Exact bytes of every SOCKS message the client builds, the limits of the
// fixed buffers, and the reply evaluation table.
#include "SocksMessages.h"

#include "VexErrors.h"

#include <gtest/gtest.h>

#include <cstring>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Take(const uint8_t* buf, size_t cb) { return Bytes(buf, buf + cb); }

Bytes Concat(const Bytes& head, const std::string& tail = "")
{
    Bytes bytes(head);
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    return bytes;
}

const uint32_t kAddr127_0_0_5 = [] {
    const uint8_t b[4] = {127, 0, 0, 5};
    uint32_t v;
    std::memcpy(&v, b, 4);
    return v;
}();

TEST(SocksVersion, ZeroAndOneSelectFourLargerSelectFive)
{
    EXPECT_EQ(socks::SelectVersion(0), 4u);
    EXPECT_EQ(socks::SelectVersion(1), 4u);
    EXPECT_EQ(socks::SelectVersion(2), 5u);
    EXPECT_EQ(socks::SelectVersion(5), 5u);
    EXPECT_EQ(socks::SelectVersion(9), 5u);
}

TEST(Socks4Request, ConnectWithAddressAndDefaultUserId)
{
    uint8_t buf[socks::kRequestBufferSize];
    for (const char* user : {static_cast<const char*>(nullptr), ""})
    {
        const size_t cb = socks::BuildSocks4Request(buf, sizeof(buf), socks::kCommandConnect, 21,
                                                    kAddr127_0_0_5, user, nullptr);
        EXPECT_EQ(Take(buf, cb), Concat({4,          // VN
                                         1,          // CD: CONNECT
                                         0, 21,      // DSTPORT
                                         127, 0, 0, 5}, // DSTIP
                                        std::string("vexsock") + '\0'));
    }
}

TEST(Socks4Request, Socks4aCarriesTheNameAfterTheUserId)
{
    uint8_t buf[socks::kRequestBufferSize];
    const size_t cb = socks::BuildSocks4Request(buf, sizeof(buf), socks::kCommandConnect, 0x1f90, 0,
                                                "bob", "ftp.example");
    EXPECT_EQ(cb, 10u + 3 + 11);
    EXPECT_EQ(Take(buf, cb), Concat({4, 1,
                                     0x1f, 0x90, // DSTPORT 8080
                                     0, 0, 0, 1}, // DSTIP 0.0.0.1: the proxy resolves
                                    std::string("bob") + '\0' + "ftp.example" + '\0'));
}

TEST(Socks4Request, BindUsesCommandTwo)
{
    uint8_t buf[socks::kRequestBufferSize];
    const size_t cb = socks::BuildSocks4Request(buf, sizeof(buf), socks::kCommandBind, 21,
                                                kAddr127_0_0_5, "u", nullptr);
    EXPECT_EQ(Take(buf, cb), Concat({4, 2, 0, 21, 127, 0, 0, 5}, std::string("u") + '\0'));
}

TEST(Socks4Request, FieldsThatDoNotFitAreRefused)
{
    uint8_t buf[socks::kRequestBufferSize];
    const std::string user246(246, 'u'), user247(247, 'u');
    EXPECT_EQ(socks::BuildSocks4Request(buf, sizeof(buf), 1, 1, 0, user246.c_str(), nullptr), 255u);
    EXPECT_EQ(socks::BuildSocks4Request(buf, sizeof(buf), 1, 1, 0, user247.c_str(), nullptr), 0u);
    const std::string host(245 - 7, 'h');
    EXPECT_EQ(socks::BuildSocks4Request(buf, sizeof(buf), 1, 1, 0, nullptr, host.c_str()), 255u);
    const std::string longer = host + "h";
    EXPECT_EQ(socks::BuildSocks4Request(buf, sizeof(buf), 1, 1, 0, nullptr, longer.c_str()), 0u);
    EXPECT_FALSE(socks::Socks4RequestFits(nullptr, longer.c_str()));
    // A smaller buffer than the message is never overrun.
    EXPECT_EQ(socks::BuildSocks4Request(buf, 16, 1, 1, 0, "abcdefgh", nullptr), 0u);
}

TEST(Socks5Greeting, OffersNoAuthenticationOrBoth)
{
    uint8_t buf[socks::kReplyBufferSize];
    size_t cb = socks::BuildSocks5Greeting(buf, sizeof(buf), 0);
    EXPECT_EQ(Take(buf, cb), (Bytes{5, 1, 0}));
    cb = socks::BuildSocks5Greeting(buf, sizeof(buf), 2);
    EXPECT_EQ(Take(buf, cb), (Bytes{5, 2, 0, 2}));
}

TEST(Socks5UserPassword, LengthBytesCountTheTerminator)
{
    uint8_t buf[socks::kReplyBufferSize];
    size_t cb = socks::BuildSocks5UserPassword(buf, sizeof(buf), "jo", "pwd");
    EXPECT_EQ(Take(buf, cb), Concat({1, 3}, std::string("jo") + '\0' + '\x04' + "pwd" + '\0'));
    cb = socks::BuildSocks5UserPassword(buf, sizeof(buf), nullptr, "");
    EXPECT_EQ(Take(buf, cb), (Bytes{1, 1, 0, 1, 0}));
}

TEST(Socks5UserPassword, CredentialsLongerThanTheLengthByteAreRefused)
{
    uint8_t buf[socks::kReplyBufferSize];
    const std::string s254(254, 'x'), s255(255, 'x');
    EXPECT_EQ(socks::BuildSocks5UserPassword(buf, sizeof(buf), s254.c_str(), s254.c_str()),
              3u + 255 + 255);
    EXPECT_EQ(buf[1], 255);
    EXPECT_EQ(socks::BuildSocks5UserPassword(buf, sizeof(buf), s255.c_str(), "p"), 0u);
    EXPECT_EQ(socks::BuildSocks5UserPassword(buf, sizeof(buf), "u", s255.c_str()), 0u);
}

TEST(Socks5Request, DottedAddressIsTenBytes)
{
    uint8_t buf[socks::kRequestBufferSize];
    const size_t cb = socks::BuildSocks5Request(buf, sizeof(buf), socks::kCommandConnect, "127.0.0.5",
                                                &kAddr127_0_0_5, 80);
    EXPECT_EQ(Take(buf, cb), (Bytes{5,            // VER
                                    1,            // CMD: CONNECT
                                    0,            // RSV
                                    1,            // ATYP: IPv4
                                    127, 0, 0, 5, // DST.ADDR
                                    0, 80}));     // DST.PORT
}

TEST(Socks5Request, NameIsSentWithItsLength)
{
    uint8_t buf[socks::kRequestBufferSize];
    const size_t cb = socks::BuildSocks5Request(buf, sizeof(buf), socks::kCommandBind,
                                                "example.org", nullptr, 0x1234);
    EXPECT_EQ(cb, 18u);
    EXPECT_EQ(Take(buf, cb), Concat({5, 2, 0, 3, 11}, "example.org" + std::string("\x12\x34")));
}

TEST(Socks5Request, NamesLongerThanTheBufferAllowsAreRefused)
{
    uint8_t buf[socks::kRequestBufferSize];
    const std::string name248(248, 'n'), name249(249, 'n');
    EXPECT_EQ(socks::BuildSocks5Request(buf, sizeof(buf), 1, name248.c_str(), nullptr, 1), 255u);
    EXPECT_EQ(socks::BuildSocks5Request(buf, sizeof(buf), 1, name249.c_str(), nullptr, 1), 0u);
    EXPECT_FALSE(socks::Socks5NameFits(name249.c_str()));
}

struct ReplyCase
{
    unsigned version;
    uint8_t vn;
    uint8_t status;
    long lError;
    long lErrorEx;
};

TEST(SocksReply, EvaluationTable)
{
    const ReplyCase cases[] = {
        {4, 0, 90, 0, 0},
        {4, 0, 91, -110, 1025},
        {4, 0, 92, -110, 1024},
        {4, 0, 93, -110, 1020},
        {4, 0, 94, -110, 1021},
        {4, 0, 0, -110, 1021},
        {4, 4, 90, -110, 1014},
        {5, 5, 0, 0, 0},
        {5, 5, 1, -110, 1021},
        {5, 5, 2, -110, 1022},
        {5, 5, 3, -110, 1023},
        {5, 5, 4, -110, 1024},
        {5, 5, 5, -110, 1025},
        {5, 5, 6, -110, 1026},
        {5, 5, 7, -110, 1027},
        {5, 5, 8, -110, 1028},
        {5, 5, 9, -110, 1021},
        {5, 5, 128, -110, 1021},
        {5, 5, 255, -110, 1021},
        {5, 4, 0, -110, 1014},
        {5, 0, 0, -110, 1014},
        // Any version but 4 is evaluated as SOCKS 5.
        {0, 5, 5, -110, 1025},
    };
    for (const ReplyCase& c : cases)
    {
        const uint8_t reply[2] = {c.vn, c.status};
        const socks::ErrorPair pair = socks::EvaluateReply(reply, c.version);
        EXPECT_EQ(pair.lError, c.lError) << "version " << c.version << " status " << int(c.status);
        EXPECT_EQ(pair.lErrorEx, c.lErrorEx) << "version " << c.version << " status " << int(c.status);
    }
}

// VER 5, RSV 0 and BND.PORT 0x1234 around the fields that differ.
Bytes Socks5Reply(uint8_t rep, uint8_t atyp, const std::string& address)
{
    return Concat(Concat({5, rep, 0, atyp}, address), "\x12\x34");
}

const std::string kIPv4Address("\x7f\x00\x00\x09", 4);
const std::string kIPv6Loopback = std::string(15, '\0') + '\x01';

struct Socks5ReplyCase
{
    const char* name;
    Bytes reply;
    // Complete: the reader takes the reply and not a byte more. Otherwise it
    // is decided (or cut short) within its first five bytes.
    bool bComplete;
    long lErrorEx;
};

// Each reply arrives with the destination's first bytes behind it, in two
// pieces split at every point; after the first piece the reader is given
// what it asks for, as the channel does. A reply cut short is a bad reply.
TEST(Socks5Reply, ReadByItsAddressTypeSplitAtEveryPoint)
{
    const Socks5ReplyCase cases[] = {
        {"IPv4", Socks5Reply(0, 1, kIPv4Address), true, 0},
        {"name", Socks5Reply(0, 3, "\x0b" "example.org"), true, 0},
        {"empty name", Socks5Reply(0, 3, std::string(1, '\0')), true, 0},
        {"longest name", Socks5Reply(0, 3, "\xff" + std::string(255, 'n')), true, 0},
        {"IPv6", Socks5Reply(0, 4, kIPv6Loopback), true, 0},
        {"unknown address type", Socks5Reply(0, 2, kIPv4Address), false, VEXDET_BAD_REPLY},
        {"refused, IPv6", Socks5Reply(5, 4, kIPv6Loopback), false, VEXDET_SOCKS_REFUSED},
        {"refused, unknown address type", Socks5Reply(2, 9, ""), false, VEXDET_SOCKS_NOT_ALLOWED},
        {"version 4", Concat({4, 0, 0, 1, 127, 0, 0, 9, 0, 21}), false, VEXDET_BAD_REPLY},
    };
    for (const Socks5ReplyCase& c : cases)
    {
        const Bytes input = Concat(c.reply, "220 ready\r\n");
        for (size_t split = 0; split <= c.reply.size(); ++split)
        {
            SCOPED_TRACE(std::string(c.name) + ", split at " + std::to_string(split));
            socks::CSocks5Reply reply;
            size_t cbTaken = reply.Feed(input.data(), split);
            if (c.bComplete && split < c.reply.size())
            {
                // Cut short here, a granted reply is a bad one.
                EXPECT_EQ(reply.Outcome().lErrorEx, VEXDET_BAD_REPLY);
            }
            for (size_t cbWanted = reply.BytesWanted(); cbWanted > 0; cbWanted = reply.BytesWanted())
            {
                ASSERT_EQ(reply.Feed(input.data() + cbTaken, cbWanted), cbWanted);
                cbTaken += cbWanted;
            }
            EXPECT_EQ(reply.Complete(), c.bComplete);
            EXPECT_LE(cbTaken, c.bComplete ? c.reply.size() : 5u);
            EXPECT_GE(cbTaken, c.bComplete ? c.reply.size() : 1u);
            EXPECT_EQ(reply.Outcome().lError, c.lErrorEx ? VEXERR_SOCKS : 0);
            EXPECT_EQ(reply.Outcome().lErrorEx, c.lErrorEx);
            EXPECT_EQ(reply.Port(), c.bComplete ? 0x1234 : 0);
            uint32_t address = 0;
            EXPECT_EQ(reply.GetIPv4Address(&address), c.bComplete && c.reply[3] == 1);
        }
    }
}

} // namespace
