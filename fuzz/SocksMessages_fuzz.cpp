// SOCKS replies and requests. The input's first bytes are a proxy's reply,
// evaluated as SOCKS 4 and as SOCKS 5 the way the client receives it (into
// a zeroed buffer), and read as a SOCKS 5 reply by its address type, whole
// and piece by piece. The whole input, cut at zero bytes, also gives the
// fields of the requests:
//
//   user \0 password \0 host \0 host4a \0 rest (command, port, address, method)
//
// and every builder runs for every buffer size from 0 to the request
// buffer's (or a byte past its message) and for the reply buffer's, its
// output compared byte for byte with the message assembled by hand.
#include "SocksMessages.h"
#include "VexErrors.h"

#include "FuzzSupport.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

void CheckReply(const uint8_t* reply, unsigned version)
{
    const socks::ErrorPair pair = socks::EvaluateReply(reply, version);
    const bool bGranted = version == 4 ? reply[0] == 0 && reply[1] == socks::kSocks4Granted
                                       : reply[0] == 5 && reply[1] == socks::kSocks5Succeeded;
    if (bGranted)
    {
        FUZZ_CHECK(pair.lError == VEXERR_NONE && pair.lErrorEx == 0);
        return;
    }
    FUZZ_CHECK(pair.lError == VEXERR_SOCKS);
    FUZZ_CHECK(pair.lErrorEx == VEXDET_BAD_REPLY ||
               (pair.lErrorEx >= VEXDET_SOCKS_AUTH && pair.lErrorEx <= VEXDET_SOCKS_AUTH + 8));
}

void EvaluateReplies(const uint8_t* data, size_t size, unsigned otherVersion)
{
    // As received: at most a whole reply into a zeroed 1024-byte buffer.
    for (size_t cbReply : {socks::kSocks4ReplyLength, socks::kSocks5ReplyLength})
    {
        uint8_t reply[socks::kReplyBufferSize] = {};
        std::memcpy(reply, data, std::min(size, cbReply));
        CheckReply(reply, 4);
        CheckReply(reply, 5);
        CheckReply(reply, otherVersion);
    }
    // Only the first two bytes are read.
    if (size >= 2)
    {
        fuzz::ExactCopy exact(data, 2);
        CheckReply(exact.bytes, 4);
        CheckReply(exact.bytes, 5);
    }
}

// The length a complete SOCKS 5 reply has by its own bytes, 0 for an
// unknown address type.
size_t Socks5ReplyLength(const uint8_t* data)
{
    switch (data[3])
    {
    case socks::kAddressIPv4: return 4 + 4 + 2;
    case socks::kAddressName: return 4 + 1 + data[4] + 2;
    case socks::kAddressIPv6: return 4 + 16 + 2;
    default: return 0;
    }
}

// The reader never takes a byte past the reply, takes the same whether it
// is fed at once or in pieces of `piece` bytes (as the channel feeds it,
// asking BytesWanted() each time), and grants only a complete reply of
// version 5 and status 0.
void ReadSocks5Reply(const uint8_t* data, size_t size, size_t piece)
{
    fuzz::ExactCopy exact(data, size);
    socks::CSocks5Reply whole, piecewise;
    const size_t cbWhole = whole.Feed(exact.bytes, size);
    size_t cbPieces = 0;
    for (size_t cbWanted = piecewise.BytesWanted(); cbWanted > 0 && cbPieces < size;
         cbWanted = piecewise.BytesWanted())
    {
        const size_t cb = std::min({cbWanted, piece, size - cbPieces});
        FUZZ_CHECK(piecewise.Feed(exact.bytes + cbPieces, cb) == cb);
        cbPieces += cb;
    }
    FUZZ_CHECK(cbWhole <= size && cbWhole <= socks::kSocks5MaxReplyLength);
    FUZZ_CHECK(whole.Complete() == piecewise.Complete());
    const socks::ErrorPair pair = whole.Outcome();
    const socks::ErrorPair pairPieces = piecewise.Outcome();
    FUZZ_CHECK(pair.lError == pairPieces.lError && pair.lErrorEx == pairPieces.lErrorEx);

    const bool bGranted = whole.Complete() && data[0] == 5 && data[1] == socks::kSocks5Succeeded;
    FUZZ_CHECK((pair.lError == VEXERR_NONE) == bGranted);
    if (!whole.Complete())
    {
        // Cut short by the input's end, or decided by its first bytes.
        FUZZ_CHECK(cbWhole == size || cbWhole <= 5);
        FUZZ_CHECK(whole.Port() == 0);
        return;
    }
    const size_t cbReply = Socks5ReplyLength(data);
    FUZZ_CHECK(cbWhole == cbReply && cbPieces == cbReply);
    FUZZ_CHECK(whole.Port() == static_cast<uint16_t>(data[cbReply - 2] << 8 | data[cbReply - 1]));
    uint32_t addressNet = 0;
    FUZZ_CHECK(whole.GetIPv4Address(&addressNet) == (data[3] == socks::kAddressIPv4));
    FUZZ_CHECK(data[3] != socks::kAddressIPv4 || std::memcmp(&addressNet, data + 4, 4) == 0);
    // Either family's address, with the reply's port, and nothing for a name.
    NetAddress address;
    const bool bAddress = whole.GetAddress(&address);
    FUZZ_CHECK(bAddress == (data[3] == socks::kAddressIPv4 || data[3] == socks::kAddressIPv6));
    FUZZ_CHECK(!bAddress || (address.port == whole.Port() &&
                             std::memcmp(address.bytes, data + 4, address.IsIPv6() ? 16 : 4) == 0));
}

