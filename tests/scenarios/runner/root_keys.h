// The registry root a scenario's "HKCU", "HKLM", "HKCR" or "HKU" names, for
// both runners: each includes its platform's <windows.h> first.
#pragma once

#include <string>

inline HKEY RootOf(const std::string& name)
{
    if (name == "HKCU")
        return HKEY_CURRENT_USER;
    if (name == "HKLM")
        return HKEY_LOCAL_MACHINE;
    if (name == "HKCR")
        return HKEY_CLASSES_ROOT;
    return HKEY_USERS;
}
