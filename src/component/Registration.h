// Self-registration: the class keys from registry script 102 and the type
// library embedded as resource "TYPELIB" 1.
#pragma once

#include <windows.h>

// Runs the script in register mode, then registers the type library; stops
// at the first failure and returns it.
HRESULT RegisterServer();

// Runs the script in unregister mode and unregisters the type library;
// failures are ignored.
void UnregisterServer();
