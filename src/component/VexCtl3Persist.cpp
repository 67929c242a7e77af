// CVexCtl3's persistent state (its extent, in a 12-byte stream), property
// pages (none) and class information.
#include "VexCtl3.h"

#include "ComBoundary.h"

namespace {

/*
 * The persisted stream, little-endian:
 *
 *   +---------+---------+---------+
 *   | version |   _cx   |   _cy   |
 *   +---------+---------+---------+
 *       4         4         4        (version 0x0300, extent in HIMETRIC)
 */
constexpr ULONG kStreamSize = 12;

const wchar_t kContentsStream[] = L"Contents";

HRESULT ReadExactly(IStream* pStream, void* pBuffer, ULONG cb)
{
    ULONG cbRead = 0;
    const HRESULT hr = pStream->Read(pBuffer, cb, &cbRead);
    if (FAILED(hr))
        return hr;
    return cbRead == cb ? S_OK : E_FAIL;
}

void PutLittleEndian(BYTE* p, DWORD value)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<BYTE>(value >> (8 * i));
}

DWORD GetLittleEndian(const BYTE* p)
{
    return static_cast<DWORD>(p[0]) | static_cast<DWORD>(p[1]) << 8 | static_cast<DWORD>(p[2]) << 16 |
           static_cast<DWORD>(p[3]) << 24;
}

} // namespace

HRESULT CVexCtl3::LoadSize(IStream* pStream)
{
    BYTE data[kStreamSize];
    HRESULT hr = ReadExactly(pStream, data, sizeof(data));
    if (FAILED(hr))
        return hr;
    if (GetLittleEndian(data) > kStreamVersion)
        return E_FAIL;
    m_sizeExtent.cx = static_cast<LONG>(GetLittleEndian(data + 4));
    m_sizeExtent.cy = static_cast<LONG>(GetLittleEndian(data + 8));
    m_bDirty = false;
    return S_OK;
}

HRESULT CVexCtl3::SaveSize(IStream* pStream)
{
    BYTE data[kStreamSize];
    PutLittleEndian(data, kStreamVersion);
    PutLittleEndian(data + 4, static_cast<DWORD>(m_sizeExtent.cx));
    PutLittleEndian(data + 8, static_cast<DWORD>(m_sizeExtent.cy));
    ULONG cbWritten = 0;
    const HRESULT hr = pStream->Write(data, sizeof(data), &cbWritten);
    if (FAILED(hr))
        return hr;
    return cbWritten == sizeof(data) ? S_OK : STG_E_MEDIUMFULL;
}

// --- IPersist, IPersistStreamInit --------------------------------------------------------

STDMETHODIMP CVexCtl3::GetClassID(CLSID* pClassID)
{
    return ComBoundary([&]() -> HRESULT {
        if (!pClassID)
            return E_POINTER;
        *pClassID = CLSID_VexCtl3;
        return S_OK;
    });
}

STDMETHODIMP CVexCtl3::IsDirty()
{
    return m_bDirty ? S_OK : S_FALSE;
}

STDMETHODIMP CVexCtl3::Load(LPSTREAM pStm)
{
    return ComBoundary([&]() -> HRESULT {
        if (!pStm)
            return E_POINTER;
        // The persistent state is initialised once: by InitNew or by Load.
        if (m_bInitialized)
            return E_UNEXPECTED;
        const HRESULT hr = LoadSize(pStm);
        if (SUCCEEDED(hr))
            m_bInitialized = true;
        return hr;
    });
}

STDMETHODIMP CVexCtl3::Save(LPSTREAM pStm, BOOL fClearDirty)
{
    return ComBoundary([&]() -> HRESULT {
        if (!pStm)
            return E_POINTER;
        const HRESULT hr = SaveSize(pStm);
        if (SUCCEEDED(hr) && fClearDirty)
            m_bDirty = false;
        return hr;
    });
}

STDMETHODIMP CVexCtl3::GetSizeMax(ULARGE_INTEGER* pCbSize)
{
    return ComBoundary([&]() -> HRESULT {
        if (!pCbSize)
            return E_POINTER;
        pCbSize->QuadPart = kStreamSize;
        return S_OK;
    });
}

STDMETHODIMP CVexCtl3::InitNew()
{
    return ComBoundary([&]() -> HRESULT {
        if (m_bInitialized)
            return E_UNEXPECTED;
        m_bInitialized = true;
        return S_OK;
    });
}

// --- IPersistStorage: the same state in a stream named "Contents" -----------------------

STDMETHODIMP CVexCtl3::InitNew(IStorage*)
{
    return ComBoundary([&]() -> HRESULT {
        return InitNew();
    });
}

STDMETHODIMP CVexCtl3::Load(IStorage* pStg)
{
    return ComBoundary([&]() -> HRESULT {
        if (!pStg)
            return E_POINTER;
        if (m_bInitialized)
            return E_UNEXPECTED;
        CComPtr<IStream> stream;
        const HRESULT hr = pStg->OpenStream(kContentsStream, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0,
                                            stream.Receive());
        if (FAILED(hr))
            return hr;
        return Load(stream.Get());
    });
}

STDMETHODIMP CVexCtl3::Save(IStorage* pStgSave, BOOL fSameAsLoad)
{
    return ComBoundary([&]() -> HRESULT {
        if (!pStgSave)
            return E_POINTER;
        CComPtr<IStream> stream;
        const HRESULT hr = pStgSave->CreateStream(kContentsStream, STGM_WRITE | STGM_SHARE_EXCLUSIVE | STGM_CREATE, 0,
                                                  0, stream.Receive());
        if (FAILED(hr))
            return hr;
        return Save(stream.Get(), fSameAsLoad);
    });
}

STDMETHODIMP CVexCtl3::SaveCompleted(IStorage*)
{
    return S_OK;
}

STDMETHODIMP CVexCtl3::HandsOffStorage()
{
    return S_OK;
}

// --- ISpecifyPropertyPages ----------------------------------------------------------------

STDMETHODIMP CVexCtl3::GetPages(CAUUID* pPages)
{
    return ComBoundary([&]() -> HRESULT {
        if (!pPages)
            return E_POINTER;
        pPages->cElems = 0;
        pPages->pElems = nullptr;
        return S_OK;
    });
}

// --- IProvideClassInfo, IProvideClassInfo2 -------------------------------------------------

STDMETHODIMP CVexCtl3::GetClassInfo(ITypeInfo** ppTI)
{
    return ComBoundary([&]() -> HRESULT {
        if (!ppTI)
            return E_POINTER;
        *ppTI = nullptr;
        return TypeInfoOf(CLSID_VexCtl3, ppTI);
    });
}

STDMETHODIMP CVexCtl3::GetGUID(DWORD dwGuidKind, GUID* pGUID)
{
    return ComBoundary([&]() -> HRESULT {
        if (!pGUID)
            return E_POINTER;
        *pGUID = GUID_NULL;
        if (dwGuidKind != GUIDKIND_DEFAULT_SOURCE_DISP_IID)
            return E_INVALIDARG;
        *pGUID = DIID__IVexCtl3Events;
        return S_OK;
    });
}
