// Resources of the module that contains the engine: the component's DLL when
// the engine runs inside it, the program itself otherwise.
#pragma once

#include "AnsiString.h"

#include <windows.h>

HMODULE ThisModule();

// String resource id of this module (at most 511 characters), or null text
// when the resource is missing.
void LoadModuleString(UINT id, CAnsiString& text);
