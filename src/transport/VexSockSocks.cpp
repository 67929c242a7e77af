// The SOCKS client operations of VEXSOCK: reaching the proxy, the SOCKS 5
// method negotiation, CONNECT requests for outgoing connections, and SOCKS 5
// replies read to their exact length.
#include "VexSock.h"

#include "HostResolver.h"
#include "HostSyntax.h"
#include "SocksMessages.h"
#include "VexErrors.h"

#include <cstring>
#include <string_view>
#include <vector>

bool VEXSOCK::IsDottedAddress(const char* pszText)
{
    return pszText && inet_addr(pszText) != INADDR_NONE;
}

namespace {

std::string_view TextOf(const char* psz)
{
    return psz ? psz : "";
}

// An IPv6 literal, or a name that the local resolver knows by IPv6
// addresses alone: a destination no SOCKS 4 request can name.
bool HasOnlyIPv6Addresses(const char* pszHost)
{
    if (hostsyntax::IsIPv6Literal(TextOf(pszHost)))
        return true;
    std::vector<NetAddress> addresses;
    if (ResolveHost(pszHost, 0, &addresses) != 0)
        return false;
    for (const NetAddress& address : addresses)
    {
        if (!address.IsIPv6())
            return false;
    }
    return true;
}

} // namespace

void VEXSOCK::EvaluateSocksReply(const uint8_t* pReply, unsigned version)
{
    const socks::ErrorPair pair = socks::EvaluateReply(pReply, version);
    Record(pair.lError, pair.lErrorEx);
}

bool VEXSOCK::ConnectProxy(const char* pszProxyHost, uint16_t proxyPort, unsigned version,
                           unsigned authMethod, const char* pszUser, const char* pszPassword)
{
    m_nSocksVersion = socks::SelectVersion(version);
    if (m_nSocksVersion == 5 && authMethod != socks::kMethodNone &&
        !socks::Socks5CredentialsFit(pszUser, pszPassword))
    {
        Record(VEXERR_SOCKS, VEXDET_SOCKS_GENERAL);
        return false;
    }
    if (!Connect(pszProxyHost, proxyPort))
    {
        RecordSocketError();
        return false;
    }
    if (!NegotiateSocks5(authMethod, pszUser, pszPassword))
    {
        // Close clears the primary code; the reason stays in the detail.
        Close();
        return false;
    }
    // Copy before releasing: the arguments may be this channel's own strings.
    CAnsiString host, user, password;
    host.Assign(pszProxyHost);
    user.Assign(pszUser);
    password.Assign(pszPassword);
    m_pszSocksHost.Assign(host.Get());
    m_pszSocksUser.Assign(user.Get());
    m_pszSocksPassword.Assign(password.Get());
    m_bViaSocks = true;
    m_nSocksPort = proxyPort;
    m_nSocksAuth = authMethod;
    return true;
}

bool VEXSOCK::NegotiateSocks5(unsigned authMethod, const char* pszUser, const char* pszPassword)
{
    if (m_nSocksVersion < 5)
        return true;

    uint8_t buffer[socks::kReplyBufferSize] = {};
    char* const pBuffer = reinterpret_cast<char*>(buffer);
    const int cbGreeting = static_cast<int>(socks::BuildSocks5Greeting(buffer, sizeof(buffer), authMethod));
    if (SendAll(pBuffer, cbGreeting, 0) == -1)
    {
        RecordSocketError();
        return false;
    }
    if (Receive(pBuffer, sizeof(buffer), 0) == -1)
    {
        RecordSocketError();
        return false;
    }
    // Only the chosen method is examined. A proxy that accepts none of the
    // offered methods closes the connection, and the request that follows
    // fails.
    if (buffer[1] != socks::kMethodUserPassword)
        return true;

    const int cbAuth = static_cast<int>(
        socks::BuildSocks5UserPassword(buffer, sizeof(buffer), pszUser, pszPassword));
    if (SendAll(pBuffer, cbAuth, 0) == -1)
    {
        RecordSocketError();
        return false;
    }
    // No answer leaves the non-zero ULEN in byte 1, which counts as refusal.
    Receive(pBuffer, sizeof(buffer), 0);
    if (buffer[1] == 0)
        return true;
    Record(VEXERR_SOCKS, VEXDET_SOCKS_AUTH);
    return false;
}

