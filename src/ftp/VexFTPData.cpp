// CVexFTP data channel: passive, active, and both through the SOCKS proxy
// (CONNECT for passive, BIND for active).
#include "VexFTP.h"

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
    char command[kPortCommandSize] = {};
    if (!ftp::FormatPortCommand(command, sizeof(command), pszAddress, port, kLineEnd))
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
        char command[16];
        std::strcpy(command, "PASV");
        std::strcat(command, kLineEnd);
        CAnsiString reply;
        if (!SendCommand(command, 227, &reply))
        {
            if (m_lLastError == VEXERR_FTP)
                m_lLastErrorEx = VEXDET_BAD_REPLY;
        }
        else if (!ftp::ParsePassiveReply(reply.Get(), address, pPort))
        {
            SetError(VEXERR_FTP, VEXDET_BAD_REPLY);
        }
        else
        {
            bResult = true;
        }
    }
    else if (m_bViaSocks)
    {
        // The BIND operations write their own exit lines.
        return m_nSocksVersion == 4 ? OpenDataChannelSOCKS4(data, address, pPort)
                                    : OpenDataChannelSOCKS5(data, address, pPort);
    }
    else if (!data.Create(kTransferTimeoutSeconds, false) || data.Listen(5) != 0)
    {
        CopyErrorFrom(data);
    }
    else
    {
        // Announce the local end of the control connection: the address
        // through which this server reaches us.
        CAnsiString localAddress;
        uint16_t controlPort = 0;
        if (GetLocalAddress(localAddress, &controlPort) != 0)
        {
            CopyErrorFrom(*this);
        }
        else
        {
            const uint16_t dataPort = data.GetLocalPort();
            if (dataPort == 0 || localAddress.IsNull())
                SetError(VEXERR_FTP, VEXDET_BAD_REPLY);
            else
                bResult = SendPort(localAddress.Get(), dataPort);
        }
    }

    if (bResult)
        Log("CVexFTP::OpenDataChannel() returned true\n", true);
    else
        LogReturned("CVexFTP::OpenDataChannel()", false);
    return bResult;
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
// channel. The first reply must name an IPv4 address: PORT announces no
// other. pAddressNet null: any address will do (the second reply names the
// host that connected to the proxy).
bool CVexFTP::ReceiveBindReply(VEXSOCK& data, uint32_t* pAddressNet, uint16_t* pPort)
{
    socks::ErrorPair outcome;
    uint32_t address = 0;
    uint16_t port = 0;
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
        port = static_cast<uint16_t>(reply[2] << 8 | reply[3]);
        std::memcpy(&address, reply + 4, 4);
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
        port = reply.Port();
        const bool bIPv4 = reply.GetIPv4Address(&address);
        if (outcome.lError == VEXERR_NONE && pAddressNet && !bIPv4)
            outcome = {VEXERR_SOCKS, VEXDET_BAD_REPLY};
    }
    if (outcome.lError != VEXERR_NONE)
    {
        SetError(outcome.lError, outcome.lErrorEx);
        return false;
    }
    if (pAddressNet)
        *pAddressNet = address;
    if (pPort)
        *pPort = port;
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
        uint32_t target = 0;
        const bool bDotted = IsDottedAddress(m_pszTargetHost.Get());
        if (bDotted)
            target = inet_addr(m_pszTargetHost.Get());
        cbRequest = socks::BuildSocks5Request(request, sizeof(request), socks::kCommandBind, m_pszTargetHost.Get(),
                                              bDotted ? &target : nullptr, m_nTargetPort);
    }
    if (cbRequest == 0)
    {
        // Too long for the request buffer: refused before anything is sent.
        data.Close();
        SetError(VEXERR_SOCKS, VEXDET_SOCKS_GENERAL);
        return false;
    }

    uint32_t bindAddressNet = 0;
    uint16_t bindPort = 0;
    if (data.SendAll(reinterpret_cast<const char*>(request), static_cast<int>(cbRequest), 0) !=
        static_cast<int>(cbRequest))
    {
        CopyErrorFrom(data);
        data.Close();
        return false;
    }
    if (!ReceiveBindReply(data, &bindAddressNet, &bindPort))
    {
        data.Close();
        return false;
    }

    CAnsiString announced;
    if (bindAddressNet == 0)
    {
        // The proxy listens on every address: announce the address through
        // which we reach the proxy.
        uint16_t unused = 0;
        if (data.GetLocalAddress(announced, &unused) != 0)
        {
            CopyErrorFrom(data);
            data.Close();
            return false;
        }
    }
    else
    {
        in_addr bindAddress;
        bindAddress.s_addr = bindAddressNet;
        announced.Assign(inet_ntoa(bindAddress));
    }
    return SendPort(announced.Get(), bindPort);
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
        if (!ReceiveBindReply(data, nullptr, nullptr))
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
    VEXSOCK::RefusedPeers refused;
    const int result = data.AcceptOnlyFrom(GetPeerAddress(), &refused);
    if (refused.count > 0)
    {
        in_addr last;
        last.s_addr = refused.lastAddressNet;
        LogFormat("CVexFTP: refused %u data connection(s) from another address than the server's, the last from %s\n",
                  refused.count, inet_ntoa(last));
    }
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
    if (m_bTrustPassiveAddress)
    {
        target.Assign(pszReplyAddress);
    }
    else if (m_bViaSocks || m_pHttpProxy)
    {
        target.Assign(m_controlHost.Get());
    }
    else
    {
        in_addr peer;
        peer.s_addr = GetPeerAddress();
        target.Assign(inet_ntoa(peer));
    }
    LogFormat("CVexFTP: passive data connection to %s:%u (the reply named %s)\n", target.Get(), port,
              pszReplyAddress);
}
