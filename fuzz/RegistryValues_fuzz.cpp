// Registry values as the connection settings read them. The input's first
// byte is the value's type (its low four bits, so that the common types come
// up often), the rest is the value's data with its reported size:
//
//   type | data ...
//
// The data go through the DWORD and the REG_SZ rules in an exact-size copy,
// the numbers through the SOCKS value rules, and the text (as well as the
// raw data) through the "ProbeTarget" parser, which is checked against a
// plain string version of its grammar.
#include "ConnectionSettingsValues.h"
#include "HostSyntax.h"
#include "RegistryValues.h"
#include "ProbeTarget.h"

#include "FuzzSupport.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;)
    {
        const size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            return parts;
        start = end + 1;
    }
}

bool AllOf(const std::string& text, const char* set)
{
    return text.find_first_not_of(set) == std::string::npos;
}

const char kDigits[] = "0123456789";
const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";

bool ModelDottedQuad(const std::string& host)
{
    const std::vector<std::string> parts = Split(host, '.');
    if (parts.size() != 4)
        return false;
    for (const std::string& part : parts)
    {
        if (part.empty() || part.size() > 3 || !AllOf(part, kDigits) || (part.size() > 1 && part[0] == '0') ||
            std::stoi(part) > 255)
            return false;
    }
    return true;
}

bool ModelHostName(const std::string& host)
{
    const std::vector<std::string> labels = Split(host, '.');
    for (const std::string& label : labels)
    {
        if (label.empty() || label.size() > 63 ||
            !AllOf(label, "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_"))
            return false;
    }
    return std::string(kLetters).find(labels.back()[0]) != std::string::npos;
}

// The "ProbeTarget" grammar: host[:port] in at most 259 characters, host a
// dotted IPv4 address without leading zeros or a host name as in a URL
// (labels of letters, digits, '-' and '_', the last starting with a letter),
// port 1 to 65535, leading zeros allowed; or "[ipv6]" with an optional
// ":port", or a bare IPv6 address without one.
bool ModelProbeTarget(const std::string& text, std::string* pHost, uint16_t* pPort)
{
    if (text.size() > kMaxProbeHostLength + 6)
        return false;
    const size_t close = text.find(']');
    if (!text.empty() && text[0] == '[')
    {
        if (close == std::string::npos || !hostsyntax::IsIPv6Literal(text.substr(1, close - 1)))
            return false;
        const std::string rest = text.substr(close + 1);
        if (!rest.empty() && rest[0] != ':')
            return false;
        std::string host;
        if (!ModelProbeTarget("h" + rest, &host, pPort))
            return false;
        *pHost = text.substr(1, close - 1);
        return true;
    }
    if (std::count(text.begin(), text.end(), ':') > 1)
    {
        if (!hostsyntax::IsIPv6Literal(text))
            return false;
        *pHost = text;
        *pPort = kDefaultProbePort;
        return true;
    }
    const size_t colon = text.find(':');
    const std::string host = text.substr(0, colon);
    uint16_t port = kDefaultProbePort;
    if (colon != std::string::npos)
    {
        const std::string digits = text.substr(colon + 1);
        if (digits.empty() || !AllOf(digits, kDigits))
            return false;
        // Leading zeros count for nothing, however many.
        const std::string significant = digits.substr(std::min(digits.find_first_not_of('0'), digits.size()));
        if (significant.size() > 5)
            return false;
        const unsigned long value = significant.empty() ? 0 : std::stoul(significant);
        if (value == 0 || value > 65535)
            return false;
        port = static_cast<uint16_t>(value);
    }
    if (host.empty() || host.size() > kMaxProbeHostLength)
        return false;
    if (!ModelDottedQuad(host) && !ModelHostName(host))
        return false;
    *pHost = host;
    *pPort = port;
    return true;
}

void CheckProbeTarget(const char* pszText)
{
    CProbeTarget target;
    const bool bParsed = target.Parse(pszText);
    std::string host = kDefaultProbeHost;
    uint16_t port = kDefaultProbePort;
    const bool bModel = pszText && ModelProbeTarget(pszText, &host, &port);
    FUZZ_CHECK(bParsed == bModel);
    if (!bParsed)
    {
        host = kDefaultProbeHost;
        port = kDefaultProbePort;
    }
    FUZZ_CHECK(host == target.Host());
    FUZZ_CHECK(port == target.Port());
    FUZZ_CHECK(std::strlen(target.Host()) <= kMaxProbeHostLength);

    // What was taken reads back the same.
    if (bParsed)
    {
        const std::string again = hostsyntax::HostPort(target.Host(), target.Port());
        CProbeTarget second;
        FUZZ_CHECK(second.Parse(again.c_str()));
        FUZZ_CHECK(std::strcmp(second.Host(), target.Host()) == 0 && second.Port() == target.Port());
    }
}

