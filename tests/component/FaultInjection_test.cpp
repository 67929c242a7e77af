// Peers that break in the middle of everything, and temporary directories
// that are full, read-only or missing, end to end through the control. Each
// call must return within its time bound, report failure (never success),
// leave no temporary file behind, and the process must live on.
#include "VexCtl3.h"

#include "CallerTrace.h"
#include "SettingsFixture.h"
#include "TestEnv.h"
#include "TestFiles.h"
#include "TestTiming.h"

#include "ComTest.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <string>

namespace {

// The order of SCENARIOS in tests/peers/faultpeer.py.
enum Scenario
{
    kHttpResetInStatusLine,
    kHttpResetInHeaders,
    kHttpResetInAnnouncedBody,
    kHttpDrip,
    kHttpLongHeader,
    kHttpGarbage,
    kFtpResetInGreeting,
    kFtpLongReply,
    kFtpGarbage,
    kFtpResetInData,
    kSocksResetInHandshake,
};

short ScenarioPort(Scenario scenario)
{
    return static_cast<short>(testenv::Port("VEXA_FAULT_PORT_BASE") + scenario);
}

const auto* const g_apartment = ::testing::AddGlobalTestEnvironment(new CComApartment);

class FaultInjection : public CSettingsFixture
{
protected:
    void SetUp() override
    {
        CSettingsFixture::SetUp();
        ASSERT_EQ(CreateVexCtl3(nullptr, IID_IVexCtl3, reinterpret_cast<void**>(m_control.Receive())), S_OK);
    }
    void TearDown() override
    {
        m_control.Reset();
        SetEnvironmentVariableA("TMP", m_savedTmp.empty() ? nullptr : m_savedTmp.c_str());
        CSettingsFixture::TearDown();
    }

    // Runs one fetch and checks the four promises; bound is in seconds.
    template <typename Fetch>
    void ExpectCleanFailure(const char* pszWhat, Fetch fetch, double bound, const CCallerTrace& = {})
    {
        const std::string temp = TempDirectory();
        const size_t filesBefore = VexTempFiles(temp).size();
        VARIANT_BOOL bCompleted = VARIANT_TRUE;
        const auto start = std::chrono::steady_clock::now();
        const HRESULT hr = fetch(&bCompleted);
        const double seconds = SecondsSince(start);
        EXPECT_EQ(hr, S_OK) << pszWhat;
        EXPECT_EQ(bCompleted, VARIANT_FALSE) << pszWhat;
        EXPECT_LT(seconds, bound) << pszWhat;
        EXPECT_EQ(VexTempFiles(temp).size(), filesBefore) << pszWhat;
        BSTR file = nullptr;
        m_control->get_LastFetchedFile(&file);
        EXPECT_STREQ(file, L"") << pszWhat;
        SysFreeString(file);
    }

    HRESULT Http(Scenario scenario, VARIANT_BOOL* pbCompleted)
    {
        return m_control->FetchRemoteHTTP(CBstrArg(L"127.0.0.1"), CBstrArg(L"/f"), ScenarioPort(scenario),
                                          pbCompleted);
    }
    HRESULT Ftp(short port, VARIANT_BOOL* pbCompleted)
    {
        const std::wstring user(testenv::FtpUser().begin(), testenv::FtpUser().end());
        const std::wstring password(testenv::FtpPassword().begin(), testenv::FtpPassword().end());
        return m_control->FetchRemoteFTP(CBstrArg(L"127.0.0.1"), CBstrArg(L"f.bin"), CBstrArg(user.c_str()),
                                         CBstrArg(password.c_str()), port, pbCompleted);
    }
    void UseTemp(const std::string& windowsPath)
    {
        char saved[MAX_PATH] = {};
        if (m_savedTmp.empty() && GetEnvironmentVariableA("TMP", saved, sizeof(saved)) > 0)
            m_savedTmp = saved;
        SetEnvironmentVariableA("TMP", windowsPath.c_str());
    }

