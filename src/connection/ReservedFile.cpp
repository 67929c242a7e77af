#include "ReservedFile.h"

#include "LocalFile.h"

#include <windows.h>

#include <cwchar>

namespace {

// GetTempFileNameW refuses a directory longer than this (room for the name).
constexpr size_t kMaxTempFileNameDirectory = MAX_PATH - 14;

} // namespace

CReservedFile::~CReservedFile()
{
    // No allocation here: a destructor may run while memory is short.
    if (!m_systemPath.empty() && !m_bKeep)
        DeleteFileW(m_systemPath.c_str());
}

bool CReservedFile::Reserve()
{
    // Windows names at most MAX_PATH + 1 characters here (Wine refuses a
    // longer TMP with ERROR_FILENAME_EXCED_RANGE rather than truncating it).
    wchar_t szDirectory[MAX_PATH + 2];
    const DWORD cchDirectory = GetTempPathW(MAX_PATH + 2, szDirectory);
    if (cchDirectory == 0)
        return false;
    if (cchDirectory >= MAX_PATH + 2)
    {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    m_directory.assign(szDirectory, cchDirectory);
    if (m_directory.size() > kMaxTempFileNameDirectory)
        return ReserveInLongDirectory();

    wchar_t szPath[MAX_PATH];
    if (GetTempFileNameW(m_directory.c_str(), L"VEX", 0, szPath) == 0)
        return false;
    m_path = szPath;
    m_systemPath = m_path;
    return true;
}

// The same names GetTempFileNameW makes (prefix, up to four hex digits of a
// number that starts at the tick count, ".tmp"), created in the path's
// "\\?\" form where the directory leaves too little room for the system.
bool CReservedFile::ReserveInLongDirectory()
{
    const DWORD dwStart = GetTickCount();
    for (DWORD dwStep = 0; dwStep <= 0xFFFF; ++dwStep)
    {
        const DWORD dwUnique = (dwStart + dwStep) & 0xFFFF;
        if (dwUnique == 0)
            continue;
        wchar_t szName[16];
        std::swprintf(szName, sizeof(szName) / sizeof(szName[0]), L"VEX%X.tmp", static_cast<unsigned>(dwUnique));
        const std::wstring path = m_directory + szName;
        const std::wstring systemPath = SystemFormOfPath(path);
        const HANDLE hFile = CreateFileW(systemPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                         FILE_ATTRIBUTE_NORMAL, nullptr);
        if (hFile != INVALID_HANDLE_VALUE)
        {
            CloseHandle(hFile);
            m_path = path;
            m_systemPath = systemPath;
            return true;
        }
        const DWORD dwError = GetLastError();
        if (dwError != ERROR_FILE_EXISTS && dwError != ERROR_ALREADY_EXISTS)
            return false;
    }
    SetLastError(ERROR_FILE_EXISTS);
    return false;
}
