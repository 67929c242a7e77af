#include "HostNameMatch.h"

#include "Ascii.h"
#include "HostSyntax.h"

namespace tls {

namespace {

// Lower case, one trailing dot dropped.
std::string Normalised(const std::string& name)
{
    return ascii::ToLower(name.substr(0, !name.empty() && name.back() == '.' ? name.size() - 1 : name.size()));
}

std::vector<std::string> Labels(const std::string& name)
{
    std::vector<std::string> labels;
    size_t start = 0;
    for (;;)
    {
        const size_t dot = name.find('.', start);
        labels.push_back(name.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
        if (dot == std::string::npos)
            return labels;
        start = dot + 1;
    }
}

// Labels of host name bytes, each 1-63 long; "*" allowed as the first label
// when bWildcard.
bool ValidLabels(const std::vector<std::string>& labels, bool bWildcard)
{
    for (size_t i = 0; i < labels.size(); ++i)
    {
        const std::string& label = labels[i];
        if (bWildcard && i == 0 && label == "*")
            continue;
        if (label.empty() || label.size() > hostsyntax::kMaxLabelLength)
            return false;
        for (char c : label)
        {
            if (!hostsyntax::IsLabelByte(c))
                return false;
        }
    }
    return true;
}

// An iPAddress entry of exactly these bytes: four for IPv4, sixteen for
// IPv6, so that no IPv4 address matches an IPv6 entry or the reverse.
bool ListsAddress(const CertificateNames& names, const uint8_t* pBytes, size_t cb)
{
    const std::string wanted(reinterpret_cast<const char*>(pBytes), cb);
    for (const std::string& address : names.ipAddresses)
    {
        if (address == wanted)
            return true;
    }
    return false;
}

} // namespace

HostKind ClassifyHost(const std::string& host)
{
    if (hostsyntax::IsIPv4Literal(host))
        return HostKind::kIPv4;
    if (hostsyntax::IsIPv6Literal(host))
        return HostKind::kIPv6;
    return hostsyntax::IsHostName(Normalised(host)) ? HostKind::kDnsName : HostKind::kInvalid;
}

bool MatchesDnsPattern(const std::string& host, const std::string& pattern)
{
    if (ClassifyHost(host) != HostKind::kDnsName)
        return false;
    const std::string name = Normalised(host);
    const std::string wanted = Normalised(pattern);
    if (wanted.empty() || wanted.size() > hostsyntax::kMaxHostNameLength)
        return false;
    const std::vector<std::string> hostLabels = Labels(name);
    const std::vector<std::string> patternLabels = Labels(wanted);
    if (!ValidLabels(patternLabels, true) || hostLabels.size() != patternLabels.size())
        return false;
    if (patternLabels[0] == "*" && patternLabels.size() < 3)
        return false;
    for (size_t i = 0; i < hostLabels.size(); ++i)
    {
        if (i == 0 && patternLabels[0] == "*")
            continue;
        if (hostLabels[i] != patternLabels[i])
            return false;
    }
    return true;
}

bool HostMatchesCertificate(const std::string& host, const CertificateNames& names)
{
    switch (ClassifyHost(host))
    {
    case HostKind::kIPv4:
    {
        uint8_t octets[4];
        hostsyntax::ParseIPv4Literal(host, octets);
        return ListsAddress(names, octets, sizeof(octets));
    }
    case HostKind::kIPv6:
    {
        uint8_t bytes[16];
        hostsyntax::ParseIPv6Literal(host, bytes);
        return ListsAddress(names, bytes, sizeof(bytes));
    }
    case HostKind::kDnsName:
        for (const std::string& pattern : names.dnsNames)
        {
            if (MatchesDnsPattern(host, pattern))
                return true;
        }
        if (!names.hasAltNames)
        {
            for (const std::string& pattern : names.commonNames)
            {
                if (MatchesDnsPattern(host, pattern))
                    return true;
            }
        }
        return false;
    case HostKind::kInvalid:
        break;
    }
    return false;
}

} // namespace tls
