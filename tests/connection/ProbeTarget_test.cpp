// The probe's target and the "ProbeTarget" text that may replace it: what is
// taken, and everything malformed falling back to the fixed default. Runs
// natively as well as under the emulator.
#include "ProbeTarget.h"

// By path: the native build has no support include directory.
#include "../support/CallerTrace.h"

#include <gtest/gtest.h>

#include <string>

namespace {

void ExpectDefault(const CProbeTarget& target, const CCallerTrace& = {})
{
    EXPECT_STREQ(target.Host(), "1.1.1.1");
    EXPECT_EQ(target.Port(), 80);
    EXPECT_STREQ(target.IPv6Twin(), "2606:4700:4700::1111");
}

TEST(ProbeTarget, StartsAtTheFixedPublicAddressPortEighty)
{
    CProbeTarget target;
    ExpectDefault(target);
}

TEST(ProbeTarget, TakesHostAndHostWithPort)
{
    const struct { const char* text; const char* host; uint16_t port; } cases[] = {
        {"127.0.0.1", "127.0.0.1", 80},
        {"127.0.0.1:8080", "127.0.0.1", 8080},
        {"0.0.0.0:1", "0.0.0.0", 1},
        {"255.255.255.255:65535", "255.255.255.255", 65535},
        {"localhost", "localhost", 80},
        {"probe.example.org:443", "probe.example.org", 443},
        {"a-b.c9.Example", "a-b.c9.Example", 80},
        {"9host.example", "9host.example", 80},
        {"x:00081", "x", 81},
        // The URL's host rule: '_' and hyphens at the ends of labels.
        {"ho_st", "ho_st", 80},
        {"host-", "host-", 80},
        {"a.-b.c", "a.-b.c", 80},
        {"[2606:4700:4700::1111]:80", "2606:4700:4700::1111", 80},
        {"[::1]", "::1", 80},
        {"::1", "::1", 80},
    };
    for (const auto& c : cases)
    {
        CProbeTarget target;
        EXPECT_TRUE(target.Parse(c.text)) << c.text;
        EXPECT_STREQ(target.Host(), c.host) << c.text;
        EXPECT_EQ(target.Port(), c.port) << c.text;
        EXPECT_EQ(target.IPv6Twin(), nullptr) << c.text; // a configured target is used as given
    }
}

TEST(ProbeTarget, MalformedTextsGiveTheDefault)
{
    const char* const cases[] = {
        "",
        ":80",
        "host:",
        "host:0",
        "host:00000",
        "host:65536",
        "host:99999",
        "host:123456",
        "host:8a",
        "host:+80",
        "host:-1",
        "host: 80",
        "host:80:81",
        " host",
        "host ",
        "host/path",
        "http://host",
        "a..b",
        ".host",
        "host.",
        "-host",
        // Numbers that are not four decimal octets: the platform's address
        // parser would read them in its own ways.
        "1.2.3",
        "1.2.3.4.5",
        "256.1.1.1",
        "01.2.3.4",
        "1.2.3.04",
        "10.1",
        "0x7f.1",
        "host.123",
        "1.2.3.4x",
        "127.0.0.1 ",
        "[::1",
        "[::1]80",
        "[host]:80",
        "[127.0.0.1]",
        "::1:80:x",
    };
    for (const char* text : cases)
    {
        CProbeTarget target;
        target.Parse("127.0.0.9:99");
        EXPECT_FALSE(target.Parse(text)) << '"' << text << '"';
        ExpectDefault(target);
    }
    CProbeTarget target;
    EXPECT_FALSE(target.Parse(nullptr));
    ExpectDefault(target);
}

TEST(ProbeTarget, LengthLimits)
{
    const std::string label63(63, 'a');
    const std::string label64(64, 'a');
    // 63 + 1 + 63 + 1 + 63 + 1 + 61 = 253 characters.
    const std::string longest = label63 + "." + label63 + "." + label63 + "." + std::string(61, 'b');
    ASSERT_EQ(longest.size(), 253u);

    CProbeTarget target;
    EXPECT_TRUE(target.Parse(label63.c_str()));
    EXPECT_EQ(std::string(target.Host()), label63);
    EXPECT_FALSE(target.Parse(label64.c_str()));
    ExpectDefault(target);

    EXPECT_TRUE(target.Parse((longest + ":65535").c_str()));
    EXPECT_EQ(std::string(target.Host()), longest);
    EXPECT_EQ(target.Port(), 65535);

    EXPECT_FALSE(target.Parse((longest + "b").c_str()));
    ExpectDefault(target);
    EXPECT_FALSE(target.Parse((longest + ":655350").c_str()));
    ExpectDefault(target);
    // A long text is refused without being read to its end.
    const std::string huge(100000, 'a');
    EXPECT_FALSE(target.Parse(huge.c_str()));
    ExpectDefault(target);
}

TEST(ProbeTarget, ResetGoesBackToTheDefault)
{
    CProbeTarget target;
    ASSERT_TRUE(target.Parse("127.0.0.1:81"));
    target.Reset();
    ExpectDefault(target);
}

} // namespace
