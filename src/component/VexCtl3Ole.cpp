// CVexCtl3 as an OLE control: client site, verbs, in-place activation in a
// window of its own, the fixed extent, and quick activation.
#include "VexCtl3.h"

#include "ComBoundary.h"
#include "ModuleResources.h"

#include <cstdio>

namespace {

bool SameSize(const SIZEL& a, const SIZEL& b)
{
    return a.cx == b.cx && a.cy == b.cy;
}

// 32 bits that name a code address, also in a 64-bit process.
unsigned FoldedAddress(WNDPROC pfn)
{
    const auto value = reinterpret_cast<uintptr_t>(pfn);
    return static_cast<unsigned>(value ^ (value >> 16 >> 16));
}

// The window class, registered on first use under a name made from the
// window procedure's address, so that two builds loaded side by side never
// share a class.
const char* ControlWindowClass(WNDPROC pfnWndProc)
{
    static char s_szClass[32];
    if (!s_szClass[0])
    {
        std::snprintf(s_szClass, sizeof(s_szClass), "ATL:%8.8X",
                      FoldedAddress(pfnWndProc));
        WNDCLASSA wc = {};
        wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
        wc.lpfnWndProc = pfnWndProc;
        wc.hInstance = ThisModule();
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.lpszClassName = s_szClass;
        RegisterClassA(&wc);
    }
    return s_szClass;
}

// What the in-place site tells about where the control sits.
struct CWindowContext
{
    CComPtr<IOleInPlaceFrame> frame;
    CComPtr<IOleInPlaceUIWindow> document;
    RECT rcPos = {};
    RECT rcClip = {};

    explicit CWindowContext(IOleInPlaceSite* pSite)
    {
        OLEINPLACEFRAMEINFO frameInfo = {};
        frameInfo.cb = sizeof(frameInfo);
        pSite->GetWindowContext(frame.Receive(), document.Receive(), &rcPos, &rcClip, &frameInfo);
    }
};

} // namespace

// --- the control's window --------------------------------------------------------------

