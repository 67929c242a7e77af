// The in-process server's entry points.
#include "ClassFactory.h"
#include "ComBoundary.h"
#include "Module.h"
#include "Registration.h"
#include "SharedCredentials.h"
#include "Vexa3.h"

#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID)
{
    if (dwReason == DLL_PROCESS_ATTACH)
    {
        module::SetInstance(hInstance);
        DisableThreadLibraryCalls(hInstance);
    }
    else if (dwReason == DLL_PROCESS_DETACH)
    {
        CClassFactory::ReleaseCached();
    }
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv)
{
    return ComBoundary([&]() -> HRESULT {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (!IsEqualCLSID(rclsid, CLSID_VexCtl3))
            return CLASS_E_CLASSNOTAVAILABLE;
        CClassFactory* pFactory = CClassFactory::Cached();
        if (!pFactory)
            return E_OUTOFMEMORY;
        const HRESULT hr = pFactory->QueryInterface(riid, ppv);
        return *ppv || FAILED(hr) ? hr : CLASS_E_CLASSNOTAVAILABLE;
    });
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow()
{
    return ComBoundary([&]() -> HRESULT {
        if (module::LockCount() != 0)
            return S_FALSE;
        // The module may go now: no channel is left to use the handle, and
        // releasing it here, outside the loader lock, is safe.
        tls::ReleaseSharedClientCredentials();
        return S_OK;
    });
}

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer()
{
    return ComBoundary([&]() -> HRESULT {
        return RegisterServer();
    });
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer()
{
    return ComBoundary([&]() -> HRESULT {
        UnregisterServer();
        return S_OK;
    });
}
