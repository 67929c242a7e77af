// The control object linked directly: its interfaces and identity,
// aggregation, the dual interface through the vtable and through IDispatch,
// the fixed extent, persistence, drawing, and what it tells the container's
// site as the focus comes and goes.
#include "VexCtl3.h"

#include "Module.h"

#include "CallerTrace.h"
#include "ComTest.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <ole2.h>

#include <string>
#include <vector>

namespace {

const auto* const g_apartment = ::testing::AddGlobalTestEnvironment(new CComApartment);

template <typename T>
CComPtr<T>& QueryInto(IUnknown* pUnk, REFIID riid, CComPtr<T>& out)
{
    pUnk->QueryInterface(riid, reinterpret_cast<void**>(out.Receive()));
    return out;
}

CComPtr<IUnknown>& NewControl(CComPtr<IUnknown>& control, const CCallerTrace& = {})
{
    EXPECT_EQ(CreateVexCtl3(nullptr, IID_IUnknown, reinterpret_cast<void**>(control.Receive())), S_OK);
    return control;
}

TEST(VexCtl3Identity, AnswersEveryListedInterfaceWithOneIdentity)
{
    CComPtr<IUnknown> control;
    ASSERT_TRUE(NewControl(control));
    const IID* listed[] = {
        &IID_IVexCtl3, &IID_IDispatch, &IID_IViewObjectEx, &IID_IViewObject2, &IID_IViewObject,
        &IID_IOleInPlaceObjectWindowless, &IID_IOleInPlaceObject, &IID_IOleWindow, &IID_IOleInPlaceActiveObject,
        &IID_IOleControl, &IID_IOleObject, &IID_IPersistStreamInit, &IID_IPersist, &IID_ISpecifyPropertyPages,
        &IID_IQuickActivate, &IID_IPersistStorage, &IID_IDataObject, &IID_IProvideClassInfo,
        &IID_IProvideClassInfo2, &IID_IConnectionPointContainer, &IID_ISupportErrorInfo,
    };
    for (const IID* iid : listed)
    {
        CComPtr<IUnknown> itf;
        ASSERT_EQ(control->QueryInterface(*iid, reinterpret_cast<void**>(itf.Receive())), S_OK);
        CComPtr<IUnknown> identity;
        ASSERT_EQ(itf->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(identity.Receive())), S_OK);
        EXPECT_EQ(identity.Get(), control.Get());
    }
    const IID* refused[] = {&IID_IPersistPropertyBag, &IID_IClassFactory, &IID_IOleCache};
    for (const IID* iid : refused)
    {
        void* p = reinterpret_cast<void*>(1);
        EXPECT_EQ(control->QueryInterface(*iid, &p), E_NOINTERFACE);
        EXPECT_EQ(p, nullptr);
    }
}

TEST(VexCtl3Identity, EveryLiveControlLocksTheModule)
{
    const LONG before = module::LockCount();
    {
        CComPtr<IUnknown> first, second;
        NewControl(first);
        NewControl(second);
        EXPECT_EQ(module::LockCount(), before + 2);
    }
    EXPECT_EQ(module::LockCount(), before);
}

// An outer object that aggregates the control and counts its own references.
class COuter final : public IUnknown
{
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (IsEqualIID(riid, IID_IUnknown))
        {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        return m_inner->QueryInterface(riid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_cRef; }
    STDMETHODIMP_(ULONG) Release() override { return --m_cRef; }

    ULONG m_cRef = 1;
    CComPtr<IUnknown> m_inner;
};

TEST(VexCtl3Aggregation, InterfacesDelegateToTheOuterObject)
{
    COuter outer;
    void* p = nullptr;
    EXPECT_EQ(CreateVexCtl3(&outer, IID_IVexCtl3, &p), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(p, nullptr);
    ASSERT_EQ(CreateVexCtl3(&outer, IID_IUnknown, reinterpret_cast<void**>(outer.m_inner.Receive())), S_OK);

    IVexCtl3* pControl = nullptr;
    ASSERT_EQ(outer.QueryInterface(IID_IVexCtl3, reinterpret_cast<void**>(&pControl)), S_OK);
    EXPECT_EQ(outer.m_cRef, 2u); // the reference went to the outer object
    IUnknown* pIdentity = nullptr;
    ASSERT_EQ(pControl->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&pIdentity)), S_OK);
    EXPECT_EQ(pIdentity, static_cast<IUnknown*>(&outer));
    pIdentity->Release();
    pControl->Release();
    EXPECT_EQ(outer.m_cRef, 1u);
}

