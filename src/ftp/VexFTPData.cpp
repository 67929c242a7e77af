// CVexFTP data channel: passive, active, and both through the SOCKS proxy
// (CONNECT for passive, BIND for active).
#include "VexFTP.h"

#include "HostSyntax.h"
#include "HttpTunnel.h"
#include "SocksMessages.h"
#include "VexErrors.h"
#include "VexLimits.h"

#include <cstring>

namespace {

constexpr char kLineEnd[] = "\r\n";
constexpr size_t kPortCommandSize = 256;

// The version argument that makes a data connection speak the control
// connection's SOCKS version (0 or 1 select SOCKS 4, larger values SOCKS 5).
unsigned VersionArgument(unsigned socksVersion)
{
    return socksVersion == 4 ? 1 : 5;
}

} // namespace

bool CVexFTP::SendPort(const char* pszAddress, uint16_t port)
{
    // PORT carries IPv4 only; EPRT names either family.
    char command[kPortCommandSize] = {};
    const bool bFormatted = hostsyntax::IsIPv4Literal(pszAddress)
                                ? ftp::FormatPortCommand(command, sizeof(command), pszAddress, port, kLineEnd) != 0
                                : ftp::FormatEprtCommand(command, sizeof(command), pszAddress, port, kLineEnd) != 0;
    if (!bFormatted)
    {
        SetError(VEXERR_FTP, VEXDET_BAD_REPLY);
        return false;
    }
    if (SendCommand(command, 200))
        return true;
    if (m_lLastError == VEXERR_FTP)
        m_lLastErrorEx = VEXDET_PORT_OR_COMPLETION;
    return false;
}

bool CVexFTP::OpenDataChannel(VEXSOCK& data, bool bPassive, char (&address)[ftp::kPassiveAddressSize],
                              uint32_t* pPort)
{
    LogFormat("CVexFTP::OpenDataChannel( {VEXSOCK}, \"%s\" , \"%s\" , {SOCKVAL} )\n", bPassive ? "true" : "false",
              address);
    *pPort = 0;
    bool bResult = false;
    if (bPassive)
    {
        bResult = RequestPassivePort(address, pPort);
    }
    else if (m_bViaSocks)
    {
        // The BIND operations write their own exit lines.
        return m_nSocksVersion == 4 ? OpenDataChannelSOCKS4(data, address, pPort)
                                    : OpenDataChannelSOCKS5(data, address, pPort);
    }
    else
    {
        bResult = ListenForServer(data);
    }

    if (bResult)
        Log("CVexFTP::OpenDataChannel() returned true\n", true);
    else
        LogReturned("CVexFTP::OpenDataChannel()", false);
    return bResult;
}

// EPSV first (RFC 2428): it names only a port, so it works over either
// family and through any proxy. A server that does not know it gets PASV,
// unless the control connection is IPv6, where PASV cannot name an address.
// address is empty after EPSV: the data connection goes to the control
// connection's peer.
bool CVexFTP::RequestPassivePort(char (&address)[ftp::kPassiveAddressSize], uint32_t* pPort)
{
    CAnsiString reply;
    address[0] = '\0';
    if (!m_bExtendedPassiveRefused)
    {
        uint16_t port = 0;
        if (SendCommand("EPSV\r\n", 229, &reply))
        {
            if (ftp::ParseExtendedPassiveReply(reply.Get(), &port))
            {
                *pPort = port;
                return true;
            }
            SetError(VEXERR_FTP, VEXDET_BAD_REPLY);
            return false;
        }
        if (m_lLastError != VEXERR_FTP || !ftp::IsCommandRefusal(m_nReplyCode) || PeerAddress().IsIPv6())
        {
            if (m_lLastError == VEXERR_FTP)
                m_lLastErrorEx = VEXDET_BAD_REPLY;
            return false;
        }
        m_bExtendedPassiveRefused = true;
        SetError(VEXERR_NONE, 0);
        Log("CVexFTP: the server does not take EPSV; PASV instead\n", true);
    }
    if (!SendCommand("PASV\r\n", 227, &reply))
    {
        if (m_lLastError == VEXERR_FTP)
            m_lLastErrorEx = VEXDET_BAD_REPLY;
        return false;
    }
    if (!ftp::ParsePassiveReply(reply.Get(), address, pPort))
    {
        SetError(VEXERR_FTP, VEXDET_BAD_REPLY);
        return false;
    }
    return true;
}

