// Reads single values under a registry key: each call opens the key, reads,
// and ends with the key closed, unless the key was held open with Hold (then
// the reads under that key go through the one open handle). Made on the
// stack for one read or one batch of reads.
#pragma once

#include "AnsiString.h"
#include "RegistryKey.h"

#include <windows.h>

#include <cstddef>
#include <memory>
#include <string>

class CRegistryAccess
{
public:
    virtual ~CRegistryAccess() = default;

    // Keeps the key open for the reads that follow: under Wine every open and
    // close is a round trip to the server, a dozen of them per fetch. Reads
    // through a key deleted meanwhile fail as they would after a new open.
    // False (and nothing held) when the key cannot be opened.
    bool Hold(HKEY hRoot, const char* pszSubkey);

    // The key opens with KEY_READ and closes again without error.
    bool KeyExists(HKEY hRoot, const char* pszSubkey);

    // The value's type, data and size, read with two queries: the first
    // learns the size, the second fills a buffer of exactly that size. True
    // only when both succeed. A value larger than the settings ever need
    // counts as unreadable. *pcb is 0 when the key cannot be opened.
    // bWide reads through the wide function, so that text data come as UTF-16
    // whatever the ANSI code page can hold.
    bool QueryValue(HKEY hRoot, const char* pszSubkey, const char* pszName, DWORD* pType,
                    std::unique_ptr<BYTE[]>& data, DWORD* pcb, bool bWide = false);

    // A REG_DWORD of exactly four bytes gives its value and true. Anything
    // else stores dwDefault and answers whether it is not 0.
    bool GetDword(HKEY hRoot, const char* pszSubkey, const char* pszName, DWORD dwDefault,
                  DWORD* pValue);

    // A REG_SZ gives its text (terminated even when its data were not), *pcb
    // = its byte size with the terminator, and true. Anything else gives a
    // copy of pszDefault with *pcb = its character count and true, or false
    // when there is no default.
    bool GetString(HKEY hRoot, const char* pszSubkey, const char* pszName, const char* pszDefault,
                   CAnsiString& text, size_t* pcb);

    // A REG_SZ read as UTF-16, for values that name files: a path under a
    // directory the ANSI code page cannot spell stays intact. Anything else
    // gives the empty string and false.
    bool GetWideString(HKEY hRoot, const char* pszSubkey, const char* pszName, std::wstring& text);

private:
    // The held key, when hRoot and pszSubkey name it; else opened into key.
    HKEY OpenForQuery(HKEY hRoot, const char* pszSubkey, CRegistryKey& key);

    CRegistryKey m_held;
    HKEY m_hHeldRoot = nullptr;
    CAnsiString m_heldSubkey;
};
