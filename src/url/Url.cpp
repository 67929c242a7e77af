#include "Url.h"

#include "Ascii.h"
#include "HostSyntax.h"

#include <algorithm>
#include <cstring>

namespace url {
namespace {

constexpr size_t kTypeCodeLength = 7; // ";type=a"

using ascii::HexValue;
using ascii::IsAscii;
using ascii::IsControl;
using ascii::IsDigit;
using ascii::IsLetter;
using ascii::ToLower;

bool HasEscapeAt(const std::string& text, size_t pos)
{
    return pos + 2 < text.size() && text[pos] == '%' && HexValue(text[pos + 1]) >= 0 &&
           HexValue(text[pos + 2]) >= 0;
}

// Copies the input, refusing it when it is too long or holds a control
// character (a line break in a URL could forge request lines or headers).
// The scan stops at the first byte past the limit, whatever follows.
UrlError TakeInput(const char* psz, std::string* pText)
{
    size_t cch = 0;
    for (; psz[cch]; ++cch)
    {
        if (cch == kMaxUrlLength)
            return UrlError::kTooLong;
        if (IsControl(psz[cch]))
            return UrlError::kControlCharacter;
    }
    pText->assign(psz, cch);
    return UrlError::kNone;
}

// Index of the ':' that ends a leading scheme name (a letter, then letters,
// digits, '+', '-', '.'), or 0 when the text does not start with one.
size_t SchemeEnd(const std::string& text)
{
    if (text.empty() || !IsLetter(text[0]))
        return 0;
    for (size_t i = 1; i < text.size(); ++i)
    {
        const char c = text[i];
        if (c == ':')
            return i;
        if (!IsLetter(c) && !IsDigit(c) && c != '+' && c != '-' && c != '.')
            return 0;
    }
    return 0;
}

bool SchemeFromName(const std::string& name, Scheme* pScheme)
{
    const std::string lower = ToLower(name);
    if (lower == "http")
        *pScheme = Scheme::kHttp;
    else if (lower == "https")
        *pScheme = Scheme::kHttps;
    else if (lower == "ftp")
        *pScheme = Scheme::kFtp;
    else if (lower == "ftps")
        *pScheme = Scheme::kFtps;
    else
        return false;
    return true;
}

// User info and ftp paths are decoded because they go out as bytes: in a
// Basic header and in FTP's USER, PASS and RETR commands, where a line break
// would end the command and start another one of the server's choosing.
UrlError DecodeCommandText(const std::string& text, std::string* pDecoded)
{
    pDecoded->clear();
    for (size_t i = 0; i < text.size(); ++i)
    {
        char c = text[i];
        if (c == '%')
        {
            if (!HasEscapeAt(text, i))
                return UrlError::kBadEscape;
            c = static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            if (IsControl(c))
                return UrlError::kBadEscape;
            i += 2;
        }
        pDecoded->push_back(c);
    }
    return UrlError::kNone;
}

// Bytes that stand for themselves in a path or query: unreserved,
// sub-delims, ':', '@', '/', '?'. '%' is handled apart.
bool IsPathByte(char c)
{
    return IsLetter(c) || IsDigit(c) || (c != '\0' && std::strchr("-._~!$&'()*+,;=:@/?", c) != nullptr);
}

// Escapes every byte a server could misread or a proxy could reject; an
// escape that is there already is kept as the caller wrote it.
UrlError EncodeTarget(const std::string& text, std::string* pEncoded)
{
    static const char kHex[] = "0123456789ABCDEF";
    pEncoded->clear();
    for (size_t i = 0; i < text.size(); ++i)
    {
        const char c = text[i];
        if (c == '%')
        {
            if (!HasEscapeAt(text, i))
                return UrlError::kBadEscape;
            pEncoded->append(text, i, 3);
            i += 2;
        }
        else if (IsPathByte(c))
        {
            pEncoded->push_back(c);
        }
        else
        {
            const unsigned char b = static_cast<unsigned char>(c);
            pEncoded->push_back('%');
            pEncoded->push_back(kHex[b >> 4]);
            pEncoded->push_back(kHex[b & 0x0f]);
        }
    }
    return UrlError::kNone;
}

// Case-insensitive search for an ASCII needle.
size_t FindNoCase(const std::string& text, const char* pszNeedle, size_t from)
{
    return ToLower(text).find(pszNeedle, from);
}

// An ftp path's type code, which is not part of the file's name. Only a
// code at the very end of the last segment counts, once: anything else
// with ";type=" there would be read as a type code by one reader and as a
// name by the next.
UrlError TakeTypeCode(std::string* pPath, bool* pAscii)
{
    const size_t segment = pPath->rfind('/') + 1;
    const size_t code = FindNoCase(*pPath, ";type=", segment);
    *pAscii = false;
    if (code == std::string::npos)
        return UrlError::kNone;
    if (code + kTypeCodeLength != pPath->size())
        return UrlError::kBadFtpType;
    const char type = ToLower(pPath->back());
    if (type != 'a' && type != 'i')
        return UrlError::kBadFtpType;
    *pAscii = type == 'a';
    pPath->erase(code);
    return UrlError::kNone;
}

// Removes "." and ".." segments from a path that starts with '/', the way
// relative references are resolved, so that a server is never asked for a
// path above its root.
std::string RemoveDotSegments(const std::string& path)
{
    std::string output;
    const size_t n = path.size();
    size_t i = 0;
    auto removeLastSegment = [&output] {
        const size_t slash = output.rfind('/');
        output.erase(slash == std::string::npos ? 0 : slash);
    };
    auto at = [&path, &i](const char* pszText) { return path.compare(i, std::strlen(pszText), pszText) == 0; };
    auto restIs = [&path, &i](const char* pszText) { return path.compare(i, std::string::npos, pszText) == 0; };
    while (i < n)
    {
        if (at("../"))
        {
            i += 3;
        }
        else if (at("./") || at("/./"))
        {
            i += 2;
        }
        else if (restIs("/."))
        {
            output.push_back('/');
            i = n;
        }
        else if (at("/../"))
        {
            removeLastSegment();
            i += 3;
        }
        else if (restIs("/.."))
        {
            removeLastSegment();
            output.push_back('/');
            i = n;
        }
        else if (restIs(".") || restIs(".."))
        {
            i = n;
        }
        else
        {
            const size_t end = path.find('/', i + 1);
            const size_t stop = end == std::string::npos ? n : end;
            output.append(path, i, stop - i);
            i = stop;
        }
    }
    return output;
}

// A host name or IPv4 literal into pUrl->host; a name beyond ASCII through
// toAscii, as written in pUrl->unicodeHost.
UrlError ParseHostName(const std::string& text, Url* pUrl, HostToAscii toAscii)
{
    pUrl->host = ToLower(text);
    if (pUrl->host.empty())
        return UrlError::kEmptyHost;
    if (!IsAscii(pUrl->host))
    {
        // Its ASCII bytes follow the name rule already: what is shown must
        // read back as the same host, whatever the conversion keeps.
        std::string ascii;
        if (!toAscii || !std::all_of(pUrl->host.begin(), pUrl->host.end(), [](char c) {
                return static_cast<unsigned char>(c) > 0x7f || c == '.' || hostsyntax::IsLabelByte(c);
            }))
            return UrlError::kBadHost;
        if (!toAscii(pUrl->host, &ascii))
            return UrlError::kBadInternationalHost;
        pUrl->unicodeHost = std::move(pUrl->host);
        pUrl->host = ToLower(ascii);
    }
    if (!hostsyntax::IsIPv4Literal(pUrl->host) && !hostsyntax::IsHostName(pUrl->host))
        return UrlError::kBadHost;
    return UrlError::kNone;
}

// Everything after "scheme:": "//" authority, path, query, fragment.
UrlError ParseAfterScheme(Scheme scheme, const std::string& text, size_t pos, Url* pUrl,
                          HostToAscii toAscii)
{
    Url parsed;
    parsed.scheme = scheme;

    const size_t authorityEnd = std::min(text.find_first_of("/?#", pos), text.size());
    std::string hostPort = text.substr(pos, authorityEnd - pos);
    const size_t at = hostPort.find('@');
    if (at != std::string::npos)
    {
        const std::string userInfo = hostPort.substr(0, at);
        hostPort.erase(0, at + 1);
        parsed.hasUserInfo = true;
        const size_t colon = userInfo.find(':');
        UrlError error = DecodeCommandText(userInfo.substr(0, colon), &parsed.user);
        if (error == UrlError::kNone && colon != std::string::npos)
            error = DecodeCommandText(userInfo.substr(colon + 1), &parsed.password);
        if (error != UrlError::kNone)
            return error;
    }

    size_t colon = hostPort.find(':');
    if (!hostPort.empty() && hostPort[0] == '[')
    {
        const size_t close = hostPort.find(']');
        if (close == std::string::npos || (close + 1 < hostPort.size() && hostPort[close + 1] != ':'))
            return UrlError::kBadHost;
        parsed.host = ToLower(hostPort.substr(1, close - 1));
        if (!hostsyntax::IsIPv6Literal(parsed.host))
            return UrlError::kBadHost;
        colon = close + 1 < hostPort.size() ? close + 1 : std::string::npos;
    }
    else
    {
        const UrlError error = ParseHostName(hostPort.substr(0, colon), &parsed, toAscii);
        if (error != UrlError::kNone)
            return error;
    }
    parsed.port = DefaultPort(scheme);
    if (colon != std::string::npos && colon + 1 < hostPort.size() &&
        !hostsyntax::ParsePort(hostPort.substr(colon + 1), &parsed.port))
        return UrlError::kBadPort;

    const size_t hash = std::min(text.find('#', authorityEnd), text.size());
    std::string pathAndQuery = text.substr(authorityEnd, hash - authorityEnd);
    if (hash < text.size())
        parsed.fragment = text.substr(hash + 1);
    std::string encoded;
    const UrlError error = EncodeTarget(pathAndQuery, &encoded);
    if (error != UrlError::kNone)
        return error;
    const size_t question = std::min(encoded.find('?'), encoded.size());
    std::string path = encoded.substr(0, question);
    if (path.empty())
        path = "/";
    if (IsFtp(scheme))
    {
        const UrlError typeError = TakeTypeCode(&path, &parsed.ftpAscii);
        if (typeError != UrlError::kNone)
            return typeError;
    }
    parsed.target = RemoveDotSegments(path) + encoded.substr(question);

    if (DescribeUrl(parsed).size() > kMaxUrlLength)
        return UrlError::kTooLong;
    *pUrl = std::move(parsed);
    return UrlError::kNone;
}

} // namespace

bool IsFtp(Scheme scheme)
{
    return scheme == Scheme::kFtp || scheme == Scheme::kFtps;
}

const char* SchemeName(Scheme scheme)
{
    switch (scheme)
    {
    case Scheme::kHttp:
        return "http";
    case Scheme::kHttps:
        return "https";
    case Scheme::kFtp:
        return "ftp";
    case Scheme::kFtps:
        return "ftps";
    }
    return "http";
}

uint16_t DefaultPort(Scheme scheme)
{
    switch (scheme)
    {
    case Scheme::kHttp:
        return 80;
    case Scheme::kHttps:
        return 443;
    case Scheme::kFtp:
        return 21;
    case Scheme::kFtps:
        return 990;
    }
    return 80;
}

UrlError ParseUrl(const char* pszUtf8, Url* pUrl, HostToAscii toAscii)
{
    if (!pszUtf8 || !pUrl)
        return UrlError::kNoScheme;
    std::string text;
    const UrlError error = TakeInput(pszUtf8, &text);
    if (error != UrlError::kNone)
        return error;
    const size_t schemeEnd = SchemeEnd(text);
    if (schemeEnd == 0)
        return UrlError::kNoScheme;
    Scheme scheme;
    if (!SchemeFromName(text.substr(0, schemeEnd), &scheme))
        return UrlError::kUnknownScheme;
    if (text.compare(schemeEnd + 1, 2, "//") != 0)
        return UrlError::kNoScheme;
    return ParseAfterScheme(scheme, text, schemeEnd + 3, pUrl, toAscii);
}

UrlError ResolveReference(const Url& base, const char* pszReference, Url* pResolved, HostToAscii toAscii)
{
    if (!pszReference || !pResolved)
        return UrlError::kNoScheme;
    std::string reference;
    const UrlError error = TakeInput(pszReference, &reference);
    if (error != UrlError::kNone)
        return error;
    // A redirect's fragment names a part of its own resource: dropped.
    reference.erase(std::min(reference.find('#'), reference.size()));
    if (SchemeEnd(reference) != 0)
        return ParseUrl(reference.c_str(), pResolved, toAscii);
    if (reference.compare(0, 2, "//") == 0)
        return ParseAfterScheme(base.scheme, reference, 2, pResolved, toAscii);

    // A relative reference: merged with the base's path, then parsed as
    // the absolute URL it makes, so that it gets the same checks.
    const size_t refQuestion = std::min(reference.find('?'), reference.size());
    const std::string refPath = reference.substr(0, refQuestion);
    const size_t baseQuestion = std::min(base.target.find('?'), base.target.size());
    const std::string basePath = base.target.substr(0, baseQuestion);
    std::string pathAndQuery;
    if (refPath.empty())
        pathAndQuery = basePath + (refQuestion < reference.size() ? reference : base.target.substr(baseQuestion));
    else if (refPath[0] == '/')
        pathAndQuery = reference;
    else
        pathAndQuery = basePath.substr(0, basePath.rfind('/') + 1) + reference;

    const std::string text = "//" + hostsyntax::HostPort(base.host, base.port) + pathAndQuery;
    Url resolved;
    const UrlError resolveError = ParseAfterScheme(base.scheme, text, 2, &resolved, nullptr);
    if (resolveError != UrlError::kNone)
        return resolveError;
    resolved.unicodeHost = base.unicodeHost;
    resolved.user = base.user;
    resolved.password = base.password;
    resolved.hasUserInfo = base.hasUserInfo;
    if (refPath.empty())
        resolved.ftpAscii = base.ftpAscii; // the same file, read the same way
    *pResolved = std::move(resolved);
    return UrlError::kNone;
}

std::string DescribeUrl(const Url& url)
{
    return std::string(SchemeName(url.scheme)) + "://" + hostsyntax::HostPort(DisplayHost(url), url.port) +
           url.target;
}

const std::string& DisplayHost(const Url& url)
{
    return url.unicodeHost.empty() ? url.host : url.unicodeHost;
}

UrlError FtpPathFromTarget(const Url& url, std::string* pPath)
{
    // The same rule as user info: the path goes out in a command line.
    return DecodeCommandText(url.target.substr(url.target.empty() ? 0 : 1), pPath);
}

bool SameOrigin(const Url& a, const Url& b)
{
    return a.scheme == b.scheme && a.host == b.host && a.port == b.port;
}

} // namespace url
