#pragma once
// The program's texts are UTF-8; the Win32 API speaks UTF-16 (Windows only).

#include <string>
#include <string_view>

namespace vigie {

std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view utf16);

}  // namespace vigie
