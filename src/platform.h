// Which Windows the program runs on. The two families differ where removal
// and self-deletion care: the 95 family deletes a registry key with all its
// subkeys and has no MoveFileExA; the NT family refuses the one and has the
// other. From NT 6.0 (Vista) on, Windows can ask for an administrator's consent.
#pragma once
#include <windows.h>

bool RunsOnNtFamily();
bool RunsOnNt6OrLater();
