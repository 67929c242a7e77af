// CVexCtl3: its events (one connection point for _IVexCtl3Events) and the
// error information that tells a host why a member failed.
#include "VexCtl3.h"

#include "Bstr.h"
#include "ComBoundary.h"

#include <cstdio>

namespace {

const wchar_t kErrorSource[] = L"Vexa3.VexCtl3.1";

std::string DescriptionOf(HRESULT hr)
{
    switch (hr)
    {
    case E_POINTER: return "A pointer the member needs is missing.";
    case E_INVALIDARG: return "An argument is not valid.";
    case E_OUTOFMEMORY: return "There was not enough memory for the call.";
    default: break;
    }
    char text[64];
    std::snprintf(text, sizeof(text), "The call failed (0x%08lx).", static_cast<unsigned long>(hr));
    return text;
}

// Scripts have always seen a refused argument as their own error 5 and a
// failed allocation as error 7; an exception keeps those numbers by carrying
// the control-facility codes that VBScript and VBA show by their low word.
HRESULT ScriptErrorCode(HRESULT hr)
{
    switch (hr)
    {
    case E_INVALIDARG:
        return CTL_E_ILLEGALFUNCTIONCALL;
    case E_OUTOFMEMORY:
        return CTL_E_OUTOFMEMORY;
    default:
        return hr;
    }
}

VARIANTARG DoubleArgument(double value)
{
    VARIANTARG arg;
    VariantInit(&arg);
    V_VT(&arg) = VT_R8;
    V_R8(&arg) = value;
    return arg;
}

} // namespace

// --- Events -------------------------------------------------------------------------

STDMETHODIMP CVexCtl3::EnumConnectionPoints(IEnumConnectionPoints** ppEnum)
{
    return CreateConnectionPointsEnum(&m_events, ppEnum);
}

STDMETHODIMP CVexCtl3::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP)
{
    if (!ppCP)
        return E_POINTER;
    *ppCP = nullptr;
    if (!IsEqualIID(riid, DIID__IVexCtl3Events))
        return CONNECT_E_NOCONNECTION;
    *ppCP = &m_events;
    m_events.AddRef();
    return S_OK;
}

STDMETHODIMP CVexCtl3::FreezeEvents(BOOL bFreeze)
{
    if (bFreeze)
        ++m_nFrozenEvents;
    else if (m_nFrozenEvents > 0)
        --m_nFrozenEvents;
    return S_OK;
}

void CVexCtl3::FetchProgress(double cbReceived, double cbExpected)
{
    if (m_nFrozenEvents > 0)
        return;
    VARIANTARG args[] = {DoubleArgument(cbReceived), DoubleArgument(cbExpected)};
    m_events.Fire(kDispidFetchProgress, args, 2);
}

void CVexCtl3::FetchDone(bool bCompleted)
{
    if (m_nFrozenEvents > 0)
        return;
    VARIANTARG arg;
    VariantInit(&arg);
    V_VT(&arg) = VT_BOOL;
    V_BOOL(&arg) = bCompleted ? VARIANT_TRUE : VARIANT_FALSE;
    m_events.Fire(kDispidFetchDone, &arg, 1);
}

// --- Error information ------------------------------------------------------------

STDMETHODIMP CVexCtl3::InterfaceSupportsErrorInfo(REFIID riid)
{
    return IsEqualIID(riid, IID_IVexCtl3) ? S_OK : S_FALSE;
}

HRESULT CVexCtl3::Described(HRESULT hr)
{
    // A description that cannot be made leaves the HRESULT to speak alone.
    ComBoundary([&]() -> HRESULT {
        CBstr description;
        if (!Utf8ToBstr((m_refusal.empty() ? DescriptionOf(hr) : m_refusal).c_str(), description))
            return E_OUTOFMEMORY;
        CComPtr<ICreateErrorInfo> create;
        if (FAILED(CreateErrorInfo(create.Receive())))
            return E_FAIL;
        create->SetGUID(IID_IVexCtl3);
        create->SetSource(const_cast<LPOLESTR>(kErrorSource));
        create->SetDescription(description.Get());
        CComPtr<IErrorInfo> info;
        if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(info.Receive()))))
            SetErrorInfo(0, info.Get());
        return S_OK;
    });
    m_refusal.clear();
    return hr;
}

HRESULT CVexCtl3::ExceptionForScripts(HRESULT hrCall, EXCEPINFO* pExcepInfo)
{
    if (!pExcepInfo || SUCCEEDED(hrCall))
        return hrCall;
    // The type information's Invoke usually made the exception already from
    // the member's error information; otherwise it is made here.
    if (hrCall != DISP_E_EXCEPTION)
    {
        CComPtr<IErrorInfo> info;
        if (GetErrorInfo(0, info.Receive()) != S_OK || !info)
            return hrCall;
        *pExcepInfo = EXCEPINFO();
        pExcepInfo->scode = hrCall;
        info->GetSource(&pExcepInfo->bstrSource);
        info->GetDescription(&pExcepInfo->bstrDescription);
    }
    pExcepInfo->scode = ScriptErrorCode(pExcepInfo->scode);
    return DISP_E_EXCEPTION;
}
