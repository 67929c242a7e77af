// CLocalFile: the one object through which the engine reads and writes local
// files. A thin synchronous wrapper over the Win32 file functions that keeps
// an open flag beside the handle, remembers the names of the file it opened
// and turns the system's last error into a local file code (VEXFILE_*).
// Nothing is reported through fields: operations return 1 / -1 or a count.
//
// Paths reach the system wide, so a directory that the ANSI code page cannot
// spell (a user name in Cyrillic on a Western system) works. The 8-bit name
// fields hold the ANSI form of a name only where it is exact, its 8.3 form
// where that one is, and stay empty otherwise; Path() keeps the whole name.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

class CLocalFile
{
public:
    CLocalFile();
    // Virtual: the diagnostic log derives from this class and may be
    // destroyed through a pointer to it.
    virtual ~CLocalFile();
    CLocalFile(const CLocalFile&) = delete;
    CLocalFile& operator=(const CLocalFile&) = delete;

    // Both open variants close an open file first and return 1 or -1; after
    // -1 the reason is read at once with MapLastError. Open lets others only
    // read the file, OpenShared lets them read and write it. An ANSI path
    // must fit the name fields; a wide one may be longer than MAX_PATH when
    // it is absolute (it is then opened in its "\\?\" form).
    long Open(const char* pszPath, bool bTruncate, bool bReadOnly);
    long OpenShared(const char* pszPath, bool bTruncate, bool bReadOnly);
    long Open(const wchar_t* pwszPath, bool bTruncate, bool bReadOnly);
    long OpenShared(const wchar_t* pwszPath, bool bTruncate, bool bReadOnly);

    // The path of the last open that obtained a handle, as it was given.
    const std::wstring& Path() const { return m_path; }

    // One system call at the current position; the count the system reports
    // (a short count is returned as it is), or -1. A closed object, or a
    // negative count, gives -1 without any system call.
    long Read(void* pBuffer, long cb);
    long Write(const void* pBuffer, long cb);

    // Low 32 bits of the size; all bits set when closed or on failure, so a
    // size of exactly 0xFFFFFFFF cannot be told from a failure.
    DWORD GetSize();
    // The whole size, for files of 4 GiB and more; 0 when closed or on failure.
    uint64_t GetSize64();

    // Harmless on a closed object; the name fields keep their values.
    void Close();
    bool IsOpen() const { return m_bOpen; }

    // Maps the calling thread's last system error to a VEXFILE_* code.
    static long MapLastError();

    // The short (8.3) name of the file of the last open that obtained a
    // handle, at most 12 characters: worked out when first asked for after
    // that open, as nothing on a fetch's path needs it (under Wine the
    // system walks every directory of the path for it). Unchanged by an
    // open for which the system gives no short path; empty before any.
    const char* ShortName();

private:
    long OpenAnsi(const char* pszPath, bool bTruncate, bool bReadOnly, DWORD dwShareMode);
    long OpenWithShareMode(const wchar_t* pwszPath, bool bTruncate, bool bReadOnly,
                           DWORD dwShareMode);

    char m_szShortName[13];
    std::wstring m_path;
    // The path (in the form the system opens) whose short name ShortName has
    // still to work out; empty when it has none to work out.
    std::wstring m_shortNamePending;

public:
    char m_szDirectory[MAX_PATH];
    char m_szFileName[MAX_PATH];
    bool m_bOpen = false;
    HANDLE m_hFile = INVALID_HANDLE_VALUE;
};

// The form in which the system opens a path: an absolute path of MAX_PATH
// characters or more gets the "\\?\" prefix (which also turns off the
// system's clean-up of "." and "..": a path the engine builds holds none).
std::wstring SystemFormOfPath(const std::wstring& path);
