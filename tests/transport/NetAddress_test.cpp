// Address texts and the order in which a name's addresses are tried.
#include "NetAddress.h"

#include <gtest/gtest.h>

namespace {

NetAddress Literal(const char* text)
{
    NetAddress address;
    EXPECT_TRUE(ParseAddressLiteral(text, 80, &address)) << text;
    return address;
}

TEST(NetAddress, TextIsTheCanonicalForm)
{
    const struct { const char* in; const char* text; const char* host; } cases[] = {
        {"127.0.0.1", "127.0.0.1", "127.0.0.1"},
        {"::1", "::1", "[::1]"},
        {"0:0:0:0:0:0:0:0", "::", "[::]"},
        {"2001:DB8:0:0:1:0:0:1", "2001:db8::1:0:0:1", "[2001:db8::1:0:0:1]"},
        {"2001:db8:0:1:1:1:1:1", "2001:db8:0:1:1:1:1:1", "[2001:db8:0:1:1:1:1:1]"},
        {"fe80::0001:0:0:0:2", "fe80:0:0:1::2", "[fe80:0:0:1::2]"},
        {"::ffff:192.0.2.1", "::ffff:192.0.2.1", "[::ffff:192.0.2.1]"},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(AddressText(Literal(c.in)), c.text) << c.in;
        EXPECT_EQ(AddressHostText(Literal(c.in)), c.host) << c.in;
    }
    NetAddress address;
    for (const char* text : {"", "[::1]", "::1%1", "localhost", "1.2.3", "::1::"})
        EXPECT_FALSE(ParseAddressLiteral(text, 80, &address)) << text;
}

TEST(NetAddress, SameHostComparesFamilyAndBytesOnly)
{
    NetAddress other = Literal("::1");
    other.port = 21;
    EXPECT_TRUE(Literal("::1").SameHost(other));
    EXPECT_FALSE(Literal("::1").SameHost(Literal("::2")));
    EXPECT_FALSE(Literal("::ffff:127.0.0.1").SameHost(Literal("127.0.0.1")));
    EXPECT_EQ(Literal("1.2.3.4").IPv4Net(), IPv4Address(Literal("1.2.3.4").IPv4Net(), 0).IPv4Net());
}

TEST(NetAddress, FamiliesTakeTurnsFromTheFirstAnswer)
{
    const struct { std::vector<const char*> in, out; } cases[] = {
        {{}, {}},
        {{"::1", "::2", "127.0.0.1", "127.0.0.2"}, {"::1", "127.0.0.1", "::2", "127.0.0.2"}},
        {{"127.0.0.1", "::1", "::2", "::3"}, {"127.0.0.1", "::1", "::2", "::3"}},
        {{"127.0.0.1", "127.0.0.2", "::1"}, {"127.0.0.1", "::1", "127.0.0.2"}},
    };
    for (const auto& c : cases)
    {
        std::vector<NetAddress> in;
        for (const char* text : c.in)
            in.push_back(Literal(text));
        std::vector<std::string> out;
        for (const NetAddress& address : InterleaveFamilies(in))
            out.push_back(AddressText(address));
        EXPECT_EQ(out, std::vector<std::string>(c.out.begin(), c.out.end()));
    }
}

} // namespace
