// SOCKS 4, 4A and 5 messages: builders for what the client sends and the
// evaluation of what proxies answer. No sockets and no platform headers, so
// that these also build natively for fast tests and fuzzing.
#pragma once

#include "NetAddress.h"

#include <cstddef>
#include <cstdint>

namespace socks {

// Requests are assembled in a 255-byte buffer; replies and the SOCKS 5
// negotiation messages use a 1024-byte one.
constexpr size_t kRequestBufferSize = 255;
constexpr size_t kReplyBufferSize = 1024;

constexpr size_t kSocks4ReplyLength = 8;
constexpr size_t kSocks5ReplyLength = 10;

constexpr uint8_t kCommandConnect = 1;
constexpr uint8_t kCommandBind = 2;

constexpr uint8_t kSocks4Granted = 90;
constexpr uint8_t kSocks5Succeeded = 0;

constexpr unsigned kMethodNone = 0;
constexpr unsigned kMethodUserPassword = 2;

// SOCKS 4 user id sent when no proxy user name is configured.
constexpr const char kDefaultUserId[] = "vexsock";

// What fits the fixed buffers. Longer fields are refused before anything is
// sent, never truncated.
constexpr size_t kMaxSocks4UserIdLength = kRequestBufferSize - 9;        // 246
constexpr size_t kMaxSocks4aUserAndHostLength = kRequestBufferSize - 10; // 245
constexpr size_t kMaxSocks5NameLength = kRequestBufferSize - 7;          // 248
constexpr size_t kMaxSocks5CredentialLength = 254; // its length byte counts the terminator

// Version argument of ConnectProxy/ConnectSocks: 0 and 1 select SOCKS 4,
// anything larger SOCKS 5.
inline unsigned SelectVersion(unsigned version) { return version <= 1 ? 4 : 5; }

// The user id that a SOCKS 4 request carries for a configured user name.
const char* Socks4UserId(const char* user);

bool Socks4RequestFits(const char* user, const char* host4a);
bool Socks5NameFits(const char* host);
bool Socks5CredentialsFit(const char* user, const char* password);

// Each builder writes one message into buf (capacity cap) and returns its
// length, or 0 when the fields do not fit. Addresses are four bytes in
// network byte order; ports are given in host byte order.

// SOCKS 4 CONNECT or BIND. host4a null: DSTIP = address. host4a given (4A):
// DSTIP = 0.0.0.1 and the name follows the user id.
size_t BuildSocks4Request(uint8_t* buf, size_t cap, uint8_t command, uint16_t port,
                          uint32_t addressNet, const char* user, const char* host4a);

// Method selection: method 0, plus authMethod's low byte when it is not 0.
size_t BuildSocks5Greeting(uint8_t* buf, size_t cap, unsigned authMethod);

// User name and password sub-negotiation. Each length byte counts the
// string's terminating zero, which is sent too; proxies in the field accept
// this form.
size_t BuildSocks5UserPassword(uint8_t* buf, size_t cap, const char* user, const char* password);

// SOCKS 5 CONNECT or BIND. dottedAddressNet non-null: ATYP 1 with that
// address; null: ATYP 3 with host as the name.
size_t BuildSocks5Request(uint8_t* buf, size_t cap, uint8_t command, const char* host,
                          const uint32_t* dottedAddressNet, uint16_t port);

// SOCKS 5 CONNECT or BIND to an address: ATYP 1 for IPv4, 4 for IPv6.
size_t BuildSocks5AddressRequest(uint8_t* buf, size_t cap, uint8_t command, const NetAddress& address);

struct ErrorPair
{
    long lError;
    long lErrorEx;
};

// Evaluates the first two bytes of a reply: version 4 a SOCKS 4 reply, any
// other version a SOCKS 5 reply. A granted reply gives 0 / 0.
ErrorPair EvaluateReply(const uint8_t* reply, unsigned version);

// The longest SOCKS 5 reply: a 255-character name as BND.ADDR.
constexpr size_t kSocks5MaxReplyLength = 4 + 1 + 255 + 2;

constexpr uint8_t kAddressIPv4 = 1;
constexpr uint8_t kAddressName = 3;
constexpr uint8_t kAddressIPv6 = 4;

// One SOCKS 5 reply, read as it arrives and never past its end: the bytes
// after it belong to the destination (an FTP greeting, a data stream).
//
//   +-----+-----+-----+------+------------------+----------+
//   | VER | REP | RSV | ATYP |     BND.ADDR     | BND.PORT |
//   +-----+-----+-----+------+------------------+----------+
//      1     1     1     1     4 (ATYP 1),          2
//                              1+n (ATYP 3: n, name),
//                              16 (ATYP 4)
//
// The reply is decided early when its VER is not 5, its REP is a refusal or
// its ATYP is unknown: nothing more is wanted then (a refusing proxy may
// send no more and keep the connection open).
class CSocks5Reply
{
public:
    // How many bytes may be read next without reading past the reply's end;
    // 0 once it is complete or decided.
    size_t BytesWanted() const;
    // Takes up to BytesWanted() bytes of data; returns how many it took.
    size_t Feed(const uint8_t* data, size_t cb);
    bool Complete() const;
    // 0 / 0 for a complete granted reply; REP's detail for a refusal (even
    // one cut short); the bad-reply detail for another version, an unknown
    // ATYP, or a granted reply that ended before its last byte.
    ErrorPair Outcome() const;

    // The bound address of a complete reply.
    uint8_t AddressType() const { return m_bytes[3]; }
    // BND.ADDR as four bytes in network byte order; false unless ATYP 1.
    bool GetIPv4Address(uint32_t* pAddressNet) const;
    // BND.ADDR and BND.PORT; false unless ATYP 1 or 4.
    bool GetAddress(NetAddress* pAddress) const;
    // BND.PORT in host byte order.
    uint16_t Port() const;

private:
    // The length of the whole reply, or 0 while its bytes do not tell yet.
    size_t Length() const;
    bool Decided() const;

    uint8_t m_bytes[kSocks5MaxReplyLength] = {};
    size_t m_cb = 0;
};

} // namespace socks
