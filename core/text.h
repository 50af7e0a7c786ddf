#pragma once
// Text helpers. The serial line, the settings file and the working file carry one byte per
// character in Windows-1252; the window shows UTF-8.

#include <cstdint>
#include <string>
#include <string_view>

namespace vigie {

std::string cp1252ToUtf8(std::string_view bytes);
// Characters without a Windows-1252 byte become '?'.
std::string utf8ToCp1252(std::string_view utf8);
// Upper case of Windows-1252 text, as the platform's UCase does it.
std::string upperCp1252(std::string_view bytes);
// Whether the bytes are well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool isUtf8(std::string_view bytes);
// The bytes as they are when they are UTF-8, read as Windows-1252 otherwise: a server's reply,
// which older servers send in their own 8-bit code page.
std::string utf8OrCp1252(std::string_view bytes);
// The bytes with every byte that is not part of well-formed UTF-8 replaced by U+FFFD, so that the
// result is valid UTF-8 whatever came in.
std::string validUtf8(std::string_view bytes);
// Leading and trailing blanks removed.
std::string trimSpaces(std::string_view text);
// The entry of a decimal number: a leading blank for positive numbers.
std::string numberText(std::int64_t n);

}  // namespace vigie
