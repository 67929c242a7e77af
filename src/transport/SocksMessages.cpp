#include "SocksMessages.h"

#include "AnsiString.h"
#include "VexErrors.h"

#include <cstring>

namespace socks {
namespace {

void PutPort(uint8_t* p, uint16_t port)
{
    p[0] = static_cast<uint8_t>(port >> 8);
    p[1] = static_cast<uint8_t>(port & 0xff);
}

} // namespace

const char* Socks4UserId(const char* user)
{
    return SafeLength(user) ? user : kDefaultUserId;
}

bool Socks4RequestFits(const char* user, const char* host4a)
{
    const size_t cchUser = SafeLength(Socks4UserId(user));
    if (!host4a)
        return cchUser <= kMaxSocks4UserIdLength;
    return cchUser + SafeLength(host4a) <= kMaxSocks4aUserAndHostLength;
}

bool Socks5NameFits(const char* host)
{
    return SafeLength(host) <= kMaxSocks5NameLength;
}

bool Socks5CredentialsFit(const char* user, const char* password)
{
    return SafeLength(user) <= kMaxSocks5CredentialLength &&
           SafeLength(password) <= kMaxSocks5CredentialLength;
}

/*
 * SOCKS 4 request:
 *
 *   +----+----+---------+--------+-- ... --+---+-- ... --+---+
 *   | VN | CD | DSTPORT | DSTIP  | USERID  | 0 |  HOST   | 0 |
 *   +----+----+---------+--------+-- ... --+---+-- ... --+---+
 *     1    1      2         4        n       1    m (4A)   1
 */
size_t BuildSocks4Request(uint8_t* buf, size_t cap, uint8_t command, uint16_t port,
                          uint32_t addressNet, const char* user, const char* host4a)
{
    if (!Socks4RequestFits(user, host4a))
        return 0;
    const char* userId = Socks4UserId(user);
    const size_t cchUser = std::strlen(userId);
    const size_t cchHost = SafeLength(host4a);
    const size_t cb = host4a ? 10 + cchUser + cchHost : 9 + cchUser;
    if (cb > cap)
        return 0;

    std::memset(buf, 0, cb);
    buf[0] = 4;
    buf[1] = command;
    PutPort(buf + 2, port);
    if (host4a)
    {
        static const uint8_t kSocks4aMarker[4] = {0, 0, 0, 1};
        std::memcpy(buf + 4, kSocks4aMarker, 4);
    }
    else
    {
        std::memcpy(buf + 4, &addressNet, 4);
    }
    std::memcpy(buf + 8, userId, cchUser);
    if (host4a)
        std::memcpy(buf + 9 + cchUser, host4a, cchHost);
    return cb;
}

/*
 * SOCKS 5 method selection:
 *
 *   +-----+----------+---------+
 *   | VER | NMETHODS | METHODS |
 *   +-----+----------+---------+
 *      1       1       1 or 2
 */
size_t BuildSocks5Greeting(uint8_t* buf, size_t cap, unsigned authMethod)
{
    const size_t cb = authMethod ? 4 : 3;
    if (cb > cap)
        return 0;
    buf[0] = 5;
    buf[1] = authMethod ? 2 : 1;
    buf[2] = static_cast<uint8_t>(kMethodNone);
    if (authMethod)
        buf[3] = static_cast<uint8_t>(authMethod & 0xff);
    return cb;
}

/*
 * User name and password sub-negotiation:
 *
 *   +-----+------+---------+---+------+---------+---+
 *   | VER | ULEN |  UNAME  | 0 | PLEN | PASSWD  | 0 |
 *   +-----+------+---------+---+------+---------+---+
 *      1     1     ULEN-1    1    1     PLEN-1   1
 */
size_t BuildSocks5UserPassword(uint8_t* buf, size_t cap, const char* user, const char* password)
{
    if (!Socks5CredentialsFit(user, password))
        return 0;
    const size_t cchUser = SafeLength(user);
    const size_t cchPassword = SafeLength(password);
    const size_t cb = 3 + (cchUser + 1) + (cchPassword + 1);
    if (cb > cap)
        return 0;

    uint8_t* p = buf;
    *p++ = 1;
    *p++ = static_cast<uint8_t>(cchUser + 1);
    if (cchUser)
        std::memcpy(p, user, cchUser);
    p += cchUser;
    *p++ = 0;
    *p++ = static_cast<uint8_t>(cchPassword + 1);
    if (cchPassword)
        std::memcpy(p, password, cchPassword);
    p += cchPassword;
    *p++ = 0;
    return cb;
}

/*
 * SOCKS 5 request:
 *
 *   +-----+-----+-----+------+--------------------+----------+
 *   | VER | CMD | RSV | ATYP |      DST.ADDR      | DST.PORT |
 *   +-----+-----+-----+------+--------------------+----------+
 *      1     1     1     1     4 (ATYP 1) or 1+k       2
 */
size_t BuildSocks5Request(uint8_t* buf, size_t cap, uint8_t command, const char* host,
                          const uint32_t* dottedAddressNet, uint16_t port)
{
    const size_t cchHost = SafeLength(host);
    if (!dottedAddressNet && !Socks5NameFits(host))
        return 0;
    const size_t cb = dottedAddressNet ? 10 : cchHost + 7;
    if (cb > cap)
        return 0;

    buf[0] = 5;
    buf[1] = command;
    buf[2] = 0;
    if (dottedAddressNet)
    {
        buf[3] = 1;
        std::memcpy(buf + 4, dottedAddressNet, 4);
        PutPort(buf + 8, port);
    }
    else
    {
        buf[3] = 3;
        buf[4] = static_cast<uint8_t>(cchHost);
        if (cchHost)
            std::memcpy(buf + 5, host, cchHost);
        PutPort(buf + 5 + cchHost, port);
    }
    return cb;
}

size_t BuildSocks5AddressRequest(uint8_t* buf, size_t cap, uint8_t command, const NetAddress& address)
{
    if (!address.IsIPv6())
    {
        const uint32_t addressNet = address.IPv4Net();
        return BuildSocks5Request(buf, cap, command, nullptr, &addressNet, address.port);
    }
    constexpr size_t cb = 4 + 16 + 2;
    if (cb > cap)
        return 0;
    buf[0] = 5;
    buf[1] = command;
    buf[2] = 0;
    buf[3] = kAddressIPv6;
    std::memcpy(buf + 4, address.bytes, 16);
    PutPort(buf + 20, address.port);
    return cb;
}

ErrorPair EvaluateReply(const uint8_t* reply, unsigned version)
{
    const uint8_t status = reply[1];
    if (version == 4)
    {
        if (reply[0] != 0)
            return {VEXERR_SOCKS, VEXDET_BAD_REPLY};
        switch (status)
        {
        case 90: return {VEXERR_NONE, 0};
        case 91: return {VEXERR_SOCKS, VEXDET_SOCKS_REFUSED};
        case 92: return {VEXERR_SOCKS, VEXDET_SOCKS_HOST_UNREACHABLE};
        case 93: return {VEXERR_SOCKS, VEXDET_SOCKS_AUTH};
        default: return {VEXERR_SOCKS, VEXDET_SOCKS_GENERAL};
        }
    }
    if (reply[0] != 5)
        return {VEXERR_SOCKS, VEXDET_BAD_REPLY};
    if (status == kSocks5Succeeded)
        return {VEXERR_NONE, 0};
    // Replies 1 to 8 map onto 1021 to 1028; everything else is a general failure.
    if (status >= 1 && status <= 8)
        return {VEXERR_SOCKS, VEXDET_SOCKS_AUTH + status};
    return {VEXERR_SOCKS, VEXDET_SOCKS_GENERAL};
}

namespace {

// VER, REP, RSV, ATYP and the first byte of BND.ADDR: no reply is shorter
// (the shortest is an empty name, 7 bytes), so these can be read at once.
constexpr size_t kSocks5ReplyHeadLength = 5;

size_t AddressLength(uint8_t addressType, uint8_t firstAddressByte)
{
    switch (addressType)
    {
    case kAddressIPv4: return 4;
    case kAddressName: return 1 + static_cast<size_t>(firstAddressByte);
    case kAddressIPv6: return 16;
    default: return 0;
    }
}

} // namespace

size_t CSocks5Reply::Length() const
{
    const size_t cbNeeded = m_cb >= 4 && m_bytes[3] == kAddressName ? kSocks5ReplyHeadLength : 4;
    if (m_cb < cbNeeded)
        return 0;
    const size_t cbAddress = AddressLength(m_bytes[3], m_bytes[4]);
    return cbAddress ? 4 + cbAddress + 2 : 0;
}

bool CSocks5Reply::Decided() const
{
    return (m_cb >= 1 && m_bytes[0] != 5) || (m_cb >= 2 && m_bytes[1] != kSocks5Succeeded) ||
           (m_cb >= 4 && AddressLength(m_bytes[3], 0) == 0);
}

size_t CSocks5Reply::BytesWanted() const
{
    if (Decided())
        return 0;
    const size_t cbReply = Length();
    return cbReply ? cbReply - m_cb : kSocks5ReplyHeadLength - m_cb;
}

size_t CSocks5Reply::Feed(const uint8_t* data, size_t cb)
{
    size_t cbTaken = 0;
    for (size_t cbWanted = BytesWanted(); cbWanted > 0 && cbTaken < cb; cbWanted = BytesWanted())
    {
        const size_t cbChunk = cb - cbTaken < cbWanted ? cb - cbTaken : cbWanted;
        std::memcpy(m_bytes + m_cb, data + cbTaken, cbChunk);
        m_cb += cbChunk;
        cbTaken += cbChunk;
    }
    return cbTaken;
}

bool CSocks5Reply::Complete() const
{
    const size_t cbReply = Length();
    return cbReply != 0 && m_cb == cbReply;
}

ErrorPair CSocks5Reply::Outcome() const
{
    if (m_cb >= 2 && m_bytes[0] == 5 && m_bytes[1] != kSocks5Succeeded)
        return EvaluateReply(m_bytes, 5);
    if (!Complete() || m_bytes[0] != 5)
        return {VEXERR_SOCKS, VEXDET_BAD_REPLY};
    return {VEXERR_NONE, 0};
}

bool CSocks5Reply::GetIPv4Address(uint32_t* pAddressNet) const
{
    if (!Complete() || m_bytes[3] != kAddressIPv4)
        return false;
    std::memcpy(pAddressNet, m_bytes + 4, 4);
    return true;
}

bool CSocks5Reply::GetAddress(NetAddress* pAddress) const
{
    if (!Complete() || (m_bytes[3] != kAddressIPv4 && m_bytes[3] != kAddressIPv6))
        return false;
    NetAddress address;
    if (m_bytes[3] == kAddressIPv6)
    {
        address.family = NetAddress::Family::kIPv6;
        std::memcpy(address.bytes, m_bytes + 4, 16);
    }
    else
    {
        std::memcpy(address.bytes, m_bytes + 4, 4);
    }
    address.port = Port();
    *pAddress = address;
    return true;
}

uint16_t CSocks5Reply::Port() const
{
    if (!Complete())
        return 0;
    const uint8_t* p = m_bytes + m_cb - 2;
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

} // namespace socks
