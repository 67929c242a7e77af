#include "WideText.h"

#include <windows.h>

#include <climits>
#include <cwchar>

namespace {

// Both conversion directions measure first and then fill; an empty input is
// an empty result, as the system refuses zero-length inputs.
std::wstring ToWide(UINT codePage, const char* psz, size_t cb)
{
    if (cb == 0 || cb > INT_MAX)
        return std::wstring();
    const int cch = MultiByteToWideChar(codePage, 0, psz, static_cast<int>(cb), nullptr, 0);
    if (cch <= 0)
        return std::wstring();
    std::wstring wide(static_cast<size_t>(cch), L'\0');
    MultiByteToWideChar(codePage, 0, psz, static_cast<int>(cb), &wide[0], cch);
    return wide;
}

} // namespace

std::wstring AnsiToWide(const char* psz)
{
    return psz ? ToWide(CP_ACP, psz, std::char_traits<char>::length(psz)) : std::wstring();
}

std::wstring Utf8ToWide(const std::string& text)
{
    return ToWide(CP_UTF8, text.data(), text.size());
}

std::string WideToUtf8(const wchar_t* pwsz)
{
    const size_t cch = pwsz ? std::wcslen(pwsz) : 0;
    if (cch == 0 || cch > INT_MAX / 3)
        return std::string();
    const int cb = WideCharToMultiByte(CP_UTF8, 0, pwsz, static_cast<int>(cch), nullptr, 0, nullptr, nullptr);
    if (cb <= 0)
        return std::string();
    std::string text(static_cast<size_t>(cb), '\0');
    WideCharToMultiByte(CP_UTF8, 0, pwsz, static_cast<int>(cch), &text[0], cb, nullptr, nullptr);
    return text;
}

bool WideToAnsiExact(const wchar_t* pwsz, std::string& text)
{
    text.clear();
    const size_t cch = pwsz ? std::wcslen(pwsz) : 0;
    if (cch == 0)
        return true;
    if (cch > INT_MAX / 2)
        return false;
    // A UTF-8 code page spells every character, and the system refuses the
    // fit flag and the default-character report for it.
    if (GetACP() == CP_UTF8)
    {
        text = WideToUtf8(pwsz);
        return !text.empty();
    }
    BOOL bDefaultUsed = FALSE;
    const int cb = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, pwsz, static_cast<int>(cch), nullptr, 0,
                                       nullptr, &bDefaultUsed);
    if (cb <= 0 || bDefaultUsed)
        return false;
    text.resize(static_cast<size_t>(cb));
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, pwsz, static_cast<int>(cch), &text[0], cb, nullptr,
                        &bDefaultUsed);
    return !bDefaultUsed;
}
