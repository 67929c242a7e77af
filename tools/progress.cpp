// Vexa3 progress demonstration: a C++ host that fetches one URL through the
// registered control, prints the control's progress events as they come and,
// when asked, cancels the fetch from its progress handler.
//
//   vexa_progress URL [CANCEL_AFTER_BYTES]
//
// Exit status: 0 when the fetch completed (or was cancelled as asked), 1
// otherwise.
#include "Vexa3.h"

#include <ole2.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string Narrow(BSTR text)
{
    if (!text)
        return std::string();
    const int cch = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(SysStringLen(text)), nullptr, 0,
                                        nullptr, nullptr);
    std::string narrow(static_cast<size_t>(cch > 0 ? cch : 0), '\0');
    if (cch > 0)
        WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(SysStringLen(text)), &narrow[0], cch, nullptr,
                            nullptr);
    return narrow;
}

// The host's handlers for _IVexCtl3Events.
class CProgressPrinter final : public IDispatch
{
public:
    CProgressPrinter(IVexCtl3* pControl, double cancelAfter) : m_pControl(pControl), m_cancelAfter(cancelAfter) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
                       IsEqualIID(riid, DIID__IVexCtl3Events)
                   ? static_cast<IDispatch*>(this)
                   : nullptr;
        if (!*ppv)
            return E_NOINTERFACE;
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
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override
    {
        *pctinfo = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* pParams, VARIANT*, EXCEPINFO*, UINT*) override
    {
        // Arguments arrive last first.
        if (id == 1 && pParams->cArgs == 2)
            OnProgress(V_R8(&pParams->rgvarg[1]), V_R8(&pParams->rgvarg[0]));
        else if (id == 2 && pParams->cArgs == 1)
            std::printf("    FetchDone(%s)\n", V_BOOL(&pParams->rgvarg[0]) ? "True" : "False");
        return S_OK;
    }

private:
    void OnProgress(double received, double expected)
    {
        if (expected > 0)
            std::printf("    FetchProgress %.0f of %.0f bytes (%.0f %%)\n", received, expected,
                        100.0 * received / expected);
        else
            std::printf("    FetchProgress %.0f bytes\n", received);
        if (m_cancelAfter > 0 && received >= m_cancelAfter && !m_bCancelled)
        {
            m_bCancelled = true;
            std::printf("    CancelFetch (from the progress handler)\n");
            m_pControl->CancelFetch();
        }
    }

    ~CProgressPrinter() = default;

    LONG m_cRef = 1;
    IVexCtl3* m_pControl;
    double m_cancelAfter;
    bool m_bCancelled = false;
};

int Fetch(IVexCtl3* pControl, const wchar_t* pszUrl, double cancelAfter)
{
    CProgressPrinter* pPrinter = new CProgressPrinter(pControl, cancelAfter);
    IConnectionPointContainer* pContainer = nullptr;
    IConnectionPoint* pPoint = nullptr;
    DWORD cookie = 0;
    HRESULT hr = pControl->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&pContainer));
    if (SUCCEEDED(hr))
        hr = pContainer->FindConnectionPoint(DIID__IVexCtl3Events, &pPoint);
    if (SUCCEEDED(hr))
        hr = pPoint->Advise(pPrinter, &cookie);
    if (FAILED(hr))
        std::printf("no events: 0x%08lx\n", static_cast<unsigned long>(hr));

    BSTR url = SysAllocString(pszUrl);
    VARIANT_BOOL bCompleted = VARIANT_FALSE;
    hr = pControl->FetchURL(url, &bCompleted);
    SysFreeString(url);

    int status = 1;
    BSTR text = nullptr;
    if (FAILED(hr))
    {
        std::printf("FetchURL refused the URL: 0x%08lx\n", static_cast<unsigned long>(hr));
    }
    else if (bCompleted)
    {
        pControl->get_LastFetchedFile(&text);
        const std::string file = Narrow(text);
        SysFreeString(text);
        pControl->get_LastFetchedFileSHA256(&text);
        std::printf("FetchURL: True, %s (SHA-256 %s)\n", file.c_str(), Narrow(text).c_str());
        DeleteFileA(file.c_str());
        status = 0;
    }
    else
    {
        long lError = 0, lDetail = 0;
        pControl->get_LastFetchError(&lError);
        pControl->get_LastFetchErrorDetail(&lDetail);
        pControl->get_LastFetchErrorText(&text);
        std::printf("FetchURL: False, %s (%ld / %ld)\n", Narrow(text).c_str(), lError, lDetail);
        status = cancelAfter > 0 && lError == -160 ? 0 : 1;
    }
    SysFreeString(text);

    if (pPoint)
    {
        if (cookie)
            pPoint->Unadvise(cookie);
        pPoint->Release();
    }
    if (pContainer)
        pContainer->Release();
    pPrinter->Release();
    return status;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2)
    {
        std::printf("usage: vexa_progress URL [CANCEL_AFTER_BYTES]\n");
        return 2;
    }
    const double cancelAfter = argc > 2 ? std::wcstod(argv[2], nullptr) : 0;
    if (FAILED(OleInitialize(nullptr)))
        return 1;
    IVexCtl3* pControl = nullptr;
    int status = 1;
    const HRESULT hr = CoCreateInstance(CLSID_VexCtl3, nullptr, CLSCTX_INPROC_SERVER, IID_IVexCtl3,
                                        reinterpret_cast<void**>(&pControl));
    if (SUCCEEDED(hr))
    {
        status = Fetch(pControl, argv[1], cancelAfter);
        pControl->Release();
    }
    else
    {
        std::printf("Vexa3.VexCtl3 is not registered: 0x%08lx\n", static_cast<unsigned long>(hr));
    }
    OleUninitialize();
    std::fflush(stdout);
    return status;
}
