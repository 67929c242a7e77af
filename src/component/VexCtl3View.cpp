// CVexCtl3's appearance: drawing, the view interfaces and the data object
// that renders the control as a metafile.
#include "VexCtl3.h"

#include "ComBoundary.h"

namespace {

// Restores a device context's selections and mapping mode when it goes.
class CDrawingState
{
public:
    explicit CDrawingState(HDC hdc) : m_hdc(hdc), m_nOldMapMode(SetMapMode(hdc, MM_TEXT)) {}
    ~CDrawingState()
    {
        if (m_hOldBrush)
            SelectObject(m_hdc, m_hOldBrush);
        if (m_hOldPen)
            SelectObject(m_hdc, m_hOldPen);
        if (m_hPen)
            DeleteObject(m_hPen);
        SetMapMode(m_hdc, m_nOldMapMode);
    }
    CDrawingState(const CDrawingState&) = delete;
    CDrawingState& operator=(const CDrawingState&) = delete;

    void Select(HBRUSH hBrush, HPEN hPen)
    {
        m_hPen = hPen;
        m_hOldBrush = SelectObject(m_hdc, hBrush);
        m_hOldPen = SelectObject(m_hdc, hPen);
    }

private:
    HDC m_hdc;
    int m_nOldMapMode;
    HGDIOBJ m_hOldBrush = nullptr;
    HGDIOBJ m_hOldPen = nullptr;
    HPEN m_hPen = nullptr;
};

} // namespace

void CVexCtl3::DrawControl(HDC hdc, const RECT& bounds) const
{
    CDrawingState state(hdc);
    state.Select(GetSysColorBrush(COLOR_BTNFACE), CreatePen(PS_SOLID, 1, RGB(255, 0, 0)));
    Rectangle(hdc, bounds.left, bounds.top, bounds.right, bounds.bottom);
    if (m_hIcon)
        DrawIcon(hdc, bounds.left + 2, bounds.top + 2, m_hIcon);
}

void CVexCtl3::ViewChanged()
{
    if (m_viewAdviseSink)
        m_viewAdviseSink->OnViewChange(DVASPECT_CONTENT, -1);
    if (m_hwnd)
        InvalidateRect(m_hwnd, nullptr, TRUE);
}

// --- IViewObject, IViewObject2, IViewObjectEx ------------------------------------------

STDMETHODIMP CVexCtl3::Draw(DWORD dwDrawAspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC hdcDraw, LPCRECTL lprcBounds,
                            LPCRECTL, BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR)
{
    return ComBoundary([&]() -> HRESULT {
        if (dwDrawAspect != DVASPECT_CONTENT)
            return DV_E_DVASPECT;
        if (!hdcDraw)
            return E_INVALIDARG;
        RECT bounds;
        if (lprcBounds)
            SetRect(&bounds, lprcBounds->left, lprcBounds->top, lprcBounds->right, lprcBounds->bottom);
        else if (!m_hwnd || !GetClientRect(m_hwnd, &bounds))
            return E_INVALIDARG;
        DrawControl(hdcDraw, bounds);
        return S_OK;
    });
}

STDMETHODIMP CVexCtl3::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE** ppColorSet)
{
    return ComBoundary([&]() -> HRESULT {
        if (ppColorSet)
            *ppColorSet = nullptr;
        return E_NOTIMPL;
    });
}