LRESULT CALLBACK CVexCtl3::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_NCCREATE)
    {
        const auto* pCreate = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(pCreate->lpCreateParams));
    }
    auto* pControl = reinterpret_cast<CVexCtl3*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!pControl)
        return DefWindowProcA(hwnd, msg, wParam, lParam);

    switch (msg)
    {
    case WM_PAINT:
    {
        PAINTSTRUCT ps;
        HDC hdc = BeginPaint(hwnd, &ps);
        RECT rc;
        GetClientRect(hwnd, &rc);
        pControl->DrawControl(hdc, rc);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_MOUSEACTIVATE:
        if (!pControl->m_bUIActive)
            pControl->InPlaceActivate(OLEIVERB_UIACTIVATE, nullptr);
        break;
    case WM_SETFOCUS:
        if (!pControl->m_bUIActive)
            pControl->InPlaceActivate(OLEIVERB_UIACTIVATE, nullptr);
        pControl->TellSiteAboutFocus(true);
        break;
    case WM_KILLFOCUS:
        // Focus that moves to a window inside the control stays with it.
        if (!IsChild(hwnd, reinterpret_cast<HWND>(wParam)))
            pControl->TellSiteAboutFocus(false);
        break;
    case WM_NCDESTROY:
        pControl->m_hwnd = nullptr;
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        break;
    default:
        // Notifications reflected back to the control arrive as OCM_BASE
        // plus the original message; answer them as the plain message.
        if (msg >= OCM__BASE && msg < OCM__BASE + WM_USER)
            return DefWindowProcA(hwnd, msg - OCM__BASE, wParam, lParam);
        break;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

// The container keeps track of which control holds the focus through its
// control site: without this it never learns that the focus left.
void CVexCtl3::TellSiteAboutFocus(bool bGotFocus)
{
    if (!m_bInPlaceActive || !m_clientSite)
        return;
    CComPtr<IOleControlSite> site;
    if (SUCCEEDED(m_clientSite->QueryInterface(IID_IOleControlSite, reinterpret_cast<void**>(site.Receive()))) && site)
        site->OnFocus(bGotFocus ? TRUE : FALSE);
}

void CVexCtl3::CreateControlWindow(HWND hwndParent, const RECT& position)
{
    m_hwnd = CreateWindowExA(0, ControlWindowClass(WindowProc), "", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN,
                             position.left, position.top, position.right - position.left,
                             position.bottom - position.top, hwndParent, nullptr, ThisModule(), this);
}

// --- in-place activation ----------------------------------------------------------------

HRESULT CVexCtl3::InPlaceActivate(LONG iVerb, LPCRECT prcPos)
{
    if (!m_clientSite)
        return S_OK;
    if (!m_inPlaceSite)
    {
        if (FAILED(m_clientSite->QueryInterface(IID_IOleInPlaceSite,
                                                reinterpret_cast<void**>(m_inPlaceSite.Receive()))))
            return E_FAIL;
    }

    if (!m_bInPlaceActive)
    {
        if (m_inPlaceSite->CanInPlaceActivate() != S_OK)
            return E_FAIL;
        m_inPlaceSite->OnInPlaceActivate();
        m_bInPlaceActive = true;

        HWND hwndParent = nullptr;
        m_inPlaceSite->GetWindow(&hwndParent);
        const CWindowContext context(m_inPlaceSite.Get());
        m_rcPos = prcPos ? *prcPos : context.rcPos;
        if (!m_hwnd && hwndParent)
            CreateControlWindow(hwndParent, m_rcPos);
    }
    if (m_hwnd)
        ShowWindow(m_hwnd, SW_SHOW);

    if (iVerb == OLEIVERB_UIACTIVATE || iVerb == OLEIVERB_PRIMARY)
    {
        if (!m_bUIActive)
        {
            m_bUIActive = true;
            m_inPlaceSite->OnUIActivate();
            const CWindowContext context(m_inPlaceSite.Get());
            if (context.frame)
                context.frame->SetActiveObject(this, nullptr);
            if (context.document)
                context.document->SetActiveObject(this, nullptr);
        }
        if (m_hwnd && GetFocus() != m_hwnd)
            SetFocus(m_hwnd);
    }
    return S_OK;
}

STDMETHODIMP CVexCtl3::GetWindow(HWND* phwnd)
{
    return ComBoundary([&]() -> HRESULT {
        if (!phwnd)
            return E_POINTER;
        *phwnd = m_hwnd;
        return m_hwnd ? S_OK : E_FAIL;
    });
}

STDMETHODIMP CVexCtl3::ContextSensitiveHelp(BOOL)
{
    return E_NOTIMPL;
}

STDMETHODIMP CVexCtl3::InPlaceDeactivate()
{
    return ComBoundary([&]() -> HRESULT {
        if (!m_bInPlaceActive)
            return S_OK;
        UIDeactivate();
        m_bInPlaceActive = false;
        if (m_hwnd)
            DestroyWindow(m_hwnd);
        if (m_inPlaceSite)
            m_inPlaceSite->OnInPlaceDeactivate();
        return S_OK;
    });
}

STDMETHODIMP CVexCtl3::UIDeactivate()
{
    return ComBoundary([&]() -> HRESULT {
        if (!m_bUIActive)
            return S_OK;
        m_bUIActive = false;
        if (m_inPlaceSite)
        {
            const CWindowContext context(m_inPlaceSite.Get());
            if (context.document)
                context.document->SetActiveObject(nullptr, nullptr);
            if (context.frame)
                context.frame->SetActiveObject(nullptr, nullptr);
            m_inPlaceSite->OnUIDeactivate(FALSE);
        }
        return S_OK;
    });
}

STDMETHODIMP CVexCtl3::SetObjectRects(LPCRECT lprcPosRect, LPCRECT)
{
    return ComBoundary([&]() -> HRESULT {
        if (!lprcPosRect)
            return E_POINTER;
        m_rcPos = *lprcPosRect;
        if (m_hwnd)
            SetWindowPos(m_hwnd, nullptr, m_rcPos.left, m_rcPos.top, m_rcPos.right - m_rcPos.left,
                         m_rcPos.bottom - m_rcPos.top, SWP_NOZORDER | SWP_NOACTIVATE);
        return S_OK;
    });
}

STDMETHODIMP CVexCtl3::ReactivateAndUndo()
{
    return E_NOTIMPL;
}

// The control always activates with a window of its own, so no container
// forwards window messages to it.
STDMETHODIMP CVexCtl3::OnWindowMessage(UINT, WPARAM, LPARAM, LRESULT*)
{
    return S_FALSE;
}

STDMETHODIMP CVexCtl3::GetDropTarget(IDropTarget** ppDropTarget)
{
    return ComBoundary([&]() -> HRESULT {
        if (ppDropTarget)
            *ppDropTarget = nullptr;
        return E_NOTIMPL;
    });
}

// --- IOleInPlaceActiveObject ---------------------------------------------------------

STDMETHODIMP CVexCtl3::TranslateAccelerator(LPMSG)
{
    return S_FALSE;
}

STDMETHODIMP CVexCtl3::OnFrameWindowActivate(BOOL)
{
    return S_OK;
}

STDMETHODIMP CVexCtl3::OnDocWindowActivate(BOOL)
{
    return S_OK;
}

STDMETHODIMP CVexCtl3::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL)
{
    return S_OK;
}

STDMETHODIMP CVexCtl3::EnableModeless(BOOL)
{
    return S_OK;
}

// --- IOleControl -----------------------------------------------------------------------

STDMETHODIMP CVexCtl3::GetControlInfo(CONTROLINFO* pCI)
{
    return ComBoundary([&]() -> HRESULT {
        if (!pCI)
            return E_POINTER;
        pCI->cb = sizeof(*pCI);
        pCI->hAccel = nullptr;
        pCI->cAccel = 0;
        pCI->dwFlags = 0;
        return S_OK;
    });
}

STDMETHODIMP CVexCtl3::OnMnemonic(MSG*)
{
    return S_OK;
}

STDMETHODIMP CVexCtl3::OnAmbientPropertyChange(DISPID)
{
    return S_OK;
}

// --- IOleObject -------------------------------------------------------------------------

STDMETHODIMP CVexCtl3::SetClientSite(IOleClientSite* pClientSite)
{
    return ComBoundary([&]() -> HRESULT {
        m_clientSite.Assign(pClientSite);
        m_inPlaceSite.Reset();
        return S_OK;
    });
}

STDMETHODIMP CVexCtl3::GetClientSite(IOleClientSite** ppClientSite)
{
    return ComBoundary([&]() -> HRESULT {
        if (!ppClientSite)
            return E_POINTER;
        *ppClientSite = m_clientSite.Get();
        if (*ppClientSite)
            (*ppClientSite)->AddRef();
        return S_OK;
    });
}

STDMETHODIMP CVexCtl3::SetHostNames(LPCOLESTR, LPCOLESTR)
{
    return S_OK;
}

STDMETHODIMP CVexCtl3::Close(DWORD)
{
    return ComBoundary([&]() -> HRESULT {
        InPlaceDeactivate();
        m_inPlaceSite.Reset();
        if (m_oleAdviseHolder)
            m_oleAdviseHolder->SendOnClose();
        return S_OK;
    });
}

STDMETHODIMP CVexCtl3::SetMoniker(DWORD, IMoniker*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CVexCtl3::GetMoniker(DWORD, DWORD, IMoniker** ppmk)
{
    return ComBoundary([&]() -> HRESULT {
        if (ppmk)
            *ppmk = nullptr;
        return E_NOTIMPL;
    });
}

STDMETHODIMP CVexCtl3::InitFromData(IDataObject*, BOOL, DWORD)
{
    return E_NOTIMPL;
}

STDMETHODIMP CVexCtl3::GetClipboardData(DWORD, IDataObject** ppDataObject)
{
    return ComBoundary([&]() -> HRESULT {
        if (ppDataObject)
            *ppDataObject = nullptr;
        return E_NOTIMPL;
    });
}

STDMETHODIMP CVexCtl3::DoVerb(LONG iVerb, LPMSG, IOleClientSite* pActiveSite, LONG, HWND, LPCRECT lprcPosRect)
{
    return ComBoundary([&]() -> HRESULT {
        if (pActiveSite && !m_clientSite)
            SetClientSite(pActiveSite);
        switch (iVerb)
        {
        case OLEIVERB_PRIMARY:
        case OLEIVERB_SHOW:
        case OLEIVERB_INPLACEACTIVATE:
        case OLEIVERB_UIACTIVATE:
            return InPlaceActivate(iVerb, lprcPosRect);
        case OLEIVERB_HIDE:
            UIDeactivate();
            if (m_hwnd)
                ShowWindow(m_hwnd, SW_HIDE);
            return S_OK;
        case OLEIVERB_OPEN:
        case OLEIVERB_DISCARDUNDOSTATE:
            return S_OK;
        case OLEIVERB_PROPERTIES:
            // The control has no property pages.
            return S_OK;
        default:
            return iVerb < 0 ? E_NOTIMPL : OLEOBJ_S_INVALIDVERB;
        }
    });
}

STDMETHODIMP CVexCtl3::EnumVerbs(IEnumOLEVERB** ppEnumOleVerb)
{
    return ComBoundary([&]() -> HRESULT {
        if (!ppEnumOleVerb)
            return E_POINTER;
        *ppEnumOleVerb = nullptr;
        return OleRegEnumVerbs(CLSID_VexCtl3, ppEnumOleVerb);
    });
}

STDMETHODIMP CVexCtl3::Update()
{
    return S_OK;
}

STDMETHODIMP CVexCtl3::IsUpToDate()
{
    return S_OK;
}

STDMETHODIMP CVexCtl3::GetUserClassID(CLSID* pClsid)
{
    return ComBoundary([&]() -> HRESULT {
        if (!pClsid)
            return E_POINTER;
        *pClsid = CLSID_VexCtl3;
        return S_OK;
    });
}

STDMETHODIMP CVexCtl3::GetUserType(DWORD dwFormOfType, LPOLESTR* pszUserType)
{
    return ComBoundary([&]() -> HRESULT {
        if (!pszUserType)
            return E_POINTER;
        return OleRegGetUserType(CLSID_VexCtl3, dwFormOfType, pszUserType);
    });
}

STDMETHODIMP CVexCtl3::SetExtent(DWORD dwDrawAspect, SIZEL* psizel)
{
    return ComBoundary([&]() -> HRESULT {
        if (dwDrawAspect != DVASPECT_CONTENT)
            return DV_E_DVASPECT;
        if (!psizel)
            return E_POINTER;
        // The control keeps its natural size: the icon plus a 2-pixel margin.
        if (!SameSize(*psizel, m_sizeNatural))
            return E_FAIL;
        if (!SameSize(m_sizeExtent, *psizel))
        {
            m_sizeExtent = *psizel;
            m_bDirty = true;
            ViewChanged();
        }
        return S_OK;
    });
}

STDMETHODIMP CVexCtl3::GetExtent(DWORD dwDrawAspect, SIZEL* psizel)
{
    return ComBoundary([&]() -> HRESULT {
        if (dwDrawAspect != DVASPECT_CONTENT)
            return DV_E_DVASPECT;
        if (!psizel)
            return E_POINTER;
        *psizel = m_sizeExtent;
        return S_OK;
    });
}

STDMETHODIMP CVexCtl3::Advise(IAdviseSink* pAdvSink, DWORD* pdwConnection)
{
    return ComBoundary([&]() -> HRESULT {
        if (!m_oleAdviseHolder)
        {
            const HRESULT hr = CreateOleAdviseHolder(m_oleAdviseHolder.Receive());
            if (FAILED(hr))
                return hr;
        }
        return m_oleAdviseHolder->Advise(pAdvSink, pdwConnection);
    });
}

STDMETHODIMP CVexCtl3::Unadvise(DWORD dwConnection)
{
    return ComBoundary([&]() -> HRESULT {
        return m_oleAdviseHolder ? m_oleAdviseHolder->Unadvise(dwConnection) : OLE_E_NOCONNECTION;
    });
}

STDMETHODIMP CVexCtl3::EnumAdvise(IEnumSTATDATA** ppenumAdvise)
{
    return ComBoundary([&]() -> HRESULT {
        if (!ppenumAdvise)
            return E_POINTER;
        *ppenumAdvise = nullptr;
        return m_oleAdviseHolder ? m_oleAdviseHolder->EnumAdvise(ppenumAdvise) : E_FAIL;
    });
}

STDMETHODIMP CVexCtl3::GetMiscStatus(DWORD dwAspect, DWORD* pdwStatus)
{
    return ComBoundary([&]() -> HRESULT {
        if (!pdwStatus)
            return E_POINTER;
        *pdwStatus = dwAspect == DVASPECT_CONTENT ? kMiscStatus : 0;
        return S_OK;
    });
}

STDMETHODIMP CVexCtl3::SetColorScheme(LOGPALETTE*)
{
    return E_NOTIMPL;
}

// --- IQuickActivate -------------------------------------------------------------------

STDMETHODIMP CVexCtl3::QuickActivate(QACONTAINER* pQaContainer, QACONTROL* pQaControl)
{
    return ComBoundary([&]() -> HRESULT {
        if (!pQaContainer || !pQaControl)
            return E_POINTER;
        SetClientSite(pQaContainer->pClientSite);
        if (pQaContainer->pAdviseSink)
            SetAdvise(DVASPECT_CONTENT, 0, pQaContainer->pAdviseSink);
        const ULONG cb = pQaControl->cbSize;
        ZeroMemory(pQaControl, cb < sizeof(*pQaControl) ? cb : sizeof(*pQaControl));
        pQaControl->cbSize = cb;
        GetMiscStatus(DVASPECT_CONTENT, &pQaControl->dwMiscStatus);
        GetViewStatus(&pQaControl->dwViewStatus);
        return S_OK;
    });
}

STDMETHODIMP CVexCtl3::SetContentExtent(LPSIZEL pSizel)
{
    return ComBoundary([&]() -> HRESULT {
        return SetExtent(DVASPECT_CONTENT, pSizel);
    });
}

STDMETHODIMP CVexCtl3::GetContentExtent(LPSIZEL pSizel)
{
    return ComBoundary([&]() -> HRESULT {
        return GetExtent(DVASPECT_CONTENT, pSizel);
    });
}
