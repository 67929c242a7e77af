// A host whose window procedure, run by the control's message pumping while
// a fetch waits, calls the same control again: a second fetch, the probe and
// LastError. Both calls answer, nothing crashes, the settings stay sound.
#include "VexCtl3.h"

#include "ScriptedPeer.h"
#include "SettingsFixture.h"
#include "TestEnv.h"
#include "TestFiles.h"

#include "ComTest.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <string>

namespace {

const auto* const g_apartment = ::testing::AddGlobalTestEnvironment(new CComApartment);

// What the window procedure did while the outer fetch was waiting.
struct Nested
{
    IVexCtl3* pControl = nullptr;
    bool bRan = false;
    VARIANT_BOOL bConnected = VARIANT_FALSE;
    long lastError = -1;
    VARIANT_BOOL bFetched = VARIANT_FALSE;
    std::string fetchedFile;
    HANDLE hDone = nullptr;
};
Nested g_nested;

std::string ToAnsi(BSTR bstr)
{
    char text[MAX_PATH * 2] = {};
    WideCharToMultiByte(CP_ACP, 0, bstr ? bstr : L"", -1, text, sizeof(text), nullptr, nullptr);
    return text;
}

LRESULT CALLBACK HostWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_TIMER && !g_nested.bRan)
    {
        g_nested.bRan = true;
        KillTimer(hwnd, wParam);
        IVexCtl3* pControl = g_nested.pControl;
        pControl->IsInternetConnected(&g_nested.bConnected);
        pControl->get_LastError(&g_nested.lastError);
        BSTR host = SysAllocString(L"127.0.0.1");
        BSTR path = SysAllocString(L"/nested.txt");
        pControl->FetchRemoteHTTP(host, path, static_cast<short>(testenv::LighttpdPort()), &g_nested.bFetched);
        SysFreeString(host);
        SysFreeString(path);
        BSTR file = nullptr;
        pControl->get_LastFetchedFile(&file);
        g_nested.fetchedFile = ToAnsi(file);
        SysFreeString(file);
        // Only now may the outer fetch's server answer.
        SetEvent(g_nested.hDone);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

using Reentrancy = CSettingsFixture;

TEST_F(Reentrancy, HostCallsTheControlAgainFromItsMessagePump)
{
    Publish(testenv::WebRoot(), "nested.txt", "nested body");

    CComPtr<IVexCtl3> control;
    ASSERT_EQ(CreateVexCtl3(nullptr, IID_IVexCtl3, reinterpret_cast<void**>(control.Receive())), S_OK);
    g_nested = Nested();
    g_nested.pControl = control.Get();
    g_nested.hDone = CreateEventA(nullptr, TRUE, FALSE, nullptr);

    WNDCLASSA wc = {};
    wc.lpfnWndProc = HostWindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "VexaReentrantHost";
    RegisterClassA(&wc);
    HWND hwnd = CreateWindowA("VexaReentrantHost", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(hwnd, nullptr);
    SetTimer(hwnd, 1, 10, nullptr);

    // The outer fetch's server holds its answer until the nested calls are
    // done, so they certainly run while the outer fetch waits.
    CScriptedPeer server;
    server.ExpectLine().ExpectLine().ExpectLine().ExpectLine().ExpectLine()
        .Call([] { WaitForSingleObject(g_nested.hDone, 15000); })
        .Send("HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\nouter body")
        .Close();
    const uint16_t port = server.Start();
    BSTR host = SysAllocString(L"127.0.0.1");
    BSTR path = SysAllocString(L"/outer.txt");
    VARIANT_BOOL bCompleted = VARIANT_FALSE;
    EXPECT_EQ(control->FetchRemoteHTTP(host, path, static_cast<short>(port), &bCompleted), S_OK);
    SysFreeString(host);
    SysFreeString(path);
    server.Join();

    EXPECT_TRUE(g_nested.bRan);
    EXPECT_EQ(g_nested.bConnected, VARIANT_TRUE);
    EXPECT_EQ(g_nested.lastError, 0);
    EXPECT_EQ(g_nested.bFetched, VARIANT_TRUE);
    EXPECT_EQ(ReadWholeFile(g_nested.fetchedFile), "nested body");
    EXPECT_EQ(bCompleted, VARIANT_TRUE);

    BSTR file = nullptr;
    control->get_LastFetchedFile(&file);
    const std::string outerFile = ToAnsi(file);
    SysFreeString(file);
    EXPECT_EQ(ReadWholeFile(outerFile), "outer body");
    EXPECT_NE(outerFile, g_nested.fetchedFile);
    // The settings the two fetches read are intact: the probe still works.
    VARIANT_BOOL bConnected = VARIANT_FALSE;
    control->IsInternetConnected(&bConnected);
    EXPECT_EQ(bConnected, VARIANT_TRUE);

    DeleteFileA(outerFile.c_str());
    DeleteFileA(g_nested.fetchedFile.c_str());
    DestroyWindow(hwnd);
    CloseHandle(g_nested.hDone);
}

} // namespace