// Active mode: a listener on the local end of the control connection, the
// address through which this server reaches us, announced by PORT (IPv4) or
// EPRT (IPv6).
bool CVexFTP::ListenForServer(VEXSOCK& data)
{
    NetAddress local;
    if (!GetLocalNetAddress(&local))
    {
        CopyErrorFrom(*this);
        return false;
    }
    const bool bCreated = local.IsIPv6() ? data.CreateBound(kTransferTimeoutSeconds, local)
                                         : data.Create(kTransferTimeoutSeconds, false);
    if (!bCreated || data.Listen(5) != 0)
    {
        CopyErrorFrom(data);
        return false;
    }
    const uint16_t dataPort = data.GetLocalPort();
    if (dataPort == 0)
    {
        SetError(VEXERR_FTP, VEXDET_BAD_REPLY);
        return false;
    }
    return SendPort(AddressText(local).c_str(), dataPort);
}

bool CVexFTP::ConnectDataToProxy(VEXSOCK& data)
{
    if (data.Create(kTransferTimeoutSeconds, false) &&
        data.ConnectProxy(m_pszSocksHost.Get(), static_cast<uint16_t>(m_nSocksPort), VersionArgument(m_nSocksVersion),
                          m_nSocksAuth, m_pszSocksUser.Get(), m_pszSocksPassword.Get()))
        return true;
    CopyErrorFrom(data);
    return false;
}

// One granted reply to a BIND request and the address and port it names.
// SOCKS 4 replies have a fixed length; SOCKS 5 replies are read by their
// address type, so that the file's bytes after the second reply stay on the
// channel. The first reply must name an IPv4 or IPv6 address, which PORT or
// EPRT announces. pAddress null: any address will do (the second reply names
// the host that connected to the proxy).
bool CVexFTP::ReceiveBindReply(VEXSOCK& data, NetAddress* pAddress)
{
    socks::ErrorPair outcome;
    NetAddress address;
    uint32_t addressNet = 0;
    if (m_nSocksVersion == 4)
    {
        //   | VN | CD | DSTPORT | DSTIP |
        //     1    1      2         4
        uint8_t reply[socks::kSocks4ReplyLength] = {};
        if (data.Receive(reinterpret_cast<char*>(reply), static_cast<int>(sizeof(reply)), 0) == -1)
        {
            CopyErrorFrom(data);
            return false;
        }
        outcome = socks::EvaluateReply(reply, 4);
        std::memcpy(&addressNet, reply + 4, 4);
        address = IPv4Address(addressNet, static_cast<uint16_t>(reply[2] << 8 | reply[3]));
    }
    else
    {
        socks::CSocks5Reply reply;
        if (data.ReceiveSocks5Reply(reply) == -1)
        {
            CopyErrorFrom(data);
            return false;
        }
        outcome = reply.Outcome();
        if (outcome.lError == VEXERR_NONE && pAddress && !reply.GetAddress(&address))
            outcome = {VEXERR_SOCKS, VEXDET_BAD_REPLY};
    }
    if (outcome.lError != VEXERR_NONE)
    {
        SetError(outcome.lError, outcome.lErrorEx);
        return false;
    }
    if (pAddress)
        *pAddress = address;
    return true;
}

// Asks the proxy to listen for the server's data connection (SOCKS BIND) and
// tells the server, with PORT, where the proxy listens.
bool CVexFTP::OpenDataChannelThroughBind(VEXSOCK& data, bool bSocks4)
{
    if (!ConnectDataToProxy(data))
        return false;

    // SOCKS 4 names the server by the control connection's recorded peer,
    // SOCKS 5 by the target the control connection was opened to.
    uint8_t request[socks::kRequestBufferSize] = {};
    size_t cbRequest;
    if (bSocks4)
    {
        cbRequest = socks::BuildSocks4Request(request, sizeof(request), socks::kCommandBind, ntohs(GetPeerPort()),
                                              GetPeerAddress(), m_pszSocksUser.Get(), nullptr);
    }
    else
    {
        cbRequest = BuildSocks5Destination(request, sizeof(request), socks::kCommandBind, m_pszTargetHost.Get(),
                                           m_nTargetPort);
    }
    if (cbRequest == 0)
    {
        // Too long for the request buffer: refused before anything is sent.
        data.Close();
        SetError(VEXERR_SOCKS, VEXDET_SOCKS_GENERAL);
        return false;
    }

    NetAddress bound;
    if (data.SendAll(reinterpret_cast<const char*>(request), static_cast<int>(cbRequest), 0) !=
        static_cast<int>(cbRequest))
    {
        CopyErrorFrom(data);
        data.Close();
        return false;
    }
    if (!ReceiveBindReply(data, &bound))
    {
        data.Close();
        return false;
    }

    const NetAddress unspecified = bound.IsIPv6() ? NetAddress{NetAddress::Family::kIPv6, {}, 0} : NetAddress();
    NetAddress announced = bound;
    if (bound.SameHost(unspecified))
    {
        // The proxy listens on every address: announce the address through
        // which we reach the proxy.
        if (!data.GetLocalNetAddress(&announced))
        {
            CopyErrorFrom(data);
            data.Close();
            return false;
        }
    }
    return SendPort(AddressText(announced).c_str(), bound.port);
}

