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
        LogFormat("CVexFTP::OpenDataChannel() returned false. m_lLastError: %ld m_lLastErrorEx: %ld\n", m_lLastError,
                  m_lLastErrorEx);
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

    uint8_t reply[socks::kReplyBufferSize] = {};
    const int cbReply = static_cast<int>(m_nSocksReplyLen);
    if (data.SendAll(reinterpret_cast<const char*>(request), static_cast<int>(cbRequest), 0) !=
            static_cast<int>(cbRequest) ||
        data.Receive(reinterpret_cast<char*>(reply), cbReply, 0) != cbReply)
    {
        CopyErrorFrom(data);
        data.Close();
        return false;
    }
    const uint8_t expectedVersion = bSocks4 ? 0 : 5;
    if (reply[0] != expectedVersion || reply[1] != m_nSocksReplyCode)
    {
        data.EvaluateSocksReply(reply, bSocks4 ? 4 : 5);
        CopyErrorFrom(data);
        data.Close();
        return false;
    }

    // SOCKS 4: DSTPORT at 2, DSTIP at 4. SOCKS 5: BND.ADDR at 4, BND.PORT at 8.
    const uint8_t* pPortBytes = bSocks4 ? reply + 2 : reply + 8;
    const auto bindPort = static_cast<uint16_t>(pPortBytes[0] << 8 | pPortBytes[1]);
    in_addr bindAddress;
    std::memcpy(&bindAddress, reply + 4, 4);

    CAnsiString announced;
    if (bindAddress.s_addr == 0)
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
        announced.Assign(inet_ntoa(bindAddress));
    }
    return SendPort(announced.Get(), bindPort);
}

bool CVexFTP::OpenDataChannelSOCKS4(VEXSOCK& data, const char* pszAddress, uint32_t* /*pPort*/)
{
    LogFormat("CVexFTP::OpenDataChannelSOCKS4( {VEXSOCK}, %s, {SOCKVAL} )", pszAddress);
    m_nSocksReplyLen = socks::kSocks4ReplyLength;
    m_nSocksReplyCode = socks::kSocks4Granted;
    const bool bResult = OpenDataChannelThroughBind(data, true);
    if (bResult)
        Log("CVexFTP::OpenDataChannelSOCKS4() returned true", true);
    else
        LogFormat("CVexFTP::OpenDataChannelSOCKS4() returned false. m_lLastError: %ld m_lLastErrorEx: %ld\n",
                  m_lLastError, m_lLastErrorEx);
    return bResult;
}

bool CVexFTP::OpenDataChannelSOCKS5(VEXSOCK& data, const char* pszAddress, uint32_t* /*pPort*/)
{
    LogFormat("CVexFTP::OpenDataChannelSOCKS5( {VEXSOCK}, %s, {SOCKVAL} )", pszAddress);
    m_nSocksReplyLen = socks::kSocks5ReplyLength;
    m_nSocksReplyCode = socks::kSocks5Succeeded;
    const bool bResult = OpenDataChannelThroughBind(data, false);
    if (bResult)
        Log("CVexFTP::OpenDataChannelSOCKS5() returned true", true);
    else
        LogFormat("CVexFTP::OpenDataChannelSOCKS5() returned false. m_lLastError: %ld m_lLastErrorEx: %ld\n",
                  m_lLastError, m_lLastErrorEx);
    return bResult;
}

bool CVexFTP::CompleteDataChannel(VEXSOCK& data, bool bPassive, const char* pszAddress, uint32_t port)
{
    if (bPassive)
    {
        if (!data.Create(kTransferTimeoutSeconds, false))
        {
            CopyErrorFrom(data);
            return false;
        }
        if (m_bViaSocks)
        {
            Log("CVexFTP::MoveFile()  Connect to SOCKS Server.\n", true);
            if (!data.ConnectSocks(pszAddress, static_cast<uint16_t>(port), m_pszSocksHost.Get(),
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
            if (!OpenHttpTunnel(data, *m_pHttpProxy, pszAddress, static_cast<uint16_t>(port), &failure))
            {
                SetError(failure.lError, failure.lErrorEx);
                m_proxyAnswer = failure.answer;
                return false;
            }
            return true;
        }
        Log("CVexFTP::MoveFile()  Connect to Server.\n", true);
        if (!data.Connect(pszAddress, static_cast<uint16_t>(port)))
        {
            SetError(VEXERR_SOCKET, WSAGetLastError());
            return false;
        }
        return true;
    }

    if (m_bViaSocks)
    {
        // The proxy's second BIND reply says the server has connected.
        Log("CVexFTP::MoveFile()  Retrieving SOCKS response.\n", true);
        uint8_t reply[socks::kReplyBufferSize] = {};
        if (data.Receive(reinterpret_cast<char*>(reply), static_cast<int>(m_nSocksReplyLen), 0) == -1)
        {
            CopyErrorFrom(data);
            return false;
        }
        if (reply[1] != m_nSocksReplyCode)
        {
            data.EvaluateSocksReply(reply, m_nSocksVersion);
            Log("CVexFTP::MoveFile()  SOCKS Error.\n", true);
            CopyErrorFrom(data);
            return false;
        }
        return true;
    }

    if (data.Accept(nullptr, nullptr) == -1)
    {
        CopyErrorFrom(data);
        return false;
    }
    return true;
}
