// Text between WinHTTP (UTF-16, strings the caller frees) and the engine
// (UTF-8). What WinHTTP hands over comes from the user's settings or a
// configuration script: it is bounded like every proxy list.
#pragma once

#include "ProxyRules.h"

#include <windows.h>

#include <string>

namespace proxy {

// UTF-8 of a zero-terminated UTF-16 string; empty for null, for text that
// does not convert, and for text longer than kMaxListLength.
inline std::string Narrow(const wchar_t* pwsz)
{
    if (!pwsz || !*pwsz)
        return std::string();
    const int cb = WideCharToMultiByte(CP_UTF8, 0, pwsz, -1, nullptr, 0, nullptr, nullptr);
    if (cb <= 1 || static_cast<size_t>(cb) > kMaxListLength)
        return std::string();
    std::string text(static_cast<size_t>(cb), '\0');
    WideCharToMultiByte(CP_UTF8, 0, pwsz, -1, &text[0], cb, nullptr, nullptr);
    text.resize(static_cast<size_t>(cb) - 1);
    return text;
}


// A string WinHTTP allocated for the caller, freed with it.
class CGlobalString
{
public:
    explicit CGlobalString(wchar_t* pwsz) : m_pwsz(pwsz) {}
    ~CGlobalString()
    {
        if (m_pwsz)
            GlobalFree(m_pwsz);
    }
    CGlobalString(const CGlobalString&) = delete;
    CGlobalString& operator=(const CGlobalString&) = delete;

    std::string Text() const { return Narrow(m_pwsz); }

private:
    wchar_t* m_pwsz;
};

} // namespace proxy
