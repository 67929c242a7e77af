#include "AnsiString.h"

#include <cstring>
#include <new>

size_t SafeLength(const char* psz)
{
    return psz ? std::strlen(psz) : 0;
}

bool CAnsiString::Assign(const char* psz)
{
    // Copy first: psz may point into the string being replaced.
    char* pszCopy = nullptr;
    if (psz)
    {
        const size_t cch = std::strlen(psz);
        pszCopy = new (std::nothrow) char[cch + 1];
        if (!pszCopy)
        {
            Reset();
            return false;
        }
        std::memcpy(pszCopy, psz, cch + 1);
    }
    Reset();
    m_psz = pszCopy;
    return true;
}

void CAnsiString::Reset()
{
    delete[] m_psz;
    m_psz = nullptr;
}

size_t CAnsiString::Length() const
{
    return SafeLength(m_psz);
}
