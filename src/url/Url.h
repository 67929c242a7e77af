// The URLs that FetchURL takes (http, https, ftp, ftps) and the redirect targets
// that servers name: parsed into what the engine needs to connect and ask.
// Everything here comes from the caller or from a peer, so every input is
// bounded and checked. No platform header, so this also builds natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace url {

// Longest URL the engine takes, as it reads it and as it would write it
// again (DescribeUrl, escapes included): anything longer is refused rather
// than cut, since a cut URL names another resource.
constexpr size_t kMaxUrlLength = 2048;

enum class Scheme
{
    kHttp,
    kHttps,
    kFtp,
    kFtps // FTP over implicit TLS
};

enum class UrlError
{
    kNone,
    kNoScheme,         // no "scheme://" at the start
    kUnknownScheme,    // a scheme other than http, https, ftp and ftps
    kControlCharacter, // a byte 0x01-0x1F or 0x7F anywhere
    kEmptyHost,
    kBadHost,          // not a host name, dotted IPv4 address or bracketed IPv6 literal
    kBadInternationalHost, // a name beyond ASCII that has no A-label form
    kBadPort,          // 0, above 65535 or not digits
    kBadEscape,        // '%' without two hex digits, user info that decodes to a
                       // control character
    kBadFtpType,       // an ftp ";type=" other than a or i at the path's end
    kTooLong,          // longer than kMaxUrlLength
};

struct Url
{
    Scheme scheme = Scheme::kHttp;
    // Percent-decoded; never hold a control character.
    std::string user;
    std::string password;
    bool hasUserInfo = false; // "user[:password]@" was given, even empty
    std::string host;         // lower case; A-labels ("xn--") for an international name
    // The host as written when it had labels beyond ASCII (UTF-8, ASCII
    // letters in lower case), for texts that a user reads; else empty.
    std::string unicodeHost;
    uint16_t port = 80;       // the explicit port or the scheme's default
    // Path and query as they go on the wire: starts with '/', dot segments
    // removed, no fragment, every byte outside a path or query escaped.
    std::string target = "/";
    bool ftpAscii = false; // ";type=a" ended an ftp or ftps path
    // What followed '#', as given: never sent, read only by the engine
    // (HashFragment.h). Empty after ResolveReference.
    std::string fragment;
};

// Turns a host name with labels beyond ASCII (UTF-8, as written) into the
// form DNS carries, each such label as its A-label ("xn--..."): the
// platform's IDNA conversion, given by the caller. False when the name has
// no such form.
using HostToAscii = bool (*)(const std::string& unicodeHost, std::string* pAsciiHost);

const char* SchemeName(Scheme scheme);
// 80, 443, 21, 990.
uint16_t DefaultPort(Scheme scheme);
// ftp or ftps.
bool IsFtp(Scheme scheme);

// Parses an absolute URL, UTF-8:
//
//   scheme "://" [user [":" password] "@"] host [":" [port]] [path] ["?" query] ["#" fragment]
//
// - scheme: http, https, ftp or ftps (implicit TLS), in any case.
// - host: a name of letters, digits, '-' and '_' labels (the last one
//   starting with a letter, so that numeric forms the platform's address
//   parser would read, such as "10.1" or "0x7f.1", are not taken as names)
//   or a dotted IPv4 address, or an IPv6 literal in brackets ("[::1]",
//   kept without them, in lower case; no zone). No escapes. A name with bytes beyond
//   ASCII goes through toAscii, and its result must be such a name; without
//   toAscii it is refused as kBadHost. Names already written as A-labels
//   pass unchanged.
// - port: an empty port after ':' means the default, as for no port.
// - user and password: split at the first ':', percent-decoded; the first
//   '@' of the authority ends them.
// - path and query: bytes not allowed there (space, '"', '<', '>', '[',
//   '\', ']', '^', '`', '{', '|', '}', bytes 0x80 and above) are escaped as
//   %XX, valid escapes are kept as they are.
// - ftp and ftps: a last path segment ending in ";type=a" or ";type=i" (any case)
//   loses it and sets ftpAscii for "a"; other type codes are refused
//   (kBadFtpType).
//
// On error *pUrl is left as it was.
UrlError ParseUrl(const char* pszUtf8, Url* pUrl, HostToAscii toAscii = nullptr);

// Resolves a redirect's Location against the URL that was asked for, as a
// browser would: an absolute URL, "//host/path" (the base's scheme), "/path"
// or a relative path ("a/b?q", "../x", "?q", "" ...) with dot segments
// removed. Relative forms keep the base's scheme, host, port and user info;
// absolute and "//" forms carry only their own user info, so credentials
// never follow a redirect to a host they were not given for. The fragment is
// dropped. A new host beyond ASCII goes through toAscii as in ParseUrl. On
// error *pResolved is left as it was.
UrlError ResolveReference(const Url& base, const char* pszReference, Url* pResolved,
                          HostToAscii toAscii = nullptr);

// "scheme://host:port/target", the port always written and the user info
// never, an international host in its Unicode form: for logs and error
// texts. Parses back (with the same toAscii) to the same scheme, host, port
// and target.
std::string DescribeUrl(const Url& url);

// The host as a user reads it: the Unicode form of an international name.
const std::string& DisplayHost(const Url& url);

// The file an ftp or ftps URL names, as RETR takes it: the target without its
// leading '/', percent-decoded, relative to the login directory. A decoded
// control character (a line break would start another command) gives
// kBadEscape.
UrlError FtpPathFromTarget(const Url& url, std::string* pPath);

// Same scheme, host and port.
bool SameOrigin(const Url& a, const Url& b);

} // namespace url
