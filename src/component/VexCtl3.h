// CVexCtl3: the control object. A thin dual interface over the engine
// (CVexEngine holds what outlives a call), plus the small set of OLE control
// interfaces that containers need: client site, verbs and in-place
// activation with a window of its own, a fixed extent, drawing, advise
// sinks, persistence of its size, and class information; events through a
// connection point, and error descriptions for script hosts.
#pragma once

#include "ComPtr.h"
#include "EventConnectionPoint.h"
#include "FetchEvents.h"
#include "VexEngine.h"
#include "Vexa3.h"

#include <ocidl.h>
#include <olectl.h>
#include <windows.h>

// Creates a control, aggregated in pUnkOuter when given (riid must then be
// IID_IUnknown), and returns its interface riid.
HRESULT CreateVexCtl3(IUnknown* pUnkOuter, REFIID riid, void** ppv);

class CVexCtl3 final : public IVexCtl3,
                       public IViewObjectEx,
                       public IOleInPlaceObjectWindowless,
                       public IOleInPlaceActiveObject,
                       public IOleControl,
                       public IOleObject,
                       public IPersistStreamInit,
                       public ISpecifyPropertyPages,
                       public IQuickActivate,
                       public IPersistStorage,
                       public IDataObject,
                       public IProvideClassInfo2,
                       public IConnectionPointContainer,
                       public ISupportErrorInfo,
                       public CVexEngine,
                       private IFetchEvents
{
public:
    // Version word at the start of the persisted size stream; a stream of a
    // later version is refused.
    static constexpr DWORD kStreamVersion = 0x0300;
    static constexpr DWORD kMiscStatus = OLEMISC_SETCLIENTSITEFIRST | OLEMISC_INVISIBLEATRUNTIME |
                                         OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_INSIDEOUT |
                                         OLEMISC_CANTLINKINSIDE | OLEMISC_RECOMPOSEONRESIZE;

    // The DISPIDs of _IVexCtl3Events.
    static constexpr DISPID kDispidFetchProgress = 1;
    static constexpr DISPID kDispidFetchDone = 2;

    explicit CVexCtl3(IUnknown* pUnkOuter);
    ~CVexCtl3();
    CVexCtl3(const CVexCtl3&) = delete;
    CVexCtl3& operator=(const CVexCtl3&) = delete;

    IUnknown* InnerUnknown() { return &m_inner; }

    // IUnknown: delegates to the controlling unknown.
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IDispatch
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override;
    STDMETHODIMP GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) override;
    STDMETHODIMP Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                        VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

    // IVexCtl3
    STDMETHODIMP AboutBox() override;
    STDMETHODIMP get_LastError(long* pVal) override;
    STDMETHODIMP get_Version(BSTR* pVal) override;
    STDMETHODIMP FetchRemoteHTTP(BSTR sHost, BSTR sFilePath, short nsPort, VARIANT_BOOL* bCompleted) override;
    STDMETHODIMP FetchRemoteFTP(BSTR sHost, BSTR sFilePath, BSTR sUsername, BSTR sPassword, short nsPort,
                                VARIANT_BOOL* bCompleted) override;
    STDMETHODIMP IsInternetConnected(VARIANT_BOOL* bIsConnected) override;
    STDMETHODIMP get_LastFetchedFile(BSTR* pVal) override;
    STDMETHODIMP FetchURL(BSTR sURL, VARIANT_BOOL* bCompleted) override;
    STDMETHODIMP get_LastFetchError(long* pVal) override;
    STDMETHODIMP get_LastFetchErrorDetail(long* pVal) override;
    STDMETHODIMP get_LastFetchErrorText(BSTR* pVal) override;
    STDMETHODIMP get_FetchBytesReceived(double* pVal) override;
    STDMETHODIMP get_FetchBytesExpected(double* pVal) override;
    STDMETHODIMP CancelFetch() override;
    STDMETHODIMP get_TimeoutSeconds(long* pVal) override;
    STDMETHODIMP put_TimeoutSeconds(long newVal) override;
    STDMETHODIMP get_LastFetchedFileSHA256(BSTR* pVal) override;

    // IConnectionPointContainer
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override;
    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

    // ISupportErrorInfo
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override;

    // IViewObject, IViewObject2, IViewObjectEx
    STDMETHODIMP Draw(DWORD dwDrawAspect, LONG lindex, void* pvAspect, DVTARGETDEVICE* ptd, HDC hdcTargetDev,
                      HDC hdcDraw, LPCRECTL lprcBounds, LPCRECTL lprcWBounds,
                      BOOL(STDMETHODCALLTYPE* pfnContinue)(ULONG_PTR dwContinue), ULONG_PTR dwContinue) override;
    STDMETHODIMP GetColorSet(DWORD dwDrawAspect, LONG lindex, void* pvAspect, DVTARGETDEVICE* ptd,
                             HDC hicTargetDev, LOGPALETTE** ppColorSet) override;
    STDMETHODIMP Freeze(DWORD dwDrawAspect, LONG lindex, void* pvAspect, DWORD* pdwFreeze) override;
    STDMETHODIMP Unfreeze(DWORD dwFreeze) override;
    STDMETHODIMP SetAdvise(DWORD aspects, DWORD advf, IAdviseSink* pAdvSink) override;
    STDMETHODIMP GetAdvise(DWORD* pAspects, DWORD* pAdvf, IAdviseSink** ppAdvSink) override;
    STDMETHODIMP GetExtent(DWORD dwDrawAspect, LONG lindex, DVTARGETDEVICE* ptd, LPSIZEL lpsizel) override;
    STDMETHODIMP GetRect(DWORD dwAspect, LPRECTL pRect) override;
    STDMETHODIMP GetViewStatus(DWORD* pdwStatus) override;
    STDMETHODIMP QueryHitPoint(DWORD dwAspect, LPCRECT pRectBounds, POINT ptlLoc, LONG lCloseHint,
                               DWORD* pHitResult) override;
    STDMETHODIMP QueryHitRect(DWORD dwAspect, LPCRECT pRectBounds, LPCRECT pRectLoc, LONG lCloseHint,
                              DWORD* pHitResult) override;
    STDMETHODIMP GetNaturalExtent(DWORD dwAspect, LONG lindex, DVTARGETDEVICE* ptd, HDC hicTargetDev,
                                  DVEXTENTINFO* pExtentInfo, LPSIZEL pSizel) override;

    // IOleWindow, IOleInPlaceObject, IOleInPlaceObjectWindowless
    STDMETHODIMP GetWindow(HWND* phwnd) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL fEnterMode) override;
    STDMETHODIMP InPlaceDeactivate() override;
    STDMETHODIMP UIDeactivate() override;
    STDMETHODIMP SetObjectRects(LPCRECT lprcPosRect, LPCRECT lprcClipRect) override;
    STDMETHODIMP ReactivateAndUndo() override;
    STDMETHODIMP OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* plResult) override;
    STDMETHODIMP GetDropTarget(IDropTarget** ppDropTarget) override;

    // IOleInPlaceActiveObject
    STDMETHODIMP TranslateAccelerator(LPMSG lpmsg) override;
    STDMETHODIMP OnFrameWindowActivate(BOOL fActivate) override;
    STDMETHODIMP OnDocWindowActivate(BOOL fActivate) override;
    STDMETHODIMP ResizeBorder(LPCRECT prcBorder, IOleInPlaceUIWindow* pUIWindow, BOOL fFrameWindow) override;
    STDMETHODIMP EnableModeless(BOOL fEnable) override;

    // IOleControl
    STDMETHODIMP GetControlInfo(CONTROLINFO* pCI) override;
    STDMETHODIMP OnMnemonic(MSG* pMsg) override;
    STDMETHODIMP OnAmbientPropertyChange(DISPID dispID) override;
    STDMETHODIMP FreezeEvents(BOOL bFreeze) override;

    // IOleObject
    STDMETHODIMP SetClientSite(IOleClientSite* pClientSite) override;
    STDMETHODIMP GetClientSite(IOleClientSite** ppClientSite) override;
    STDMETHODIMP SetHostNames(LPCOLESTR szContainerApp, LPCOLESTR szContainerObj) override;
    STDMETHODIMP Close(DWORD dwSaveOption) override;
    STDMETHODIMP SetMoniker(DWORD dwWhichMoniker, IMoniker* pmk) override;
    STDMETHODIMP GetMoniker(DWORD dwAssign, DWORD dwWhichMoniker, IMoniker** ppmk) override;
    STDMETHODIMP InitFromData(IDataObject* pDataObject, BOOL fCreation, DWORD dwReserved) override;
    STDMETHODIMP GetClipboardData(DWORD dwReserved, IDataObject** ppDataObject) override;
    STDMETHODIMP DoVerb(LONG iVerb, LPMSG lpmsg, IOleClientSite* pActiveSite, LONG lindex, HWND hwndParent,
                        LPCRECT lprcPosRect) override;
    STDMETHODIMP EnumVerbs(IEnumOLEVERB** ppEnumOleVerb) override;
    STDMETHODIMP Update() override;
    STDMETHODIMP IsUpToDate() override;
    STDMETHODIMP GetUserClassID(CLSID* pClsid) override;
    STDMETHODIMP GetUserType(DWORD dwFormOfType, LPOLESTR* pszUserType) override;
    STDMETHODIMP SetExtent(DWORD dwDrawAspect, SIZEL* psizel) override;
    STDMETHODIMP GetExtent(DWORD dwDrawAspect, SIZEL* psizel) override;
    STDMETHODIMP Advise(IAdviseSink* pAdvSink, DWORD* pdwConnection) override;
    STDMETHODIMP Unadvise(DWORD dwConnection) override;
    STDMETHODIMP EnumAdvise(IEnumSTATDATA** ppenumAdvise) override;
    STDMETHODIMP GetMiscStatus(DWORD dwAspect, DWORD* pdwStatus) override;
    STDMETHODIMP SetColorScheme(LOGPALETTE* pLogpal) override;

    // IPersist, IPersistStreamInit, IPersistStorage
    STDMETHODIMP GetClassID(CLSID* pClassID) override;
    STDMETHODIMP IsDirty() override;
    STDMETHODIMP Load(LPSTREAM pStm) override;
    STDMETHODIMP Save(LPSTREAM pStm, BOOL fClearDirty) override;
    STDMETHODIMP GetSizeMax(ULARGE_INTEGER* pCbSize) override;
    STDMETHODIMP InitNew() override;
    STDMETHODIMP InitNew(IStorage* pStg) override;
    STDMETHODIMP Load(IStorage* pStg) override;
    STDMETHODIMP Save(IStorage* pStgSave, BOOL fSameAsLoad) override;
    STDMETHODIMP SaveCompleted(IStorage* pStgNew) override;
    STDMETHODIMP HandsOffStorage() override;

    // ISpecifyPropertyPages
    STDMETHODIMP GetPages(CAUUID* pPages) override;

    // IQuickActivate
    STDMETHODIMP QuickActivate(QACONTAINER* pQaContainer, QACONTROL* pQaControl) override;
    STDMETHODIMP SetContentExtent(LPSIZEL pSizel) override;
    STDMETHODIMP GetContentExtent(LPSIZEL pSizel) override;

    // IDataObject
    STDMETHODIMP GetData(FORMATETC* pformatetcIn, STGMEDIUM* pmedium) override;
    STDMETHODIMP GetDataHere(FORMATETC* pformatetc, STGMEDIUM* pmedium) override;
    STDMETHODIMP QueryGetData(FORMATETC* pformatetc) override;
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC* pformatectIn, FORMATETC* pformatetcOut) override;
    STDMETHODIMP SetData(FORMATETC* pformatetc, STGMEDIUM* pmedium, BOOL fRelease) override;
    STDMETHODIMP EnumFormatEtc(DWORD dwDirection, IEnumFORMATETC** ppenumFormatEtc) override;
    STDMETHODIMP DAdvise(FORMATETC* pformatetc, DWORD advf, IAdviseSink* pAdvSink, DWORD* pdwConnection) override;
    STDMETHODIMP DUnadvise(DWORD dwConnection) override;
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA** ppenumAdvise) override;

    // IProvideClassInfo, IProvideClassInfo2
    STDMETHODIMP GetClassInfo(ITypeInfo** ppTI) override;
    STDMETHODIMP GetGUID(DWORD dwGuidKind, GUID* pGUID) override;

    // Draws the control: a face-coloured rectangle with a red frame and the
    // icon at +2, +2.
    void DrawControl(HDC hdc, const RECT& bounds) const;

    bool m_bInitialized = false;
    HICON m_hIcon = nullptr;
    SIZEL m_sizeNatural = {};
    SIZEL m_sizeExtent = {};

