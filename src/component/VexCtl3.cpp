// CVexCtl3: identity, aggregation, the dual interface and its members.
#include "VexCtl3.h"

#include "AboutDlg.h"
#include "ComBoundary.h"
#include "DetailTable.h"
#include "HashFragment.h"
#include "HttpMessages.h"
#include "InternationalHost.h"
#include "Module.h"
#include "ModuleResources.h"
#include "resource.h"
#include "Url.h"
#include "VexErrors.h"

#include <new>
#include <utility>

namespace {

// A BSTR argument as ANSI text in the system code page; null stays null.
class CAnsiArgument
{
public:
    explicit CAnsiArgument(BSTR bstr) { BstrToAnsi(bstr, m_text); }
    const char* Get() const { return m_text.Get(); }

private:
    CAnsiString m_text;
};

// Longer paths cannot go in an FTP command line anyway.
constexpr size_t kMaxFtpPathCharacters = 1024;

// The path of a classic HTTP fetch: in the system code page as it always
// went, unless the code page cannot hold it; then as percent-encoded UTF-8,
// as FetchURL sends it, rather than with question marks.
// A conversion that fails leaves a null path, as for every argument.
void ClassicHttpPath(BSTR bstr, CAnsiString& path)
{
    std::string utf8;
    if (FitsAnsiCodePage(bstr) || !BstrToUtf8(bstr, http::kRequestSize, utf8))
        BstrToAnsi(bstr, path);
    else if (!path.Assign(http::EscapeRequestPath(utf8).c_str()))
        path.Reset();
}

VARIANT_BOOL ToVariantBool(bool b)
{
    return b ? VARIANT_TRUE : VARIANT_FALSE;
}

// Size of the system icon plus 4 pixels each way, in HIMETRIC.
SIZEL NaturalExtent()
{
    HDC hdcScreen = GetDC(nullptr);
    const int dpiX = hdcScreen ? GetDeviceCaps(hdcScreen, LOGPIXELSX) : 96;
    const int dpiY = hdcScreen ? GetDeviceCaps(hdcScreen, LOGPIXELSY) : 96;
    if (hdcScreen)
        ReleaseDC(nullptr, hdcScreen);
    SIZEL size;
    size.cx = MulDiv(GetSystemMetrics(SM_CXICON) + 4, 2540, dpiX);
    size.cy = MulDiv(GetSystemMetrics(SM_CYICON) + 4, 2540, dpiY);
    return size;
}

} // namespace

HRESULT CreateVexCtl3(IUnknown* pUnkOuter, REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (pUnkOuter && !IsEqualIID(riid, IID_IUnknown))
        return CLASS_E_NOAGGREGATION;
    CVexCtl3* pControl = new (std::nothrow) CVexCtl3(pUnkOuter);
    if (!pControl)
        return E_OUTOFMEMORY;
    // The object starts with one reference on its inner unknown.
    const HRESULT hr = pControl->InnerUnknown()->QueryInterface(riid, ppv);
    pControl->InnerUnknown()->Release();
    return hr;
}

CVexCtl3::CVexCtl3(IUnknown* pUnkOuter)
    : m_inner(*this),
      m_pUnkOuter(pUnkOuter ? pUnkOuter : &m_inner),
      m_events(m_pUnkOuter, DIID__IVexCtl3Events)
{
    module::Lock();
    SetEventSink(this);
    m_hIcon = static_cast<HICON>(LoadImageA(ThisModule(), MAKEINTRESOURCEA(IDI_VEXA), IMAGE_ICON, 0, 0,
                                            LR_DEFAULTSIZE));
    m_sizeNatural = m_sizeExtent = NaturalExtent();
}

CVexCtl3::~CVexCtl3()
{
    if (m_hwnd)
        DestroyWindow(m_hwnd);
    if (m_hIcon)
        DestroyIcon(m_hIcon);
    module::Unlock();
}

// --- IUnknown ---------------------------------------------------------------------

STDMETHODIMP CVexCtl3::QueryInterface(REFIID riid, void** ppv)
{
    return ComBoundary([&]() -> HRESULT {
        return m_pUnkOuter->QueryInterface(riid, ppv);
    });
}

STDMETHODIMP_(ULONG) CVexCtl3::AddRef()
{
    return m_pUnkOuter->AddRef();
}

STDMETHODIMP_(ULONG) CVexCtl3::Release()
{
    return m_pUnkOuter->Release();
}

