#include "ClassFactory.h"

#include "ComBoundary.h"
#include "Module.h"
#include "VexCtl3.h"

#include <new>

namespace {

CClassFactory* g_pCached;

// Guards the creation of the cached factory.
class CFactoryLock
{
public:
    CFactoryLock() { InitializeCriticalSection(&m_section); }
    ~CFactoryLock() { DeleteCriticalSection(&m_section); }
    CFactoryLock(const CFactoryLock&) = delete;
    CFactoryLock& operator=(const CFactoryLock&) = delete;
    void Enter() { EnterCriticalSection(&m_section); }
    void Leave() { LeaveCriticalSection(&m_section); }

private:
    CRITICAL_SECTION m_section;
};

CFactoryLock g_factoryLock;

} // namespace

CClassFactory* CClassFactory::Cached()
{
    if (!g_pCached)
    {
        g_factoryLock.Enter();
        if (!g_pCached)
            g_pCached = new (std::nothrow) CClassFactory;
        g_factoryLock.Leave();
    }
    return g_pCached;
}

void CClassFactory::ReleaseCached()
{
    if (g_pCached)
        g_pCached->Release();
    g_pCached = nullptr;
}

STDMETHODIMP CClassFactory::QueryInterface(REFIID riid, void** ppv)
{
    return ComBoundary([&]() -> HRESULT {
        if (!ppv)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory))
        {
            *ppv = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    });
}

STDMETHODIMP_(ULONG) CClassFactory::AddRef()
{
    const LONG cRef = InterlockedIncrement(&m_cRef);
    if (cRef == 2)
        module::Lock();
    return static_cast<ULONG>(cRef);
}

STDMETHODIMP_(ULONG) CClassFactory::Release()
{
    const LONG cRef = InterlockedDecrement(&m_cRef);
    if (cRef == 1)
        module::Unlock();
    else if (cRef == 0)
        delete this;
    return static_cast<ULONG>(cRef);
}

STDMETHODIMP CClassFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv)
{
    return ComBoundary([&]() -> HRESULT {
        return CreateVexCtl3(pUnkOuter, riid, ppv);
    });
}

STDMETHODIMP CClassFactory::LockServer(BOOL fLock)
{
    return ComBoundary([&]() -> HRESULT {
        if (fLock)
            module::Lock();
        else
            module::Unlock();
        return S_OK;
    });
}