TEST(VexCtl3Dispatch, MembersThroughTheVtable)
{
    CComPtr<IUnknown> control;
    CComPtr<IVexCtl3> vex;
    ASSERT_TRUE(QueryInto(NewControl(control).Get(), IID_IVexCtl3, vex));
    long lastError = -1;
    EXPECT_EQ(vex->get_LastError(&lastError), S_OK);
    EXPECT_EQ(lastError, 0);
    BSTR version = nullptr;
    EXPECT_EQ(vex->get_Version(&version), S_OK);
    ASSERT_NE(version, nullptr);
    EXPECT_STREQ(version, L"3.0 Build 2631");
    SysFreeString(version);
    BSTR fetched = nullptr;
    EXPECT_EQ(vex->get_LastFetchedFile(&fetched), S_OK);
    EXPECT_STREQ(fetched, L"");
    SysFreeString(fetched);

    // Missing strings are refused before anything happens.
    VARIANT_BOOL bCompleted = VARIANT_TRUE;
    BSTR host = SysAllocString(L"127.0.0.1");
    EXPECT_EQ(vex->FetchRemoteHTTP(nullptr, host, 80, &bCompleted), E_INVALIDARG);
    EXPECT_EQ(bCompleted, VARIANT_FALSE);
    bCompleted = VARIANT_TRUE;
    EXPECT_EQ(vex->FetchRemoteFTP(host, host, nullptr, host, 21, &bCompleted), E_INVALIDARG);
    EXPECT_EQ(bCompleted, VARIANT_FALSE);
    SysFreeString(host);
    EXPECT_EQ(vex->FetchRemoteHTTP(nullptr, nullptr, 80, nullptr), E_POINTER);
}

TEST(VexCtl3Dispatch, NamesAndDispidsThroughIDispatch)
{
    CComPtr<IUnknown> control;
    CComPtr<IDispatch> dispatch;
    ASSERT_TRUE(QueryInto(NewControl(control).Get(), IID_IDispatch, dispatch));
    const struct { const wchar_t* name; DISPID id; } members[] = {
        {L"AboutBox", -552}, {L"LastError", 7}, {L"Version", 24}, {L"FetchRemoteHTTP", 43},
        {L"FetchRemoteFTP", 44}, {L"IsInternetConnected", 45}, {L"LastFetchedFile", 46},
    };
    for (const auto& member : members)
    {
        LPOLESTR name = const_cast<LPOLESTR>(member.name);
        DISPID id = 0;
        ASSERT_EQ(dispatch->GetIDsOfNames(IID_NULL, &name, 1, 0x0409, &id), S_OK);
        EXPECT_EQ(id, member.id);
    }
    LPOLESTR unknown = const_cast<LPOLESTR>(L"NoSuchMember");
    DISPID id = 0;
    EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, &unknown, 1, 0x0409, &id), DISP_E_UNKNOWNNAME);

    DISPPARAMS none = {};
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(dispatch->Invoke(24, IID_NULL, 0x0409, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr), S_OK);
    ASSERT_EQ(result.vt, VT_BSTR);
    EXPECT_STREQ(result.bstrVal, L"3.0 Build 2631");
    VariantClear(&result);
    ASSERT_EQ(dispatch->Invoke(7, IID_NULL, 0x0409, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr), S_OK);
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(result.lVal, 0);

    // A null string through Invoke reaches the member and is refused there,
    // and Invoke reports the refusal as an exception.
    VARIANT args[3];
    args[2].vt = VT_BSTR;
    args[2].bstrVal = nullptr;
    args[1].vt = VT_BSTR;
    args[1].bstrVal = nullptr;
    args[0].vt = VT_I2;
    args[0].iVal = 80;
    DISPPARAMS params = {args, nullptr, 3, 0};
    EXCEPINFO exception = {};
    EXPECT_EQ(dispatch->Invoke(43, IID_NULL, 0x0409, DISPATCH_METHOD, &params, &result, &exception, nullptr),
              DISP_E_EXCEPTION);
    // Numbered as scripts number a refused argument: their error 5.
    EXPECT_EQ(exception.scode, CTL_E_ILLEGALFUNCTIONCALL);
    EXPECT_STREQ(exception.bstrSource, L"Vexa3.VexCtl3.1");
    EXPECT_NE(exception.bstrDescription, nullptr);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);

    UINT count = 0;
    EXPECT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
}