void Append(Bytes& bytes, const char* psz)
{
    if (psz)
        bytes.insert(bytes.end(), psz, psz + std::strlen(psz));
}

// Runs one builder for every capacity up to the request buffer's or a byte
// past the message, whichever is larger, and for the reply buffer's (larger
// ones behave alike). The output goes to the end of one heap block, so that
// AddressSanitizer catches a single byte written past cap.
template <typename Build>
void CheckEveryCapacity(const Bytes& expected, bool bFits, Build build)
{
    uint8_t* const block = new uint8_t[socks::kReplyBufferSize];
    const size_t capLast = std::min(std::max(expected.size() + 1, socks::kRequestBufferSize), socks::kReplyBufferSize);
    std::vector<size_t> caps;
    for (size_t cap = 0; cap <= capLast; ++cap)
        caps.push_back(cap);
    caps.push_back(socks::kReplyBufferSize);
    for (size_t cap : caps)
    {
        uint8_t* const buf = block + socks::kReplyBufferSize - cap;
        const size_t cb = build(buf, cap);
        if (!bFits || expected.size() > cap)
        {
            FUZZ_CHECK(cb == 0);
            continue;
        }
        FUZZ_CHECK(cb == expected.size());
        FUZZ_CHECK(std::memcmp(buf, expected.data(), cb) == 0);
    }
    delete[] block;
}

/*
 *   | VN | CD | DSTPORT | DSTIP  | USERID  | 0 |  HOST   | 0 |
 *     1    1      2         4        n       1    m (4A)   1
 */
void CheckSocks4(uint8_t command, uint16_t port, uint32_t addressNet, const char* user, const char* host4a)
{
    const char* userId = socks::Socks4UserId(user);
    FUZZ_CHECK(userId && (user && *user ? userId == user : std::strcmp(userId, socks::kDefaultUserId) == 0));
    Bytes expected = {4, command, static_cast<uint8_t>(port >> 8), static_cast<uint8_t>(port & 0xff)};
    const uint8_t marker[4] = {0, 0, 0, 1};
    const uint8_t* pAddress = host4a ? marker : reinterpret_cast<const uint8_t*>(&addressNet);
    expected.insert(expected.end(), pAddress, pAddress + 4);
    Append(expected, userId);
    expected.push_back(0);
    if (host4a)
    {
        Append(expected, host4a);
        expected.push_back(0);
    }
    // What fits the 255-byte request buffer.
    const bool bFits = expected.size() <= socks::kRequestBufferSize;
    FUZZ_CHECK(socks::Socks4RequestFits(user, host4a) == bFits);
    CheckEveryCapacity(expected, bFits, [&](uint8_t* buf, size_t cap) {
        return socks::BuildSocks4Request(buf, cap, command, port, addressNet, user, host4a);
    });
}

