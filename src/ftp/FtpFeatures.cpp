#include "FtpFeatures.h"

#include <cctype>
#include <cstring>

namespace ftp {

bool ListsFeature(const char* pszLine, const char* pszName)
{
    if (!pszLine || !pszName || pszLine[0] != ' ')
        return false;
    const size_t cchName = std::strlen(pszName);
    const char* pszFeature = pszLine + 1;
    for (size_t i = 0; i < cchName; ++i)
    {
        if (std::toupper(static_cast<unsigned char>(pszFeature[i])) !=
            std::toupper(static_cast<unsigned char>(pszName[i])))
            return false;
    }
    const char after = pszFeature[cchName];
    return after == '\0' || after == ' ' || after == '\r' || after == '\n';
}

bool HasNonAsciiByte(const char* psz)
{
    for (; psz && *psz; ++psz)
        if (static_cast<unsigned char>(*psz) > 0x7F)
            return true;
    return false;
}

} // namespace ftp
