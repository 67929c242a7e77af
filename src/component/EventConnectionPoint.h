// CEventConnectionPoint: the one connection point of a control, through
// which hosts' sinks receive the events of _IVexCtl3Events. It lives inside
// its control and shares its reference count; the enumerators it and the
// control hand out are objects of their own.
#pragma once

#include "ComPtr.h"

#include <ocidl.h>
#include <olectl.h>
#include <windows.h>

#include <vector>

class CEventConnectionPoint final : public IConnectionPoint
{
public:
    // pContainer is the control's controlling unknown; iid the event
    // interface.
    CEventConnectionPoint(IUnknown* pContainer, REFIID iid) : m_pContainer(pContainer), m_iid(iid) {}
    ~CEventConnectionPoint();
    CEventConnectionPoint(const CEventConnectionPoint&) = delete;
    CEventConnectionPoint& operator=(const CEventConnectionPoint&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return m_pContainer->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return m_pContainer->Release(); }

    STDMETHODIMP GetConnectionInterface(IID* pIID) override;
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** ppCPC) override;
    STDMETHODIMP Advise(IUnknown* pUnkSink, DWORD* pdwCookie) override;
    STDMETHODIMP Unadvise(DWORD dwCookie) override;
    STDMETHODIMP EnumConnections(IEnumConnections** ppEnum) override;

    // Calls the method dispid on every sink with the arguments in the order
    // of its declaration. A sink may unadvise (itself or another) while it
    // is called: each call goes to the sinks connected when firing began.
    void Fire(DISPID dispid, VARIANTARG* pArgs, UINT cArgs);

private:
    struct Sink
    {
        DWORD dwCookie;
        IDispatch* pDispatch; // one reference held
    };
    std::vector<Sink> m_sinks;
    IUnknown* m_pContainer;
    IID m_iid;
    DWORD m_dwNextCookie = 1;
};

// An enumerator over the single connection point of a container.
HRESULT CreateConnectionPointsEnum(IConnectionPoint* pPoint, IEnumConnectionPoints** ppEnum);
