// URLs as FetchURL takes them and redirect targets as servers send them. The
// input, cut at its first zero byte, is:
//
//   url \0 reference
//
// The url is parsed and checked against what Url.h promises (a target that
// starts with '/' and holds only printable ASCII, no fragment, no dot
// segment; a lower-case host of name bytes) and against a plain string
// model of the host, port, the errors for control bytes and lengths and,
// where no dot segment or ftp type code is involved, the target's escapes.
// DescribeUrl must parse back to the same URL. The reference is resolved
// against the parsed url (or a fixed base when it was refused), and the
// result goes through the same checks. The fragment's digest, when it is
// read, names an algorithm and holds exactly its count of lower-case hex
// digits. The url is parsed once more with a stand-in for the platform's
// IDNA conversion: an ASCII host gives the same URL, an international one
// keeps its Unicode form for texts, which parse back to the same host.
#include "HashFragment.h"
#include "HostSyntax.h"
#include "Url.h"

#include "FuzzSupport.h"

#include <algorithm>
#include <string>

namespace {

const char kHex[] = "0123456789ABCDEF";

bool IsHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

std::string Lower(std::string text)
{
    for (char& c : text)
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return text;
}

bool SameTarget(const url::Url& a, const url::Url& b)
{
    return a.scheme == b.scheme && a.host == b.host && a.port == b.port && a.target == b.target;
}

// Each label with a byte beyond ASCII becomes "xn--" and the label's bytes
// in hex; a 0xFF byte is refused.
bool ToyIdn(const std::string& unicodeHost, std::string* pAscii)
{
    if (unicodeHost.find('\xff') != std::string::npos)
        return false;
    std::string ascii;
    size_t start = 0;
    while (start <= unicodeHost.size())
    {
        const size_t end = std::min(unicodeHost.find('.', start), unicodeHost.size());
        const std::string label = unicodeHost.substr(start, end - start);
        if (std::all_of(label.begin(), label.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
            ascii += label;
        else
        {
            ascii += "xn--";
            for (char c : label)
            {
                ascii += kHex[(static_cast<unsigned char>(c) >> 4)];
                ascii += kHex[c & 0x0f];
            }
        }
        if (end < unicodeHost.size())
            ascii += '.';
        start = end + 1;
    }
    *pAscii = ascii;
    return true;
}

void CheckParsed(const url::Url& u, url::HostToAscii toAscii = nullptr)
{
    const std::string& t = u.target;
    FUZZ_CHECK(!t.empty() && t[0] == '/');
    for (size_t i = 0; i < t.size(); ++i)
    {
        const unsigned char b = static_cast<unsigned char>(t[i]);
        FUZZ_CHECK(b >= 0x21 && b < 0x7f);
        FUZZ_CHECK(std::string("\"#<>[\\]^`{|}").find(t[i]) == std::string::npos);
        if (t[i] == '%')
            FUZZ_CHECK(i + 2 < t.size() && IsHexDigit(t[i + 1]) && IsHexDigit(t[i + 2]));
    }
    const std::string path = t.substr(0, t.find('?'));
    const std::string ended = path + "/";
    FUZZ_CHECK(ended.find("/./") == std::string::npos && ended.find("/../") == std::string::npos);

    FUZZ_CHECK(!u.host.empty() && u.host.size() <= 253);
    // A name or IPv4 address, or an IPv6 literal kept without its brackets.
    FUZZ_CHECK(u.host.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789.-_") == std::string::npos ||
               hostsyntax::IsIPv6Literal(u.host));
    FUZZ_CHECK(u.port != 0);
    FUZZ_CHECK(!u.ftpAscii || url::IsFtp(u.scheme));
    for (const std::string* p : {&u.user, &u.password})
    {
        for (char c : *p)
            FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7f);
    }
    if (!u.hasUserInfo)
        FUZZ_CHECK(u.user.empty() && u.password.empty());

    FUZZ_CHECK(u.unicodeHost.empty() || (toAscii && u.unicodeHost != u.host));
    const std::string described = url::DescribeUrl(u);
    FUZZ_CHECK(described.size() <= url::kMaxUrlLength);
    url::Url again;
    FUZZ_CHECK(url::ParseUrl(described.c_str(), &again, toAscii) == url::UrlError::kNone);
    FUZZ_CHECK(SameTarget(u, again) && !again.hasUserInfo);
}

// The errors that the raw text alone decides: a control byte within the
// first kMaxUrlLength bytes, then the length.
void CheckRawErrors(const std::string& text, url::UrlError error)
{
    size_t firstControl = text.size();
    for (size_t i = 0; i < text.size(); ++i)
    {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        if (b < 0x20 || b == 0x7f)
        {
            firstControl = i;
            break;
        }
    }
    if (firstControl < std::min(text.size(), url::kMaxUrlLength))
        FUZZ_CHECK(error == url::UrlError::kControlCharacter);
    else if (text.size() > url::kMaxUrlLength)
        FUZZ_CHECK(error == url::UrlError::kTooLong);
}

// Host, port and (when nothing else rewrites it) target by plain string
// handling of the input that parsed.
void CheckAgainstModel(const std::string& text, const url::Url& u)
{
    const std::string prefix = std::string(url::SchemeName(u.scheme)) + "://";
    FUZZ_CHECK(Lower(text.substr(0, prefix.size())) == prefix);
    const size_t authorityEnd = std::min(text.find_first_of("/?#", prefix.size()), text.size());
    std::string authority = text.substr(prefix.size(), authorityEnd - prefix.size());
    FUZZ_CHECK((authority.find('@') != std::string::npos) == u.hasUserInfo);
    authority.erase(0, authority.find('@') + 1);
    // An IPv6 host stands in brackets; the port follows them.
    const size_t hostEnd = authority.rfind(']') == std::string::npos ? 0 : authority.rfind(']') + 1;
    const size_t colon = authority.find(':', hostEnd);
    const std::string host = authority.substr(0, colon);
    FUZZ_CHECK(Lower(hostEnd ? host.substr(1, host.size() - 2) : host) == u.host);
    if (colon != std::string::npos && colon + 1 < authority.size())
        FUZZ_CHECK(std::stoul(authority.substr(colon + 1)) == u.port);
    else
        FUZZ_CHECK(u.port == url::DefaultPort(u.scheme));

    const std::string raw = text.substr(authorityEnd, text.find('#', authorityEnd) - authorityEnd);
    if (raw.find('.') != std::string::npos ||
        (url::IsFtp(u.scheme) && Lower(raw).find(";type=") != std::string::npos))
        return;
    std::string expected = raw.empty() || raw[0] == '?' ? "/" : "";
    for (char c : raw)
    {
        const unsigned char b = static_cast<unsigned char>(c);
        const bool bKeep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                           std::string("-._~!$&'()*+,;=:@/?%").find(c) != std::string::npos;
        if (bKeep)
            expected += c;
        else
            expected += std::string("%") + kHex[b >> 4] + kHex[b & 0x0f];
    }
    FUZZ_CHECK(u.target == expected);
}

void CheckResolved(const url::Url& base, const std::string& reference)
{
    url::Url resolved;
    resolved.host = "untouched";
    const url::UrlError error = url::ResolveReference(base, reference.c_str(), &resolved);
    CheckRawErrors(reference, error);
    if (error != url::UrlError::kNone)
    {
        FUZZ_CHECK(resolved.host == "untouched");
        return;
    }
    CheckParsed(resolved);
    // Credentials go only where they were given.
    if (resolved.hasUserInfo && !url::SameOrigin(base, resolved))
        FUZZ_CHECK(Lower(reference).find('@') != std::string::npos);
}

void CheckDigest(const std::string& fragment)
{
    url::ExpectedHash expected;
    expected.hex = "untouched";
    if (!url::ReadHashFragment(fragment, &expected))
    {
        FUZZ_CHECK(expected.hex == "untouched");
        return;
    }
    FUZZ_CHECK(expected.hex.size() == HexDigestLength(expected.algorithm));
    for (char c : expected.hex)
        FUZZ_CHECK((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<std::string> fields = fuzz::SplitAtZero(data, size, 2);
    const std::string& text = fields[0];
    const std::string reference = fields.size() > 1 ? fields[1].substr(0, fields[1].find('\0')) : std::string();

    url::Url parsed;
    parsed.host = "untouched";
    const url::UrlError error = url::ParseUrl(text.c_str(), &parsed);
    CheckRawErrors(text, error);
    url::Url base;
    if (error == url::UrlError::kNone)
    {
        CheckParsed(parsed);
        CheckAgainstModel(text, parsed);
        CheckDigest(parsed.fragment);
        base = parsed;

        // The URL as written for a log is the same URL as a redirect, and
        // its own target or nothing resolves to itself.
        url::Url same;
        FUZZ_CHECK(url::ResolveReference(parsed, url::DescribeUrl(parsed).c_str(), &same) == url::UrlError::kNone);
        FUZZ_CHECK(SameTarget(same, parsed) && !same.hasUserInfo);
        FUZZ_CHECK(url::ResolveReference(parsed, "", &same) == url::UrlError::kNone);
        FUZZ_CHECK(SameTarget(same, parsed) && same.ftpAscii == parsed.ftpAscii && same.user == parsed.user &&
                   same.password == parsed.password);
        if (parsed.target.compare(0, 2, "//") != 0)
        {
            FUZZ_CHECK(url::ResolveReference(parsed, parsed.target.c_str(), &same) == url::UrlError::kNone);
            FUZZ_CHECK(SameTarget(same, parsed) && same.hasUserInfo == parsed.hasUserInfo);
        }
    }
    else
    {
        FUZZ_CHECK(parsed.host == "untouched");
        FUZZ_CHECK(url::ParseUrl("ftp://anna:secret@a/b/c/d;p?q", &base) == url::UrlError::kNone);
    }
    CheckResolved(base, reference);

    url::Url international;
    if (url::ParseUrl(text.c_str(), &international, ToyIdn) == url::UrlError::kNone)
    {
        CheckParsed(international, ToyIdn);
        if (error == url::UrlError::kNone)
            FUZZ_CHECK(SameTarget(international, parsed) && international.unicodeHost.empty());
    }
    return 0;
}
