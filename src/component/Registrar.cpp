#include "Registrar.h"

#include "RegistryKey.h"

namespace {

HKEY RootKey(const std::string& name)
{
    if (name == "HKCR" || name == "HKEY_CLASSES_ROOT")
        return HKEY_CLASSES_ROOT;
    if (name == "HKCU" || name == "HKEY_CURRENT_USER")
        return HKEY_CURRENT_USER;
    if (name == "HKLM" || name == "HKEY_LOCAL_MACHINE")
        return HKEY_LOCAL_MACHINE;
    if (name == "HKU" || name == "HKEY_USERS")
        return HKEY_USERS;
    return nullptr;
}

// The shared "CLSID" and "TypeLib" keys directly under a root hold every
// class and library of the system: never deleted. Keys of those names
// deeper down (a ProgID's CLSID) belong to the script.
bool IsProtected(const std::string& name, bool bAtRoot)
{
    return bAtRoot && (lstrcmpiA(name.c_str(), "CLSID") == 0 || lstrcmpiA(name.c_str(), "TYPELIB") == 0);
}

LONG SetText(HKEY hKey, const char* pszName, const std::string& text)
{
    return RegSetValueExA(hKey, pszName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1));
}

LONG RegisterKey(HKEY hParent, const regscript::Key& key, bool bAtRoot)
{
    if (key.removal == regscript::Removal::kForceRemove && !IsProtected(key.name, bAtRoot))
        RegDeleteTreeA(hParent, key.name.c_str());
    CRegistryKey opened;
    LONG status = opened.Create(hParent, key.name.c_str(), KEY_READ | KEY_WRITE);
    if (status != ERROR_SUCCESS)
        return status;
    if (key.bHasDefault && (status = SetText(opened.Get(), nullptr, key.defaultText)) != ERROR_SUCCESS)
        return status;
    for (const regscript::NamedValue& value : key.values)
    {
        if ((status = SetText(opened.Get(), value.name.c_str(), value.text)) != ERROR_SUCCESS)
            return status;
    }
    for (const regscript::Key& subkey : key.subkeys)
    {
        if ((status = RegisterKey(opened.Get(), subkey, false)) != ERROR_SUCCESS)
            return status;
    }
    return ERROR_SUCCESS;
}

bool IsEmpty(HKEY hKey)
{
    DWORD cSubkeys = 0, cValues = 0;
    if (RegQueryInfoKeyA(hKey, nullptr, nullptr, nullptr, &cSubkeys, nullptr, nullptr, &cValues, nullptr, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS)
        return false;
    if (cSubkeys != 0)
        return false;
    // The default value does not keep a key alive.
    if (cValues == 0)
        return true;
    return cValues == 1 && RegQueryValueExA(hKey, "", nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

void UnregisterKey(HKEY hParent, const regscript::Key& key, bool bAtRoot)
{
    if (key.removal == regscript::Removal::kForceRemove && !IsProtected(key.name, bAtRoot))
    {
        RegDeleteTreeA(hParent, key.name.c_str());
        return;
    }
    CRegistryKey opened;
    if (opened.Open(hParent, key.name.c_str(), KEY_READ | KEY_WRITE) != ERROR_SUCCESS)
        return;
    for (const regscript::Key& subkey : key.subkeys)
        UnregisterKey(opened.Get(), subkey, false);
    if (key.removal == regscript::Removal::kNoRemove || IsProtected(key.name, bAtRoot))
        return;
    for (const regscript::NamedValue& value : key.values)
        RegDeleteValueA(opened.Get(), value.name.c_str());
    const bool bEmpty = IsEmpty(opened.Get());
    opened.Close();
    if (bEmpty)
        RegDeleteKeyA(hParent, key.name.c_str());
}

} // namespace

HRESULT RegisterScript(const std::vector<regscript::RootBlock>& blocks)
{
    for (const regscript::RootBlock& block : blocks)
    {
        const HKEY hRoot = RootKey(block.root);
        if (!hRoot)
            return E_INVALIDARG;
        for (const regscript::Key& key : block.keys)
        {
            const LONG status = RegisterKey(hRoot, key, true);
            if (status != ERROR_SUCCESS)
            {
                // Never leave half a registration behind.
                UnregisterScript(blocks);
                return HRESULT_FROM_WIN32(status);
            }
        }
    }
    return S_OK;
}

HRESULT UnregisterScript(const std::vector<regscript::RootBlock>& blocks)
{
    for (const regscript::RootBlock& block : blocks)
    {
        const HKEY hRoot = RootKey(block.root);
        if (!hRoot)
            continue;
        for (const regscript::Key& key : block.keys)
            UnregisterKey(hRoot, key, true);
    }
    return S_OK;
}