bool VEXSOCK::ConnectSocks(const char* pszHost, uint16_t port, const char* pszProxyHost,
                           uint16_t proxyPort, unsigned version, unsigned authMethod,
                           const char* pszUser, const char* pszPassword)
{
    // Refuse what cannot fit the request before talking to the proxy at all.
    const bool bSocks5 = socks::SelectVersion(version) == 5;
    const bool bFits = bSocks5 ? IsDottedAddress(pszHost) || hostsyntax::IsIPv6Literal(TextOf(pszHost)) ||
                                     socks::Socks5NameFits(pszHost)
                               : socks::Socks4RequestFits(pszUser, nullptr);
    if (!bFits)
    {
        Record(VEXERR_SOCKS, VEXDET_SOCKS_GENERAL);
        return false;
    }
    if (!bSocks5 && hostsyntax::IsIPv6Literal(TextOf(pszHost)))
    {
        Record(VEXERR_SOCKS, VEXDET_SOCKS4_IPV6);
        return false;
    }

    // Keep the destination before connecting: pszHost may be one of this
    // channel's own strings, which ConnectProxy replaces.
    CAnsiString host;
    host.Assign(pszHost);
    if (!ConnectProxy(pszProxyHost, proxyPort, version, authMethod, pszUser, pszPassword))
        return false;

    std::memset(&m_addr, 0, sizeof(m_addr));
    m_peer = NetAddress();
    m_pszTargetHost.Assign(host.Get());
    m_nTargetPort = port;
    return bSocks5 ? SendSocks5Connect(host.Get(), port)
                   : SendSocks4Connect(host.Get(), port, m_pszSocksUser.Get());
}

bool VEXSOCK::SendSocks5Connect(const char* pszHost, uint16_t port)
{
    uint8_t request[socks::kRequestBufferSize] = {};
    const int cbRequest = static_cast<int>(BuildSocks5Destination(request, sizeof(request), socks::kCommandConnect,
                                                                  pszHost, port));

    socks::CSocks5Reply reply;
    if (SendAll(reinterpret_cast<const char*>(request), cbRequest, 0) == -1 || ReceiveSocks5Reply(reply) == -1)
    {
        Record(VEXERR_SOCKS, VEXDET_SOCKS_GENERAL);
        return false;
    }
    // The socket now carries the destination's bytes; m_addr stays zero.
    const socks::ErrorPair outcome = reply.Outcome();
    Record(outcome.lError, outcome.lErrorEx);
    return outcome.lError == VEXERR_NONE;
}

int VEXSOCK::ReceiveSocks5Reply(socks::CSocks5Reply& reply)
{
    uint8_t buffer[socks::kSocks5MaxReplyLength];
    for (size_t cbWanted = reply.BytesWanted(); cbWanted > 0; cbWanted = reply.BytesWanted())
    {
        const int cb = Receive(reinterpret_cast<char*>(buffer), static_cast<int>(cbWanted), 0);
        if (cb == -1)
            return -1;
        if (cb == 0)
            break;
        reply.Feed(buffer, static_cast<size_t>(cb));
    }
    return 0;
}

bool VEXSOCK::SendSocks4Connect(const char* pszHost, uint16_t port, const char* pszUser)
{
    // SOCKS 4 sends an address: resolve locally, and leave names that only
    // the proxy knows to SOCKS 4A.
    const bool bResolved = Resolve(pszHost, port, &m_addr);
    const char* pszHost4a = nullptr;
    if (!bResolved)
    {
        if (SafeLength(pszHost) == 0)
        {
            RecordSocketError();
            return false;
        }
        if (HasOnlyIPv6Addresses(pszHost))
        {
            Record(VEXERR_SOCKS, VEXDET_SOCKS4_IPV6);
            return false;
        }
        pszHost4a = pszHost;
    }

    uint8_t request[socks::kRequestBufferSize] = {};
    const int cbRequest = static_cast<int>(socks::BuildSocks4Request(
        request, sizeof(request), socks::kCommandConnect, port, m_addr.sin_addr.s_addr, pszUser, pszHost4a));
    uint8_t reply[socks::kReplyBufferSize] = {};
    if (cbRequest == 0 ||
        SendAll(reinterpret_cast<const char*>(request), cbRequest, 0) == -1 ||
        Receive(reinterpret_cast<char*>(reply), socks::kSocks4ReplyLength, 0) == -1)
    {
        Record(VEXERR_SOCKS, VEXDET_SOCKS_GENERAL);
        return false;
    }
    if (reply[0] != 0 || reply[1] != socks::kSocks4Granted)
    {
        EvaluateSocksReply(reply, 4);
        return false;
    }
    if (pszHost4a)
    {
        // Only the proxy knows the destination's address. Record the one its
        // reply names (0.0.0.0 when it names none) with the destination port;
        // a later SOCKS 4 BIND announces it as the expected peer.
        m_addr.sin_family = AF_INET;
        m_addr.sin_port = htons(port);
        std::memcpy(&m_addr.sin_addr, reply + 4, 4);
    }
    m_peer = IPv4Address(m_addr.sin_addr.s_addr, port);
    return true;
}

size_t VEXSOCK::BuildSocks5Destination(uint8_t* pRequest, size_t cbRequest, uint8_t command, const char* pszHost,
                                       uint16_t port)
{
    NetAddress address;
    if (ParseAddressLiteral(TextOf(pszHost), port, &address))
        return socks::BuildSocks5AddressRequest(pRequest, cbRequest, command, address);
    return socks::BuildSocks5Request(pRequest, cbRequest, command, pszHost, nullptr, port);
}
