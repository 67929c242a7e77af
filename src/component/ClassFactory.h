// The class factory of VexCtl3, cached for the life of the module. The
// module keeps one reference; every host reference beyond it holds a module
// lock, so DllCanUnloadNow says no while a host keeps the factory.
#pragma once

#include <unknwn.h>

class CClassFactory final : public IClassFactory
{
public:
    // The cached factory, created on first use; null when it could not be.
    static CClassFactory* Cached();
    // Drops the module's reference (at process detach).
    static void ReleaseCached();

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) override;
    STDMETHODIMP LockServer(BOOL fLock) override;

private:
    CClassFactory() = default;
    ~CClassFactory() = default;

    LONG m_cRef = 1;
};
