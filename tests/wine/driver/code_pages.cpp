#include "code_pages.h"

namespace code_pages {

std::wstring Wide(const std::string& text, UINT codePage) {
    int size = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(size, L'\0');
    if (size) MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &wide[0], size);
    return wide;
}

std::string Narrow(const std::wstring& wide, UINT codePage) {
    int size = WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                   nullptr, nullptr);
    std::string text(size, '\0');
    if (size) WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), &text[0], size,
                                  nullptr, nullptr);
    return text;
}

}  // namespace code_pages
