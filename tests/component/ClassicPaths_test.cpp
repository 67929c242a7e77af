// Paths a host hands FetchRemoteHTTP that the system code page cannot hold:
// they reach the server as percent-encoded UTF-8 and fetch the file they
// name, where the code page would have made question marks of them.
#include "VexCtl3.h"

#include "ComTest.h"
#include "TestEnv.h"
#include "TestFiles.h"
#include "TestRegistry.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

const auto* const g_apartment = ::testing::AddGlobalTestEnvironment(new CComApartment);

std::wstring Widen(const std::string& ascii)
{
    return std::wstring(ascii.begin(), ascii.end());
}

TEST(ClassicHttpPath, ANameOutsideTheCodePageFetchesThatFile)
{
    // The prefix's code page is 1252, which holds neither name.
    ASSERT_NE(GetACP(), static_cast<UINT>(CP_UTF8));
    const char* pszKey = "SOFTWARE\\Quorvel\\VexUpdate";
    testreg::DeleteKey(HKEY_LOCAL_MACHINE, pszKey);
    testreg::SetText(HKEY_LOCAL_MACHINE, pszKey, "ProbeTarget", "127.0.0.1:" + std::to_string(testenv::LighttpdPort()));
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
    testreg::DeleteKey(HKEY_LOCAL_MACHINE, pszKey);
}

} // namespace