STDMETHODIMP CVexCtl3::Freeze(DWORD, LONG, void*, DWORD*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CVexCtl3::Unfreeze(DWORD)
{
    return E_NOTIMPL;
}

STDMETHODIMP CVexCtl3::SetAdvise(DWORD aspects, DWORD advf, IAdviseSink* pAdvSink)
{
    return ComBoundary([&]() -> HRESULT {
        m_viewAdviseSink.Assign(pAdvSink);
        m_dwViewAdviseAspects = aspects;
        m_dwViewAdviseFlags = advf;
        return S_OK;
    });
}

STDMETHODIMP CVexCtl3::GetAdvise(DWORD* pAspects, DWORD* pAdvf, IAdviseSink** ppAdvSink)
{
    return ComBoundary([&]() -> HRESULT {
        if (pAspects)
            *pAspects = m_dwViewAdviseAspects;
        if (pAdvf)
            *pAdvf = m_dwViewAdviseFlags;
        if (ppAdvSink)
        {
            *ppAdvSink = m_viewAdviseSink.Get();
            if (*ppAdvSink)
                (*ppAdvSink)->AddRef();
        }
        return S_OK;
    });
}

STDMETHODIMP CVexCtl3::GetExtent(DWORD dwDrawAspect, LONG, DVTARGETDEVICE*, LPSIZEL lpsizel)
{
    return ComBoundary([&]() -> HRESULT {
        return GetExtent(dwDrawAspect, lpsizel);
    });
}

STDMETHODIMP CVexCtl3::GetRect(DWORD dwAspect, LPRECTL pRect)
{
    return ComBoundary([&]() -> HRESULT {
        if (!pRect)
            return E_POINTER;
        if (dwAspect != DVASPECT_CONTENT)
            return DV_E_DVASPECT;
        pRect->left = pRect->top = 0;
        pRect->right = m_sizeExtent.cx;
        pRect->bottom = m_sizeExtent.cy;
        return S_OK;
    });
}

STDMETHODIMP CVexCtl3::GetViewStatus(DWORD* pdwStatus)
{
    return ComBoundary([&]() -> HRESULT {
        if (!pdwStatus)
            return E_POINTER;
        *pdwStatus = VIEWSTATUS_OPAQUE;
        return S_OK;
    });
}

STDMETHODIMP CVexCtl3::QueryHitPoint(DWORD dwAspect, LPCRECT pRectBounds, POINT ptlLoc, LONG, DWORD* pHitResult)
{
    return ComBoundary([&]() -> HRESULT {
        if (!pRectBounds || !pHitResult)
            return E_POINTER;
        if (dwAspect != DVASPECT_CONTENT)
            return DV_E_DVASPECT;
        *pHitResult = PtInRect(pRectBounds, ptlLoc) ? HITRESULT_HIT : HITRESULT_OUTSIDE;
        return S_OK;
    });
}

STDMETHODIMP CVexCtl3::QueryHitRect(DWORD dwAspect, LPCRECT pRectBounds, LPCRECT pRectLoc, LONG, DWORD* pHitResult)
{
    return ComBoundary([&]() -> HRESULT {
        if (!pRectBounds || !pRectLoc || !pHitResult)
            return E_POINTER;
        if (dwAspect != DVASPECT_CONTENT)
            return DV_E_DVASPECT;
        RECT overlap;
        *pHitResult = IntersectRect(&overlap, pRectBounds, pRectLoc) ? HITRESULT_HIT : HITRESULT_OUTSIDE;
        return S_OK;
    });
}

STDMETHODIMP CVexCtl3::GetNaturalExtent(DWORD dwAspect, LONG, DVTARGETDEVICE*, HDC, DVEXTENTINFO*, LPSIZEL pSizel)
{
    return ComBoundary([&]() -> HRESULT {
        if (!pSizel)
            return E_POINTER;
        if (dwAspect != DVASPECT_CONTENT)
            return DV_E_DVASPECT;
        *pSizel = m_sizeNatural;
        return S_OK;
    });
}

// --- IDataObject -------------------------------------------------------------------------

STDMETHODIMP CVexCtl3::GetData(FORMATETC* pformatetcIn, STGMEDIUM* pmedium)
{
    return ComBoundary([&]() -> HRESULT {
        if (!pformatetcIn || !pmedium)
            return E_POINTER;
        if (QueryGetData(pformatetcIn) != S_OK)
            return DV_E_FORMATETC;

        // The control as a metafile picture of its extent.
        HDC hdcMeta = CreateMetaFileA(nullptr);
        if (!hdcMeta)
            return E_OUTOFMEMORY;
        HDC hdcScreen = GetDC(nullptr);
        const int dpiX = GetDeviceCaps(hdcScreen, LOGPIXELSX), dpiY = GetDeviceCaps(hdcScreen, LOGPIXELSY);
        ReleaseDC(nullptr, hdcScreen);
        RECT bounds = {0, 0, MulDiv(m_sizeExtent.cx, dpiX, 2540), MulDiv(m_sizeExtent.cy, dpiY, 2540)};
        SetWindowExtEx(hdcMeta, bounds.right, bounds.bottom, nullptr);
        DrawControl(hdcMeta, bounds);
        HMETAFILE hMeta = CloseMetaFile(hdcMeta);

        HGLOBAL hPict = GlobalAlloc(GMEM_MOVEABLE | GMEM_SHARE, sizeof(METAFILEPICT));
        auto* pPict = hPict ? static_cast<METAFILEPICT*>(GlobalLock(hPict)) : nullptr;
        if (!hMeta || !pPict)
        {
            if (hMeta)
                DeleteMetaFile(hMeta);
            if (hPict)
                GlobalFree(hPict);
            return E_OUTOFMEMORY;
        }
        pPict->mm = MM_ANISOTROPIC;
        pPict->xExt = m_sizeExtent.cx;
        pPict->yExt = m_sizeExtent.cy;
        pPict->hMF = hMeta;
        GlobalUnlock(hPict);
        pmedium->tymed = TYMED_MFPICT;
        pmedium->hMetaFilePict = hPict;
        pmedium->pUnkForRelease = nullptr;
        return S_OK;
    });
}

STDMETHODIMP CVexCtl3::GetDataHere(FORMATETC*, STGMEDIUM*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CVexCtl3::QueryGetData(FORMATETC* pformatetc)
{
    return ComBoundary([&]() -> HRESULT {
        if (!pformatetc)
            return E_POINTER;
        if (pformatetc->cfFormat != CF_METAFILEPICT || !(pformatetc->tymed & TYMED_MFPICT) ||
            pformatetc->dwAspect != DVASPECT_CONTENT)
            return DV_E_FORMATETC;
        return S_OK;
    });
}

STDMETHODIMP CVexCtl3::GetCanonicalFormatEtc(FORMATETC*, FORMATETC* pformatetcOut)
{
    return ComBoundary([&]() -> HRESULT {
        if (pformatetcOut)
            pformatetcOut->ptd = nullptr;
        return E_NOTIMPL;
    });
}

STDMETHODIMP CVexCtl3::SetData(FORMATETC*, STGMEDIUM*, BOOL)
{
    return E_NOTIMPL;
}

STDMETHODIMP CVexCtl3::EnumFormatEtc(DWORD, IEnumFORMATETC** ppenumFormatEtc)
{
    return ComBoundary([&]() -> HRESULT {
        if (ppenumFormatEtc)
            *ppenumFormatEtc = nullptr;
        return E_NOTIMPL;
    });
}

STDMETHODIMP CVexCtl3::DAdvise(FORMATETC* pformatetc, DWORD advf, IAdviseSink* pAdvSink, DWORD* pdwConnection)
{
    return ComBoundary([&]() -> HRESULT {
        if (!m_dataAdviseHolder)
        {
            const HRESULT hr = CreateDataAdviseHolder(m_dataAdviseHolder.Receive());
            if (FAILED(hr))
                return hr;
        }
        return m_dataAdviseHolder->Advise(this, pformatetc, advf, pAdvSink, pdwConnection);
    });
}

STDMETHODIMP CVexCtl3::DUnadvise(DWORD dwConnection)
{
    return ComBoundary([&]() -> HRESULT {
        return m_dataAdviseHolder ? m_dataAdviseHolder->Unadvise(dwConnection) : OLE_E_NOCONNECTION;
    });
}

STDMETHODIMP CVexCtl3::EnumDAdvise(IEnumSTATDATA** ppenumAdvise)
{
    return ComBoundary([&]() -> HRESULT {
        if (!ppenumAdvise)
            return E_POINTER;
        *ppenumAdvise = nullptr;
        return m_dataAdviseHolder ? m_dataAdviseHolder->EnumAdvise(ppenumAdvise) : E_FAIL;
    });
}
