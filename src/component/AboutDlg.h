// The About box: a modal dialog from template 201 with the product's title,
// version, description and notices, and two links that open in the shell.
#pragma once

#include <windows.h>

// Shows the box modally over hwndOwner (may be null) and returns the code
// it ended with: 1 for OK, 2 for Escape or the close box, -1 when it could
// not be shown.
INT_PTR ShowAboutBox(HWND hwndOwner);
