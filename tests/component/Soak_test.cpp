// A thousand fetches in one host process: HTTP and FTP, directly, through
// the SOCKS proxy, through the HTTP proxy and as the system's configuration
// script says, with failures mixed in. Handles, private memory and the files
// in the temporary directory must not grow with the number of fetches.
#include "VexCtl3.h"

#include "SettingsFixture.h"
#include "TestEnv.h"
#include "TestFiles.h"
#include "TestRegistry.h"

#include "ComTest.h"

#include <gtest/gtest.h>

#include <psapi.h>
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

const char kConnectionsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";
const char kSystemValue[] = "DefaultConnectionSettings";

enum class Route
{
    kDirect,
    kSocks,
    kHttpProxy,
    kSystemScript,
};

const auto* const g_apartment = ::testing::AddGlobalTestEnvironment(new CComApartment);

// Private memory of the process. Wine answers GetProcessMemoryInfo's
// PrivateUsage with 0, so it is read from the kernel's view of this very
// process (Wine shows the host's /proc through its Z: drive).
SIZE_T PrivateBytes()
{
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof(counters));
    if (counters.PrivateUsage)
        return counters.PrivateUsage;
    const std::string status = ReadWholeFile("Z:\\proc\\self\\status");
    const size_t at = status.find("VmData:");
    return at == std::string::npos ? 0 : std::strtoul(status.c_str() + at + 7, nullptr, 10) * 1024;
}

// Handles are handed out lowest free slot first (observed on Wine, whose
// GetProcessHandleCount answers 0): the value of a fresh handle rises with
// every handle that leaked.
uintptr_t FreshHandleValue()
{
    HANDLE hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    const auto value = reinterpret_cast<uintptr_t>(hEvent);
    CloseHandle(hEvent);
    return value;
}

class Soak : public CSettingsFixture
{
protected:
    void SetUp() override
    {
        m_savedSystem = testreg::Read(HKEY_CURRENT_USER, kConnectionsKey, kSystemValue);
        SetSystemScript(testenv::PacUrl());
        CSettingsFixture::SetUp();
        Publish(testenv::WebRoot(), "soak.txt", std::string(20000, 'h'));
        Publish(testenv::FtpRoot(), "soak.txt", std::string(20000, 'f'));
        ASSERT_EQ(CreateVexCtl3(nullptr, IID_IVexCtl3, reinterpret_cast<void**>(m_control.Receive())), S_OK);
    }
    void TearDown() override
    {
        m_control.Reset();
        CSettingsFixture::TearDown();
        testreg::Write(HKEY_CURRENT_USER, kConnectionsKey, kSystemValue, m_savedSystem);
    }
    // The user's settings name only a configuration script (which answers
    // DIRECT for the soak's host): each fetch runs it twice on a worker.
    static void SetSystemScript(const std::string& url)
    {
        const std::vector<BYTE> blob = testreg::ProxySettingsBlob("", "", url);
        testreg::Set(HKEY_CURRENT_USER, kConnectionsKey, kSystemValue, REG_BINARY, blob.data(),
                     static_cast<DWORD>(blob.size()));
    }
    void UseRoute(Route route)
    {
        SetDword("ConnectSOCKS", route == Route::kSocks ? 1 : 0);
        SetText("SOCKS_ServerAddress", "127.0.0.1");
        SetDword("SOCKS_Port", testenv::DantePort());
        SetDword("SOCKS_Version", 5);
        SetText("HTTPProxy", route == Route::kHttpProxy ? "127.0.0.1:" + std::to_string(testenv::TinyproxyPort()) : "");
        SetDword("UseSystemProxy", route == Route::kSystemScript ? 1 : 0);
        // FTP passes an HTTP proxy in passive mode only.
        SetDword("UsePASV", route == Route::kHttpProxy ? 1 : 0);
    }

