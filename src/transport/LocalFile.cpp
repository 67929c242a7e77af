#include "LocalFile.h"

#include "VexErrors.h"

#include <cstring>

namespace {

// Copies at most N - 1 characters of pszSource and always terminates.
template <size_t N>
void CopyBounded(char (&szDest)[N], const char* pszSource)
{
    const size_t cch = strnlen(pszSource, N - 1);
    std::memcpy(szDest, pszSource, cch);
    szDest[cch] = '\0';
}

// Owns one search handle of FindFirstFileA.
class CFindHandle
{
public:
    explicit CFindHandle(HANDLE hFind) : m_hFind(hFind) {}
    ~CFindHandle()
    {
        if (IsValid())
            FindClose(m_hFind);
    }
    CFindHandle(const CFindHandle&) = delete;
    CFindHandle& operator=(const CFindHandle&) = delete;

    bool IsValid() const { return m_hFind != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_hFind;
};

} // namespace

CLocalFile::CLocalFile()
{
    m_szDirectory[0] = '\0';
    m_szFileName[0] = '\0';
    m_szShortName[0] = '\0';
    m_szShortNamePending[0] = '\0';
}

CLocalFile::~CLocalFile()
{
    Close();
}

long CLocalFile::Open(const char* pszPath, bool bTruncate, bool bReadOnly)
{
    return OpenWithShareMode(pszPath, bTruncate, bReadOnly, FILE_SHARE_READ);
}

long CLocalFile::OpenShared(const char* pszPath, bool bTruncate, bool bReadOnly)
{
    return OpenWithShareMode(pszPath, bTruncate, bReadOnly, FILE_SHARE_READ | FILE_SHARE_WRITE);
}

long CLocalFile::OpenWithShareMode(const char* pszPath, bool bTruncate, bool bReadOnly,
                                   DWORD dwShareMode)
{
    Close();
    const char* pszName = pszPath ? pszPath : "";
    // The system accepts paths that do not fit the name fields (Wine opens a
    // path of 260 characters); refuse them as the classic limit does.
    if (std::strlen(pszName) >= sizeof(m_szDirectory))
    {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return -1;
    }

    const DWORD dwAccess = bReadOnly ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
    const DWORD dwDisposition = bReadOnly ? OPEN_EXISTING : bTruncate ? CREATE_ALWAYS : OPEN_ALWAYS;
    const DWORD dwAttributes = bReadOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL;
    const HANDLE hFile =
        CreateFileA(pszName, dwAccess, dwShareMode, nullptr, dwDisposition, dwAttributes, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return -1;
    m_hFile = hFile;
    m_bOpen = true;

    CopyBounded(m_szDirectory, pszName);
    if (char* pszLastBackslash = std::strrchr(m_szDirectory, '\\'))
        pszLastBackslash[1] = '\0';

    // A device opens but is not found as a file: such a path is refused.
    WIN32_FIND_DATAA findData;
    const CFindHandle find(FindFirstFileA(pszName, &findData));
    if (!find.IsValid())
    {
        // Keep the search's error for MapLastError across the close.
        const DWORD dwError = GetLastError();
        Close();
        SetLastError(dwError);
        return -1;
    }
    CopyBounded(m_szFileName, findData.cFileName);
    CopyBounded(m_szShortNamePending, pszName);
    return 1;
}

const char* CLocalFile::ShortName()
{
    if (m_szShortNamePending[0] == '\0')
        return m_szShortName;
    char szShortPath[MAX_PATH];
    const DWORD cchShort = GetShortPathNameA(m_szShortNamePending, szShortPath, sizeof(szShortPath));
    m_szShortNamePending[0] = '\0';
    // A result of the buffer's size or more is the size it would need.
    if (cchShort != 0 && cchShort < sizeof(szShortPath))
    {
        if (const char* pszLastBackslash = std::strrchr(szShortPath, '\\'))
            CopyBounded(m_szShortName, pszLastBackslash + 1);
    }
    return m_szShortName;
}

long CLocalFile::Read(void* pBuffer, long cb)
{
    if (!m_bOpen || cb < 0)
        return -1;
    DWORD cbRead = 0;
    if (!ReadFile(m_hFile, pBuffer, static_cast<DWORD>(cb), &cbRead, nullptr))
        return -1;
    return static_cast<long>(cbRead);
}

long CLocalFile::Write(const void* pBuffer, long cb)
{
    if (!m_bOpen || cb < 0)
        return -1;
    DWORD cbWritten = 0;
    if (!WriteFile(m_hFile, pBuffer, static_cast<DWORD>(cb), &cbWritten, nullptr))
        return -1;
    return static_cast<long>(cbWritten);
}

DWORD CLocalFile::GetSize()
{
    if (!m_bOpen)
        return INVALID_FILE_SIZE;
    return GetFileSize(m_hFile, nullptr);
}

uint64_t CLocalFile::GetSize64()
{
    LARGE_INTEGER size;
    if (!m_bOpen || !GetFileSizeEx(m_hFile, &size))
        return 0;
    return static_cast<uint64_t>(size.QuadPart);
}

void CLocalFile::Close()
{
    if (m_bOpen)
        CloseHandle(m_hFile);
    m_bOpen = false;
    m_hFile = INVALID_HANDLE_VALUE;
}

long CLocalFile::MapLastError()
{
    switch (GetLastError())
    {
    case ERROR_FILE_NOT_FOUND:
        return VEXFILE_NOT_FOUND;
    case ERROR_ACCESS_DENIED:
        return VEXFILE_ACCESS_DENIED;
    case ERROR_TOO_MANY_OPEN_FILES:
    case ERROR_NO_MORE_FILES:
        return VEXFILE_NO_HANDLES;
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_FILE_EXISTS:
    case ERROR_CANNOT_MAKE:
        return VEXFILE_CANNOT_CREATE;
    case ERROR_BAD_PATHNAME:
        return VEXFILE_BAD_NAME;
    default:
        return VEXFILE_UNKNOWN;
    }
}
