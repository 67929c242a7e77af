#include "RegistryAccess.h"

#include "RegistryValues.h"
#include "RegistryKey.h"

#include "WideText.h"

#include <cstring>
#include <new>

static_assert(registry::kTypeSz == REG_SZ && registry::kTypeDword == REG_DWORD,
              "registry type numbers");

bool CRegistryAccess::Hold(HKEY hRoot, const char* pszSubkey)
{
    m_hHeldRoot = nullptr;
    m_heldSubkey.Reset();
    if (m_held.Open(hRoot, pszSubkey, KEY_READ) != ERROR_SUCCESS || !m_heldSubkey.Assign(pszSubkey))
    {
        m_held.Close();
        return false;
    }
    m_hHeldRoot = hRoot;
    return true;
}

HKEY CRegistryAccess::OpenForQuery(HKEY hRoot, const char* pszSubkey, CRegistryKey& key)
{
    if (m_held.IsOpen() && hRoot == m_hHeldRoot && pszSubkey && std::strcmp(pszSubkey, m_heldSubkey.Get()) == 0)
        return m_held.Get();
    return key.Open(hRoot, pszSubkey, KEY_QUERY_VALUE) == ERROR_SUCCESS ? key.Get() : nullptr;
}

bool CRegistryAccess::KeyExists(HKEY hRoot, const char* pszSubkey)
{
    CRegistryKey key;
    return key.Open(hRoot, pszSubkey, KEY_READ) == ERROR_SUCCESS && key.Close() == ERROR_SUCCESS;
}

bool CRegistryAccess::QueryValue(HKEY hRoot, const char* pszSubkey, const char* pszName,
                                 DWORD* pType, std::unique_ptr<BYTE[]>& data, DWORD* pcb,
                                 bool bWide)
{
    data.reset();
    CRegistryKey opened;
    const HKEY hKey = OpenForQuery(hRoot, pszSubkey, opened);
    if (!hKey)
    {
        *pcb = 0;
        return false;
    }
    // Value names are ASCII, the same in either form.
    const std::wstring wideName = bWide ? AnsiToWide(pszName) : std::wstring();
    auto query = [&](BYTE* pData, DWORD* pcbData) {
        return bWide ? RegQueryValueExW(hKey, wideName.c_str(), nullptr, pType, pData, pcbData)
                     : RegQueryValueExA(hKey, pszName, nullptr, pType, pData, pcbData);
    };
    DWORD cb = 0;
    if (query(nullptr, &cb) != ERROR_SUCCESS ||
        cb > registry::kMaxValueBytes)
    {
        *pcb = cb;
        return false;
    }
    // A value of size 0 still gets a buffer, so that the second query reads
    // into a real one.
    data.reset(new (std::nothrow) BYTE[cb ? cb : 1]);
    if (!data)
    {
        *pcb = 0;
        return false;
    }
    // The value may have grown since the first query: the second then fails
    // rather than writing past the buffer.
    const LONG status = query(data.get(), &cb);
    *pcb = cb;
    return status == ERROR_SUCCESS;
}

bool CRegistryAccess::GetDword(HKEY hRoot, const char* pszSubkey, const char* pszName,
                               DWORD dwDefault, DWORD* pValue)
{
    DWORD type = REG_NONE;
    DWORD cb = 0;
    std::unique_ptr<BYTE[]> data;
    uint32_t value = 0;
    if (QueryValue(hRoot, pszSubkey, pszName, &type, data, &cb) &&
        registry::DwordFromData(type, data.get(), cb, &value))
    {
        *pValue = value;
        return true;
    }
    *pValue = dwDefault;
    return dwDefault != 0;
}

bool CRegistryAccess::GetString(HKEY hRoot, const char* pszSubkey, const char* pszName,
                                const char* pszDefault, CAnsiString& text, size_t* pcb)
{
    DWORD type = REG_NONE;
    DWORD cb = 0;
    std::unique_ptr<BYTE[]> data;
    if (QueryValue(hRoot, pszSubkey, pszName, &type, data, &cb) &&
        registry::StringFromData(type, data.get(), cb, text, pcb))
        return true;
    if (!pszDefault)
    {
        text.Reset();
        return false;
    }
    *pcb = SafeLength(pszDefault);
    return text.Assign(pszDefault);
}

bool CRegistryAccess::GetWideString(HKEY hRoot, const char* pszSubkey, const char* pszName,
                                    std::wstring& text)
{
    static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wide strings");
    text.clear();
    DWORD type = REG_NONE;
    DWORD cb = 0;
    std::unique_ptr<BYTE[]> data;
    std::u16string units;
    if (!QueryValue(hRoot, pszSubkey, pszName, &type, data, &cb, true) ||
        !registry::Utf16StringFromData(type, data.get(), cb, units))
        return false;
    text.assign(units.begin(), units.end());
    return true;
}
