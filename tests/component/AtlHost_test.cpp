// The control hosted as real containers host it: Wine's ATL control host
// window ("AtlAxWin") creates it by ProgID, activates it in place in a
// window of its own, and the control paints itself there.
#include "ComPtr.h"
#include "TestEnv.h"
#include "Vexa3.h"

#include <gtest/gtest.h>

#include <ole2.h>
#include <windows.h>

#include <string>

namespace {

typedef BOOL(WINAPI* AtlAxWinInitFn)();
typedef HRESULT(WINAPI* AtlAxGetControlFn)(HWND, IUnknown**);

class AtlHost : public ::testing::Test
{
protected:
    void SetUp() override
    {
        OleInitialize(nullptr);
        const std::string dll = testenv::WindowsPathOf(testenv::Text("VEXA_DLL"));
        m_hServer = LoadLibraryA(dll.c_str());
        ASSERT_NE(m_hServer, nullptr);
        ASSERT_EQ(Entry("DllRegisterServer")(), S_OK);
        m_hAtl = LoadLibraryA("atl.dll");
        ASSERT_NE(m_hAtl, nullptr);
        const auto pfnInit = reinterpret_cast<AtlAxWinInitFn>(
            reinterpret_cast<void (*)()>(GetProcAddress(m_hAtl, "AtlAxWinInit")));
        ASSERT_NE(pfnInit, nullptr);
        ASSERT_TRUE(pfnInit());
    }
    void TearDown() override
    {
        if (m_hwndFrame)
            DestroyWindow(m_hwndFrame);
        if (m_hServer)
            Entry("DllUnregisterServer")();
        if (m_hAtl)
            FreeLibrary(m_hAtl);
        OleUninitialize();
    }
    HRESULT(STDAPICALLTYPE* Entry(const char* pszName))()
    {
        return reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
            reinterpret_cast<void (*)()>(GetProcAddress(m_hServer, pszName)));
    }
    static void Pump()
    {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }

    HMODULE m_hServer = nullptr;
    HMODULE m_hAtl = nullptr;
    HWND m_hwndFrame = nullptr;
};

TEST_F(AtlHost, ActivatesInPlaceAndPaints)
{
    m_hwndFrame = CreateWindowExA(0, "STATIC", "Vexa3 host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200,
                                  nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(m_hwndFrame, nullptr);
    HWND hwndHost = CreateWindowExA(0, "AtlAxWin", "Vexa3.VexCtl3.1", WS_CHILD | WS_VISIBLE, 10, 10, 100, 100,
                                    m_hwndFrame, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(hwndHost, nullptr);
    Pump();

    const auto pfnGetControl = reinterpret_cast<AtlAxGetControlFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(m_hAtl, "AtlAxGetControl")));
    ASSERT_NE(pfnGetControl, nullptr);
    CComPtr<IUnknown> control;
    ASSERT_EQ(pfnGetControl(hwndHost, control.Receive()), S_OK);
    CComPtr<IVexCtl3> vex;
    ASSERT_EQ(control->QueryInterface(IID_IVexCtl3, reinterpret_cast<void**>(vex.Receive())), S_OK);

    // Activated in place: the control's own window, a child of the host.
    CComPtr<IOleWindow> window;
    ASSERT_EQ(control->QueryInterface(IID_IOleWindow, reinterpret_cast<void**>(window.Receive())), S_OK);
    HWND hwndControl = nullptr;
    ASSERT_EQ(window->GetWindow(&hwndControl), S_OK);
    ASSERT_NE(hwndControl, nullptr);
    EXPECT_EQ(GetParent(hwndControl), hwndHost);
    EXPECT_TRUE(IsWindowVisible(hwndControl));
    char szClass[32] = {};
    GetClassNameA(hwndControl, szClass, sizeof(szClass));
    EXPECT_EQ(std::string(szClass).substr(0, 4), "ATL:");
    const LONG style = GetWindowLongA(hwndControl, GWL_STYLE);
    EXPECT_TRUE(style & WS_CHILD);
    EXPECT_TRUE(style & WS_CLIPSIBLINGS);

    // It paints its frame and face.
    RedrawWindow(hwndControl, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    Pump();
    RECT rc;
    GetClientRect(hwndControl, &rc);
    HDC hdc = GetDC(hwndControl);
    EXPECT_EQ(GetPixel(hdc, 0, rc.bottom / 2), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(hdc, rc.right - 2, rc.bottom - 2), GetSysColor(COLOR_BTNFACE));
    ReleaseDC(hwndControl, hdc);

    // Closing deactivates and destroys the control's window.
    CComPtr<IOleObject> ole;
    ASSERT_EQ(control->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(ole.Receive())), S_OK);
    BSTR version = nullptr;
    EXPECT_EQ(vex->get_Version(&version), S_OK);
    SysFreeString(version);
    DestroyWindow(hwndHost);
    Pump();
    EXPECT_FALSE(IsWindow(hwndControl));
}

} // namespace
