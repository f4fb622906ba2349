// Which family of Windows the program runs on. The two differ where removal
// and self-deletion care: the 95 family deletes a registry key with all its
// subkeys and has no MoveFileExA; the NT family refuses the one and has the other.
#pragma once
#include <windows.h>

bool RunsOnNtFamily();