STDMETHODIMP CVexCtl3::CInnerUnknown::QueryInterface(REFIID riid, void** ppv)
{
    return ComBoundary([&]() -> HRESULT {
        if (!ppv)
            return E_POINTER;
        CVexCtl3& c = m_control;
        IUnknown* p = nullptr;
        if (IsEqualIID(riid, IID_IUnknown))
            p = this;
        else if (IsEqualIID(riid, IID_IVexCtl3) || IsEqualIID(riid, IID_IDispatch))
            p = static_cast<IVexCtl3*>(&c);
        else if (IsEqualIID(riid, IID_IViewObjectEx) || IsEqualIID(riid, IID_IViewObject2) ||
                 IsEqualIID(riid, IID_IViewObject))
            p = static_cast<IViewObjectEx*>(&c);
        else if (IsEqualIID(riid, IID_IOleInPlaceObjectWindowless) || IsEqualIID(riid, IID_IOleInPlaceObject) ||
                 IsEqualIID(riid, IID_IOleWindow))
            p = static_cast<IOleInPlaceObjectWindowless*>(&c);
        else if (IsEqualIID(riid, IID_IOleInPlaceActiveObject))
            p = static_cast<IOleInPlaceActiveObject*>(&c);
        else if (IsEqualIID(riid, IID_IOleControl))
            p = static_cast<IOleControl*>(&c);
        else if (IsEqualIID(riid, IID_IOleObject))
            p = static_cast<IOleObject*>(&c);
        else if (IsEqualIID(riid, IID_IPersistStreamInit) || IsEqualIID(riid, IID_IPersist))
            p = static_cast<IPersistStreamInit*>(&c);
        else if (IsEqualIID(riid, IID_ISpecifyPropertyPages))
            p = static_cast<ISpecifyPropertyPages*>(&c);
        else if (IsEqualIID(riid, IID_IQuickActivate))
            p = static_cast<IQuickActivate*>(&c);
        else if (IsEqualIID(riid, IID_IPersistStorage))
            p = static_cast<IPersistStorage*>(&c);
        else if (IsEqualIID(riid, IID_IDataObject))
            p = static_cast<IDataObject*>(&c);
        else if (IsEqualIID(riid, IID_IProvideClassInfo) || IsEqualIID(riid, IID_IProvideClassInfo2))
            p = static_cast<IProvideClassInfo2*>(&c);
        else if (IsEqualIID(riid, IID_IConnectionPointContainer))
            p = static_cast<IConnectionPointContainer*>(&c);
        else if (IsEqualIID(riid, IID_ISupportErrorInfo))
            p = static_cast<ISupportErrorInfo*>(&c);
        *ppv = p;
        if (!p)
            return E_NOINTERFACE;
        p->AddRef();
        return S_OK;
    });
}

STDMETHODIMP_(ULONG) CVexCtl3::CInnerUnknown::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&m_control.m_cRef));
}

STDMETHODIMP_(ULONG) CVexCtl3::CInnerUnknown::Release()
{
    const LONG cRef = InterlockedDecrement(&m_control.m_cRef);
    if (cRef == 0)
        delete &m_control;
    return static_cast<ULONG>(cRef);
}

// --- IDispatch ------------------------------------------------------------------------

HRESULT CVexCtl3::TypeInfoOf(REFGUID guid, ITypeInfo** ppTypeInfo)
{
    // The type library is a resource of this very module, so dispatch works
    // whether or not the library has been registered.
    char szPath[MAX_PATH];
    const DWORD cch = GetModuleFileNameA(ThisModule(), szPath, sizeof(szPath));
    if (cch == 0 || cch >= sizeof(szPath))
        return TYPE_E_CANTLOADLIBRARY;
    CBstr path;
    if (!AnsiToBstr(szPath, path))
        return E_OUTOFMEMORY;
    CComPtr<ITypeLib> typeLib;
    HRESULT hr = LoadTypeLibEx(path.Get(), REGKIND_NONE, typeLib.Receive());
    if (SUCCEEDED(hr))
        hr = typeLib->GetTypeInfoOfGuid(guid, ppTypeInfo);
    return hr;
}

STDMETHODIMP CVexCtl3::GetTypeInfoCount(UINT* pctinfo)
{
    return ComBoundary([&]() -> HRESULT {
        if (!pctinfo)
            return E_POINTER;
        *pctinfo = 1;
        return S_OK;
    });
}

STDMETHODIMP CVexCtl3::GetTypeInfo(UINT iTInfo, LCID, ITypeInfo** ppTInfo)
{
    return ComBoundary([&]() -> HRESULT {
        if (!ppTInfo)
            return E_POINTER;
        *ppTInfo = nullptr;
        if (iTInfo != 0)
            return DISP_E_BADINDEX;
        if (!m_typeInfo)
        {
            const HRESULT hr = TypeInfoOf(IID_IVexCtl3, m_typeInfo.Receive());
            if (FAILED(hr))
                return hr;
        }
        *ppTInfo = m_typeInfo.Get();
        (*ppTInfo)->AddRef();
        return S_OK;
    });
}

