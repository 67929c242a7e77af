// Whether a server certificate was issued for the host name the user gave:
// the names come out of the certificate, the rules are here, without any
// platform header. Wine 8's SSL policy compares the host with dNSName
// entries only (a left-most "*" label it handles): an address literal never
// matches an iPAddress entry there. So the TLS client applies these rules
// itself, for every host, and for address literals alone.
//
// The rules:
// - A host is a DNS name, a dotted-quad IPv4 literal in plain decimal or an
//   IPv6 literal without brackets, as a URL takes them (HostSyntax.h), with
//   one trailing dot and case ignored.
//   Anything else, "127.1", "0x7f.0.0.1", "010.0.0.1" included (the resolver
//   reads them as addresses other than they look), matches nothing.
// - An IPv4 literal matches a four-octet iPAddress entry only, an IPv6
//   literal a sixteen-octet one, byte for byte.
// - A DNS name matches a dNSName entry exactly, or one whose left-most label
//   is "*" standing for exactly one label, when at least two labels follow
//   the "*" ("*.vexa.test" matches "www.vexa.test", not "vexa.test" nor
//   "a.www.vexa.test"; "*.test" matches nothing). Partial wildcards
//   ("w*.vexa.test") match nothing.
// - The subject's common names count as dNSName entries only when the
//   certificate has no subjectAltName extension at all.
#pragma once

#include <string>
#include <vector>

namespace tls {

struct CertificateNames
{
    bool hasAltNames = false;             // the certificate has a subjectAltName extension
    std::vector<std::string> dnsNames;    // its dNSName entries
    std::vector<std::string> ipAddresses; // its iPAddress entries, raw octets (4 or 16)
    std::vector<std::string> commonNames; // the subject's common names
};

enum class HostKind
{
    kDnsName,
    kIPv4,
    kIPv6,
    kInvalid,
};

HostKind ClassifyHost(const std::string& host);
// A DNS host name against one dNSName pattern.
bool MatchesDnsPattern(const std::string& host, const std::string& pattern);
bool HostMatchesCertificate(const std::string& host, const CertificateNames& names);

} // namespace tls
