#include "tests/ftp/test_bytes.h"

#include <cstdint>
#include <filesystem>

namespace vigie::test {

std::string testBytes(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    std::uint32_t state = seed * 2654435761u + 12345u;
    for (std::size_t i = 0; i < size; ++i) {
        state = state * 1664525u + 1013904223u;
        bytes[i] = static_cast<char>(state >> 24);
        // Line ends of every kind, often enough to matter to a text-mode transfer.
        if (i % 37 == 0)
            bytes[i] = '\n';
        else if (i % 53 == 0)
            bytes[i] = '\r';
    }
    return bytes;
}

bool fileExists(const std::string& path) {
    return std::filesystem::exists(path);
}

}  // namespace vigie::test
