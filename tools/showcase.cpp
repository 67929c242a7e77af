// Shows the registered control the way people see it: hosted in a window
// by Wine's ATL host, then its About box, each for a few seconds, so that
// scripts/screenshots.sh can take pictures of both.
#include "Vexa3.h"

#include <ole2.h>
#include <windows.h>

namespace {

void PumpFor(DWORD milliseconds)
{
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < milliseconds)
    {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

void CALLBACK CloseAboutBox(HWND, UINT, UINT_PTR idTimer, DWORD)
{
    HWND hwndBox = FindWindowA(nullptr, "About Vexa");
    if (hwndBox)
    {
        KillTimer(nullptr, idTimer);
        PostMessageA(hwndBox, WM_COMMAND, IDOK, 0);
    }
}

} // namespace

int main()
{
    OleInitialize(nullptr);
    HMODULE hAtl = LoadLibraryA("atl.dll");
    const auto pfnInit = hAtl ? reinterpret_cast<BOOL(WINAPI*)()>(
                                    reinterpret_cast<void (*)()>(GetProcAddress(hAtl, "AtlAxWinInit")))
                              : nullptr;
    if (!pfnInit || !pfnInit())
        return 1;
    HWND hwndFrame = CreateWindowExA(0, "STATIC", "Vexa3 hosted by AtlAxWin", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                     40, 40, 360, 200, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    HWND hwndHost = CreateWindowExA(0, "AtlAxWin", "Vexa3.VexCtl3.1", WS_CHILD | WS_VISIBLE, 20, 20, 40, 40,
                                    hwndFrame, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!hwndHost)
        return 1;
    PumpFor(4000);

    IVexCtl3* pControl = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_VexCtl3, nullptr, CLSCTX_INPROC_SERVER, IID_IVexCtl3,
                                   reinterpret_cast<void**>(&pControl))))
    {
        SetTimer(nullptr, 0, 4000, CloseAboutBox);
        pControl->AboutBox();
        pControl->Release();
    }
    DestroyWindow(hwndFrame);
    OleUninitialize();
    return 0;
}