void CheckSocks5Greeting(unsigned authMethod)
{
    Bytes expected = {5, static_cast<uint8_t>(authMethod ? 2 : 1), 0};
    if (authMethod)
        expected.push_back(static_cast<uint8_t>(authMethod & 0xff));
    CheckEveryCapacity(expected, true,
                       [&](uint8_t* buf, size_t cap) { return socks::BuildSocks5Greeting(buf, cap, authMethod); });
}

/*
 *   | VER | ULEN |  UNAME  | 0 | PLEN | PASSWD  | 0 |
 */
void CheckSocks5UserPassword(const char* user, const char* password)
{
    const size_t cchUser = user ? std::strlen(user) : 0;
    const size_t cchPassword = password ? std::strlen(password) : 0;
    const bool bFits = cchUser <= socks::kMaxSocks5CredentialLength &&
                       cchPassword <= socks::kMaxSocks5CredentialLength;
    FUZZ_CHECK(socks::Socks5CredentialsFit(user, password) == bFits);
    Bytes expected = {1, static_cast<uint8_t>(cchUser + 1)};
    Append(expected, user);
    expected.push_back(0);
    expected.push_back(static_cast<uint8_t>(cchPassword + 1));
    Append(expected, password);
    expected.push_back(0);
    CheckEveryCapacity(expected, bFits, [&](uint8_t* buf, size_t cap) {
        return socks::BuildSocks5UserPassword(buf, cap, user, password);
    });
}

/*
 *   | VER | CMD | RSV | ATYP |      DST.ADDR      | DST.PORT |
 */
void CheckSocks5Request(uint8_t command, const char* host, const uint32_t* pAddressNet, uint16_t port)
{
    Bytes expected = {5, command, 0, static_cast<uint8_t>(pAddressNet ? 1 : 3)};
    bool bFits = true;
    if (pAddressNet)
    {
        const auto* pAddress = reinterpret_cast<const uint8_t*>(pAddressNet);
        expected.insert(expected.end(), pAddress, pAddress + 4);
    }
    else
    {
        const size_t cchHost = host ? std::strlen(host) : 0;
        bFits = cchHost <= socks::kMaxSocks5NameLength;
        FUZZ_CHECK(socks::Socks5NameFits(host) == bFits);
        expected.push_back(static_cast<uint8_t>(cchHost));
        Append(expected, host);
    }
    expected.push_back(static_cast<uint8_t>(port >> 8));
    expected.push_back(static_cast<uint8_t>(port & 0xff));
    CheckEveryCapacity(expected, bFits, [&](uint8_t* buf, size_t cap) {
        return socks::BuildSocks5Request(buf, cap, command, host, pAddressNet, port);
    });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<std::string> fields = fuzz::SplitAtZero(data, size, 5);
    auto field = [&](size_t i) { return i < fields.size() ? fields[i].c_str() : nullptr; };
    const char* user = field(0);
    const char* password = field(1);
    const char* host = field(2);
    const char* host4a = field(3);

    // Numbers from the rest, or from the input's size when there is none.
    uint8_t rest[9] = {socks::kCommandConnect, 0x04, 0x38, 127, 0, 0, 1, 0, static_cast<uint8_t>(size)};
    if (fields.size() > 4)
        std::memcpy(rest, fields[4].data(), std::min(fields[4].size(), sizeof(rest)));
    const uint8_t command = rest[0];
    const auto port = static_cast<uint16_t>(rest[1] << 8 | rest[2]);
    uint32_t addressNet;
    std::memcpy(&addressNet, rest + 3, 4);
    const unsigned authMethod = static_cast<unsigned>(rest[7]) | static_cast<unsigned>(rest[8] & 1) << 8;
    const unsigned otherVersion = rest[8];

    EvaluateReplies(data, size, otherVersion);
    ReadSocks5Reply(data, size, 1 + otherVersion % 8);

    FUZZ_CHECK(socks::SelectVersion(otherVersion) == (otherVersion <= 1 ? 4u : 5u));
    CheckSocks4(command, port, addressNet, user, nullptr);
    CheckSocks4(command, port, addressNet, user, host4a);
    CheckSocks5Greeting(authMethod);
    CheckSocks5UserPassword(user, password);
    CheckSocks5Request(command, host, nullptr, port);
    CheckSocks5Request(command, host, &addressNet, port);
    return 0;
}
