// The dial-up manager against a scripted RasApi32.dll (tests/rasdouble)
// that sits beside the test program and is preferred to Wine's own stub:
// connections already up, a second enumeration with the bigger buffer, dials
// that connect, fail at once or never connect, hang-ups whose release is slow
// or never comes, window messages during the dial wait, and libraries that
// are missing or lack the entry points.
#include "DialUpManager.h"

#include "CallerTrace.h"
#include "RasDoubleControl.h"
#include "TestTiming.h"
#include "VexLimits.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

namespace {

using rasdouble::DialOutcome;
using Clock = std::chrono::steady_clock;

// The size that the manager must stamp into RASCONNA on this platform.
constexpr DWORD kConnSize = sizeof(void*) == 8 ? 424 : 412;
static_assert(sizeof(rasdouble::ConnA) == kConnSize, "the double's RASCONNA");

double Seconds(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

// Processor time (user and kernel) that the calling thread has used.
double ThreadCpuSeconds(const CCallerTrace& = {})
{
    FILETIME created, exited, kernel, user;
    EXPECT_TRUE(GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user));
    const auto ticks = [](const FILETIME& ft) {
        return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    };
    return static_cast<double>(ticks(kernel) + ticks(user)) / 1e7;
}

rasdouble::Script WithConnections(const char* pszNames)
{
    rasdouble::Script script;
    script.pszConnected = pszNames;
    return script;
}

rasdouble::Script DialThat(DialOutcome outcome, DWORD dwAfterMs = 0, DWORD dwReleasePolls = 0)
{
    rasdouble::Script script;
    script.outcome = outcome;
    script.dwConnectAfterMs = dwAfterMs;
    script.dwReleasePolls = dwReleasePolls;
    return script;
}

// The field holds exactly the text (which must fit) and zeros after it.
template <size_t N>
::testing::AssertionResult FieldHolds(const char (&field)[N], const std::string& text)
{
    char expected[N] = {};
    if (text.size() >= N)
        return ::testing::AssertionFailure() << "text longer than the field";
    std::memcpy(expected, text.data(), text.size());
    if (std::memcmp(field, expected, N) != 0)
        return ::testing::AssertionFailure()
               << "field holds \"" << std::string(field, strnlen(field, N)) << "\", expected \""
               << text << "\" and zeros";
    return ::testing::AssertionSuccess();
}

void ExpectDialParams(const rasdouble::Record& record, const std::string& entry,
                      const std::string& user, const std::string& password, const CCallerTrace& = {})
{
    const rasdouble::DialParamsA& params = record.params;
    EXPECT_EQ(params.dwSize, 1052u);
    EXPECT_TRUE(FieldHolds(params.szEntryName, entry));
    EXPECT_TRUE(FieldHolds(params.szPhoneNumber, ""));
    EXPECT_TRUE(FieldHolds(params.szCallbackNumber, ""));
    EXPECT_TRUE(FieldHolds(params.szUserName, user));
    EXPECT_TRUE(FieldHolds(params.szPassword, password));
    EXPECT_TRUE(FieldHolds(params.szDomain, ""));
    EXPECT_TRUE(record.bExtensionsNull);
    EXPECT_TRUE(record.bPhonebookNull);
    EXPECT_EQ(record.dwNotifierType, 0u);
    EXPECT_TRUE(record.bNotifierGiven);
}

class DialUpManagerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_double.IsLoaded()) << "RasApi32.dll is not beside the test program";
        m_pfnScript = m_double.Find<rasdouble::ScriptFn>("VexRasDoubleScript");
        m_pfnRecord = m_double.Find<rasdouble::RecordFn>("VexRasDoubleRecord");
        ASSERT_TRUE(m_pfnScript && m_pfnRecord)
            << "Wine's own RasApi32.dll was loaded instead of the test double "
               "(WINEDLLOVERRIDES=rasapi32=n)";
        Play(rasdouble::Script());
    }

    // Joins the double's notification thread before the library can go.
    void TearDown() override
    {
        if (m_pfnScript)
            m_pfnScript(nullptr);
    }

    void Play(const rasdouble::Script& script) { m_pfnScript(&script); }

    rasdouble::Record Recorded() const
    {
        rasdouble::Record record;
        m_pfnRecord(&record);
        return record;
    }

    // Held for the whole test: the managers load the same module, and its
    // record outlives them.
    CLoadedLibrary m_double{kRasLibraryName};
    rasdouble::ScriptFn m_pfnScript = nullptr;
    rasdouble::RecordFn m_pfnRecord = nullptr;
};

