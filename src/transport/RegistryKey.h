// Owner of an open registry key. RegCloseKey is called here and nowhere else.
#pragma once

#include <windows.h>

class CRegistryKey
{
public:
    CRegistryKey() = default;
    ~CRegistryKey() { Close(); }
    CRegistryKey(const CRegistryKey&) = delete;
    CRegistryKey& operator=(const CRegistryKey&) = delete;

    // RegOpenKeyExA; closes the key held before. Returns the platform status.
    LONG Open(HKEY hRoot, const char* pszSubkey, REGSAM access);
    // RegCreateKeyExA (opens a key that exists); closes the key held before.
    LONG Create(HKEY hRoot, const char* pszSubkey, REGSAM access);
    // Closes the key; ERROR_SUCCESS when none was open.
    LONG Close();

    HKEY Get() const { return m_hKey; }
    bool IsOpen() const { return m_hKey != nullptr; }

private:
    HKEY m_hKey = nullptr;
};
