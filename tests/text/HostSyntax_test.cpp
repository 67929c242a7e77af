// Host names, address literals and ports as every setting reads them.
#include "HostSyntax.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(HostSyntax, HostNames)
{
    const std::string label63(63, 'a');
    const std::string name253 = label63 + "." + label63 + "." + label63 + "." + std::string(61, 'b');
    const struct { std::string text; bool bName; } cases[] = {
        {"localhost", true}, {"My_Host-1.Local", true}, {"host-.-a.b_", true}, {"9host.example", true},
        {label63 + ".test", true}, {name253, true},
        {"", false}, {".", false}, {"a..b", false}, {".a", false}, {"a.", false}, {"-host", false},
        {"10.1", false}, {"0x7f.1", false}, {"host.9a", false}, {"2130706433", false},
        {"a b", false}, {"h\xc3\xa9.test", false}, {std::string("local\0host", 10), false},
        {std::string(64, 'a') + ".test", false}, {name253 + "b", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(hostsyntax::IsHostName(c.text), c.bName) << c.text;
}

TEST(HostSyntax, IPv4Literals)
{
    uint8_t octets[4] = {9, 9, 9, 9};
    EXPECT_TRUE(hostsyntax::ParseIPv4Literal("255.0.10.1", octets));
    EXPECT_EQ(octets[0], 255);
    EXPECT_EQ(octets[3], 1);
    for (const char* text : {"", "1.2.3", "1.2.3.4.5", "1.2.3.", ".1.2.3", "256.1.1.1", "01.2.3.4", "1.2.3.04",
                             "1..2.3", "1.2.3.4x", " 1.2.3.4", "0x7f.0.0.1", "1.2.3.1000"})
    {
        EXPECT_FALSE(hostsyntax::IsIPv4Literal(text)) << text;
        EXPECT_FALSE(hostsyntax::ParseIPv4Literal(text, octets)) << text;
    }
    EXPECT_EQ(octets[0], 255); // untouched by a refusal
}

TEST(HostSyntax, IPv6Literals)
{
    const struct { const char* text; const char* hex; } taken[] = {
        {"::", "00000000000000000000000000000000"},
        {"::1", "00000000000000000000000000000001"},
        {"2001:db8::1", "20010db8000000000000000000000001"},
        {"2001:DB8:0:0:8:800:200C:417A", "20010db80000000000080800200c417a"},
        {"1::", "00010000000000000000000000000000"},
        {"1:2:3:4:5:6:7::", "00010002000300040005000600070000"},
        {"::ffff:1.2.3.4", "00000000000000000000ffff01020304"},
        {"0:0:0:0:0:0:13.1.68.3", "0000000000000000000000000d014403"},
    };
    for (const auto& c : taken)
    {
        uint8_t bytes[16] = {};
        ASSERT_TRUE(hostsyntax::ParseIPv6Literal(c.text, bytes)) << c.text;
        std::string hex;
        for (const uint8_t b : bytes)
            hex += "0123456789abcdef"[b >> 4], hex += "0123456789abcdef"[b & 15];
        EXPECT_EQ(hex, c.hex) << c.text;
    }
    for (const char* text : {"", ":", ":::", "1:::2", "1::2::3", ":1::", "1:", "1:2:3:4:5:6:7", "1:2:3:4:5:6:7:8:9",
                             "1::2:3:4:5:6:7:8", "12345::", "g::", "[::1]", "::1%1", "::1/128", "1.2.3.4",
                             "::1.2.3.4:1", "1:2:3:4:5:6:7:1.2.3.4", "::ffff:1.2.3.04"})
    {
        uint8_t bytes[16] = {};
        EXPECT_FALSE(hostsyntax::ParseIPv6Literal(text, bytes)) << text;
    }
}

TEST(HostSyntax, Ports)
{
    const struct { const char* text; bool bOk; uint16_t port; } cases[] = {
        {"1", true, 1}, {"80", true, 80}, {"65535", true, 65535}, {"0000000080", true, 80},
        {"", false, 7}, {"0", false, 7}, {"00000", false, 7}, {"65536", false, 7}, {"99999999999999999999", false, 7},
        {"8o", false, 7}, {"+80", false, 7}, {"-1", false, 7}, {" 80", false, 7},
    };
    for (const auto& c : cases)
    {
        uint16_t port = 7;
        EXPECT_EQ(hostsyntax::ParsePort(c.text, &port), c.bOk) << c.text;
        EXPECT_EQ(port, c.port) << c.text;
    }
}

} // namespace

TEST(HostSyntax, HostAndPortSplitAndJoin)
{
    const struct { const char* text; bool bSplit; const char* host; bool bHasPort; const char* port; } cases[] = {
        {"h", true, "h", false, ""},
        {"h:80", true, "h", true, "80"},
        {"h:", true, "h", true, ""},
        {"[::1]", true, "::1", false, ""},
        {"[::1]:8080", true, "::1", true, "8080"},
        {"::1", true, "::1", false, ""},
        {"[::1", false, "", false, ""},
        {"[::1]x", false, "", false, ""},
        {"[h]:80", false, "", false, ""},
    };
    for (const auto& c : cases)
    {
        std::string_view host, port;
        bool bHasPort = false;
        ASSERT_EQ(hostsyntax::SplitHostPort(c.text, &host, &port, &bHasPort), c.bSplit) << c.text;
        if (!c.bSplit)
            continue;
        EXPECT_EQ(host, c.host) << c.text;
        EXPECT_EQ(bHasPort, c.bHasPort) << c.text;
        EXPECT_EQ(port, c.port) << c.text;
    }
    EXPECT_EQ(hostsyntax::HostPort("::1", 80), "[::1]:80");
    EXPECT_EQ(hostsyntax::HostPort("h.test", 8080), "h.test:8080");
    EXPECT_EQ(hostsyntax::AuthorityHost("127.0.0.2"), "127.0.0.2");
}