TEST(VexCtl3Extent, OnlyTheNaturalSizeIsAccepted)
{
    CComPtr<IUnknown> control;
    CComPtr<IOleObject> ole;
    ASSERT_TRUE(QueryInto(NewControl(control).Get(), IID_IOleObject, ole));
    SIZEL size = {};
    ASSERT_EQ(ole->GetExtent(DVASPECT_CONTENT, &size), S_OK);
    HDC hdc = GetDC(nullptr);
    const int dpiX = GetDeviceCaps(hdc, LOGPIXELSX);
    ReleaseDC(nullptr, hdc);
    EXPECT_EQ(size.cx, MulDiv(GetSystemMetrics(SM_CXICON) + 4, 2540, dpiX));
    EXPECT_EQ(ole->SetExtent(DVASPECT_CONTENT, &size), S_OK);
    SIZEL larger = {size.cx + 100, size.cy};
    EXPECT_EQ(ole->SetExtent(DVASPECT_CONTENT, &larger), E_FAIL);
    EXPECT_EQ(ole->SetExtent(DVASPECT_ICON, &size), DV_E_DVASPECT);
    EXPECT_EQ(ole->GetExtent(DVASPECT_THUMBNAIL, &size), DV_E_DVASPECT);
    DWORD misc = 0;
    EXPECT_EQ(ole->GetMiscStatus(DVASPECT_CONTENT, &misc), S_OK);
    EXPECT_EQ(misc, 132497u);
}

TEST(VexCtl3Persistence, StreamRoundTripIsTwelveBytesAndInitialisesOnce)
{
    CComPtr<IUnknown> control;
    CComPtr<IPersistStreamInit> persist;
    ASSERT_TRUE(QueryInto(NewControl(control).Get(), IID_IPersistStreamInit, persist));
    CLSID clsid;
    EXPECT_EQ(persist->GetClassID(&clsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_VexCtl3));
    EXPECT_EQ(persist->InitNew(), S_OK);
    EXPECT_EQ(persist->InitNew(), E_UNEXPECTED);

    CComPtr<IStream> stream;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.Receive()), S_OK);
    ASSERT_EQ(persist->Save(stream.Get(), TRUE), S_OK);
    STATSTG stat = {};
    stream->Stat(&stat, STATFLAG_NONAME);
    EXPECT_EQ(stat.cbSize.QuadPart, 12u);
    LARGE_INTEGER zero = {};
    stream->Seek(zero, STREAM_SEEK_SET, nullptr);
    BYTE bytes[12] = {};
    ULONG cbRead = 0;
    stream->Read(bytes, sizeof(bytes), &cbRead);
    EXPECT_EQ(bytes[0], 0x00);
    EXPECT_EQ(bytes[1], 0x03);
    SIZEL size = {};
    CComPtr<IOleObject> ole;
    QueryInto(control.Get(), IID_IOleObject, ole)->GetExtent(DVASPECT_CONTENT, &size);
    EXPECT_EQ(bytes[4] | bytes[5] << 8 | bytes[6] << 16 | bytes[7] << 24, size.cx);

    // A second object loads it once; a second Load is refused.
    CComPtr<IUnknown> other;
    CComPtr<IPersistStreamInit> otherPersist;
    QueryInto(NewControl(other).Get(), IID_IPersistStreamInit, otherPersist);
    stream->Seek(zero, STREAM_SEEK_SET, nullptr);
    EXPECT_EQ(otherPersist->Load(stream.Get()), S_OK);
    stream->Seek(zero, STREAM_SEEK_SET, nullptr);
    EXPECT_EQ(otherPersist->Load(stream.Get()), E_UNEXPECTED);
    EXPECT_EQ(otherPersist->InitNew(), E_UNEXPECTED);
}

