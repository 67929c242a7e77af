#include "LocalFile.h"

#include "VexErrors.h"
#include "WideText.h"

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

// Fills an 8-bit name field with the ANSI form of a wide name when that form
// is exact and fits; false leaves the field empty.
template <size_t N>
bool CopyExactAnsi(char (&szDest)[N], const wchar_t* pwszName)
{
    std::string ansi;
    szDest[0] = '\0';
    if (!WideToAnsiExact(pwszName, ansi) || ansi.size() >= N)
        return false;
    CopyBounded(szDest, ansi.c_str());
    return true;
}

// The system's 8.3 form of a path, or empty when it has none.
std::wstring ShortPathOf(const std::wstring& path)
{
    const DWORD cch = GetShortPathNameW(path.c_str(), nullptr, 0);
    if (cch == 0)
        return std::wstring();
    std::wstring shortPath(cch, L'\0');
    const DWORD cchCopied = GetShortPathNameW(path.c_str(), &shortPath[0], cch);
    if (cchCopied == 0 || cchCopied >= cch)
        return std::wstring();
    shortPath.resize(cchCopied);
    return shortPath;
}

// Owns one search handle of FindFirstFileW.
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

std::wstring SystemFormOfPath(const std::wstring& path)
{
    if (path.size() < MAX_PATH)
        return path;
    const bool bDrive = path.size() > 2 && path[1] == L':' && path[2] == L'\\';
    if (bDrive)
        return L"\\\\?\\" + path;
    const bool bShare = path.compare(0, 2, L"\\\\") == 0 && path.compare(0, 4, L"\\\\?\\") != 0 &&
                        path.compare(0, 4, L"\\\\.\\") != 0;
    return bShare ? L"\\\\?\\UNC\\" + path.substr(2) : path;
}

CLocalFile::CLocalFile()
{
    m_szDirectory[0] = '\0';
    m_szFileName[0] = '\0';
    m_szShortName[0] = '\0';
}

CLocalFile::~CLocalFile()
{
    Close();
}

long CLocalFile::Open(const char* pszPath, bool bTruncate, bool bReadOnly)
{
    return OpenAnsi(pszPath, bTruncate, bReadOnly, FILE_SHARE_READ);
}

long CLocalFile::OpenShared(const char* pszPath, bool bTruncate, bool bReadOnly)
{
    return OpenAnsi(pszPath, bTruncate, bReadOnly, FILE_SHARE_READ | FILE_SHARE_WRITE);
}

long CLocalFile::Open(const wchar_t* pwszPath, bool bTruncate, bool bReadOnly)
{
    return OpenWithShareMode(pwszPath, bTruncate, bReadOnly, FILE_SHARE_READ);
}

long CLocalFile::OpenShared(const wchar_t* pwszPath, bool bTruncate, bool bReadOnly)
{
    return OpenWithShareMode(pwszPath, bTruncate, bReadOnly, FILE_SHARE_READ | FILE_SHARE_WRITE);
}

long CLocalFile::OpenAnsi(const char* pszPath, bool bTruncate, bool bReadOnly, DWORD dwShareMode)
{
    const char* pszName = pszPath ? pszPath : "";
    // The system accepts paths that do not fit the name fields (Wine opens a
    // path of 260 characters); refuse them as the classic limit does.
    if (std::strlen(pszName) >= sizeof(m_szDirectory))
    {
        Close();
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return -1;
    }
    return OpenWithShareMode(AnsiToWide(pszName).c_str(), bTruncate, bReadOnly, dwShareMode);
}

long CLocalFile::OpenWithShareMode(const wchar_t* pwszPath, bool bTruncate, bool bReadOnly,
                                   DWORD dwShareMode)
{
    Close();
    const std::wstring path = pwszPath ? pwszPath : L"";
    const std::wstring systemPath = SystemFormOfPath(path);
    const DWORD dwAccess = bReadOnly ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
    const DWORD dwDisposition = bReadOnly ? OPEN_EXISTING : bTruncate ? CREATE_ALWAYS : OPEN_ALWAYS;
    const DWORD dwAttributes = bReadOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL;
    const HANDLE hFile =
        CreateFileW(systemPath.c_str(), dwAccess, dwShareMode, nullptr, dwDisposition, dwAttributes, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return -1;
    m_hFile = hFile;
    m_bOpen = true;
    m_path = path;

    const size_t lastBackslash = path.rfind(L'\\');
    const std::wstring directory = lastBackslash == std::wstring::npos ? path : path.substr(0, lastBackslash + 1);
    if (!CopyExactAnsi(m_szDirectory, directory.c_str()))
        CopyExactAnsi(m_szDirectory, ShortPathOf(directory).c_str());

    // A device opens but is not found as a file: such a path is refused.
    WIN32_FIND_DATAW findData;
    const CFindHandle find(FindFirstFileW(systemPath.c_str(), &findData));
    if (!find.IsValid())
    {
        // Keep the search's error for MapLastError across the close.
        const DWORD dwError = GetLastError();
        Close();
        SetLastError(dwError);
        return -1;
    }
    if (!CopyExactAnsi(m_szFileName, findData.cFileName))
        CopyExactAnsi(m_szFileName, findData.cAlternateFileName);
    m_shortNamePending = systemPath;
    return 1;
}

const char* CLocalFile::ShortName()
{
    if (m_shortNamePending.empty())
        return m_szShortName;
    const std::wstring shortPath = ShortPathOf(m_shortNamePending);
    m_shortNamePending.clear();
    const size_t lastBackslash = shortPath.rfind(L'\\');
    if (lastBackslash != std::wstring::npos)
    {
        char szShortName[sizeof(m_szShortName)];
        if (CopyExactAnsi(szShortName, shortPath.c_str() + lastBackslash + 1))
            CopyBounded(m_szShortName, szShortName);
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
