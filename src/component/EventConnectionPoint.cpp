#include "EventConnectionPoint.h"

#include "ComBoundary.h"
#include "Module.h"

#include <new>

namespace {

// Enumerates a snapshot of reference-holding items: connections or
// connection points. Item is CONNECTDATA or IConnectionPoint*.
template <typename Interface, typename Item, const IID& kIid>
class CSnapshotEnum final : public Interface
{
public:
    explicit CSnapshotEnum(std::vector<Item> items) : m_items(std::move(items))
    {
        for (Item& item : m_items)
            Unknown(item)->AddRef();
    }
    ~CSnapshotEnum()
    {
        for (Item& item : m_items)
            Unknown(item)->Release();
    }
    CSnapshotEnum(const CSnapshotEnum&) = delete;
    CSnapshotEnum& operator=(const CSnapshotEnum&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, kIid))
            return E_NOINTERFACE;
        *ppv = static_cast<Interface*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_cRef)); }
    STDMETHODIMP_(ULONG) Release() override
    {
        const LONG cRef = InterlockedDecrement(&m_cRef);
        if (cRef == 0)
            delete this;
        return static_cast<ULONG>(cRef);
    }

    STDMETHODIMP Next(ULONG cItems, Item* pItems, ULONG* pcFetched) override
    {
        if (!pItems || (cItems > 1 && !pcFetched))
            return E_POINTER;
        ULONG cFetched = 0;
        for (; cFetched < cItems && m_next < m_items.size(); ++cFetched)
        {
            pItems[cFetched] = m_items[m_next++];
            Unknown(pItems[cFetched])->AddRef();
        }
        if (pcFetched)
            *pcFetched = cFetched;
        return cFetched == cItems ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG cItems) override
    {
        const size_t cLeft = m_items.size() - m_next;
        m_next += cItems < cLeft ? cItems : cLeft;
        return cItems <= cLeft ? S_OK : S_FALSE;
    }
    STDMETHODIMP Reset() override
    {
        m_next = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(Interface** ppEnum) override
    {
        return ComBoundary([&]() -> HRESULT {
            if (!ppEnum)
                return E_POINTER;
            auto* pClone = new (std::nothrow) CSnapshotEnum(m_items);
            *ppEnum = pClone;
            if (!pClone)
                return E_OUTOFMEMORY;
            pClone->m_next = m_next;
            return S_OK;
        });
    }

private:
    static IUnknown* Unknown(const CONNECTDATA& data) { return data.pUnk; }
    static IUnknown* Unknown(IConnectionPoint* pPoint) { return pPoint; }

    LONG m_cRef = 1;
    std::vector<Item> m_items;
    size_t m_next = 0;
    module::CModuleLock m_lock;
};

using CConnectionsEnum = CSnapshotEnum<IEnumConnections, CONNECTDATA, IID_IEnumConnections>;
using CConnectionPointsEnum = CSnapshotEnum<IEnumConnectionPoints, IConnectionPoint*, IID_IEnumConnectionPoints>;

} // namespace

HRESULT CreateConnectionPointsEnum(IConnectionPoint* pPoint, IEnumConnectionPoints** ppEnum)
{
    return ComBoundary([&]() -> HRESULT {
        if (!ppEnum)
            return E_POINTER;
        *ppEnum = new (std::nothrow) CConnectionPointsEnum(std::vector<IConnectionPoint*>{pPoint});
        return *ppEnum ? S_OK : E_OUTOFMEMORY;
    });
}

CEventConnectionPoint::~CEventConnectionPoint()
{
    for (Sink& sink : m_sinks)
        sink.pDispatch->Release();
}

STDMETHODIMP CEventConnectionPoint::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IConnectionPoint))
        return E_NOINTERFACE;
    *ppv = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP CEventConnectionPoint::GetConnectionInterface(IID* pIID)
{
    if (!pIID)
        return E_POINTER;
    *pIID = m_iid;
    return S_OK;
}

STDMETHODIMP CEventConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** ppCPC)
{
    if (!ppCPC)
        return E_POINTER;
    return m_pContainer->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(ppCPC));
}

STDMETHODIMP CEventConnectionPoint::Advise(IUnknown* pUnkSink, DWORD* pdwCookie)
{
    return ComBoundary([&]() -> HRESULT {
        if (!pdwCookie)
            return E_POINTER;
        *pdwCookie = 0;
        if (!pUnkSink)
            return E_POINTER;
        // The sink must say it implements the event interface; it is then
        // called through IDispatch, as every dispinterface is.
        IDispatch* pDispatch = nullptr;
        if (FAILED(pUnkSink->QueryInterface(m_iid, reinterpret_cast<void**>(&pDispatch))) || !pDispatch)
            return CONNECT_E_CANNOTCONNECT;
        m_sinks.reserve(m_sinks.size() + 1);
        m_sinks.push_back(Sink{m_dwNextCookie, pDispatch});
        *pdwCookie = m_dwNextCookie++;
        return S_OK;
    });
}

STDMETHODIMP CEventConnectionPoint::Unadvise(DWORD dwCookie)
{
    for (auto it = m_sinks.begin(); it != m_sinks.end(); ++it)
    {
        if (it->dwCookie != dwCookie)
            continue;
        IDispatch* pDispatch = it->pDispatch;
        m_sinks.erase(it);
        // Last: the sink's release may run code of the host's.
        pDispatch->Release();
        return S_OK;
    }
    return CONNECT_E_NOCONNECTION;
}

STDMETHODIMP CEventConnectionPoint::EnumConnections(IEnumConnections** ppEnum)
{
    return ComBoundary([&]() -> HRESULT {
        if (!ppEnum)
            return E_POINTER;
        std::vector<CONNECTDATA> connections;
        for (const Sink& sink : m_sinks)
            connections.push_back(CONNECTDATA{sink.pDispatch, sink.dwCookie});
        *ppEnum = new (std::nothrow) CConnectionsEnum(std::move(connections));
        return *ppEnum ? S_OK : E_OUTOFMEMORY;
    });
}

void CEventConnectionPoint::Fire(DISPID dispid, VARIANTARG* pArgs, UINT cArgs)
{
    if (m_sinks.empty())
        return;
    std::vector<CComPtr<IDispatch>> sinks(m_sinks.size());
    for (size_t i = 0; i < m_sinks.size(); ++i)
        sinks[i].Assign(m_sinks[i].pDispatch);
    // DISPPARAMS take the arguments last first.
    std::vector<VARIANTARG> reversed(pArgs, pArgs + cArgs);
    for (size_t i = 0; i < cArgs; ++i)
        reversed[i] = pArgs[cArgs - 1 - i];
    DISPPARAMS params = {cArgs ? reversed.data() : nullptr, nullptr, cArgs, 0};
    for (CComPtr<IDispatch>& sink : sinks)
    {
        // What a sink answers changes nothing for the fetch or the others.
        sink->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    }
}