TEST_F(DialUpManagerTest, ConstructionLoadsTheServiceAndStartsIdle)
{
    CDialUpManager manager;
    EXPECT_TRUE(manager.IsAvailable());
    EXPECT_EQ(manager.m_hRasApi.Get(), m_double.Get());
    EXPECT_EQ(manager.m_nTimeout, kTransferTimeoutSeconds);
    EXPECT_FALSE(manager.m_bDialled);
    EXPECT_FALSE(manager.m_bConnected);
    EXPECT_EQ(manager.m_hRasConn, nullptr);
}

TEST_F(DialUpManagerTest, AlreadyConnectedEntryIsUsedAndLeftUp)
{
    Play(WithConnections("Office Link"));
    {
        CDialUpManager manager;
        EXPECT_TRUE(manager.Dial("OFFICE link", "alice", "secret"));
        EXPECT_FALSE(manager.m_bDialled);
        EXPECT_EQ(manager.m_hRasConn, nullptr);
    }
    const rasdouble::Record record = Recorded();
    EXPECT_EQ(record.dwEnumCalls, 1u);
    EXPECT_EQ(record.dwEnumBytes[0], kConnSize);
    EXPECT_EQ(record.dwEnumSizes[0], kConnSize);
    EXPECT_EQ(record.dwDials, 0u);
    EXPECT_EQ(record.dwHangUps, 0u);
    EXPECT_EQ(record.dwStatusCalls, 0u);
}

TEST_F(DialUpManagerTest, EntryNamesMatchWholeAndWithoutRegardToCase)
{
    Play(WithConnections("Dial Home"));
    CDialUpManager manager;
    EXPECT_TRUE(manager.FindConnection("Dial Home"));
    EXPECT_TRUE(manager.FindConnection("dial home"));
    EXPECT_TRUE(manager.FindConnection("DIAL HOME"));
    EXPECT_FALSE(manager.FindConnection("Dial"));
    EXPECT_FALSE(manager.FindConnection("Dial Home 2"));
    EXPECT_FALSE(manager.FindConnection(""));
    EXPECT_FALSE(manager.FindConnection(nullptr));
}

TEST_F(DialUpManagerTest, NoConnectionsMeansNotFound)
{
    CDialUpManager manager;
    EXPECT_FALSE(manager.FindConnection("Office"));
    EXPECT_EQ(Recorded().dwEnumCalls, 1u);
}

TEST_F(DialUpManagerTest, ConnectionsBeyondOneEntryAreEnumeratedThroughTheSecondCall)
{
    Play(WithConnections("First|Second|Third|Wanted"));
    CDialUpManager manager;
    EXPECT_TRUE(manager.FindConnection("WANTED"));
    rasdouble::Record record = Recorded();
    EXPECT_EQ(record.dwEnumCalls, 2u);
    EXPECT_EQ(record.dwEnumBytes[0], kConnSize);
    EXPECT_EQ(record.dwEnumBytes[1], 4 * kConnSize);
    EXPECT_EQ(record.dwEnumSizes[0], kConnSize);
    EXPECT_EQ(record.dwEnumSizes[1], kConnSize);

    EXPECT_FALSE(manager.FindConnection("Fifth"));
    EXPECT_EQ(Recorded().dwEnumCalls, 4u);
}

TEST_F(DialUpManagerTest, DialledConnectionIsHungUpAtDestruction)
{
    Play(DialThat(DialOutcome::Connect, 300));
    void* hDialled = nullptr;
    {
        CDialUpManager manager;
        const Clock::time_point start = Clock::now();
        EXPECT_TRUE(manager.Dial("Work VPN", "alice", "s3cret"));
        EXPECT_GE(SecondsSince(start), 0.29);
        EXPECT_TRUE(manager.m_bDialled);
        EXPECT_TRUE(manager.m_bConnected);

        const rasdouble::Record record = Recorded();
        hDialled = record.hDialled;
        EXPECT_NE(hDialled, nullptr);
        EXPECT_EQ(manager.m_hRasConn, static_cast<HRASCONN>(hDialled));
        EXPECT_EQ(record.dwDials, 1u);
        EXPECT_EQ(record.dwEnumCalls, 1u);
        // Open port, connect device, authenticate, connected.
        EXPECT_EQ(record.dwNotifications, 4u);
        EXPECT_EQ(record.dwHangUps, 0u);
        ExpectDialParams(record, "Work VPN", "alice", "s3cret");
    }
    const rasdouble::Record record = Recorded();
    EXPECT_EQ(record.dwHangUps, 1u);
    EXPECT_EQ(record.hHungUp, hDialled);
    EXPECT_TRUE(record.bReleased);
    EXPECT_EQ(record.dwStatusSize, 160u);
}

