// Host names against the names a certificate was issued for.
#include "HostNameMatch.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using tls::CertificateNames;
using tls::HostKind;

TEST(HostNameMatch, KindsOfHost)
{
    const std::string label63(63, 'a');
    const std::string name253 = label63 + "." + label63 + "." + label63 + "." + std::string(61, 'b');
    const struct
    {
        std::string host;
        HostKind kind;
    } cases[] = {
        {"localhost", HostKind::kDnsName},
        {"WWW.Example.COM.", HostKind::kDnsName},
        {"host_name.test", HostKind::kDnsName},
        {"xn--bcher-kva.example", HostKind::kDnsName},
        {"1.2.3.x", HostKind::kDnsName},
        {label63 + ".test", HostKind::kDnsName},
        {name253, HostKind::kDnsName},
        {"127.0.0.1", HostKind::kIPv4},
        {"0.0.0.0", HostKind::kIPv4},
        {"255.255.255.255", HostKind::kIPv4},
        {"::1", HostKind::kIPv6},
        {"2001:DB8::1", HostKind::kIPv6},
        {"[::1]", HostKind::kInvalid},
        // Read by the resolver as addresses other than they look.
        {"127.1", HostKind::kInvalid},
        {"010.0.0.1", HostKind::kInvalid},
        {"0x7f.0.0.1", HostKind::kInvalid},
        {"2130706433", HostKind::kInvalid},
        {"example.123", HostKind::kInvalid},
        {"256.0.0.1", HostKind::kInvalid},
        {"1.2.3.4.5", HostKind::kInvalid},
        {"", HostKind::kInvalid},
        {".", HostKind::kInvalid},
        {"a..b", HostKind::kInvalid},
        {".a", HostKind::kInvalid},
        {"a b", HostKind::kInvalid},
        {"*.vexa.test", HostKind::kInvalid},
        {std::string("local\0host", 10), HostKind::kInvalid},
        {"h\xc3\xa9.test", HostKind::kInvalid},
        {std::string(64, 'a') + ".test", HostKind::kInvalid},
        {name253 + "b", HostKind::kInvalid},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.host);
        EXPECT_EQ(tls::ClassifyHost(c.host), c.kind);
    }
}

TEST(HostNameMatch, DnsPatterns)
{
    const struct
    {
        const char* host;
        const char* pattern;
        bool bMatches;
    } cases[] = {
        {"localhost", "localhost", true},
        {"LocalHost", "LOCALHOST", true},
        {"localhost.", "localhost", true},
        {"localhost", "localhost.", true},
        {"www.vexa.test", "*.vexa.test", true},
        {"WWW.VEXA.TEST", "*.Vexa.Test", true},
        {"vexa.test", "*.vexa.test", false},
        {"a.www.vexa.test", "*.vexa.test", false},
        {"www.vexa.test", "*.test", false},
        {"www.vexa.test", "w*.vexa.test", false},
        {"www.vexa.test", "*w.vexa.test", false},
        {"www.vexa.test", "www.*.test", false},
        {"www.vexa.test", "*.*.test", false},
        {"www.vexa.test", "**.vexa.test", false},
        {"www.vexa.test", "*", false},
        {"www.vexa.test", "www.vexa.test.other", false},
        {"www.vexa.test", "vexa.test", false},
        {"wwwvexa.test", "www.vexa.test", false},
        {"127.0.0.1", "127.0.0.1", false},
        {"127.0.0.1", "*.0.0.1", false},
        {"localhost", "", false},
        {"localhost", ".", false},
        {"a.b", "a..b", false},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.host << " against " << c.pattern);
        EXPECT_EQ(tls::MatchesDnsPattern(c.host, c.pattern), c.bMatches);
    }
    EXPECT_FALSE(tls::MatchesDnsPattern("localhost", std::string("localhost\0.evil", 15)));
}

TEST(HostNameMatch, CertificateNamesByKindOfHost)
{
    CertificateNames leaf;
    leaf.hasAltNames = true;
    leaf.dnsNames = {"other.invalid", "localhost", "*.vexa.test"};
    leaf.ipAddresses = {std::string("\x7f\x00\x00\x01", 4), std::string(15, '\0') + '\x01'};
    leaf.commonNames = {"common.test"};

    CertificateNames withoutAltNames;
    withoutAltNames.commonNames = {"common.test"};

    CertificateNames dnsOnly;
    dnsOnly.hasAltNames = true;
    dnsOnly.dnsNames = {"127.0.0.1", "localhost"};

    const struct
    {
        const char* host;
        const CertificateNames& names;
        bool bMatches;
    } cases[] = {
        {"localhost", leaf, true},
        {"www.vexa.test", leaf, true},
        {"127.0.0.1", leaf, true},
        {"127.0.0.2", leaf, false},
        {"127.1", leaf, false},
        {"0.0.0.0", leaf, false},
        {"::1", leaf, true},
        {"0:0::0:1", leaf, true},
        {"::2", leaf, false},
        // Four bytes never match sixteen, nor the reverse.
        {"::ffff:127.0.0.1", leaf, false},
        {"::", leaf, false},
        // The subject's name counts only without subjectAltName.
        {"common.test", leaf, false},
        {"common.test", withoutAltNames, true},
        {"COMMON.test.", withoutAltNames, true},
        // An address never matches a DNS name, even one that reads like it.
        {"127.0.0.1", dnsOnly, false},
        {"localhost", dnsOnly, true},
        {"localhost", CertificateNames(), false},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.host);
        EXPECT_EQ(tls::HostMatchesCertificate(c.host, c.names), c.bMatches);
    }
}

} // namespace