TEST(VexCtl3Persistence, LaterStreamVersionIsRefused)
{
    CComPtr<IUnknown> control;
    CComPtr<IPersistStreamInit> persist;
    QueryInto(NewControl(control).Get(), IID_IPersistStreamInit, persist);
    CComPtr<IStream> stream;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.Receive()), S_OK);
    const BYTE later[12] = {0x01, 0x03, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
    stream->Write(later, sizeof(later), nullptr);
    LARGE_INTEGER zero = {};
    stream->Seek(zero, STREAM_SEEK_SET, nullptr);
    EXPECT_EQ(persist->Load(stream.Get()), E_FAIL);
}

TEST(VexCtl3Persistence, StorageKeepsTheStreamInContents)
{
    CComPtr<IUnknown> control;
    CComPtr<IPersistStorage> persist;
    ASSERT_TRUE(QueryInto(NewControl(control).Get(), IID_IPersistStorage, persist));
    CComPtr<ILockBytes> bytes;
    ASSERT_EQ(CreateILockBytesOnHGlobal(nullptr, TRUE, bytes.Receive()), S_OK);
    CComPtr<IStorage> storage;
    ASSERT_EQ(StgCreateDocfileOnILockBytes(bytes.Get(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0,
                                           storage.Receive()),
              S_OK);
    EXPECT_EQ(persist->InitNew(storage.Get()), S_OK);
    EXPECT_EQ(persist->Save(storage.Get(), TRUE), S_OK);
    CComPtr<IStream> contents;
    ASSERT_EQ(storage->OpenStream(L"Contents", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, contents.Receive()),
              S_OK);
    STATSTG stat = {};
    contents->Stat(&stat, STATFLAG_NONAME);
    EXPECT_EQ(stat.cbSize.QuadPart, 12u);
    contents.Reset();

    CComPtr<IUnknown> other;
    CComPtr<IPersistStorage> otherPersist;
    QueryInto(NewControl(other).Get(), IID_IPersistStorage, otherPersist);
    EXPECT_EQ(otherPersist->Load(storage.Get()), S_OK);
    EXPECT_EQ(otherPersist->Load(storage.Get()), E_UNEXPECTED);
}

TEST(VexCtl3View, DrawsFaceInsideARedFrame)
{
    CComPtr<IUnknown> control;
    CComPtr<IViewObject> view;
    ASSERT_TRUE(QueryInto(NewControl(control).Get(), IID_IViewObject, view));
    HDC hdcScreen = GetDC(nullptr);
    HDC hdc = CreateCompatibleDC(hdcScreen);
    HBITMAP hBitmap = CreateCompatibleBitmap(hdcScreen, 60, 60);
    ReleaseDC(nullptr, hdcScreen);
    HGDIOBJ hOld = SelectObject(hdc, hBitmap);
    RECT white = {0, 0, 60, 60};
    FillRect(hdc, &white, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    const RECTL bounds = {5, 5, 45, 45};
    ASSERT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, hdc, &bounds, nullptr, nullptr, 0), S_OK);
    EXPECT_EQ(view->Draw(DVASPECT_ICON, -1, nullptr, nullptr, nullptr, hdc, &bounds, nullptr, nullptr, 0),
              DV_E_DVASPECT);

    EXPECT_EQ(GetPixel(hdc, 5, 20), RGB(255, 0, 0));     // left frame
    EXPECT_EQ(GetPixel(hdc, 44, 20), RGB(255, 0, 0));    // right frame
    EXPECT_EQ(GetPixel(hdc, 20, 5), RGB(255, 0, 0));     // top frame
    EXPECT_EQ(GetPixel(hdc, 43, 43), GetSysColor(COLOR_BTNFACE)); // inside, beyond a 32-pixel icon at +2
    EXPECT_EQ(GetPixel(hdc, 5 + 2, 5 + 2), GetSysColor(COLOR_BTNFACE)); // the icon's transparent corner
    EXPECT_EQ(GetPixel(hdc, 5 + 2 + 16, 5 + 2 + 6), RGB(0, 0, 255));    // the icon's disc, drawn at +2, +2
    EXPECT_EQ(GetPixel(hdc, 50, 50), RGB(255, 255, 255)); // outside untouched
    EXPECT_EQ(GetMapMode(hdc), MM_TEXT);

    SelectObject(hdc, hOld);
    DeleteObject(hBitmap);
    DeleteDC(hdc);

    CComPtr<IViewObjectEx> viewEx;
    DWORD status = 0;
    QueryInto(control.Get(), IID_IViewObjectEx, viewEx)->GetViewStatus(&status);
    EXPECT_EQ(status, static_cast<DWORD>(VIEWSTATUS_OPAQUE));
}