TEST_F(DialUpManagerTest, NamesLongerThanTheirFieldsAreCutToTheField)
{
    Play(DialThat(DialOutcome::Connect));
    const std::string entry(300, 'e');
    const std::string user(300, 'u');
    const std::string password(300, 'p');
    CDialUpManager manager;
    EXPECT_TRUE(manager.Dial(entry.c_str(), user.c_str(), password.c_str()));
    ExpectDialParams(Recorded(), entry.substr(0, 256), user.substr(0, 256),
                     password.substr(0, 256));
}

TEST_F(DialUpManagerTest, NamesThatFillTheirFieldsArriveWhole)
{
    Play(DialThat(DialOutcome::Connect));
    const std::string entry(256, 'E');
    const std::string user(256, 'U');
    const std::string password(256, 'P');
    CDialUpManager manager;
    EXPECT_TRUE(manager.Dial(entry.c_str(), user.c_str(), password.c_str()));
    ExpectDialParams(Recorded(), entry, user, password);
}

TEST_F(DialUpManagerTest, NullStringsLeaveTheFieldsEmpty)
{
    Play(DialThat(DialOutcome::Connect));
    CDialUpManager manager;
    EXPECT_TRUE(manager.Dial(nullptr, nullptr, nullptr));
    ExpectDialParams(Recorded(), "", "", "");
}

TEST_F(DialUpManagerTest, DialRefusedAtOnceReleasesTheHandleAndIsNotHungUpAgain)
{
    Play(DialThat(DialOutcome::FailAtOnce));
    {
        CDialUpManager manager;
        const Clock::time_point start = Clock::now();
        EXPECT_FALSE(manager.Dial("Office", "alice", "secret"));
        EXPECT_LT(SecondsSince(start), 1.0);
        EXPECT_FALSE(manager.m_bDialled);
        EXPECT_FALSE(manager.m_bConnected);
        EXPECT_EQ(manager.m_hRasConn, nullptr);

        const rasdouble::Record record = Recorded();
        EXPECT_EQ(record.dwDials, 1u);
        EXPECT_EQ(record.dwHangUps, 1u);
        EXPECT_EQ(record.hHungUp, record.hDialled);
        EXPECT_TRUE(record.bReleased);
    }
    EXPECT_EQ(Recorded().dwHangUps, 1u);
}

TEST_F(DialUpManagerTest, DialThatNeverConnectsTimesOutAndIsHungUpByTheDestructor)
{
    Play(DialThat(DialOutcome::NeverConnect, 100));
    void* hDialled = nullptr;
    {
        CDialUpManager manager;
        const double cpuBefore = ThreadCpuSeconds();
        const Clock::time_point start = Clock::now();
        EXPECT_FALSE(manager.Dial("Office", "alice", "secret"));
        const double elapsed = SecondsSince(start);
        const double cpu = ThreadCpuSeconds() - cpuBefore;
        EXPECT_GE(elapsed, kTransferTimeoutSeconds - 0.05);
        EXPECT_LT(elapsed, kTransferTimeoutSeconds + 1.5);
        // The wait sleeps between polls instead of keeping a processor busy.
        EXPECT_LT(cpu, elapsed / 10) << "processor time " << cpu << " s in " << elapsed << " s";

        EXPECT_TRUE(manager.m_bDialled);
        EXPECT_FALSE(manager.m_bConnected);
        const rasdouble::Record record = Recorded();
        hDialled = record.hDialled;
        EXPECT_EQ(manager.m_hRasConn, static_cast<HRASCONN>(hDialled));
        // Open port, connect device, and the failure report that is ignored.
        EXPECT_EQ(record.dwNotifications, 3u);
        EXPECT_EQ(record.dwHangUps, 0u);
    }
    const rasdouble::Record record = Recorded();
    EXPECT_EQ(record.dwHangUps, 1u);
    EXPECT_EQ(record.hHungUp, hDialled);
    EXPECT_TRUE(record.bReleased);
}

