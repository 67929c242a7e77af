#include "ModuleResources.h"

HMODULE ThisModule()
{
    HMODULE hModule = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&ThisModule), &hModule);
    return hModule;
}

void LoadModuleString(UINT id, CAnsiString& text)
{
    char buffer[512];
    if (LoadStringA(ThisModule(), id, buffer, sizeof(buffer)) > 0)
        text.Assign(buffer);
    else
        text.Reset();
}