TEST(VexCtl3Info, ClassInfoAndNoPropertyPages)
{
    CComPtr<IUnknown> control;
    CComPtr<IProvideClassInfo2> info;
    ASSERT_TRUE(QueryInto(NewControl(control).Get(), IID_IProvideClassInfo2, info));
    CComPtr<ITypeInfo> typeInfo;
    ASSERT_EQ(info->GetClassInfo(typeInfo.Receive()), S_OK);
    TYPEATTR* pAttr = nullptr;
    ASSERT_EQ(typeInfo->GetTypeAttr(&pAttr), S_OK);
    EXPECT_EQ(pAttr->typekind, TKIND_COCLASS);
    EXPECT_TRUE(IsEqualGUID(pAttr->guid, CLSID_VexCtl3));
    typeInfo->ReleaseTypeAttr(pAttr);
    GUID guid;
    ASSERT_EQ(info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &guid), S_OK);
    EXPECT_TRUE(IsEqualGUID(guid, DIID__IVexCtl3Events));
    // The class's default source in its type information, where WithEvents
    // looks, and a connection point for it.
    bool bSourceFound = false;
    for (UINT i = 0; i < 2; ++i)
    {
        INT flags = 0;
        HREFTYPE ref = 0;
        CComPtr<ITypeInfo> implemented;
        if (typeInfo->GetImplTypeFlags(i, &flags) != S_OK || flags != (IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE) ||
            typeInfo->GetRefTypeOfImplType(i, &ref) != S_OK ||
            typeInfo->GetRefTypeInfo(ref, implemented.Receive()) != S_OK ||
            implemented->GetTypeAttr(&pAttr) != S_OK)
            continue;
        bSourceFound = IsEqualGUID(pAttr->guid, DIID__IVexCtl3Events) && pAttr->typekind == TKIND_DISPATCH;
        implemented->ReleaseTypeAttr(pAttr);
    }
    EXPECT_TRUE(bSourceFound);
    CComPtr<IConnectionPointContainer> points;
    CComPtr<IConnectionPoint> point;
    EXPECT_EQ(QueryInto(control.Get(), IID_IConnectionPointContainer, points)->FindConnectionPoint(guid, point.Receive()),
              S_OK);

    CComPtr<ISpecifyPropertyPages> pages;
    CAUUID cauuid = {5, nullptr};
    EXPECT_EQ(QueryInto(control.Get(), IID_ISpecifyPropertyPages, pages)->GetPages(&cauuid), S_OK);
    EXPECT_EQ(cauuid.cElems, 0u);
}

