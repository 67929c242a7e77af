// IPv6 through the control: literals and names of ::1 over HTTP, HTTPS and
// FTP (EPSV and EPRT), by URL and by the classic methods, SOCKS 5 and an
// HTTP proxy on ::1 to IPv6 destinations, SOCKS 4 refusing one, and a name
// whose first address never answers.
#include "VexCtl3.h"

#include "ComTest.h"
#include "SettingsFixture.h"
#include "TestEnv.h"
#include "TestFiles.h"
#include "TestTls.h"
#include "VexErrors.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

const auto* const g_apartment = ::testing::AddGlobalTestEnvironment(new CComApartment);

using EveryNetwork = CSettingsFixture;

std::wstring Wide(const std::string& ascii)
{
    return std::wstring(ascii.begin(), ascii.end());
}

enum class Route
{
    kDirect,
    kSocks5OverIPv6, // dante on [::1]
    kSocks4,         // dante on 127.0.0.1
    kHttpProxyOverIPv6, // squid on [::1], Basic
};

void UseRoute(Route route)
{
    SetDword("ConnectSOCKS", route == Route::kSocks5OverIPv6 || route == Route::kSocks4 ? 1 : 0);
    SetText("HTTPProxy", route == Route::kHttpProxyOverIPv6 ? "[::1]:" + std::to_string(testenv::SquidPort()) : "");
    SetText("HTTPProxyUsername", testenv::HttpProxyUser());
    SetText("HTTPProxyPassword", testenv::HttpProxyPassword());
    if (route == Route::kSocks5OverIPv6)
    {
        SetText("SOCKS_ServerAddress", "::1");
        SetDword("SOCKS_Port", testenv::Port("VEXA_V6_DANTE_PORT"));
        SetDword("SOCKS_Version", 5);
        SetDword("SOCKSAuthReqd", 0);
    }
    else if (route == Route::kSocks4)
    {
        UseDante(1, false); // 0 and 1 select SOCKS 4
    }
}

enum class Method
{
    kUrl,
    kRemoteHttp, // FetchRemoteHTTP("::1", "/v6.txt", the IPv6 nginx's port)
    kRemoteFtp,  // FetchRemoteFTP("::1", "v6.txt", ..., the IPv6 vsftpd's port)
};

HRESULT Fetch(IVexCtl3* pControl, Method method, const std::string& url, VARIANT_BOOL* pbCompleted)
{
    switch (method)
    {
    case Method::kRemoteHttp:
        return pControl->FetchRemoteHTTP(CBstrArg(L"::1"), CBstrArg(L"/v6.txt"),
                                         static_cast<short>(testenv::Port("VEXA_V6_HTTP_PORT")), pbCompleted);
    case Method::kRemoteFtp:
        return pControl->FetchRemoteFTP(CBstrArg(L"::1"), CBstrArg(L"v6.txt"), CBstrArg(testenv::FtpUser()),
                                        CBstrArg(testenv::FtpPassword()),
                                        static_cast<short>(testenv::Port("VEXA_V6_FTP_PORT")), pbCompleted);
    case Method::kUrl:
        break;
    }
    return pControl->FetchURL(CBstrArg(Wide(url).c_str()), pbCompleted);
}

