#include "ScriptedPeer.h"

#include "WinsockStartup.h"

#include <winsock.h>

#include <cstdio>

namespace {

// How long the peer waits for the client at any step before giving up, so
// that a client that never shows up cannot hang a test.
constexpr long kPatienceSeconds = 15;

// Every thread of the process shares the socket layer; this keeps it up for
// the peers even when no engine object lives.
CWinsockStartup g_winsock;

bool WaitReadable(SOCKET h)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(h, &set);
    timeval tv = {kPatienceSeconds, 0};
    return select(0, &set, nullptr, nullptr, &tv) == 1;
}

} // namespace

CScriptedPeer::CScriptedPeer()
    : m_hListener(socket(AF_INET, SOCK_STREAM, 0)),
      m_hPassiveListener(INVALID_SOCKET),
      m_hData(INVALID_SOCKET)
{
}

CScriptedPeer::~CScriptedPeer()
{
    Join();
    for (uintptr_t h : {m_hListener, m_hPassiveListener, m_hData})
    {
        if (h != INVALID_SOCKET)
            closesocket(h);
    }
}

CScriptedPeer& CScriptedPeer::Expect(size_t cb)
{
    m_steps.push_back({Step::kExpect, cb, {}, {}});
    return *this;
}

CScriptedPeer& CScriptedPeer::Send(const std::string& bytes)
{
    m_steps.push_back({Step::kSend, 0, bytes, {}});
    return *this;
}

CScriptedPeer& CScriptedPeer::Send(std::initializer_list<uint8_t> bytes)
{
    return Send(std::string(bytes.begin(), bytes.end()));
}

CScriptedPeer& CScriptedPeer::Close()
{
    m_steps.push_back({Step::kClose, 0, {}, {}});
    return *this;
}

CScriptedPeer& CScriptedPeer::Reset()
{
    m_steps.push_back({Step::kReset, 0, {}, {}});
    return *this;
}

CScriptedPeer& CScriptedPeer::HoldUntilClientCloses()
{
    m_steps.push_back({Step::kHold, 0, {}, {}});
    return *this;
}

CScriptedPeer& CScriptedPeer::ExpectLine()
{
    m_steps.push_back({Step::kExpectLine, 0, {}, {}});
    return *this;
}

CScriptedPeer& CScriptedPeer::Call(std::function<void()> fn)
{
    m_steps.push_back({Step::kCall, 0, {}, std::move(fn)});
    return *this;
}

CScriptedPeer& CScriptedPeer::OfferPassive()
{
    m_steps.push_back({Step::kOfferPassive, 0, {}, {}});
    return *this;
}

CScriptedPeer& CScriptedPeer::AcceptData()
{
    m_steps.push_back({Step::kAcceptData, 0, {}, {}});
    return *this;
}

CScriptedPeer& CScriptedPeer::ConnectData()
{
    m_steps.push_back({Step::kConnectData, 0, {}, {}});
    return *this;
}

CScriptedPeer& CScriptedPeer::SendData(const std::string& bytes)
{
    m_steps.push_back({Step::kSendData, 0, bytes, {}});
    return *this;
}

CScriptedPeer& CScriptedPeer::CloseData()
{
    m_steps.push_back({Step::kCloseData, 0, {}, {}});
    return *this;
}

uint16_t CScriptedPeer::Start()
{
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int cbAddr = sizeof(addr);
    if (bind(m_hListener, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
        listen(m_hListener, 1) != 0 ||
        getsockname(m_hListener, reinterpret_cast<sockaddr*>(&addr), &cbAddr) != 0)
        return 0;
    m_thread = std::thread(&CScriptedPeer::Run, this);
    return ntohs(addr.sin_port);
}

void CScriptedPeer::Join()
{
    if (m_thread.joinable())
        m_thread.join();
}

std::string CScriptedPeer::Received()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_received;
}

bool CScriptedPeer::Accepted()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bAccepted;
}

void CScriptedPeer::Run()
{
    if (!WaitReadable(m_hListener))
        return;
    const SOCKET hConnection = accept(m_hListener, nullptr, nullptr);
    if (hConnection == INVALID_SOCKET)
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bAccepted = true;
    }
    Play(hConnection);
}

