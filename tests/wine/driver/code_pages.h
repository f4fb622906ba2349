// Texts between the ANSI code page the program under test speaks and the
// wide (UTF-16) forms the driver uses to reach Wine's windows and files.
#pragma once
#include <windows.h>

#include <string>

namespace code_pages {

std::wstring Wide(const std::string& text, UINT codePage = CP_ACP);
std::string Narrow(const std::wstring& wide, UINT codePage = CP_ACP);

}  // namespace code_pages