STDMETHODIMP CVexCtl3::GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId)
{
    return ComBoundary([&]() -> HRESULT {
        if (!IsEqualIID(riid, IID_NULL))
            return DISP_E_UNKNOWNINTERFACE;
        CComPtr<ITypeInfo> typeInfo;
        const HRESULT hr = GetTypeInfo(0, lcid, typeInfo.Receive());
        if (FAILED(hr))
            return hr;
        return DispGetIDsOfNames(typeInfo.Get(), rgszNames, cNames, rgDispId);
    });
}

STDMETHODIMP CVexCtl3::Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                              VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr)
{
    return ComBoundary([&]() -> HRESULT {
        if (!IsEqualIID(riid, IID_NULL))
            return DISP_E_UNKNOWNINTERFACE;
        CComPtr<ITypeInfo> typeInfo;
        const HRESULT hr = GetTypeInfo(0, lcid, typeInfo.Receive());
        if (FAILED(hr))
            return hr;
        // Error information present after the call is the member's own.
        SetErrorInfo(0, nullptr);
        const HRESULT hrCall = DispInvoke(static_cast<IVexCtl3*>(this), typeInfo.Get(), dispIdMember, wFlags,
                                          pDispParams, pVarResult, pExcepInfo, puArgErr);
        return ExceptionForScripts(hrCall, pExcepInfo);
    });
}

// --- IVexCtl3 ----------------------------------------------------------------------

template <typename Body>
HRESULT CVexCtl3::Member(Body&& body)
{
    return Member(std::forward<Body>(body), [] {});
}

template <typename Body, typename Interrupted>
HRESULT CVexCtl3::Member(Body&& body, Interrupted&& interrupted)
{
    AddRef();
    m_refusal.clear();
    HRESULT hr = ComBoundary(std::forward<Body>(body), std::forward<Interrupted>(interrupted));
    if (FAILED(hr))
        hr = Described(hr);
    // Last: this may be the last reference.
    Release();
    return hr;
}

HRESULT CVexCtl3::Refuse(HRESULT hr, const std::string& sentence)
{
    m_refusal = sentence;
    return hr;
}

HRESULT CVexCtl3::RefuseUrl(long lDetail)
{
    RecordRefusedUrl(lDetail);
    return Refuse(E_INVALIDARG, LastFetchErrorText());
}

STDMETHODIMP CVexCtl3::AboutBox()
{
    return Member([&]() -> HRESULT {
        // Whatever the box answers, and also when it cannot be shown.
        ShowAboutBox(GetActiveWindow());
        return S_OK;
    });
}

STDMETHODIMP CVexCtl3::get_LastError(long* pVal)
{
    return Member([&]() -> HRESULT {
        if (!pVal)
            return E_POINTER;
        *pVal = m_lLastError;
        return S_OK;
    });
}

STDMETHODIMP CVexCtl3::get_Version(BSTR* pVal)
{
    return Member([&]() -> HRESULT {
        if (!pVal)
            return E_POINTER;
        CAnsiString version;
        LoadModuleString(IDS_VexCtlVersion, version);
        CBstr result;
        if (!version.IsNull())
            AnsiToBstr(version.Get(), result);
        *pVal = result.Detach();
        return S_OK;
    });
}

STDMETHODIMP CVexCtl3::FetchRemoteHTTP(BSTR sHost, BSTR sFilePath, short nsPort, VARIANT_BOOL* bCompleted)
{
    return Member([&]() -> HRESULT {
        if (!bCompleted)
            return E_POINTER;
        *bCompleted = VARIANT_FALSE;
        if (!sHost || !sFilePath)
            return Refuse(E_INVALIDARG, "FetchRemoteHTTP needs a host and a file path.");
        const CAnsiArgument host(sHost);
        CAnsiString path;
        ClassicHttpPath(sFilePath, path);
        // The port keeps its sign: -1 reaches the engine as -1.
        *bCompleted = ToVariantBool(FetchRemoteFile(host.Get(), path.Get(), nullptr, nullptr, nsPort, kProtocolHTTP));
        return S_OK;
    },
                       [this] { RecordInterruptedFetch(); });
}

STDMETHODIMP CVexCtl3::FetchRemoteFTP(BSTR sHost, BSTR sFilePath, BSTR sUsername, BSTR sPassword, short nsPort,
                                      VARIANT_BOOL* bCompleted)
{
    return Member([&]() -> HRESULT {
        if (!bCompleted)
            return E_POINTER;
        *bCompleted = VARIANT_FALSE;
        if (!sHost || !sFilePath || !sUsername || !sPassword)
            return Refuse(E_INVALIDARG, "FetchRemoteFTP needs a host, a file path, a user name and a password.");
        const CAnsiArgument host(sHost), path(sFilePath), user(sUsername), password(sPassword);
        // The same path in UTF-8, for a server that takes UTF-8 paths.
        std::string utf8Path;
        const bool bUtf8 = BstrToUtf8(sFilePath, kMaxFtpPathCharacters, utf8Path);
        *bCompleted = ToVariantBool(FetchRemoteFile(host.Get(), path.Get(), user.Get(), password.Get(), nsPort, 0,
                                                    bUtf8 ? utf8Path.c_str() : nullptr));
        return S_OK;
    },
                       [this] { RecordInterruptedFetch(); });
}