TEST_F(EveryNetwork, IPv6LiteralsAndNamesOverEveryProtocol)
{
    ASSERT_TRUE(TrustTestRoot());
    const std::string content(1000, 'v');
    Publish(testenv::WebRoot(), "v6.txt", content);
    Publish(testenv::FtpRoot(), "v6.txt", content);
    const std::string v6only = testenv::Text("VEXA_V6_ONLY_HOST");
    const std::string http = ":" + std::to_string(testenv::Port("VEXA_V6_HTTP_PORT")) + "/v6.txt";
    const std::string https = ":" + std::to_string(testenv::Port("VEXA_V6_TLS_PORT")) + "/v6.txt";
    const std::string ftp = "ftp://" + testenv::FtpUser() + ":" + testenv::FtpPassword() + "@[::1]:" +
                            std::to_string(testenv::Port("VEXA_V6_FTP_PORT")) + "/v6.txt";
    // The first address of this name is ::1, where every connection attempt
    // goes unanswered: within a one-second limit only an attempt beside the
    // first reaches nginx on 127.0.0.1.
    const std::string eyeballs =
        "http://" + testenv::Text("VEXA_EYEBALLS_HOST") + ":" + std::to_string(testenv::NginxPort()) + "/v6.txt";
    const struct
    {
        std::string url;
        Route route;
        DWORD usePassive;
        long error;
        long detail;
        Method method = Method::kUrl;
        long timeoutSeconds = 0; // 0: the default
    } cases[] = {
        {"http://[::1]" + http, Route::kDirect, 1, 0, 0},
        {"http://" + v6only + http, Route::kDirect, 1, 0, 0},
        {"https://[::1]" + https, Route::kDirect, 1, 0, 0},
        {"https://" + v6only + https, Route::kDirect, 1, 0, 0},
        // This certificate names 127.0.0.1 and no IPv6 address.
        {"https://[::1]:" + std::to_string(testenv::Port("VEXA_V6_TLS_WRONG_NAME_PORT")) + "/v6.txt", Route::kDirect,
         1, VEXERR_TLS, VEXDET_TLS_NAME_MISMATCH},
        {ftp, Route::kDirect, 1, 0, 0}, // EPSV
        {ftp, Route::kDirect, 0, 0, 0}, // EPRT
        {"", Route::kDirect, 1, 0, 0, Method::kRemoteHttp},
        {"", Route::kDirect, 1, 0, 0, Method::kRemoteFtp},
        {eyeballs, Route::kDirect, 1, 0, 0, Method::kUrl, 1},
        {"http://[::1]" + http, Route::kSocks5OverIPv6, 1, 0, 0},
        {ftp, Route::kSocks5OverIPv6, 1, 0, 0},
        {ftp, Route::kSocks5OverIPv6, 0, 0, 0}, // BIND replies with an IPv6 address
        {"http://" + testenv::Text("VEXA_AAAA_ONLY_HOST") + http, Route::kSocks4, 1, VEXERR_SOCKS, VEXDET_SOCKS4_IPV6},
        {"http://[::1]" + http, Route::kSocks4, 1, VEXERR_SOCKS, VEXDET_SOCKS4_IPV6},
        {"http://[::1]" + http, Route::kHttpProxyOverIPv6, 1, 0, 0},     // absolute form
        {"https://[::1]" + https, Route::kHttpProxyOverIPv6, 1, 0, 0},   // CONNECT [::1]:port
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.url + " route " + std::to_string(static_cast<int>(c.route)) + " passive " +
                     std::to_string(c.usePassive) + " method " + std::to_string(static_cast<int>(c.method)));
        CComPtr<IVexCtl3> control;
        ASSERT_EQ(CreateVexCtl3(nullptr, IID_IVexCtl3, reinterpret_cast<void**>(control.Receive())), S_OK);
        if (c.timeoutSeconds)
        {
            ASSERT_EQ(control->put_TimeoutSeconds(c.timeoutSeconds), S_OK);
        }
        UseRoute(c.route);
        SetDword("UsePASV", c.usePassive);
        VARIANT_BOOL bCompleted = VARIANT_FALSE;
        EXPECT_EQ(Fetch(control.Get(), c.method, c.url, &bCompleted), S_OK);
        long error = 1, detail = 1;
        control->get_LastFetchError(&error);
        control->get_LastFetchErrorDetail(&detail);
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(detail, c.detail);
        EXPECT_EQ(bCompleted, c.error == 0 ? VARIANT_TRUE : VARIANT_FALSE);
        BSTR file = nullptr;
        control->get_LastFetchedFile(&file);
        if (c.error == 0)
        {
            EXPECT_TRUE(ReadWholeFile(std::wstring(file, SysStringLen(file))) == content);
            DeleteFileW(file);
        }
        SysFreeString(file);
    }
}

} // namespace
