// What a host and a port may look like wherever one is read: in a URL, the
// probe's target, a proxy setting, a certificate check. One rule for all of
// them, so that "host" means the same in every setting. No platform header,
// so this also builds natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace hostsyntax {

constexpr size_t kMaxHostNameLength = 253; // the longest name DNS carries
constexpr size_t kMaxLabelLength = 63;

// A byte of a host name's label: letter, digit, '-' or '_'.
bool IsLabelByte(char c);

// Labels of 1-63 label bytes separated by single dots, 253 bytes at most,
// no trailing dot; the last label starts with a letter, so that numeric
// forms the platform's address parser would read ("10.1", "0x7f.1",
// "2130706433") never pass for names.
bool IsHostName(std::string_view text);

// Four decimal numbers 0-255 separated by dots, without leading zeros (the
// platform's address parser reads "010" as octal). False for anything else,
// with octets left as they were.
bool ParseIPv4Literal(std::string_view text, uint8_t (&octets)[4]);
bool IsIPv4Literal(std::string_view text);

// The textual IPv6 forms: eight groups of 1-4 hex digits separated by ':';
// one "::" standing for one or more zero groups; the last two groups
// written as an IPv4 literal ("::ffff:1.2.3.4"). No brackets, zone or
// prefix length. False for anything else, with bytes left as they were.
bool ParseIPv6Literal(std::string_view text, uint8_t (&bytes)[16]);
bool IsIPv6Literal(std::string_view text);

// 1 to 65535, decimal digits only; leading zeros are harmless, however many.
// False for anything else, with *pPort left as it was.
bool ParsePort(std::string_view text, uint16_t* pPort);

// Splits "host", "host:port", "[host]" and "[host]:port": the host without
// brackets, and the port's text after the colon (*pHasPort false without
// one). A text of two or more colons and no brackets is all host (a bare
// IPv6 literal). Brackets hold an IPv6 literal and nothing else; the other
// parts are not checked. False for a '[' without its ']', brackets around
// anything but an IPv6 literal, or anything but ":port" after the ']'.
bool SplitHostPort(std::string_view text, std::string_view* pHost, std::string_view* pPort, bool* pHasPort);

// The host as an authority writes it: an IPv6 literal in brackets, any
// other host as it is.
std::string AuthorityHost(std::string_view host);
// "host:port" with the host as AuthorityHost writes it.
std::string HostPort(std::string_view host, uint16_t port);

} // namespace hostsyntax