TEST_F(DialUpManagerTest, SecondDialHangsUpTheAttemptThatNeverConnected)
{
    Play(DialThat(DialOutcome::NeverConnect, 50));
    CDialUpManager manager;
    manager.m_nTimeout = 1;
    EXPECT_FALSE(manager.Dial("Office", "alice", "secret"));
    void* hFirst = Recorded().hDialled;

    EXPECT_FALSE(manager.Dial("Office", "alice", "secret"));
    const rasdouble::Record record = Recorded();
    EXPECT_EQ(record.dwDials, 2u);
    EXPECT_EQ(record.dwHangUps, 1u);
    EXPECT_EQ(record.hHungUp, hFirst);
    EXPECT_NE(record.hDialled, hFirst);
    EXPECT_EQ(manager.m_hRasConn, static_cast<HRASCONN>(record.hDialled));
}

TEST_F(DialUpManagerTest, SlowReleaseIsAwaitedWithinTheBound)
{
    const DWORD dwPolls = 40;
    Play(DialThat(DialOutcome::Connect, 0, dwPolls));
    Clock::time_point start;
    {
        CDialUpManager manager;
        EXPECT_TRUE(manager.Dial("Office", "alice", "secret"));
        start = Clock::now();
    }
    const double elapsed = SecondsSince(start);
    const rasdouble::Record record = Recorded();
    EXPECT_EQ(record.dwHangUps, 1u);
    EXPECT_TRUE(record.bReleased);
    EXPECT_EQ(record.dwStatusCalls, dwPolls + 1);
    // Polls are spaced by a short sleep, and the release came before the limit.
    EXPECT_GE(elapsed, 0.8 * dwPolls * kHangUpPollMilliseconds / 1000.0);
    EXPECT_LT(elapsed, kHangUpReleaseMilliseconds / 1000.0);
}

TEST_F(DialUpManagerTest, ReleaseThatNeverComesIsGivenUpAtTheLimit)
{
    Play(DialThat(DialOutcome::Connect, 0, 0xFFFFFFFF));
    CDialUpManager manager;
    EXPECT_TRUE(manager.Dial("Office", "alice", "secret"));

    const Clock::time_point start = Clock::now();
    manager.HangUp();
    const double elapsed = SecondsSince(start);
    EXPECT_GE(elapsed, kHangUpReleaseMilliseconds / 1000.0 - 0.05);
    EXPECT_LT(elapsed, kHangUpReleaseMilliseconds / 1000.0 + 1.0);
    EXPECT_EQ(manager.m_hRasConn, nullptr);
    EXPECT_FALSE(manager.m_bConnected);

    const rasdouble::Record record = Recorded();
    EXPECT_EQ(record.dwHangUps, 1u);
    EXPECT_FALSE(record.bReleased);
    EXPECT_GE(record.dwStatusCalls, 10u);
    EXPECT_LE(record.dwStatusCalls, kHangUpReleaseMilliseconds / kHangUpPollMilliseconds + 2);
}

// A message-only window that notes when WM_APP arrives, and a thread timer
// that counts its ticks; both run only when the waiting thread dispatches.
class CMessageWatch
{
public:
    explicit CMessageWatch(const CCallerTrace& = {})
    {
        s_bArrived = false;
        s_nTicks = 0;
        WNDCLASSA wc = {};
        wc.lpfnWndProc = &CMessageWatch::WindowProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = kClassName;
        EXPECT_NE(RegisterClassA(&wc), 0);
        m_hWnd = CreateWindowExA(0, kClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 wc.hInstance, nullptr);
        EXPECT_NE(m_hWnd, nullptr);
        m_idTimer = SetTimer(nullptr, 0, 50, &CMessageWatch::OnTimer);
    }
    ~CMessageWatch()
    {
        KillTimer(nullptr, m_idTimer);
        DestroyWindow(m_hWnd);
        UnregisterClassA(kClassName, GetModuleHandleA(nullptr));
    }
    CMessageWatch(const CMessageWatch&) = delete;
    CMessageWatch& operator=(const CMessageWatch&) = delete;