private:
    // The non-delegating unknown: the object's own identity and count.
    class CInnerUnknown final : public IUnknown
    {
    public:
        explicit CInnerUnknown(CVexCtl3& control) : m_control(control) {}
        STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
        STDMETHODIMP_(ULONG) AddRef() override;
        STDMETHODIMP_(ULONG) Release() override;

    private:
        CVexCtl3& m_control;
    };

    HRESULT InPlaceActivate(LONG iVerb, LPCRECT prcPos);
    HRESULT LoadSize(IStream* pStream);
    HRESULT SaveSize(IStream* pStream);
    void CreateControlWindow(HWND hwndParent, const RECT& position);
    void TellSiteAboutFocus(bool bGotFocus);
    void ViewChanged();
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    HRESULT TypeInfoOf(REFGUID guid, ITypeInfo** ppTypeInfo);

    // IFetchEvents: fired to the sinks unless the container froze events.
    void FetchProgress(double cbReceived, double cbExpected) override;
    void FetchDone(bool bCompleted) override;

    // Runs a member of IVexCtl3: its failure comes with a description for
    // the host (Refuse's sentence, or one that names the HRESULT), and the
    // control lives until the member returns, whatever a handler the member
    // runs does with the host's references.
    template <typename Body>
    HRESULT Member(Body&& body);
    template <typename Body, typename Interrupted>
    HRESULT Member(Body&& body, Interrupted&& interrupted);
    HRESULT Described(HRESULT hr);
    // Fails the member with hr, and this sentence for the host.
    HRESULT Refuse(HRESULT hr, const std::string& sentence);
    // Refuses a URL: recorded as the last fetch's failure, and described.
    HRESULT RefuseUrl(long lDetail);
    // A member's failure as the exception of IDispatch::Invoke, with the
    // description the member left and the error number scripts know.
    static HRESULT ExceptionForScripts(HRESULT hrCall, EXCEPINFO* pExcepInfo);

    LONG m_cRef = 1;
    CInnerUnknown m_inner;
    IUnknown* m_pUnkOuter;
    CComPtr<ITypeInfo> m_typeInfo;
    CComPtr<IOleClientSite> m_clientSite;
    CComPtr<IOleInPlaceSite> m_inPlaceSite;
    CComPtr<IOleAdviseHolder> m_oleAdviseHolder;
    CComPtr<IDataAdviseHolder> m_dataAdviseHolder;
    CComPtr<IAdviseSink> m_viewAdviseSink;
    DWORD m_dwViewAdviseAspects = 0;
    DWORD m_dwViewAdviseFlags = 0;
    HWND m_hwnd = nullptr;
    RECT m_rcPos = {};
    bool m_bInPlaceActive = false;
    bool m_bUIActive = false;
    bool m_bDirty = false;
    CEventConnectionPoint m_events;
    unsigned m_nFrozenEvents = 0;
    std::string m_refusal;
};
