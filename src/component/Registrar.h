// Applies a parsed registry script to the registry: writes its keys and
// values (register) or removes what it wrote (unregister).
#pragma once

#include "RegistryScript.h"

#include <windows.h>

#include <vector>

// Register mode: ForceRemove keys are deleted with their subtree and written
// anew, other keys created or opened, every value set. A failure undoes the
// script (as unregister mode would) and is returned.
HRESULT RegisterScript(const std::vector<regscript::RootBlock>& blocks);

// Unregister mode: ForceRemove keys are deleted with their subtree;
// NoRemove keys are kept; other keys lose the script's named values and are
// deleted once nothing is left in them. The "CLSID" and "TYPELIB" keys
// directly under a root are never deleted. Keys already missing are no
// failure.
HRESULT UnregisterScript(const std::vector<regscript::RootBlock>& blocks);
