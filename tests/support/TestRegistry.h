// Registry helpers for the tests: write, read back and delete values under a
// key by path, and save a value (or its absence) to put it back exactly.
#pragma once

#include "RegistryKey.h"

#include <windows.h>

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

namespace testreg {

// A value as the registry holds it, or its absence.
struct Value
{
    bool bPresent = false;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;

    bool operator==(const Value& other) const
    {
        return bPresent == other.bPresent && type == other.type && data == other.data;
    }
};

inline Value Dword(DWORD dw)
{
    Value v;
    v.bPresent = true;
    v.type = REG_DWORD;
    v.data.resize(4);
    std::memcpy(v.data.data(), &dw, 4);
    return v;
}

inline Value Absent()
{
    return Value();
}

inline std::ostream& operator<<(std::ostream& os, const Value& v)
{
    if (!v.bPresent)
        return os << "(absent)";
    os << "type " << v.type << " data";
    for (BYTE b : v.data)
        os << ' ' << static_cast<unsigned>(b);
    return os;
}

inline Value Read(HKEY hRoot, const char* pszSubkey, const char* pszName)
{
    Value v;
    CRegistryKey key;
    if (key.Open(hRoot, pszSubkey, KEY_QUERY_VALUE) != ERROR_SUCCESS)
        return v;
    DWORD cb = 0;
    if (RegQueryValueExA(key.Get(), pszName, nullptr, &v.type, nullptr, &cb) != ERROR_SUCCESS)
        return v;
    v.data.resize(cb + 1);
    if (RegQueryValueExA(key.Get(), pszName, nullptr, &v.type, v.data.data(), &cb) != ERROR_SUCCESS)
        return Value();
    v.data.resize(cb);
    v.bPresent = true;
    return v;
}

// Creates the key when needed.
inline LONG Set(HKEY hRoot, const char* pszSubkey, const char* pszName, DWORD type, const void* pData,
                DWORD cb)
{
    return RegSetKeyValueA(hRoot, pszSubkey, pszName, type, pData, cb);
}

inline LONG SetDword(HKEY hRoot, const char* pszSubkey, const char* pszName, DWORD dw)
{
    return Set(hRoot, pszSubkey, pszName, REG_DWORD, &dw, sizeof(dw));
}

// A REG_SZ (or the given string type) with its terminator.
inline LONG SetText(HKEY hRoot, const char* pszSubkey, const char* pszName, const std::string& text,
                    DWORD type = REG_SZ)
{
    return Set(hRoot, pszSubkey, pszName, type, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

// A REG_SZ written through the wide function, for texts the ANSI code page
// cannot hold. Value and key names are ASCII.
inline LONG SetWideText(HKEY hRoot, const char* pszSubkey, const char* pszName, const std::wstring& text)
{
    const std::wstring subkey(pszSubkey, pszSubkey + strlen(pszSubkey));
    const std::wstring name(pszName, pszName + strlen(pszName));
    return RegSetKeyValueW(hRoot, subkey.c_str(), name.c_str(), REG_SZ, text.c_str(),
                           static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

inline LONG DeleteValue(HKEY hRoot, const char* pszSubkey, const char* pszName)
{
    return RegDeleteKeyValueA(hRoot, pszSubkey, pszName);
}

// Deletes the key with everything below it.
inline void DeleteKey(HKEY hRoot, const char* pszSubkey)
{
    RegDeleteTreeA(hRoot, pszSubkey);
}

// Puts a value back exactly as saved: with its type and bytes, or absent.
inline void Write(HKEY hRoot, const char* pszSubkey, const char* pszName, const Value& v)
{
    if (!v.bPresent)
        DeleteValue(hRoot, pszSubkey, pszName);
    else
        Set(hRoot, pszSubkey, pszName, v.type, v.data.data(), static_cast<DWORD>(v.data.size()));
}

// The current user's proxy settings as the system stores them in
// "DefaultConnectionSettings": version, counter, flags (1 direct, 2 fixed
// proxy, 4 configuration script), then the proxy, bypass and script texts,
// each after its length.
inline std::vector<BYTE> ProxySettingsBlob(const std::string& proxy, const std::string& bypass,
                                           const std::string& script)
{
    std::vector<BYTE> blob;
    const auto put = [&](DWORD value) {
        const auto* p = reinterpret_cast<const BYTE*>(&value);
        blob.insert(blob.end(), p, p + 4);
    };
    const auto putText = [&](const std::string& text) {
        put(static_cast<DWORD>(text.size()));
        blob.insert(blob.end(), text.begin(), text.end());
    };
    put(0x46);
    put(1);
    put(1 | (proxy.empty() ? 0 : 2) | (script.empty() ? 0 : 4));
    putText(proxy);
    putText(bypass);
    putText(script);
    blob.resize(blob.size() + 32);
    return blob;
}

} // namespace testreg
