// Host names against the names of a certificate. The input, cut at its
// first two zero bytes, is:
//
//   host \0 pattern \0 address
//
// The host is classified and matched against the pattern as a dNSName entry,
// as a common name with and without subjectAltName, and against the address
// as an iPAddress entry. Checked: only a DNS name matches a pattern, and
// only an IPv4 literal an address; an IPv6 literal is neither; case and one
// trailing dot never change a result; a match without wildcard is the same name, one with a wildcard
// differs in the first label only, below at least two more; the common name
// counts only without subjectAltName. The whole input is also read as the
// DER of a subjectAltName extension and of a subject name: nothing is added
// when it cannot be read, and no name is longer than the input.
#include "CertificateNameReader.h"
#include "HostNameMatch.h"
#include "HostSyntax.h"

#include "FuzzSupport.h"

#include <string>

namespace {

std::string Lower(std::string text)
{
    for (char& c : text)
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return text;
}

std::string Upper(std::string text)
{
    for (char& c : text)
        c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    return text;
}

std::string WithoutTrailingDot(const std::string& name)
{
    return !name.empty() && name.back() == '.' ? name.substr(0, name.size() - 1) : name;
}

size_t Labels(const std::string& name)
{
    size_t count = 1;
    for (char c : name)
        count += c == '.';
    return count;
}

std::string AfterFirstLabel(const std::string& name)
{
    const size_t dot = name.find('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

void CheckDnsMatch(const std::string& host, const std::string& pattern)
{
    const bool bMatches = tls::MatchesDnsPattern(host, pattern);
    FUZZ_CHECK(bMatches == tls::MatchesDnsPattern(Upper(host), Lower(pattern)));
    FUZZ_CHECK(bMatches == tls::MatchesDnsPattern(Lower(host), Upper(pattern)));
    if (!bMatches)
        return;
    FUZZ_CHECK(tls::ClassifyHost(host) == tls::HostKind::kDnsName);
    FUZZ_CHECK(host.find('*') == std::string::npos && host.find('\0') == std::string::npos);
    const std::string name = Lower(WithoutTrailingDot(host));
    const std::string wanted = Lower(WithoutTrailingDot(pattern));
    if (wanted.compare(0, 2, "*.") != 0)
    {
        FUZZ_CHECK(name == wanted);
        return;
    }
    FUZZ_CHECK(Labels(wanted) >= 3 && Labels(name) == Labels(wanted));
    FUZZ_CHECK(AfterFirstLabel(name) == AfterFirstLabel(wanted));
    FUZZ_CHECK(name.find('.') > 0);
}

} // namespace

void CheckNameReader(const uint8_t* data, size_t size)
{
    tls::CertificateNames names;
    const bool bAltNames = tls::ReadAltNames(data, size, &names);
    FUZZ_CHECK(bAltNames || (names.dnsNames.empty() && names.ipAddresses.empty()));
    const bool bCommonNames = tls::ReadCommonNames(data, size, &names);
    FUZZ_CHECK(bCommonNames || names.commonNames.empty());
    for (const auto* list : {&names.dnsNames, &names.ipAddresses, &names.commonNames})
        for (const std::string& name : *list)
            FUZZ_CHECK(name.size() <= size);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CheckNameReader(data, size);
    const std::vector<std::string> fields = fuzz::SplitAtZero(data, size, 3);
    const std::string& host = fields[0];
    const std::string pattern = fields.size() > 1 ? fields[1] : std::string();
    const std::string address = fields.size() > 2 ? fields[2] : std::string();

    const tls::HostKind kind = tls::ClassifyHost(host);
    uint8_t octets[4] = {};
    FUZZ_CHECK(hostsyntax::ParseIPv4Literal(host, octets) == (kind == tls::HostKind::kIPv4));
    uint8_t bytes[16] = {};
    FUZZ_CHECK(hostsyntax::ParseIPv6Literal(host, bytes) == (kind == tls::HostKind::kIPv6));
    if (kind == tls::HostKind::kDnsName)
    {
        FUZZ_CHECK(tls::ClassifyHost(Upper(host)) == kind);
        FUZZ_CHECK(tls::ClassifyHost(WithoutTrailingDot(host) + ".") == kind);
    }
    CheckDnsMatch(host, pattern);

    tls::CertificateNames altNames;
    altNames.hasAltNames = true;
    altNames.dnsNames = {pattern};
    altNames.ipAddresses = {address};
    altNames.commonNames = {pattern};
    const bool bMatches = tls::HostMatchesCertificate(host, altNames);
    // An address matches the iPAddress entry of its own bytes only, four
    // for IPv4 and sixteen for IPv6; a name only its dNSName patterns.
    const bool bAddress = kind == tls::HostKind::kIPv4 || kind == tls::HostKind::kIPv6;
    const std::string ownBytes = kind == tls::HostKind::kIPv4
                                     ? std::string(reinterpret_cast<const char*>(octets), 4)
                                     : std::string(reinterpret_cast<const char*>(bytes), 16);
    if (bAddress)
        FUZZ_CHECK(bMatches == (address == ownBytes));
    else
        FUZZ_CHECK(bMatches == tls::MatchesDnsPattern(host, pattern));

    tls::CertificateNames subjectOnly;
    subjectOnly.commonNames = {pattern};
    subjectOnly.ipAddresses = {address};
    if (!bAddress)
        FUZZ_CHECK(tls::HostMatchesCertificate(host, subjectOnly) == tls::MatchesDnsPattern(host, pattern));
    altNames.dnsNames.clear();
    if (!bAddress)
        FUZZ_CHECK(!tls::HostMatchesCertificate(host, altNames));
    return 0;
}
