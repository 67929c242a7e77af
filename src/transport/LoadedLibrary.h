// Owner of a library loaded at run time. FreeLibrary is called here and
// nowhere else.
#pragma once

#include <windows.h>

class CLoadedLibrary
{
public:
    // LoadLibraryA; the owner is empty when the library could not be loaded.
    explicit CLoadedLibrary(const char* pszName) : m_hModule(LoadLibraryA(pszName)) {}
    ~CLoadedLibrary()
    {
        if (m_hModule)
            FreeLibrary(m_hModule);
    }
    CLoadedLibrary(const CLoadedLibrary&) = delete;
    CLoadedLibrary& operator=(const CLoadedLibrary&) = delete;

    HMODULE Get() const { return m_hModule; }
    bool IsLoaded() const { return m_hModule != nullptr; }

    // The named entry point as a pointer of type Fn; null when the library
    // is not loaded or does not export the name. Going through void (*)()
    // states that the entry point's real type is known to the caller.
    template <typename Fn>
    Fn Find(const char* pszName) const
    {
        if (!m_hModule)
            return nullptr;
        FARPROC pfn = GetProcAddress(m_hModule, pszName);
        return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(pfn));
    }

private:
    HMODULE m_hModule;
};