    // One fetch of the soak's mix; true when its outcome is the expected one.
    bool FetchNumber(int i)
    {
        const CBstrArg host("127.0.0.1");
        VARIANT_BOOL bCompleted = VARIANT_FALSE;
        bool bExpected = true;
        switch (i % 10)
        {
        case 0:
        case 1:
        case 2:
        case 3:
        case 4:
            m_control->FetchRemoteHTTP(host, CBstrArg("/soak.txt"), static_cast<short>(testenv::LighttpdPort()),
                                       &bCompleted);
            break;
        case 5:
        case 6:
        case 7:
            m_control->FetchRemoteFTP(host, CBstrArg("soak.txt"), CBstrArg(testenv::FtpUser()),
                                      CBstrArg(testenv::FtpPassword()), static_cast<short>(testenv::FtpPort()),
                                      &bCompleted);
            break;
        case 8:
            m_control->FetchRemoteHTTP(host, CBstrArg("/missing.txt"), static_cast<short>(testenv::LighttpdPort()),
                                       &bCompleted);
            bExpected = false;
            break;
        default:
            // (A wrong password would do too, but the server's authentication
            // pauses two seconds after each.)
            m_control->FetchRemoteFTP(host, CBstrArg("missing.txt"), CBstrArg(testenv::FtpUser()),
                                      CBstrArg(testenv::FtpPassword()), static_cast<short>(testenv::FtpPort()),
                                      &bCompleted);
            bExpected = false;
            break;
        }
        if ((bCompleted == VARIANT_TRUE) != bExpected)
            return false;
        if (bExpected)
        {
            BSTR file = nullptr;
            m_control->get_LastFetchedFile(&file);
            DeleteFileW(file);
            SysFreeString(file);
        }
        return true;
    }

    CComPtr<IVexCtl3> m_control;
    testreg::Value m_savedSystem;
};

TEST_F(Soak, ThousandFetchesLeaveNothingBehind)
{
    const char* pszCount = std::getenv("VEXA_SOAK_FETCHES");
    const int nFetches = pszCount ? std::atoi(pszCount) : 1000;

    // Warm up every path once, so that one-time allocations are not counted.
    for (const Route route : {Route::kDirect, Route::kSocks, Route::kHttpProxy, Route::kSystemScript})
    {
        UseRoute(route);
        for (int i = 0; i < 10; ++i)
            ASSERT_TRUE(FetchNumber(i)) << "warm-up fetch " << i << " by route " << static_cast<int>(route);
    }

    const int filesBefore = static_cast<int>(VexTempFiles().size());
    const uintptr_t handleBefore = FreshHandleValue();
    const SIZE_T privateBefore = PrivateBytes();

    int nUnexpected = 0;
    for (int i = 0; i < nFetches; ++i)
    {
        // Half of the fetches go directly, the rest in equal parts by each route.
        if (i % 250 == 0)
            UseRoute(Route::kDirect);
        else if (i % 250 == 125)
            UseRoute(Route::kSocks);
        else if (i % 250 == 167)
            UseRoute(Route::kHttpProxy);
        else if (i % 250 == 209)
            UseRoute(Route::kSystemScript);
        if (!FetchNumber(i))
            ++nUnexpected;
    }

    const int filesAfter = static_cast<int>(VexTempFiles().size());
    const uintptr_t handleAfter = FreshHandleValue();
    const SIZE_T privateAfter = PrivateBytes();
    std::printf("soak: %d fetches, %d unexpected outcomes; temporary files %d -> %d; fresh handle %lu -> %lu; "
                "private bytes %lu -> %lu\n",
                nFetches, nUnexpected, filesBefore, filesAfter, static_cast<unsigned long>(handleBefore),
                static_cast<unsigned long>(handleAfter), static_cast<unsigned long>(privateBefore),
                static_cast<unsigned long>(privateAfter));
    EXPECT_EQ(nUnexpected, 0);
    EXPECT_EQ(filesAfter, filesBefore);
    // A handle leaked per fetch would move the slot by thousands.
    EXPECT_LE(handleAfter, handleBefore + 16 * sizeof(void*));
    // Memory may settle, but not grow with the number of fetches.
    EXPECT_LT(privateAfter, privateBefore + 4 * 1024 * 1024);
}

} // namespace
