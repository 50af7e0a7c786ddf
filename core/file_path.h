#pragma once
// The program keeps paths as UTF-8 text. Where one meets the system it becomes the system's own
// name of the file: on Windows its UTF-16 name, since the narrow calls read the text in the ANSI
// code page, and users' folders often have names outside it (C:\Users\Hélène, 日本); elsewhere the
// bytes as they are.

#include <cstdio>
#include <filesystem>
#include <string>

namespace vigie {

std::filesystem::path filePath(const std::string& utf8);
// The path's text in UTF-8.
std::string pathText(const std::filesystem::path& path);
// std::fopen of the file with that UTF-8 path.
std::FILE* openFile(const std::string& utf8Path, const char* mode);

}  // namespace vigie
