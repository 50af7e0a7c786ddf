#pragma once
// Reading and writing whole files as bytes, for tests on any platform.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace vigie::test {

// The file's bytes; "" when it cannot be read. The stream is closed on return, so the file may be
// deleted at once (Windows refuses to delete an open file).
inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Writes the bytes, creating the folders on the way; the stream is closed on return.
inline void writeFile(const std::filesystem::path& path, const std::string& content) {
    if (path.has_parent_path())
        std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

}  // namespace vigie::test