void CScriptedPeer::ReadLine(uintptr_t hConnection)
{
    m_lastLine.clear();
    char c = 0;
    while (c != '\n' && WaitReadable(hConnection) && recv(hConnection, &c, 1, 0) == 1)
    {
        m_lastLine += c;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_received += c;
    }
    if (m_lastLine.compare(0, 5, "PORT ") == 0)
        m_lastPortLine = m_lastLine;
}

void CScriptedPeer::ConnectToLastPort()
{
    unsigned a, b, c, d, p1, p2;
    if (std::sscanf(m_lastPortLine.c_str(), "PORT %u,%u,%u,%u,%u,%u", &a, &b, &c, &d, &p1, &p2) != 6)
        return;
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(a << 24 | b << 16 | c << 8 | d);
    addr.sin_port = htons(static_cast<u_short>(p1 << 8 | p2));
    m_hData = socket(AF_INET, SOCK_STREAM, 0);
    connect(m_hData, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
}

void CScriptedPeer::Play(uintptr_t hConnection)
{
    SOCKET h = hConnection;
    for (const Step& step : m_steps)
    {
        switch (step.kind)
        {
        case Step::kExpect:
            for (size_t cbLeft = step.cb; cbLeft > 0;)
            {
                char buffer[4096];
                const int cbWant = static_cast<int>(cbLeft < sizeof(buffer) ? cbLeft : sizeof(buffer));
                const int cb = WaitReadable(h) ? recv(h, buffer, cbWant, 0) : -1;
                if (cb <= 0)
                    break;
                std::lock_guard<std::mutex> lock(m_mutex);
                m_received.append(buffer, cb);
                cbLeft -= cb;
            }
            break;
        case Step::kSend:
            send(h, step.bytes.data(), static_cast<int>(step.bytes.size()), 0);
            break;
        case Step::kClose:
            closesocket(h);
            return;
        case Step::kReset:
        {
            linger hard = {1, 0};
            setsockopt(h, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard), sizeof(hard));
            closesocket(h);
            return;
        }
        case Step::kExpectLine:
            ReadLine(h);
            break;
        case Step::kOfferPassive:
        {
            m_hPassiveListener = socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in addr = {};
            addr.sin_family = AF_INET;
            addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            int cbAddr = sizeof(addr);
            bind(m_hPassiveListener, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
            listen(m_hPassiveListener, 1);
            getsockname(m_hPassiveListener, reinterpret_cast<sockaddr*>(&addr), &cbAddr);
            const unsigned port = ntohs(addr.sin_port);
            char reply[80];
            const int cch = m_lastLine.compare(0, 4, "EPSV") == 0
                                ? std::snprintf(reply, sizeof(reply), "229 Entering Extended Passive Mode (|||%u|)\r\n",
                                                port)
                                : std::snprintf(reply, sizeof(reply),
                                                "227 Entering Passive Mode (127,0,0,1,%u,%u).\r\n", port >> 8,
                                                port & 0xff);
            send(h, reply, cch, 0);
            break;
        }
        case Step::kAcceptData:
            if (WaitReadable(m_hPassiveListener))
                m_hData = accept(m_hPassiveListener, nullptr, nullptr);
            break;
        case Step::kConnectData:
            ConnectToLastPort();
            break;
        case Step::kSendData:
            for (size_t cbSent = 0; cbSent < step.bytes.size();)
            {
                const int cb = send(m_hData, step.bytes.data() + cbSent,
                                    static_cast<int>(step.bytes.size() - cbSent), 0);
                if (cb <= 0)
                    break;
                cbSent += cb;
            }
            break;
        case Step::kCloseData:
            closesocket(m_hData);
            m_hData = INVALID_SOCKET;
            break;
        case Step::kCall:
            step.fn();
            break;
        case Step::kHold:
        {
            char buffer[256];
            while (WaitReadable(h) && recv(h, buffer, sizeof(buffer), 0) > 0)
            {
            }
            break;
        }
        }
    }
    closesocket(h);
}