    HWND Window() const { return m_hWnd; }
    bool Arrived() const { return s_bArrived; }
    Clock::time_point ArrivedAt() const { return s_arrivedAt; }
    unsigned Ticks() const { return s_nTicks; }

private:
    static LRESULT CALLBACK WindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
    {
        if (uMsg == WM_APP)
        {
            s_arrivedAt = Clock::now();
            s_bArrived = true;
            return 0;
        }
        return DefWindowProcA(hWnd, uMsg, wParam, lParam);
    }
    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD) { ++s_nTicks; }

    static constexpr const char* kClassName = "VexDialUpManagerTestWindow";
    static bool s_bArrived;
    static Clock::time_point s_arrivedAt;
    static unsigned s_nTicks;
    HWND m_hWnd = nullptr;
    UINT_PTR m_idTimer = 0;
};

bool CMessageWatch::s_bArrived = false;
Clock::time_point CMessageWatch::s_arrivedAt;
unsigned CMessageWatch::s_nTicks = 0;

TEST_F(DialUpManagerTest, WindowMessagesAreDispatchedAtOnceDuringTheDialWait)
{
    Play(DialThat(DialOutcome::Connect, 1000));
    CMessageWatch watch;
    std::atomic<Clock::rep> postedAt{0};
    const HWND hWnd = watch.Window();
    std::thread poster([&postedAt, hWnd] {
        Sleep(300);
        postedAt = Clock::now().time_since_epoch().count();
        PostMessageA(hWnd, WM_APP, 0, 0);
    });

    CDialUpManager manager;
    EXPECT_TRUE(manager.Dial("Office", "alice", "secret"));
    const Clock::time_point dialReturned = Clock::now();
    poster.join();

    ASSERT_TRUE(watch.Arrived());
    const Clock::time_point posted{Clock::duration(postedAt.load())};
    const double latency = Seconds(posted, watch.ArrivedAt());
    EXPECT_GE(latency, 0.0);
    EXPECT_LT(latency, 0.1);
    EXPECT_GT(Seconds(watch.ArrivedAt(), dialReturned), 0.3);
    EXPECT_GE(watch.Ticks(), 10u);
}

TEST_F(DialUpManagerTest, MissingLibraryFailsWithoutAnyServiceCall)
{
    {
        CDialUpManager manager("VexNoSuchRasApi.dll");
        EXPECT_FALSE(manager.IsAvailable());
        EXPECT_EQ(manager.m_hRasApi.Get(), nullptr);
        EXPECT_FALSE(manager.FindConnection("Office"));
        EXPECT_FALSE(manager.Dial("Office", "alice", "secret"));
        EXPECT_FALSE(manager.m_bDialled);
        EXPECT_EQ(manager.m_hRasConn, nullptr);
    }
    const rasdouble::Record record = Recorded();
    EXPECT_EQ(record.dwEnumCalls, 0u);
    EXPECT_EQ(record.dwDials, 0u);
    EXPECT_EQ(record.dwHangUps, 0u);
}

TEST_F(DialUpManagerTest, LibraryWithoutTheEntryPointsFindsAndDialsNothing)
{
    CDialUpManager manager("kernel32.dll");
    EXPECT_TRUE(manager.IsAvailable());
    EXPECT_FALSE(manager.FindConnection("Office"));
    EXPECT_FALSE(manager.Dial("Office", "alice", "secret"));
    EXPECT_EQ(manager.m_hRasConn, nullptr);
    EXPECT_FALSE(manager.m_bConnected);
}

TEST_F(DialUpManagerTest, DialEventsSetAndClearTheConnectedFlag)
{
    CDialUpManager manager;
    manager.OnDialEvent(rasdouble::kStateAuthenticate);
    EXPECT_FALSE(manager.m_bConnected);
    manager.OnDialEvent(RASCS_Connected);
    EXPECT_TRUE(manager.m_bConnected);
    manager.OnDialEvent(rasdouble::kStateConnectDevice);
    EXPECT_TRUE(manager.m_bConnected);
    manager.OnDialEvent(RASCS_Disconnected);
    EXPECT_FALSE(manager.m_bConnected);
}

} // namespace
