#include "InternationalHost.h"

#include "HostSyntax.h"

#include <windows.h>

bool InternationalHostToAscii(const std::string& unicodeHost, std::string* pAsciiHost)
{
    // Four bytes per character of the longest name is more than any name
    // whose A-label form fits DNS can take in UTF-8.
    constexpr size_t kMaxUtf8Length = 4 * hostsyntax::kMaxHostNameLength;
    if (unicodeHost.empty() || unicodeHost.size() > kMaxUtf8Length)
        return false;
    wchar_t wide[kMaxUtf8Length];
    const int cchWide = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, unicodeHost.data(),
                                            static_cast<int>(unicodeHost.size()), wide, ARRAYSIZE(wide));
    if (cchWide <= 0)
        return false;
    // No IDN_USE_STD3_ASCII_RULES: a URL's names may hold '_', and the
    // result is checked against the URL's host rule afterwards. Wine 8 maps
    // as IDNA 2003 does (U+00DF to "ss", U+200B dropped) where Windows 10
    // follows UTS 46; both refuse labels past 63 bytes, U+FFFD and "xn--"
    // labels beyond ASCII.
    wchar_t ascii[hostsyntax::kMaxHostNameLength + 2];
    const int cchAscii = IdnToAscii(0, wide, cchWide, ascii, ARRAYSIZE(ascii));
    if (cchAscii <= 0)
        return false;
    pAsciiHost->clear();
    for (int i = 0; i < cchAscii; ++i)
    {
        if (ascii[i] == 0 || ascii[i] > 0x7f)
            return false;
        pAsciiHost->push_back(static_cast<char>(ascii[i]));
    }
    return true;
}
