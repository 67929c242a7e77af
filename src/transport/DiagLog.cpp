#include "DiagLog.h"

#include "WideText.h"

#include <climits>
#include <cstdio>

namespace {

constexpr char kDefaultFileName[] = "vexlogger.txt";

// "[year/month/day  hour:minute:second:millisecond] ", each field an unsigned
// decimal without padding: at most 45 characters and the terminator.
constexpr size_t kPrefixSize = 46;

} // namespace

CDiagLog::CDiagLog(const char* pszFileName, bool bKeepExisting)
{
    const char* pszName = pszFileName ? pszFileName : kDefaultFileName;
    // Opened from the caller's string, so a failed copy costs only the copy.
    m_pszFileName.Assign(pszName);
    NoteOpenResult(OpenShared(pszName, !bKeepExisting, false));
}

CDiagLog::CDiagLog(const std::wstring& fileName, bool bKeepExisting)
{
    m_pszFileName.Assign(WideToUtf8(fileName.c_str()).c_str());
    NoteOpenResult(OpenShared(fileName.c_str(), !bKeepExisting, false));
}

void CDiagLog::NoteOpenResult(long lResult)
{
    m_lOpenResult = lResult;
    if (m_lOpenResult == 1)
        m_bOpened = true;
    else
        m_lError = MapLastError();
}

bool CDiagLog::WriteEntry(const char* pszText, bool bTimestamp)
{
    if (!m_bOpened)
        return false;
    const size_t cchText = SafeLength(pszText);
    if (cchText < 1 || cchText > static_cast<size_t>(LONG_MAX))
        return false;

    // Entries go after whatever is in the file, also when other log objects
    // or processes write to it too. A failed move leaves the position as it
    // was, which only matters for the order of entries.
    SetFilePointer(m_hFile, 0, nullptr, FILE_END);

    if (bTimestamp)
    {
        SYSTEMTIME now;
        GetSystemTime(&now);
        char szPrefix[kPrefixSize];
        const int cchPrefix = std::snprintf(
            szPrefix, sizeof(szPrefix), "[%u/%u/%u  %u:%u:%u:%u] ", unsigned{now.wYear},
            unsigned{now.wMonth}, unsigned{now.wDay}, unsigned{now.wHour}, unsigned{now.wMinute},
            unsigned{now.wSecond}, unsigned{now.wMilliseconds});
        // A failed prefix is not reported; the entry text still goes out.
        if (cchPrefix > 0 && static_cast<size_t>(cchPrefix) < sizeof(szPrefix))
            Write(szPrefix, cchPrefix);
    }

    const long cbText = static_cast<long>(cchText);
    if (Write(pszText, cbText) == cbText)
        return true;
    m_lError = MapLastError();
    return false;
}
