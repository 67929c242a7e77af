// Paths beyond the system code page: FetchRemoteHTTP sends them as
// percent-encoded UTF-8, and FTP servers that take UTF-8 paths get them in
// UTF-8, from FetchRemoteFTP and from ftp:// URLs; each fetches the file it
// names, where the code page would have made question marks of them. URL
// hosts beyond ASCII go out as A-labels and are shown as written.
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

using PathsBeyondTheCodePage = CSettingsFixture;
using HostsBeyondAscii = CSettingsFixture;

std::wstring Widen(const std::string& ascii)
{
    return std::wstring(ascii.begin(), ascii.end());
}

TEST_F(PathsBeyondTheCodePage, AnHttpPathFetchesThatFile)
{
    // The prefix's code page is 1252, which holds neither name.
    ASSERT_NE(GetACP(), static_cast<UINT>(CP_UTF8));
    CComPtr<IVexCtl3> control;
    ASSERT_EQ(CreateVexCtl3(nullptr, IID_IVexCtl3, reinterpret_cast<void**>(control.Receive())), S_OK);

    for (const wchar_t* pszName : {L"\x041e\x0442\x0447\x0451\x0442 1.txt", L"\x62a5\x544a.txt"})
    {
        const std::wstring published = Widen(testenv::WebRoot()) + L"\\" + pszName;
        const HANDLE hFile = CreateFileW(published.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(hFile, INVALID_HANDLE_VALUE);
        DWORD cbWritten = 0;
        WriteFile(hFile, "report", 6, &cbWritten, nullptr);
        CloseHandle(hFile);

        VARIANT_BOOL bCompleted = VARIANT_FALSE;
        EXPECT_EQ(control->FetchRemoteHTTP(CBstrArg(L"127.0.0.1"), CBstrArg((L"/" + std::wstring(pszName)).c_str()),
                                           static_cast<short>(testenv::LighttpdPort()), &bCompleted),
                  S_OK);
        EXPECT_EQ(bCompleted, VARIANT_TRUE);
        BSTR file = nullptr;
        control->get_LastFetchedFile(&file);
        const std::string fetched(file, file + SysStringLen(file));
        SysFreeString(file);
        EXPECT_EQ(ReadWholeFile(fetched), "report");
        DeleteFileA(fetched.c_str());
        DeleteFileW(published.c_str());
    }
}

// proftpd lists UTF8 among its features.
TEST_F(PathsBeyondTheCodePage, FtpServersThatTakeUtf8GetTheNameInUtf8)
{
    CComPtr<IVexCtl3> control;
    ASSERT_EQ(CreateVexCtl3(nullptr, IID_IVexCtl3, reinterpret_cast<void**>(control.Receive())), S_OK);
    const std::wstring name = L"\x041e\x0442\x0447\x0451\x0442.txt";
    const std::wstring published = Widen(testenv::ProftpdRoot()) + L"\\" + name;
    const HANDLE hFile = CreateFileW(published.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(hFile, INVALID_HANDLE_VALUE);
    DWORD cbWritten = 0;
    WriteFile(hFile, "ftp report", 10, &cbWritten, nullptr);
    CloseHandle(hFile);

    const std::string login = testenv::FtpUser() + ":" + testenv::FtpPassword();
    const std::string url = "ftp://" + login + "@127.0.0.1:" + std::to_string(testenv::ProftpdPort()) +
                            "/%D0%9E%D1%82%D1%87%D1%91%D1%82.txt";
    for (bool bByUrl : {false, true})
    {
        VARIANT_BOOL bCompleted = VARIANT_FALSE;
        const HRESULT hr =
            bByUrl ? control->FetchURL(CBstrArg(url), &bCompleted)
                   : control->FetchRemoteFTP(CBstrArg(L"127.0.0.1"), CBstrArg(name.c_str()), CBstrArg(testenv::FtpUser()),
                                             CBstrArg(testenv::FtpPassword()),
                                             static_cast<short>(testenv::ProftpdPort()), &bCompleted);
        EXPECT_EQ(hr, S_OK);
        EXPECT_EQ(bCompleted, VARIANT_TRUE) << (bByUrl ? "by URL" : "FetchRemoteFTP");
        BSTR file = nullptr;
        control->get_LastFetchedFile(&file);
        const std::string fetched(file, file + SysStringLen(file));
        SysFreeString(file);
        EXPECT_EQ(ReadWholeFile(fetched), "ftp report");
        DeleteFileA(fetched.c_str());
    }
    DeleteFileW(published.c_str());
}

// The test namespace's hosts file maps xn--bcher-kva.vexa.test to loopback;
// the certificate on VEXA_TLS_IDN_PORT names only that A-label.
TEST_F(HostsBeyondAscii, GoOutAsALabelsAndAreShownAsWritten)
{
    ASSERT_TRUE(TrustTestRoot());
    Publish(testenv::WebRoot(), "idn.txt", "international");
    CComPtr<IVexCtl3> control;
    ASSERT_EQ(CreateVexCtl3(nullptr, IID_IVexCtl3, reinterpret_cast<void**>(control.Receive())), S_OK);

    const std::wstring port = std::to_wstring(testenv::Port("VEXA_TLS_IDN_PORT"));
    const std::wstring wrongNamePort = std::to_wstring(testenv::Port("VEXA_TLS_WRONG_NAME_PORT"));
    const std::wstring tooLongLabel(60, L'\x00fc');
    const struct
    {
        std::wstring url;
        long error;
        long detail;
    } cases[] = {
        {L"https://b\u00fccher.vexa.test:" + port + L"/idn.txt", 0, 0},
        {L"https://B\u00dcCHER.Vexa.Test:" + port + L"/idn.txt", 0, 0},
        {L"https://xn--bcher-kva.vexa.test:" + port + L"/idn.txt", 0, 0},
        {L"https://b\u00fccher.vexa.test:" + wrongNamePort + L"/idn.txt", VEXERR_TLS, VEXDET_TLS_NAME_MISMATCH},
        {L"https://" + tooLongLabel + L".vexa.test/", VEXERR_URL, VEXDET_URL_BAD_INTERNATIONAL_HOST},
        {L"https://\ufffd.vexa.test/", VEXERR_URL, VEXDET_URL_BAD_INTERNATIONAL_HOST},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(std::string(c.url.begin(), c.url.end()));
        VARIANT_BOOL bCompleted = VARIANT_FALSE;
        EXPECT_EQ(control->FetchURL(CBstrArg(c.url.c_str()), &bCompleted), c.error == VEXERR_URL ? E_INVALIDARG : S_OK);
        EXPECT_EQ(bCompleted, c.error == 0 ? VARIANT_TRUE : VARIANT_FALSE);
        long error = 1, detail = 1;
        control->get_LastFetchError(&error);
        control->get_LastFetchErrorDetail(&detail);
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(detail, c.detail);
        BSTR text = nullptr;
        control->get_LastFetchErrorText(&text);
        const std::wstring shown(text ? text : L"");
        SysFreeString(text);
        if (c.error == VEXERR_TLS)
        {
            EXPECT_NE(shown.find(L"b\u00fccher.vexa.test"), std::wstring::npos);
        }
        BSTR file = nullptr;
        control->get_LastFetchedFile(&file);
        if (c.error == 0)
        {
            EXPECT_EQ(ReadWholeFile(std::wstring(file, SysStringLen(file))), "international");
        }
        DeleteFileW(file);
        SysFreeString(file);
    }
}

} // namespace
