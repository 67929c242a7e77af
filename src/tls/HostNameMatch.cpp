#include "HostNameMatch.h"

namespace tls {

namespace {

constexpr size_t kMaxNameLength = 253;
constexpr size_t kMaxLabelLength = 63;

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsNameCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || IsDigit(c) || c == '-' || c == '_';
}

// Lower case, one trailing dot dropped.
std::string Normalised(const std::string& name)
{
    std::string result(name, 0, !name.empty() && name.back() == '.' ? name.size() - 1 : name.size());
    for (char& c : result)
        c = Lower(c);
    return result;
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

// Labels of name characters, each 1-63 long; "*" allowed as the first label
// when bWildcard.
bool ValidLabels(const std::vector<std::string>& labels, bool bWildcard)
{
    for (size_t i = 0; i < labels.size(); ++i)
    {
        const std::string& label = labels[i];
        if (bWildcard && i == 0 && label == "*")
            continue;
        if (label.empty() || label.size() > kMaxLabelLength)
            return false;
        for (char c : label)
        {
            if (!IsNameCharacter(c))
                return false;
        }
    }
    return true;
}

bool AllDigits(const std::string& text)
{
    for (char c : text)
    {
        if (!IsDigit(c))
            return false;
    }
    return !text.empty();
}

} // namespace

bool ParseIPv4Literal(const std::string& host, uint8_t (&octets)[4])
{
    const std::vector<std::string> parts = Labels(host);
    if (parts.size() != 4)
        return false;
    for (size_t i = 0; i < 4; ++i)
    {
        const std::string& part = parts[i];
        if (!AllDigits(part) || part.size() > 3 || (part.size() > 1 && part[0] == '0'))
            return false;
        unsigned value = 0;
        for (char c : part)
            value = value * 10 + static_cast<unsigned>(c - '0');
        if (value > 255)
            return false;
        octets[i] = static_cast<uint8_t>(value);
    }
    return true;
}

HostKind ClassifyHost(const std::string& host)
{
    uint8_t octets[4];
    if (ParseIPv4Literal(host, octets))
        return HostKind::kIPv4;
    const std::string name = Normalised(host);
    if (name.empty() || name.size() > kMaxNameLength)
        return HostKind::kInvalid;
    const std::vector<std::string> labels = Labels(name);
    // A numeric last label makes the resolver read the name as an address.
    if (!ValidLabels(labels, false) || AllDigits(labels.back()))
        return HostKind::kInvalid;
    return HostKind::kDnsName;
}

bool MatchesDnsPattern(const std::string& host, const std::string& pattern)
{
    if (ClassifyHost(host) != HostKind::kDnsName)
        return false;
    const std::string name = Normalised(host);
    const std::string wanted = Normalised(pattern);
    if (wanted.empty() || wanted.size() > kMaxNameLength)
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
        ParseIPv4Literal(host, octets);
        const std::string wanted(reinterpret_cast<const char*>(octets), sizeof(octets));
        for (const std::string& address : names.ipAddresses)
        {
            if (address == wanted)
                return true;
        }
        return false;
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
