// What the proxy settings say, read from the registry or from the system's
// Internet settings: a proxy's address, the proxy a list names for one
// scheme, and whether a host is on a bypass list. Every text here comes from
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
// name of letters, digits, '-', '_' and '.', or a dotted IPv4 address; the
// port 1 to 65535. False for anything else, with nothing stored.
bool ParseProxyAddress(const std::string& text, ProxyAddress* pAddress);

// The entry of a proxy list that serves a scheme ("http", "https", "ftp").
// The list is the system's form: entries separated by ';' or white space,
// each "scheme=address" or a plain address that serves every scheme. A
// scheme's own entry wins over a plain one; the first of each counts.
// Entries for other schemes ("socks=...") serve none of these. Empty when
// no entry serves the scheme.
std::string ProxyForScheme(const std::string& list, const std::string& scheme);

// The first address of a configuration script's answer, as the system hands
// it on: "PROXY host:port; DIRECT" or "host:port;host2:port". Empty when the
// first entry is DIRECT, or when the answer names nothing usable.
std::string FirstScriptProxy(const std::string& answer);

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
