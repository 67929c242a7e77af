#include "Bstr.h"

#include <cwchar>

#include <climits>
#include <cstring>
#include <memory>
#include <new>

void CBstr::Reset(BSTR bstr)
{
    if (m_bstr)
        SysFreeString(m_bstr);
    m_bstr = bstr;
}

namespace {

bool TextToBstr(UINT codePage, const char* psz, CBstr& bstr)
{
    bstr.Reset();
    const size_t cch = SafeLength(psz);
    if (cch > INT_MAX)
        return false;
    // MultiByteToWideChar refuses an empty input; an empty text is simply
    // an empty string.
    if (cch == 0)
    {
        bstr.Reset(SysAllocStringLen(L"", 0));
        return bstr.Get() != nullptr;
    }
    const int cchWide = MultiByteToWideChar(codePage, 0, psz, static_cast<int>(cch), nullptr, 0);
    if (cchWide <= 0)
        return false;
    BSTR converted = SysAllocStringLen(nullptr, static_cast<UINT>(cchWide));
    if (!converted)
        return false;
    bstr.Reset(converted);
    if (MultiByteToWideChar(codePage, 0, psz, static_cast<int>(cch), converted, cchWide) != cchWide)
    {
        bstr.Reset();
        return false;
    }
    return true;
}

} // namespace

bool AnsiToBstr(const char* psz, CBstr& bstr)
{
    return TextToBstr(CP_ACP, psz, bstr);
}

bool Utf8ToBstr(const char* psz, CBstr& bstr)
{
    return TextToBstr(CP_UTF8, psz, bstr);
}

bool WideToBstr(const std::wstring& text, CBstr& bstr)
{
    bstr.Reset(text.size() <= UINT_MAX ? SysAllocStringLen(text.data(), static_cast<UINT>(text.size())) : nullptr);
    return bstr.Get() != nullptr;
}

bool BstrToAnsi(BSTR bstr, CAnsiString& text)
{
    text.Reset();
    if (!bstr)
        return true;
    const UINT cchWide = SysStringLen(bstr);
    if (cchWide == 0)
        return text.Assign("");
    if (cchWide > INT_MAX)
        return false;
    const int cb = WideCharToMultiByte(CP_ACP, 0, bstr, static_cast<int>(cchWide), nullptr, 0,
                                       nullptr, nullptr);
    if (cb <= 0)
        return false;
    std::unique_ptr<char[]> converted(new (std::nothrow) char[static_cast<size_t>(cb) + 1]);
    if (!converted ||
        WideCharToMultiByte(CP_ACP, 0, bstr, static_cast<int>(cchWide), converted.get(), cb,
                            nullptr, nullptr) != cb)
        return false;
    converted[cb] = '\0';
    return text.Assign(converted.get());
}

bool FitsAnsiCodePage(BSTR bstr)
{
    const UINT cchWide = SysStringLen(bstr);
    if (cchWide == 0)
        return true;
    if (cchWide > INT_MAX / 2)
        return false;
    // Two bytes a character hold any code page's form.
    std::unique_ptr<char[]> converted(new (std::nothrow) char[static_cast<size_t>(cchWide) * 2]);
    BOOL bUsedDefault = FALSE;
    return converted &&
           WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, bstr, static_cast<int>(cchWide), converted.get(),
                               static_cast<int>(cchWide * 2), nullptr, &bUsedDefault) > 0 &&
           !bUsedDefault;
}

bool BstrToUtf8(BSTR bstr, size_t cchMax, std::string& text)
{
    text.clear();
    const UINT cch = SysStringLen(bstr);
    if (cch > cchMax || std::wmemchr(bstr ? bstr : L"", L'\0', cch))
        return false;
    if (cch == 0)
        return true;
    const int cb = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, bstr, static_cast<int>(cch), nullptr, 0,
                                       nullptr, nullptr);
    if (cb <= 0)
        return false;
    text.resize(static_cast<size_t>(cb));
    return WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, bstr, static_cast<int>(cch), &text[0], cb, nullptr,
                               nullptr) == cb;
}
