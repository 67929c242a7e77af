// The in-process server's module state: its instance handle and the lock
// count that DllCanUnloadNow reports on. Every live control object, every
// LockServer(TRUE) and every host reference beyond the first on the cached
// class factory holds one lock.
#pragma once

#include <windows.h>

namespace module {

void SetInstance(HINSTANCE hInstance);
HINSTANCE Instance();

void Lock();
void Unlock();
LONG LockCount();

// Holds one module lock for its lifetime.
class CModuleLock
{
public:
    CModuleLock() { Lock(); }
    ~CModuleLock() { Unlock(); }
    CModuleLock(const CModuleLock&) = delete;
    CModuleLock& operator=(const CModuleLock&) = delete;
};

} // namespace module
