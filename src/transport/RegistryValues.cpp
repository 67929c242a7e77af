#include "RegistryValues.h"

#include <cstring>
#include <memory>
#include <new>

namespace registry {

bool DwordFromData(uint32_t type, const uint8_t* pData, size_t cb, uint32_t* pValue)
{
    if (type != kTypeDword || cb != 4 || !pData)
        return false;
    *pValue = static_cast<uint32_t>(pData[0]) | static_cast<uint32_t>(pData[1]) << 8 |
              static_cast<uint32_t>(pData[2]) << 16 | static_cast<uint32_t>(pData[3]) << 24;
    return true;
}

bool StringFromData(uint32_t type, const uint8_t* pData, size_t cb, CAnsiString& text,
                    size_t* pcbText)
{
    if (type != kTypeSz)
        return false;
    if (cb == 0 || !pData)
    {
        *pcbText = 1;
        return text.Assign("");
    }
    if (std::memchr(pData, 0, cb))
    {
        *pcbText = cb;
        return text.Assign(reinterpret_cast<const char*>(pData));
    }
    // No terminator within the data: copy them and add one.
    std::unique_ptr<char[]> terminated(new (std::nothrow) char[cb + 1]);
    if (!terminated)
    {
        text.Reset();
        return false;
    }
    std::memcpy(terminated.get(), pData, cb);
    terminated[cb] = '\0';
    *pcbText = cb + 1;
    return text.Assign(terminated.get());
}

bool Utf16StringFromData(uint32_t type, const uint8_t* pData, size_t cb, std::u16string& text)
{
    text.clear();
    if (type != kTypeSz)
        return false;
    for (size_t i = 0; pData && i + 1 < cb; i += 2)
    {
        const char16_t unit = static_cast<char16_t>(pData[i] | (pData[i + 1] << 8));
        if (unit == 0)
            break;
        text.push_back(unit);
    }
    return true;
}

} // namespace registry
