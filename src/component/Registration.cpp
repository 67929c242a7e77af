#include "Registration.h"

#include "Bstr.h"
#include "ComPtr.h"
#include "ModuleResources.h"
#include "Registrar.h"
#include "resource.h"

#include <oleauto.h>

#include <cstring>
#include <string>

namespace {

bool ModulePath(std::string* pPath)
{
    char szPath[MAX_PATH];
    const DWORD cch = GetModuleFileNameA(ThisModule(), szPath, sizeof(szPath));
    if (cch == 0 || cch >= sizeof(szPath))
        return false;
    // The long form of the path, as registered.
    char szLong[MAX_PATH];
    const DWORD cchLong = GetLongPathNameA(szPath, szLong, sizeof(szLong));
    *pPath = cchLong > 0 && cchLong < sizeof(szLong) ? szLong : szPath;
    return true;
}

// Registry script 102 of this module, parsed with %MODULE% replaced.
HRESULT LoadScript(const std::string& modulePath, std::vector<regscript::RootBlock>* pBlocks)
{
    HMODULE hModule = ThisModule();
    HRSRC hResource = FindResourceA(hModule, MAKEINTRESOURCEA(IDR_VEXCTL3), "REGISTRY");
    HGLOBAL hData = hResource ? LoadResource(hModule, hResource) : nullptr;
    const char* pData = hData ? static_cast<const char*>(LockResource(hData)) : nullptr;
    if (!pData)
        return HRESULT_FROM_WIN32(ERROR_RESOURCE_DATA_NOT_FOUND);
    const std::string script(pData, SizeofResource(hModule, hResource));
    const std::map<std::string, std::string> replacements = {{"MODULE", regscript::QuoteForScript(modulePath)}};
    return regscript::Parse(script, replacements, pBlocks, nullptr) ? S_OK : E_UNEXPECTED;
}

// The type library: from the module's own resource, or else from the .tlb
// beside it. pLoadedFrom receives the path it came from.
HRESULT LoadTypeLibrary(const std::string& modulePath, ITypeLib** ppTypeLib, CBstr& loadedFrom)
{
    CBstr path;
    if (!AnsiToBstr(modulePath.c_str(), path))
        return E_OUTOFMEMORY;
    HRESULT hr = LoadTypeLibEx(path.Get(), REGKIND_NONE, ppTypeLib);
    if (FAILED(hr))
    {
        std::string tlbPath = modulePath;
        const size_t dot = tlbPath.find_last_of('.');
        const size_t slash = tlbPath.find_last_of("\\/:");
        if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
            tlbPath.erase(dot);
        tlbPath += ".tlb";
        if (!AnsiToBstr(tlbPath.c_str(), path))
            return E_OUTOFMEMORY;
        hr = LoadTypeLibEx(path.Get(), REGKIND_NONE, ppTypeLib);
    }
    if (SUCCEEDED(hr))
        loadedFrom.Reset(path.Detach());
    return hr;
}

} // namespace

HRESULT RegisterServer()
{
    std::string modulePath;
    if (!ModulePath(&modulePath))
        return HRESULT_FROM_WIN32(GetLastError());
    std::vector<regscript::RootBlock> script;
    HRESULT hr = LoadScript(modulePath, &script);
    if (SUCCEEDED(hr))
        hr = RegisterScript(script);
    if (FAILED(hr))
        return hr;

    CComPtr<ITypeLib> typeLib;
    CBstr loadedFrom;
    hr = LoadTypeLibrary(modulePath, typeLib.Receive(), loadedFrom);
    if (FAILED(hr))
        return hr;
    // The help directory: the path up to its last separator.
    std::wstring helpDir(loadedFrom.Get());
    const size_t cut = helpDir.find_last_of(L"\\/:");
    helpDir.erase(cut == std::wstring::npos ? 0 : cut + 1);
    return RegisterTypeLib(typeLib.Get(), loadedFrom.Get(), const_cast<wchar_t*>(helpDir.c_str()));
}

void UnregisterServer()
{
    std::string modulePath;
    if (!ModulePath(&modulePath))
        return;
    std::vector<regscript::RootBlock> script;
    if (SUCCEEDED(LoadScript(modulePath, &script)))
        UnregisterScript(script);

    CComPtr<ITypeLib> typeLib;
    CBstr loadedFrom;
    TLIBATTR* pAttr = nullptr;
    if (FAILED(LoadTypeLibrary(modulePath, typeLib.Receive(), loadedFrom)) || FAILED(typeLib->GetLibAttr(&pAttr)))
        return;
    // Looked up at run time: older systems lack it.
    typedef HRESULT(WINAPI * UnRegisterTypeLibFn)(REFGUID, WORD, WORD, LCID, SYSKIND);
    HMODULE hOleAut = GetModuleHandleA("oleaut32.dll");
    const auto pfnUnregister =
        hOleAut ? reinterpret_cast<UnRegisterTypeLibFn>(
                      reinterpret_cast<void (*)()>(GetProcAddress(hOleAut, "UnRegisterTypeLib")))
                : nullptr;
    if (pfnUnregister)
        pfnUnregister(pAttr->guid, pAttr->wMajorVerNum, pAttr->wMinorVerNum, pAttr->lcid, pAttr->syskind);
    typeLib->ReleaseTLibAttr(pAttr);
}
