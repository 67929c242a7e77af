// The names of a certificate read from their DER encoding, each with its
// encoded length: a zero byte inside a name stays in it, so that it matches
// nothing.
#include "CertificateNameReader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Tlv(uint8_t tag, const std::string& value)
{
    Bytes out;
    out.push_back(tag);
    out.push_back(static_cast<uint8_t>(value.size()));
    for (char c : value)
        out.push_back(static_cast<uint8_t>(c));
    return out;
}

Bytes Tlv(uint8_t tag, const Bytes& value)
{
    return Tlv(tag, std::string(value.begin(), value.end()));
}

Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& part : parts)
        for (uint8_t b : part)
            out.push_back(b);
    return out;
}

// SET { SEQUENCE { OID 2.5.4.x, value } }
Bytes NameAttribute(uint8_t type, uint8_t stringTag, const std::string& text)
{
    return Tlv(0x31, Tlv(0x30, Cat({Tlv(0x06, Bytes{0x55, 0x04, type}), Tlv(stringTag, text)})));
}

TEST(CertificateNameReader, AltNamesKeepTheirEncodedLength)
{
    const std::string nul("localhost\0.vexa.test", 20);
    const struct
    {
        const char* what;
        Bytes der;
        bool readable;
        std::vector<std::string> dnsNames;
        std::vector<std::string> ipAddresses;
    } cases[] = {
        {"dNSName and iPAddress", Tlv(0x30, Cat({Tlv(0x82, "localhost"), Tlv(0x87, Bytes{127, 0, 0, 1})})), true,
         {"localhost"}, {std::string("\x7f\0\0\x01", 4)}},
        {"zero byte inside", Tlv(0x30, Tlv(0x82, nul)), true, {nul}, {}},
        {"other choices passed over", Tlv(0x30, Cat({Tlv(0x81, "a@b.test"), Tlv(0xa4, Tlv(0x30, "")), Tlv(0x82, "x.test")})),
         true, {"x.test"}, {}},
        {"long-form length", Cat({Bytes{0x30, 0x81, 0x08}, Tlv(0x82, "a.test")}), true, {"a.test"}, {}},
        {"empty", Tlv(0x30, ""), true, {}, {}},
        {"entry runs past the sequence", Bytes{0x30, 0x03, 0x82, 0x05, 'a'}, false, {}, {}},
        {"bytes after the sequence", Cat({Tlv(0x30, Tlv(0x82, "a.test")), Bytes{0}}), false, {}, {}},
        {"no sequence", Tlv(0x31, Tlv(0x82, "a.test")), false, {}, {}},
        {"indefinite length", Bytes{0x30, 0x80, 0x00, 0x00}, false, {}, {}},
        {"length of five octets", Bytes{0x30, 0x85, 0, 0, 0, 0, 2, 0x82, 0}, false, {}, {}},
        {"high tag number", Tlv(0x30, Bytes{0x9f, 0x02, 0x00}), false, {}, {}},
        {"nothing", Bytes{}, false, {}, {}},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        tls::CertificateNames names;
        EXPECT_EQ(tls::ReadAltNames(c.der.data(), c.der.size(), &names), c.readable);
        EXPECT_EQ(names.dnsNames, c.dnsNames);
        EXPECT_EQ(names.ipAddresses, c.ipAddresses);
    }
}

TEST(CertificateNameReader, CommonNamesOfEveryStringType)
{
    const std::string nul("localhost\0.vexa.test", 20);
    const struct
    {
        const char* what;
        Bytes der;
        bool readable;
        std::vector<std::string> commonNames;
    } cases[] = {
        {"UTF8String among others",
         Tlv(0x30, Cat({NameAttribute(0x0a, 0x0c, "Org"), NameAttribute(0x03, 0x0c, "localhost")})), true,
         {"localhost"}},
        {"PrintableString, IA5String", Tlv(0x30, Cat({NameAttribute(0x03, 0x13, "a.test"), NameAttribute(0x03, 0x16, "b.test")})),
         true, {"a.test", "b.test"}},
        {"zero byte inside", Tlv(0x30, NameAttribute(0x03, 0x0c, nul)), true, {nul}},
        {"BMPString", Tlv(0x30, NameAttribute(0x03, 0x1e, std::string("\0a\0.\0t", 6))), true, {"a.t"}},
        {"BMPString beyond ASCII", Tlv(0x30, NameAttribute(0x03, 0x1e, std::string("\x04\x30\0t", 4))), true,
         {"\x80t"}},
        {"BMPString of an odd length", Tlv(0x30, NameAttribute(0x03, 0x1e, std::string("\0a\0", 3))), true, {"\x80"}},
        {"UniversalString", Tlv(0x30, NameAttribute(0x03, 0x1c, std::string("\0\0\0x", 4))), true, {"x"}},
        {"no common name", Tlv(0x30, NameAttribute(0x0a, 0x0c, "Org")), true, {}},
        {"attribute without value", Tlv(0x30, Tlv(0x31, Tlv(0x30, Tlv(0x06, Bytes{0x55, 0x04, 0x03})))), false, {}},
        {"no set", Tlv(0x30, Tlv(0x30, "")), false, {}},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        tls::CertificateNames names;
        EXPECT_EQ(tls::ReadCommonNames(c.der.data(), c.der.size(), &names), c.readable);
        EXPECT_EQ(names.commonNames, c.commonNames);
    }
}

} // namespace
