#include "RegistryKey.h"

LONG CRegistryKey::Open(HKEY hRoot, const char* pszSubkey, REGSAM access)
{
    Close();
    HKEY hKey = nullptr;
    const LONG status = RegOpenKeyExA(hRoot, pszSubkey, 0, access, &hKey);
    if (status == ERROR_SUCCESS)
        m_hKey = hKey;
    return status;
}

LONG CRegistryKey::Create(HKEY hRoot, const char* pszSubkey, REGSAM access)
{
    Close();
    HKEY hKey = nullptr;
    const LONG status =
        RegCreateKeyExA(hRoot, pszSubkey, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &hKey, nullptr);
    if (status == ERROR_SUCCESS)
        m_hKey = hKey;
    return status;
}

LONG CRegistryKey::Close()
{
    if (!m_hKey)
        return ERROR_SUCCESS;
    const LONG status = RegCloseKey(m_hKey);
    m_hKey = nullptr;
    return status;
}
