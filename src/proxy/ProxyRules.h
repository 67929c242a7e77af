// What the proxy settings say, read from the registry or from the system's
// Internet settings: a proxy's address, the proxy a list names for one
// scheme, the proxy a configuration script's answer names, and whether a
// host or a proxy is on a list. Every text here comes from
// the registry or from a configuration script, so each is bounded and
// checked. No platform header, so this also builds natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace proxy {

// Longest setting (proxy list, bypass list) read at all; longer ones are
// treated as unusable rather than cut.
constexpr size_t kMaxListLength = 4096;

struct ProxyAddress
{
    std::string host; // lower case
    uint16_t port = 0;
};

// "host:port" or "host" (port 80, as the system's settings mean it), with an
// optional "http://" before it and an optional '/' after it. The host is a
// host name or a dotted IPv4 address as a URL takes them, the port 1 to
// 65535 (HostSyntax.h). False for anything else, with nothing stored.
bool ParseProxyAddress(const std::string& text, ProxyAddress* pAddress);

// The entry of a proxy list that serves a scheme ("http", "https", "ftp").
// The list is the system's form: entries separated by ';' or white space,
// each "scheme=address" or a plain address that serves every scheme. A
// scheme's own entry wins over a plain one; the first of each counts.
// Entries for other schemes ("socks=...") serve none of these. Empty when
// no entry serves the scheme.
std::string ProxyForScheme(const std::string& list, const std::string& scheme);

enum class ScriptRoute
{
    kDirect,
    kHttp,
    kSocks4, // 4A for names the client cannot resolve, as the SOCKS client does
    kSocks5,
    kUnusable,
};

struct ScriptProxy
{
    ScriptRoute route = ScriptRoute::kDirect;
    ProxyAddress address; // for kHttp and the SOCKS routes
};

// The first entry of a configuration script's answer that the control can
// take, in the answer's order. Entries are separated by ';', keywords are
// case-insensitive:
//
//   DIRECT
//   PROXY host[:port]            HTTP proxy (port 80); "HTTP" too
//   SOCKS host[:port]            SOCKS 4 (port 1080); "SOCKS4" too
//   SOCKS5 host[:port]           SOCKS 5 (port 1080)
//   host:port                    HTTP proxy, the form WinHTTP hands on
//
// Other entries ("HTTPS host:port", "QUIC host:port") and entries whose
// address is no host:port are passed over. An answer without any entry is
// DIRECT; one whose entries are all passed over is kUnusable.
ScriptProxy ChooseScriptProxy(const std::string& answer);

// Whether the list names the proxy: entries "host[:port]" (port 80)
// separated by ';', ',' or white space; the host compared without case,
// the port exactly. No patterns: a list that hands out credentials names
// each proxy that receives them.
bool ProxyListed(const std::string& list, const ProxyAddress& proxy);

// Whether host is reached directly, not through the proxy: the bypass list
// holds entries separated by ';', ',' or white space, each a host pattern
// where '*' stands for any run of characters (case is ignored), or
// "<local>" for any name without a dot. An entry may carry a scheme
// ("http://") and a port (":8080"): a port must match; a scheme is ignored.
bool BypassMatches(const std::string& list, const std::string& host, uint16_t port);

// '*' matches any run of characters, case is ignored. Backtracks only to
// the last '*', so the work stays within the product of both lengths.
bool WildcardMatch(const std::string& pattern, const std::string& text);

} // namespace proxy
