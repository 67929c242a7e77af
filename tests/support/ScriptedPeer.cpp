#include "ScriptedPeer.h"

#include "WinsockStartup.h"

#include <winsock.h>

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
    : m_hListener(socket(AF_INET, SOCK_STREAM, 0))
{
}

CScriptedPeer::~CScriptedPeer()
{
    Join();
    if (m_hListener != INVALID_SOCKET)
        closesocket(m_hListener);
}

CScriptedPeer& CScriptedPeer::Expect(size_t cb)
{
    m_steps.push_back({Step::kExpect, cb, {}});
    return *this;
}

CScriptedPeer& CScriptedPeer::Send(const std::string& bytes)
{
    m_steps.push_back({Step::kSend, 0, bytes});
    return *this;
}

CScriptedPeer& CScriptedPeer::Send(std::initializer_list<uint8_t> bytes)
{
    return Send(std::string(bytes.begin(), bytes.end()));
}

CScriptedPeer& CScriptedPeer::Close()
{
    m_steps.push_back({Step::kClose, 0, {}});
    return *this;
}

CScriptedPeer& CScriptedPeer::Reset()
{
    m_steps.push_back({Step::kReset, 0, {}});
    return *this;
}

CScriptedPeer& CScriptedPeer::HoldUntilClientCloses()
{
    m_steps.push_back({Step::kHold, 0, {}});
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