void CheckDword(uint32_t type, const uint8_t* pData, size_t cb)
{
    uint32_t value = 0x5a5a5a5a;
    const bool bDword = registry::DwordFromData(type, pData, cb, &value);
    FUZZ_CHECK(bDword == (type == registry::kTypeDword && cb == 4 && pData != nullptr));
    if (!bDword)
    {
        FUZZ_CHECK(value == 0x5a5a5a5a);
        return;
    }
    FUZZ_CHECK(std::memcmp(&value, pData, 4) == 0 || __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__);

    const uint16_t socksPort = settings::SocksPortFromDword(value);
    FUZZ_CHECK(value > settings::kMaxSocksPort ? socksPort == settings::kDefaultSocksPort : socksPort == value);
    FUZZ_CHECK(static_cast<uint16_t>(settings::SocksVersionFromDword(value)) == (value & 0xffff));
    FUZZ_CHECK(settings::SocksAuthMethodFromDword(value) == (value ? settings::kSocksAuthUserPassword : 0));
}

void CheckString(uint32_t type, const uint8_t* pData, size_t cb)
{
    CAnsiString text;
    text.Assign("previous");
    size_t cbText = 0x5a5a;
    const bool bText = registry::StringFromData(type, pData, cb, text, &cbText);
    FUZZ_CHECK(bText == (type == registry::kTypeSz));
    if (!bText)
    {
        FUZZ_CHECK(cbText == 0x5a5a);
        return;
    }
    FUZZ_CHECK(!text.IsNull());
    const void* pZero = pData && cb ? std::memchr(pData, 0, cb) : nullptr;
    const size_t cchExpected = pZero ? static_cast<size_t>(static_cast<const uint8_t*>(pZero) - pData)
                                     : (pData ? cb : 0);
    FUZZ_CHECK(text.Length() == cchExpected);
    FUZZ_CHECK(cchExpected == 0 || std::memcmp(text.Get(), pData, cchExpected) == 0);
    FUZZ_CHECK(cbText == (pZero ? cb : (pData ? cb : 0) + 1));

    // The settings hand the text to the probe target parser.
    CheckProbeTarget(text.Get());
}

void CheckUtf16String(uint32_t type, const uint8_t* pData, size_t cb)
{
    std::u16string text(u"previous");
    const bool bText = registry::Utf16StringFromData(type, pData, cb, text);
    FUZZ_CHECK(bText == (type == registry::kTypeSz));
    FUZZ_CHECK(text.size() <= cb / 2);
    FUZZ_CHECK(text.find(u'\0') == std::u16string::npos);
    for (size_t i = 0; i < text.size(); ++i)
        FUZZ_CHECK(text[i] == static_cast<char16_t>(pData[2 * i] | (pData[2 * i + 1] << 8)));
    // Shorter than every whole unit only when a zero unit ended it.
    if (bText && pData && text.size() < cb / 2)
        FUZZ_CHECK(pData[2 * text.size()] == 0 && pData[2 * text.size() + 1] == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const uint32_t type = data[0] & 0x0f;
    const size_t cb = size - 1;
    fuzz::ExactCopy value(data + 1, cb);

    CheckDword(type, value.bytes, cb);
    CheckDword(registry::kTypeDword, value.bytes, cb);
    CheckDword(type, nullptr, cb);
    CheckString(type, value.bytes, cb);
    CheckString(registry::kTypeSz, value.bytes, cb);
    CheckString(registry::kTypeSz, nullptr, cb);
    CheckUtf16String(type, value.bytes, cb);
    CheckUtf16String(registry::kTypeSz, value.bytes, cb);
    CheckUtf16String(registry::kTypeSz, nullptr, cb);

    // The raw data as a string of their own, and no string at all.
    const std::string raw(reinterpret_cast<const char*>(value.bytes), cb);
    CheckProbeTarget(raw.c_str());
    CheckProbeTarget(nullptr);

    // Any four bytes as the SOCKS numbers.
    if (cb >= 4)
        CheckDword(registry::kTypeDword, value.bytes, 4);
    return 0;
}
