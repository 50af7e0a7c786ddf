#pragma once
// The form's texts are UTF-8; the Win32 API speaks UTF-16.

#include <string>
#include <string_view>

namespace vigie::win32 {

std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view utf16);

}  // namespace vigie::win32
