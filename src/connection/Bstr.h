// Owned automation string (BSTR), or null; freed with SysFreeString.
#pragma once

#include "AnsiString.h"

#include <windows.h>
#include <oleauto.h>

#include <cstddef>
#include <string>

class CBstr
{
public:
    CBstr() = default;
    ~CBstr() { Reset(); }
    CBstr(const CBstr&) = delete;
    CBstr& operator=(const CBstr&) = delete;

    // Frees the held string and takes ownership of bstr (null clears).
    void Reset(BSTR bstr = nullptr);

    BSTR Get() const { return m_bstr; }
    // Hands the string to the caller, who frees it.
    BSTR Detach()
    {
        BSTR bstr = m_bstr;
        m_bstr = nullptr;
        return bstr;
    }

private:
    BSTR m_bstr = nullptr;
};

// Replaces bstr by the conversion of ANSI text in the system code page (a
// null text counts as empty). False, and a null string, when the text cannot
// be converted or the string not allocated.
bool AnsiToBstr(const char* psz, CBstr& bstr);
// The same for UTF-8 text (invalid sequences become U+FFFD).
bool Utf8ToBstr(const char* psz, CBstr& bstr);
// Replaces bstr by a copy of text; false, and a null string, when it cannot
// be allocated.
bool WideToBstr(const std::wstring& text, CBstr& bstr);

// Replaces text by the conversion of bstr into the system code page; a null
// BSTR gives a null text. False, and a null text, on failure.
bool BstrToAnsi(BSTR bstr, CAnsiString& text);

// Every character of bstr has an exact form in the system code page: none
// would become the default character ('?') or a look-alike.
bool FitsAnsiCodePage(BSTR bstr);

// Replaces text by the UTF-8 form of bstr. False for a string longer than
// cchMax characters, one holding a zero character, or one that is no valid
// UTF-16 (a lone surrogate): none of them can be a URL.
bool BstrToUtf8(BSTR bstr, size_t cchMax, std::string& text);