bool CVexFTP::OpenDataChannelSOCKS4(VEXSOCK& data, const char* pszAddress, uint32_t* /*pPort*/)
{
    LogFormat("CVexFTP::OpenDataChannelSOCKS4( {VEXSOCK}, %s, {SOCKVAL} )", pszAddress);
    const bool bResult = OpenDataChannelThroughBind(data, true);
    if (bResult)
        Log("CVexFTP::OpenDataChannelSOCKS4() returned true", true);
    else
        LogReturned("CVexFTP::OpenDataChannelSOCKS4()", false);
    return bResult;
}

bool CVexFTP::OpenDataChannelSOCKS5(VEXSOCK& data, const char* pszAddress, uint32_t* /*pPort*/)
{
    LogFormat("CVexFTP::OpenDataChannelSOCKS5( {VEXSOCK}, %s, {SOCKVAL} )", pszAddress);
    const bool bResult = OpenDataChannelThroughBind(data, false);
    if (bResult)
        Log("CVexFTP::OpenDataChannelSOCKS5() returned true", true);
    else
        LogReturned("CVexFTP::OpenDataChannelSOCKS5()", false);
    return bResult;
}

bool CVexFTP::CompleteDataChannel(VEXSOCK& data, bool bPassive, const char* pszAddress, uint32_t port)
{
    if (bPassive)
    {
        CAnsiString target;
        ChoosePassiveTarget(pszAddress, port, target);
        if (!data.Create(kTransferTimeoutSeconds, false))
        {
            CopyErrorFrom(data);
            return false;
        }
        if (m_bViaSocks)
        {
            Log("CVexFTP::MoveFile()  Connect to SOCKS Server.\n", true);
            if (!data.ConnectSocks(target.Get(), static_cast<uint16_t>(port), m_pszSocksHost.Get(),
                                   static_cast<uint16_t>(m_nSocksPort), VersionArgument(m_nSocksVersion),
                                   m_nSocksAuth, m_pszSocksUser.Get(), m_pszSocksPassword.Get()))
            {
                CopyErrorFrom(data);
                return false;
            }
            return true;
        }
        if (m_pHttpProxy)
        {
            Log("CVexFTP::MoveFile()  Connect through the HTTP proxy.\n", true);
            ProxyFailure failure;
            if (!OpenHttpTunnel(data, *m_pHttpProxy, target.Get(), static_cast<uint16_t>(port), &failure))
            {
                SetError(failure.lError, failure.lErrorEx);
                m_proxyAnswer = failure.answer;
                m_proxySecurityStatus = failure.securityStatus;
                return false;
            }
            return true;
        }
        Log("CVexFTP::MoveFile()  Connect to Server.\n", true);
        if (!data.Connect(target.Get(), static_cast<uint16_t>(port)))
        {
            SetError(VEXERR_SOCKET, data.ConnectFailureReason());
            return false;
        }
        return true;
    }

    if (m_bViaSocks)
    {
        // The proxy's second BIND reply says the server has connected.
        Log("CVexFTP::MoveFile()  Retrieving SOCKS response.\n", true);
        if (!ReceiveBindReply(data, nullptr))
        {
            Log("CVexFTP::MoveFile()  SOCKS Error.\n", true);
            return false;
        }
        return true;
    }

    return AcceptFromServer(data);
}

// Only the server may deliver the file: anyone else who finds the announced
// port first is turned away, and the wait for the server goes on.
bool CVexFTP::AcceptFromServer(VEXSOCK& data)
{
    unsigned refused = 0;
    NetAddress last;
    const int result = data.AcceptOnlyFrom(PeerAddress(), &refused, &last);
    if (refused > 0)
        LogFormat("CVexFTP: refused %u data connection(s) from another address than the server's, the last from %s\n",
                  refused, AddressText(last).c_str());
    if (result == -1)
    {
        CopyErrorFrom(data);
        return false;
    }
    return true;
}

// The passive data connection goes to the control connection's server, at
// the port the 227 reply named: a server (or whoever can rewrite its
// replies) could otherwise aim this client's connection at any host. Through
// a proxy, the tunnel goes to the host the control tunnel went to. The
// reply's own address is taken only when the settings trust it.
void CVexFTP::ChoosePassiveTarget(const char* pszReplyAddress, uint32_t port, CAnsiString& target)
{
    if (m_bTrustPassiveAddress && *pszReplyAddress)
    {
        target.Assign(pszReplyAddress);
    }
    else if (m_bViaSocks || m_pHttpProxy)
    {
        target.Assign(m_controlHost.Get());
    }
    else
    {
        target.Assign(AddressText(PeerAddress()).c_str());
    }
    LogFormat("CVexFTP: passive data connection to %s:%u (the reply named %s)\n", target.Get(), port,
              *pszReplyAddress ? pszReplyAddress : "no address");
}