STDMETHODIMP CVexCtl3::IsInternetConnected(VARIANT_BOOL* bIsConnected)
{
    return Member([&]() -> HRESULT {
        if (!bIsConnected)
            return E_POINTER;
        *bIsConnected = ToVariantBool(CVexEngine::IsInternetConnected());
        return S_OK;
    });
}

STDMETHODIMP CVexCtl3::FetchURL(BSTR sURL, VARIANT_BOOL* bCompleted)
{
    return Member([&]() -> HRESULT {
        if (!bCompleted)
            return E_POINTER;
        *bCompleted = VARIANT_FALSE;
        // A URL that cannot be read is refused before anything is sent, as a
        // missing string is.
        std::string text;
        url::Url target;
        if (!sURL || !BstrToUtf8(sURL, url::kMaxUrlLength, text))
            return RefuseUrl(VEXDET_URL_NOT_TEXT);
        const url::UrlError error = url::ParseUrl(text.c_str(), &target, InternationalHostToAscii);
        if (error != url::UrlError::kNone)
            return RefuseUrl(UrlRefusalDetail(error));
        url::ExpectedHash expected;
        if (!url::ReadHashFragment(target.fragment, &expected))
            return RefuseUrl(VEXDET_URL_BAD_DIGEST);
        *bCompleted = ToVariantBool(CVexEngine::FetchURL(target, expected));
        return S_OK;
    },
                       [this] { RecordInterruptedFetch(); });
}

STDMETHODIMP CVexCtl3::get_LastFetchError(long* pVal)
{
    return Member([&]() -> HRESULT {
        if (!pVal)
            return E_POINTER;
        *pVal = LastFetchError();
        return S_OK;
    });
}

STDMETHODIMP CVexCtl3::get_LastFetchErrorDetail(long* pVal)
{
    return Member([&]() -> HRESULT {
        if (!pVal)
            return E_POINTER;
        *pVal = LastFetchErrorDetail();
        return S_OK;
    });
}

STDMETHODIMP CVexCtl3::get_LastFetchErrorText(BSTR* pVal)
{
    return Member([&]() -> HRESULT {
        if (!pVal)
            return E_POINTER;
        CBstr result;
        Utf8ToBstr(LastFetchErrorText().c_str(), result);
        *pVal = result.Detach();
        return S_OK;
    });
}

STDMETHODIMP CVexCtl3::get_LastFetchedFile(BSTR* pVal)
{
    return Member([&]() -> HRESULT {
        if (!pVal)
            return E_POINTER;
        CBstr result;
        WideToBstr(LastFetchedFile(), result);
        *pVal = result.Detach();
        return S_OK;
    });
}

STDMETHODIMP CVexCtl3::get_FetchBytesReceived(double* pVal)
{
    return Member([&]() -> HRESULT {
        if (!pVal)
            return E_POINTER;
        *pVal = FetchBytesReceived();
        return S_OK;
    });
}

STDMETHODIMP CVexCtl3::get_FetchBytesExpected(double* pVal)
{
    return Member([&]() -> HRESULT {
        if (!pVal)
            return E_POINTER;
        *pVal = FetchBytesExpected();
        return S_OK;
    });
}

STDMETHODIMP CVexCtl3::CancelFetch()
{
    return Member([&]() -> HRESULT {
        CVexEngine::CancelFetch();
        return S_OK;
    });
}

STDMETHODIMP CVexCtl3::get_TimeoutSeconds(long* pVal)
{
    return Member([&]() -> HRESULT {
        if (!pVal)
            return E_POINTER;
        *pVal = static_cast<long>(TimeoutSeconds());
        return S_OK;
    });
}

STDMETHODIMP CVexCtl3::put_TimeoutSeconds(long newVal)
{
    return Member([&]() -> HRESULT {
        if (!SetTimeoutSeconds(newVal))
            return Refuse(E_INVALIDARG, "TimeoutSeconds takes " + std::to_string(kMinTimeoutSeconds) + " to " +
                                            std::to_string(kMaxTimeoutSeconds) + " seconds, not " +
                                            std::to_string(newVal) + ".");
        return S_OK;
    });
}

STDMETHODIMP CVexCtl3::get_LastFetchedFileSHA256(BSTR* pVal)
{
    return Member([&]() -> HRESULT {
        if (!pVal)
            return E_POINTER;
        CBstr result;
        AnsiToBstr(LastFetchedFileSha256().c_str(), result);
        *pVal = result.Detach();
        return S_OK;
    });
}