// The smallest container site that lets the control activate in place in a
// frame window of the test's, recording what the control tells it.
class CRecordingSite final : public IOleClientSite, public IOleInPlaceSite, public IOleControlSite
{
public:
    explicit CRecordingSite(HWND hwndFrame) : m_hwndFrame(hwndFrame) {}

    // What the control told the site since the last call.
    std::vector<std::string> Take()
    {
        std::vector<std::string> told;
        told.swap(m_told);
        return told;
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleClientSite))
            *ppv = static_cast<IOleClientSite*>(this);
        else if (IsEqualIID(riid, IID_IOleWindow) || IsEqualIID(riid, IID_IOleInPlaceSite))
            *ppv = static_cast<IOleInPlaceSite*>(this);
        else if (IsEqualIID(riid, IID_IOleControlSite))
            *ppv = static_cast<IOleControlSite*>(this);
        else
        {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_cRef; }
    STDMETHODIMP_(ULONG) Release() override { return --m_cRef; }

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** ppmk) override
    {
        *ppmk = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetContainer(IOleContainer** ppContainer) override
    {
        *ppContainer = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleInPlaceSite
    STDMETHODIMP GetWindow(HWND* phwnd) override
    {
        *phwnd = m_hwndFrame;
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnInPlaceActivate() override { return Tell("OnInPlaceActivate"); }
    STDMETHODIMP OnUIActivate() override { return Tell("OnUIActivate"); }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** ppFrame, IOleInPlaceUIWindow** ppDoc, LPRECT prcPos,
                                  LPRECT prcClip, LPOLEINPLACEFRAMEINFO pFrameInfo) override
    {
        *ppFrame = nullptr;
        *ppDoc = nullptr;
        SetRect(prcPos, 10, 10, 50, 50);
        *prcClip = *prcPos;
        pFrameInfo->fMDIApp = FALSE;
        pFrameInfo->hwndFrame = m_hwndFrame;
        pFrameInfo->haccel = nullptr;
        pFrameInfo->cAccelEntries = 0;
        return S_OK;
    }
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return Tell("OnUIDeactivate"); }
    STDMETHODIMP OnInPlaceDeactivate() override { return Tell("OnInPlaceDeactivate"); }
    STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
    STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
    STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

    // IOleControlSite
    STDMETHODIMP OnControlInfoChanged() override { return S_OK; }
    STDMETHODIMP LockInPlaceActive(BOOL) override { return S_OK; }
    STDMETHODIMP GetExtendedControl(IDispatch** ppDisp) override
    {
        *ppDisp = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP TransformCoords(POINTL*, POINTF*, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP TranslateAccelerator(MSG*, DWORD) override { return S_FALSE; }
    STDMETHODIMP OnFocus(BOOL fGotFocus) override { return Tell(fGotFocus ? "OnFocus(TRUE)" : "OnFocus(FALSE)"); }
    STDMETHODIMP ShowPropertyFrame() override { return E_NOTIMPL; }

private:
    HRESULT Tell(const char* pszCall)
    {
        m_told.push_back(pszCall);
        return S_OK;
    }

    ULONG m_cRef = 1;
    HWND m_hwndFrame;
    std::vector<std::string> m_told;
};

// A window of the test's container, destroyed when it goes.
class CWindow
{
public:
    CWindow(DWORD style, HWND hwndParent, int x)
        : m_hwnd(CreateWindowExA(0, "STATIC", "", style | WS_VISIBLE, x, 0, 200, 100, hwndParent, nullptr,
                                 GetModuleHandleA(nullptr), nullptr))
    {
    }
    ~CWindow() { DestroyWindow(m_hwnd); }
    CWindow(const CWindow&) = delete;
    CWindow& operator=(const CWindow&) = delete;
    HWND Get() const { return m_hwnd; }

private:
    HWND m_hwnd;
};

// The container learns through IOleControlSite::OnFocus that the focus came to
// the control or left it, while the control is active in place; focus that
// moves into a window inside the control stays with the control, and a control
// that deactivates tells of no focus after that.
TEST(VexCtl3Focus, TellsTheSiteWhileActiveInPlace)
{
    enum class Move { kToControl, kToOther, kToChildOfControl, kDeactivate };
    struct Step
    {
        Move move;
        std::vector<std::string> told;
    };
    const struct
    {
        const char* name;
        LONG verb;
        std::vector<std::string> toldOnVerb;
        std::vector<Step> steps;
    } scenarios[] = {
        {"in-place activated, then focused",
         OLEIVERB_INPLACEACTIVATE,
         {"OnInPlaceActivate"},
         {
             {Move::kToControl, {"OnUIActivate", "OnFocus(TRUE)"}},
             {Move::kToOther, {"OnFocus(FALSE)"}},
             {Move::kToControl, {"OnFocus(TRUE)"}},
             // Wine hands the focus to the frame as the focused window goes,
             // which sends it WM_KILLFOCUS after it left the in-place state.
             {Move::kDeactivate, {"OnUIDeactivate", "OnInPlaceDeactivate"}},
         }},
        {"UI activated, which focuses it",
         OLEIVERB_UIACTIVATE,
         {"OnInPlaceActivate", "OnUIActivate", "OnFocus(TRUE)"},
         {
             {Move::kToChildOfControl, {}},
             {Move::kDeactivate, {"OnUIDeactivate", "OnInPlaceDeactivate"}},
         }},
    };
    for (const auto& scenario : scenarios)
    {
        SCOPED_TRACE(scenario.name);
        const CWindow frame(WS_OVERLAPPEDWINDOW, nullptr, 0);
        const CWindow other(WS_CHILD, frame.Get(), 100);
        SetFocus(other.Get());
        ASSERT_EQ(GetFocus(), other.Get());
        CRecordingSite site(frame.Get());
        CComPtr<IUnknown> control;
        CComPtr<IOleObject> ole;
        ASSERT_TRUE(QueryInto(NewControl(control).Get(), IID_IOleObject, ole));
        ASSERT_EQ(ole->DoVerb(scenario.verb, nullptr, &site, 0, frame.Get(), nullptr), S_OK);
        EXPECT_EQ(site.Take(), scenario.toldOnVerb);
        CComPtr<IOleInPlaceObject> inPlace;
        HWND hwndControl = nullptr;
        ASSERT_EQ(QueryInto(control.Get(), IID_IOleInPlaceObject, inPlace)->GetWindow(&hwndControl), S_OK);
        for (const Step& step : scenario.steps)
        {
            SCOPED_TRACE("step " + std::to_string(&step - scenario.steps.data()));
            HWND hwndTo = nullptr;
            switch (step.move)
            {
            case Move::kToControl:
                hwndTo = hwndControl;
                break;
            case Move::kToOther:
                hwndTo = other.Get();
                break;
            case Move::kToChildOfControl:
                // Destroyed with the control's window.
                hwndTo = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 0, 0, 5, 5, hwndControl, nullptr,
                                         GetModuleHandleA(nullptr), nullptr);
                break;
            case Move::kDeactivate:
                EXPECT_EQ(inPlace->InPlaceDeactivate(), S_OK);
                EXPECT_FALSE(IsWindow(hwndControl));
                break;
            }
            if (hwndTo)
            {
                SetFocus(hwndTo);
                ASSERT_EQ(GetFocus(), hwndTo);
            }
            EXPECT_EQ(site.Take(), step.told);
        }
    }
}

} // namespace
