#include "Module.h"

namespace module {
namespace {

HINSTANCE g_hInstance;
LONG g_nLocks;

} // namespace

void SetInstance(HINSTANCE hInstance)
{
    g_hInstance = hInstance;
}

HINSTANCE Instance()
{
    return g_hInstance;
}

void Lock()
{
    InterlockedIncrement(&g_nLocks);
}

void Unlock()
{
    InterlockedDecrement(&g_nLocks);
}

LONG LockCount()
{
    return g_nLocks;
}

} // namespace module