    CComPtr<IVexCtl3> m_control;
    std::string m_savedTmp;
};

// The test build's limit of each single wait is 4 seconds.
constexpr double kBound = 10.0;

TEST_F(FaultInjection, HttpPeersThatBreak)
{
    const struct { Scenario scenario; const char* what; } cases[] = {
        {kHttpResetInStatusLine, "reset in the status line"},
        {kHttpResetInHeaders, "reset in the headers"},
        // A reset in a body without Content-Length is not in this list: Wine 8
        // reports a reset connection as an orderly close (recv returns 0, no
        // error; seen with tests/peers/faultpeer.py), so such a body cannot
        // be told from a complete one here. On Windows the receive fails
        // with WSAECONNRESET and the fetch fails.
        {kHttpResetInAnnouncedBody, "reset in a body with length"},
        {kHttpLongHeader, "header far longer than the buffer"},
        {kHttpGarbage, "binary garbage for a response"},
    };
    for (const auto& c : cases)
        ExpectCleanFailure(c.what, [&](VARIANT_BOOL* pb) { return Http(c.scenario, pb); }, kBound);
}

TEST_F(FaultInjection, DrippingPeerStillCompletes)
{
    VARIANT_BOOL bCompleted = VARIANT_FALSE;
    ASSERT_EQ(Http(kHttpDrip, &bCompleted), S_OK);
    EXPECT_EQ(bCompleted, VARIANT_TRUE);
    BSTR file = nullptr;
    m_control->get_LastFetchedFile(&file);
    char path[MAX_PATH] = {};
    WideCharToMultiByte(CP_ACP, 0, file, -1, path, sizeof(path), nullptr, nullptr);
    SysFreeString(file);
    EXPECT_EQ(ReadWholeFile(path), "dripped body");
    DeleteFileA(path);
}

TEST_F(FaultInjection, FtpPeersThatBreak)
{
    const struct { Scenario scenario; const char* what; } cases[] = {
        {kFtpResetInGreeting, "reset in the greeting"},
        {kFtpLongReply, "reply line far longer than the buffer"},
        {kFtpGarbage, "binary garbage for a greeting"},
    };
    for (const auto& c : cases)
        ExpectCleanFailure(c.what, [&](VARIANT_BOOL* pb) { return Ftp(ScenarioPort(c.scenario), pb); }, kBound);

    SetDword("UsePASV", 1);
    ExpectCleanFailure("reset in the data connection",
                       [&](VARIANT_BOOL* pb) { return Ftp(ScenarioPort(kFtpResetInData), pb); }, kBound);
}

TEST_F(FaultInjection, ProxyThatBreaksInTheHandshake)
{
    SetDword("ConnectSOCKS", 1);
    SetText("SOCKS_ServerAddress", "127.0.0.1");
    SetDword("SOCKS_Port", static_cast<DWORD>(ScenarioPort(kSocksResetInHandshake)));
    SetDword("SOCKS_Version", 5);
    ExpectCleanFailure("proxy reset in the handshake",
                       [&](VARIANT_BOOL* pb) {
                           return m_control->FetchRemoteHTTP(CBstrArg(L"127.0.0.1"), CBstrArg(L"/f"),
                                                             static_cast<short>(testenv::LighttpdPort()), pb);
                       },
                       kBound);
}

TEST_F(FaultInjection, TemporaryDirectoryFullReadOnlyOrMissing)
{
    // A file larger than the 64 KiB directory.
    Publish(testenv::WebRoot(), "fault-big.bin", std::string(300 * 1024, 'b'));
    const auto fetchBig = [&](VARIANT_BOOL* pb) {
        return m_control->FetchRemoteHTTP(CBstrArg(L"127.0.0.1"), CBstrArg(L"/fault-big.bin"),
                                          static_cast<short>(testenv::LighttpdPort()), pb);
    };

    UseTemp(testenv::WindowsPathOf(testenv::Text("VEXA_TEMP_FULL")));
    ExpectCleanFailure("full temporary directory", fetchBig, kBound);
    UseTemp(testenv::WindowsPathOf(testenv::Text("VEXA_TEMP_READONLY")));
    ExpectCleanFailure("read-only temporary directory", fetchBig, kBound);
    UseTemp("C:\\no\\such\\temporary\\directory");
    ExpectCleanFailure("missing temporary directory", fetchBig, kBound);
}

} // namespace
