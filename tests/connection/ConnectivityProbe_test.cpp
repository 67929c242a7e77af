// The connectivity probe on loopback: direct and through dante, connected,
// refused and silent targets with their time limits, and the autodial values
// that a direct probe switches off and puts back exactly, watched from inside
// the probe's own wait through a timer whose message the wait dispatches.
#include "ConnectivityProbe.h"

#include "CallerTrace.h"
#include "ClosedPort.h"
#include "RegistryAccess.h"
#include "ScriptedPeer.h"
#include "SettingsFixture.h"
#include "SilentListener.h"
#include "TestEnv.h"
#include "TestRegistry.h"
#include "TestTiming.h"
#include "VexSock.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

const char* const kRasKey = "Software\\Microsoft\\RAS Autodial\\Control";
const char* const kRasValue = "LoginSessionDisable";
const char* const kInetKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
const char* const kInetValue = "EnableAutodial";

bool AlwaysNT()
{
    return true;
}

bool NeverNT()
{
    return false;
}

CProbeTarget Loopback(uint16_t port, const char* pszHost = "127.0.0.1", const CCallerTrace& = {})
{
    CProbeTarget target;
    EXPECT_TRUE(target.Parse((std::string(pszHost) + ":" + std::to_string(port)).c_str()));
    return target;
}

bool ProbeDirect(const CProbeTarget& target, VexIsWindowsNTFn pfn = AlwaysNT)
{
    return ProbeInternetConnection(false, nullptr, 0, 0, 0, nullptr, nullptr, target, pfn);
}

bool ProbeViaProxy(uint16_t proxyPort, int32_t version, int32_t method, const CProbeTarget& target,
                   VexIsWindowsNTFn pfn = AlwaysNT)
{
    const std::string user = method ? testenv::ProxyUser() : std::string();
    const std::string password = method ? testenv::ProxyPassword() : std::string();
    return ProbeInternetConnection(true, "127.0.0.1", proxyPort, version, method,
                                   method ? user.c_str() : nullptr,
                                   method ? password.c_str() : nullptr, target, pfn);
}

// Both autodial values as seen at one moment.
struct Autodial
{
    testreg::Value ras;
    testreg::Value inet;
};

Autodial ReadAutodial()
{
    return {testreg::Read(HKEY_CURRENT_USER, kRasKey, kRasValue),
            testreg::Read(HKEY_CURRENT_USER, kInetKey, kInetValue)};
}

// Reads the autodial values every 100 ms from inside the probe's wait, which
// dispatches the thread's timer messages.
class CMidProbeObserver
{
public:
    CMidProbeObserver()
    {
        s_seen.clear();
        m_idTimer = SetTimer(nullptr, 0, 100, &CMidProbeObserver::OnTimer);
    }
    ~CMidProbeObserver() { KillTimer(nullptr, m_idTimer); }
    CMidProbeObserver(const CMidProbeObserver&) = delete;
    CMidProbeObserver& operator=(const CMidProbeObserver&) = delete;

    const std::vector<Autodial>& Seen() const { return s_seen; }

private:
    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD) { s_seen.push_back(ReadAutodial()); }

    static std::vector<Autodial> s_seen;
    UINT_PTR m_idTimer = 0;
};

std::vector<Autodial> CMidProbeObserver::s_seen;

// Reports whether any value of a key was set (even to the value it had)
// since construction.
class CWriteWatch
{
public:
    explicit CWriteWatch(const char* pszSubkey, const CCallerTrace& = {})
        : m_hEvent(CreateEventA(nullptr, TRUE, FALSE, nullptr))
    {
        EXPECT_EQ(m_key.Open(HKEY_CURRENT_USER, pszSubkey, KEY_NOTIFY), ERROR_SUCCESS) << pszSubkey;
        EXPECT_EQ(RegNotifyChangeKeyValue(m_key.Get(), FALSE, REG_NOTIFY_CHANGE_LAST_SET, m_hEvent, TRUE),
                  ERROR_SUCCESS);
    }
    ~CWriteWatch() { CloseHandle(m_hEvent); }
    CWriteWatch(const CWriteWatch&) = delete;
    CWriteWatch& operator=(const CWriteWatch&) = delete;

    bool Written() const { return WaitForSingleObject(m_hEvent, 0) == WAIT_OBJECT_0; }

private:
    CRegistryKey m_key;
    HANDLE m_hEvent;
};

class ConnectivityProbeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_saved = ReadAutodial();
        m_bRasKeyExisted = CRegistryAccess().KeyExists(HKEY_CURRENT_USER, kRasKey);
        // Writing creates the keys where the emulator's registry lacks them,
        // so that a watch can be set on both; each test starts from absent.
        testreg::SetDword(HKEY_CURRENT_USER, kRasKey, kRasValue, 0);
        testreg::SetDword(HKEY_CURRENT_USER, kInetKey, kInetValue, 0);
        SetRas(testreg::Absent());
        SetInet(testreg::Absent());
        testreg::DeleteKey(HKEY_LOCAL_MACHINE, kConnectionSettingsKey);
    }
    void TearDown() override
    {
        SetRas(m_saved.ras);
        SetInet(m_saved.inet);
        if (!m_bRasKeyExisted)
            testreg::DeleteKey(HKEY_CURRENT_USER, kRasKey);
        testreg::DeleteKey(HKEY_LOCAL_MACHINE, kConnectionSettingsKey);
    }

    static void SetRas(const testreg::Value& v) { testreg::Write(HKEY_CURRENT_USER, kRasKey, kRasValue, v); }
    static void SetInet(const testreg::Value& v) { testreg::Write(HKEY_CURRENT_USER, kInetKey, kInetValue, v); }

    Autodial m_saved;
    bool m_bRasKeyExisted = false;
};

// --- direct -------------------------------------------------------------------

TEST(IsWindowsNT, TheEmulatorReportsTheNTFamily)
{
    EXPECT_TRUE(IsWindowsNT());
}

TEST_F(ConnectivityProbeTest, ConnectsToAListeningPeerAndSendsNothing)
{
    CScriptedPeer peer;
    const uint16_t port = peer.HoldUntilClientCloses().Start();
    EXPECT_TRUE(ProbeDirect(Loopback(port)));
    peer.Join();
    EXPECT_TRUE(peer.Accepted());
    EXPECT_EQ(peer.Received(), "");
}

TEST_F(ConnectivityProbeTest, ARefusedConnectionFailsAtOnce)
{
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(ProbeDirect(Loopback(ClosedPort())));
    EXPECT_LT(SecondsSince(start), 0.5);
}

