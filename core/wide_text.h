#pragma once
// The program's texts are UTF-8; the Win32 API speaks UTF-16 (Windows only).

#include <string>
#include <string_view>

namespace vigie {

std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view utf16);
// Bytes from outside (a server's reply) as UTF-8: kept when they are valid UTF-8, otherwise read
// in the system's ANSI code page (CP_ACP).
std::string utf8OrAnsiText(std::string_view bytes);
// The system's text for an error code (FormatMessageW), in UTF-8, without its line end and final
// full stop; "" when the system has none.
std::string systemErrorText(unsigned long error);

}  // namespace vigie