TEST_F(ConnectivityProbeTest, ATargetThatNeverAnswersFailsAfterAboutOneSecond)
{
    CSilentListener silent;
    ASSERT_NE(silent.Port(), 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(ProbeDirect(Loopback(silent.Port())));
    const double seconds = SecondsSince(start);
    EXPECT_GE(seconds, 0.9);
    EXPECT_LT(seconds, 1.6);
}

// The one probe of the fixed public address: inside the test network there
// is no route to it. Observed under the emulator: the attempt is not
// reported failed at once but runs to the one-second deadline.
TEST_F(ConnectivityProbeTest, ARecordNeverReadProbesTheFixedDefaultDirectly)
{
    CConnectionSettings fresh;
    ASSERT_FALSE(fresh.m_bConnectSOCKS);
    ASSERT_STREQ(fresh.m_probeTarget.Host(), "1.1.1.1");
    ASSERT_EQ(fresh.m_probeTarget.Port(), 80);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(ProbeInternetConnection(fresh));
    EXPECT_LT(SecondsSince(start), 1.5);
}

// --- through dante ------------------------------------------------------------

TEST_F(ConnectivityProbeTest, ThroughTheProxyToAListeningPeer)
{
    const struct { int32_t version; int32_t method; } cases[] = {{5, 0}, {5, 2}, {4, 0}, {0, 0}};
    for (const auto& c : cases)
    {
        CScriptedPeer peer;
        const uint16_t port = peer.HoldUntilClientCloses().Start();
        EXPECT_TRUE(ProbeViaProxy(testenv::DantePort(), c.version, c.method, Loopback(port)))
            << "version " << c.version << " method " << c.method;
        peer.Join();
        EXPECT_TRUE(peer.Accepted());
        EXPECT_EQ(peer.Received(), "");
    }
}

TEST_F(ConnectivityProbeTest, AProxyThatRefusesTheConnectGivesFalse)
{
    const uint16_t closedPort = ClosedPort();
    const struct { const char* host; uint16_t port; int32_t version; } cases[] = {
        {"127.0.0.66", 80, 5}, // blocked by dante's rules
        {"127.0.0.66", 80, 4},
        {"127.0.0.1", closedPort, 5}, // refused by the destination
        {"127.0.0.1", closedPort, 4},
    };
    for (const auto& c : cases)
    {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(ProbeViaProxy(testenv::DantePort(), c.version, 0, Loopback(c.port, c.host)))
            << c.host << ":" << c.port << " version " << c.version;
        EXPECT_LT(SecondsSince(start), 1.5);
    }
}

TEST_F(ConnectivityProbeTest, AProxyThatNeverAnswersFailsAfterAboutOneSecond)
{
    CSilentListener silent;
    ASSERT_NE(silent.Port(), 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(ProbeViaProxy(silent.Port(), 5, 0, Loopback(80)));
    const double seconds = SecondsSince(start);
    EXPECT_GE(seconds, 0.9);
    EXPECT_LT(seconds, 1.6);
}

TEST_F(ConnectivityProbeTest, AProxyThatAcceptsButNeverRepliesFailsAfterAboutOneSecond)
{
    CScriptedPeer proxy;
    const uint16_t port = proxy.Expect(3).HoldUntilClientCloses().Start();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(ProbeViaProxy(port, 5, 0, Loopback(80)));
    const double seconds = SecondsSince(start);
    EXPECT_GE(seconds, 0.9);
    EXPECT_LT(seconds, 1.6);
    proxy.Join();
    EXPECT_EQ(proxy.Received(), std::string("\x05\x01\x00", 3)); // the greeting, then nothing
}

// --- the settings record --------------------------------------------------------

TEST_F(ConnectivityProbeTest, UsesTheProxyAndTargetThatTheSettingsRead)
{
    CScriptedPeer peer;
    const uint16_t port = peer.HoldUntilClientCloses().Start();
    const std::string target = "127.0.0.1:" + std::to_string(port);
    UseDante();
    SetText("ProbeTarget", target);

    CConnectionSettings settings;
    ReadConnectionSettings(settings);
    ASSERT_TRUE(settings.m_bConnectSOCKS);
    EXPECT_TRUE(ProbeInternetConnection(settings));
    peer.Join();
    EXPECT_TRUE(peer.Accepted());

    // The blocked destination through the same proxy.
    SetText("ProbeTarget", "127.0.0.66:80");
    ReadConnectionSettings(settings);
    EXPECT_FALSE(ProbeInternetConnection(settings));
}

TEST_F(ConnectivityProbeTest, ADirectRecordWithAProbeTarget)
{
    CScriptedPeer peer;
    const uint16_t port = peer.HoldUntilClientCloses().Start();
    SetText("ProbeTarget", "127.0.0.1:" + std::to_string(port));
    CConnectionSettings settings;
    ReadConnectionSettings(settings);
    ASSERT_FALSE(settings.m_bConnectSOCKS);
    EXPECT_TRUE(ProbeInternetConnection(settings));
    peer.Join();
    EXPECT_TRUE(peer.Accepted());
}

// --- autodial -----------------------------------------------------------------

TEST_F(ConnectivityProbeTest, NTSwitchesLoginSessionDisableOnDuringTheProbeAndBackAfter)
{
    SetRas(testreg::Dword(0));
    SetInet(testreg::Dword(1));
    CWriteWatch inetWatch(kInetKey);
    {
        CSilentListener silent;
        CMidProbeObserver observer;
        EXPECT_FALSE(ProbeDirect(Loopback(silent.Port()), AlwaysNT));
        ASSERT_FALSE(observer.Seen().empty());
        for (const Autodial& seen : observer.Seen())
        {
            EXPECT_EQ(seen.ras, testreg::Dword(1));
            EXPECT_EQ(seen.inet, testreg::Dword(1));
        }
    }
    EXPECT_EQ(ReadAutodial().ras, testreg::Dword(0));
    EXPECT_EQ(ReadAutodial().inet, testreg::Dword(1));
    EXPECT_FALSE(inetWatch.Written());

    // The same after a probe that connected.
    CScriptedPeer peer;
    const uint16_t port = peer.HoldUntilClientCloses().Start();
    CWriteWatch rasWatch(kRasKey);
    EXPECT_TRUE(ProbeDirect(Loopback(port), AlwaysNT));
    EXPECT_TRUE(rasWatch.Written());
    EXPECT_EQ(ReadAutodial().ras, testreg::Dword(0));
}

TEST_F(ConnectivityProbeTest, NonNTSwitchesEnableAutodialOffDuringTheProbeAndBackAfter)
{
    SetRas(testreg::Dword(0));
    SetInet(testreg::Dword(1));
    CWriteWatch rasWatch(kRasKey);
    {
        CSilentListener silent;
        CMidProbeObserver observer;
        EXPECT_FALSE(ProbeDirect(Loopback(silent.Port()), NeverNT));
        ASSERT_FALSE(observer.Seen().empty());
        for (const Autodial& seen : observer.Seen())
        {
            EXPECT_EQ(seen.inet, testreg::Dword(0));
            EXPECT_EQ(seen.ras, testreg::Dword(0));
        }
    }
    EXPECT_EQ(ReadAutodial().inet, testreg::Dword(1));
    EXPECT_EQ(ReadAutodial().ras, testreg::Dword(0));
    EXPECT_FALSE(rasWatch.Written());
}

TEST_F(ConnectivityProbeTest, AbsentValuesStayAbsent)
{
    for (VexIsWindowsNTFn pfn : {AlwaysNT, NeverNT})
    {
        CWriteWatch rasWatch(kRasKey);
        CWriteWatch inetWatch(kInetKey);
        CSilentListener silent;
        CMidProbeObserver observer;
        EXPECT_FALSE(ProbeDirect(Loopback(silent.Port()), pfn));
        for (const Autodial& seen : observer.Seen())
        {
            EXPECT_EQ(seen.ras, testreg::Absent());
            EXPECT_EQ(seen.inet, testreg::Absent());
        }
        EXPECT_EQ(ReadAutodial().ras, testreg::Absent());
        EXPECT_EQ(ReadAutodial().inet, testreg::Absent());
        EXPECT_FALSE(rasWatch.Written());
        EXPECT_FALSE(inetWatch.Written());
    }
}

TEST_F(ConnectivityProbeTest, ValuesAlreadyOffAreNeitherTouchedNorRewritten)
{
    SetRas(testreg::Dword(1));
    SetInet(testreg::Dword(0));
    for (VexIsWindowsNTFn pfn : {AlwaysNT, NeverNT})
    {
        CWriteWatch rasWatch(kRasKey);
        CWriteWatch inetWatch(kInetKey);
        EXPECT_FALSE(ProbeDirect(Loopback(ClosedPort()), pfn));
        EXPECT_FALSE(rasWatch.Written());
        EXPECT_FALSE(inetWatch.Written());
        EXPECT_EQ(ReadAutodial().ras, testreg::Dword(1));
        EXPECT_EQ(ReadAutodial().inet, testreg::Dword(0));
    }
}

TEST_F(ConnectivityProbeTest, ValuesOfAnotherTypeOrSizeAreLeftAlone)
{
    const BYTE zeros[8] = {};
    const BYTE one[4] = {1, 0, 0, 0};
    testreg::Value binaryZero;
    binaryZero.bPresent = true;
    binaryZero.type = REG_BINARY;
    binaryZero.data.assign(zeros, zeros + 4);
    testreg::Value shortOne;
    shortOne.bPresent = true;
    shortOne.type = REG_DWORD;
    shortOne.data.assign(one, one + 2);
    SetRas(binaryZero);
    SetInet(shortOne);
    for (VexIsWindowsNTFn pfn : {AlwaysNT, NeverNT})
    {
        CWriteWatch rasWatch(kRasKey);
        CWriteWatch inetWatch(kInetKey);
        EXPECT_FALSE(ProbeDirect(Loopback(ClosedPort()), pfn));
        EXPECT_FALSE(rasWatch.Written());
        EXPECT_FALSE(inetWatch.Written());
        EXPECT_EQ(ReadAutodial().ras, binaryZero);
        EXPECT_EQ(ReadAutodial().inet, shortOne);
    }
}

TEST_F(ConnectivityProbeTest, ThroughTheProxyTheAutodialValuesAreNeverWritten)
{
    SetRas(testreg::Dword(0));
    SetInet(testreg::Dword(1));
    for (VexIsWindowsNTFn pfn : {AlwaysNT, NeverNT})
    {
        CWriteWatch rasWatch(kRasKey);
        CWriteWatch inetWatch(kInetKey);
        {
            CSilentListener silentProxy;
            CMidProbeObserver observer;
            EXPECT_FALSE(ProbeViaProxy(silentProxy.Port(), 5, 0, Loopback(80), pfn));
            ASSERT_FALSE(observer.Seen().empty());
            for (const Autodial& seen : observer.Seen())
            {
                EXPECT_EQ(seen.ras, testreg::Dword(0));
                EXPECT_EQ(seen.inet, testreg::Dword(1));
            }
        }
        CScriptedPeer peer;
        const uint16_t port = peer.HoldUntilClientCloses().Start();
        EXPECT_TRUE(ProbeViaProxy(testenv::DantePort(), 5, 0, Loopback(port), pfn));
        EXPECT_FALSE(rasWatch.Written());
        EXPECT_FALSE(inetWatch.Written());
        EXPECT_EQ(ReadAutodial().ras, testreg::Dword(0));
        EXPECT_EQ(ReadAutodial().inet, testreg::Dword(1));
    }
}

} // namespace
